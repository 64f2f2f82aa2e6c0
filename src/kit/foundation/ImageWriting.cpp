#include "kit/foundation/ImageWriting.h"

#include "kit/foundation/AppErrorBuilder.h"
#include "kit/foundation/ExtendedAttributes.h"
#include "kit/foundation/FileUtilities.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QMimeDatabase>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>
#include <cstdint>

namespace zk {

namespace {

constexpr double metersPerInch = 0.0254;

std::uint32_t bigEndian32(const QByteArray& bytes, qsizetype at)
{
    return (std::uint32_t(std::uint8_t(bytes[at])) << 24) | (std::uint32_t(std::uint8_t(bytes[at + 1])) << 16)
        | (std::uint32_t(std::uint8_t(bytes[at + 2])) << 8) | std::uint32_t(std::uint8_t(bytes[at + 3]));
}

// A QImage always has a resolution (96 dpi unless set) and Qt's writers record it; an image asked
// for without one must not claim any. A PNG loses its "pHYs" chunk; a JPEG's JFIF header says
// "no unit, square pixels". Other formats keep what Qt wrote.
void removeResolution(QByteArray& bytes, const QByteArray& format)
{
    if (format == "png") {
        static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
        if (!bytes.startsWith(signature)) {
            return;
        }
        QByteArray kept = signature;
        qsizetype at = signature.size();
        while (at + 12 <= bytes.size()) {
            const qsizetype chunkSize = 12 + qsizetype(bigEndian32(bytes, at));
            if (chunkSize < 12 || at + chunkSize > bytes.size()) {
                return; // not a PNG Qt wrote: leave it as it is
            }
            if (bytes.mid(at + 4, 4) != "pHYs") {
                kept += bytes.mid(at, chunkSize);
            }
            at += chunkSize;
        }
        if (at == bytes.size()) {
            bytes = kept;
        }
        return;
    }
    if (format == "jpeg" || format == "jpg") {
        // SOI, then the APP0 segment: marker, length, "JFIF\0", version, unit, x and y density.
        if (bytes.size() >= 18 && std::uint8_t(bytes[0]) == 0xFF && std::uint8_t(bytes[1]) == 0xD8
            && std::uint8_t(bytes[2]) == 0xFF && std::uint8_t(bytes[3]) == 0xE0
            && bytes.mid(6, 5) == QByteArray("JFIF\0", 5)) {
            bytes[13] = 0;
            bytes[14] = 0;
            bytes[15] = 1;
            bytes[16] = 0;
            bytes[17] = 1;
        }
    }
}

std::string describe(ImageWriteError::Kind kind, const QString& path)
{
    switch (kind) {
    case ImageWriteError::Kind::unsupportedFileType: {
        // The type's name as the desktop describes it, else the extension.
        const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
        const QString name = type.isValid() && !type.isDefault() ? type.comment() : QFileInfo(path).suffix();
        return "The file type “" + name.toStdString() + "” is not supported.";
    }
    case ImageWriteError::Kind::destination:
        return "Failed to access “" + shortPath(path).toStdString()
            + "”. The destination either doesn't exist or you don't have permission to write to it.";
    case ImageWriteError::Kind::write:
        return "Failed to write image to “" + shortPath(path).toStdString() + "”";
    }
    return {};
}

const char* caseName(ImageWriteError::Kind kind)
{
    switch (kind) {
    case ImageWriteError::Kind::unsupportedFileType:
        return "unsupportedFileType";
    case ImageWriteError::Kind::destination:
        return "destination";
    case ImageWriteError::Kind::write:
        return "write";
    }
    return "";
}

} // namespace

ImageWriteError::ImageWriteError(Kind kind, QString path)
    : EnumCaseError("zk.CGImage.WriteError", static_cast<std::int64_t>(kind), caseName(kind),
        QUrl::fromLocalFile(path).toString().toStdString(), describe(kind, path))
    , m_kind(kind)
    , m_path(std::move(path))
{
}

std::string debugDescription(PixelFormat format)
{
    switch (format) {
    case PixelFormat::argb:
        return "CGImage.PixelFormat(ARGB)";
    case PixelFormat::rgba:
        return "CGImage.PixelFormat(RGBA)";
    case PixelFormat::bgra:
        return "CGImage.PixelFormat(BGRA)";
    case PixelFormat::abgr:
        return "CGImage.PixelFormat(ABGR)";
    }
    return {};
}

std::optional<QByteArray> imageData(const QImage& image, const QByteArray& format, double compressionQuality,
    std::optional<int> maxPixelSize, std::optional<int> dpi)
{
    if (image.isNull() || !QImageWriter::supportedImageFormats().contains(format.toLower())) {
        return std::nullopt;
    }
    QImage encoded = image;
    if (maxPixelSize && *maxPixelSize > 0 && std::max(image.width(), image.height()) > *maxPixelSize) {
        encoded = image.scaled(*maxPixelSize, *maxPixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    const bool writesResolution = dpi && *dpi != 72 && *dpi > 0;
    if (writesResolution) {
        const int dotsPerMeter = static_cast<int>(std::lround(*dpi / metersPerInch));
        encoded.setDotsPerMeterX(dotsPerMeter);
        encoded.setDotsPerMeterY(dotsPerMeter);
    }
    // Qt's writers put every text entry of the image into the file, the ones the kit carries for
    // itself among them: the pixels go over to an image without any, and only the public
    // properties are written.
    QImage pixels(
        encoded.constBits(), encoded.width(), encoded.height(), encoded.bytesPerLine(), encoded.format());
    pixels.setColorTable(encoded.colorTable());
    pixels.setDotsPerMeterX(encoded.dotsPerMeterX());
    pixels.setDotsPerMeterY(encoded.dotsPerMeterY());
    pixels.setColorSpace(encoded.colorSpace());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format.toLower());
    for (const auto& [name, value] : attachedProperties(image)) {
        writer.setText(name, value);
    }
    const double quality = std::isfinite(compressionQuality) ? std::clamp(compressionQuality, 0.0, 1.0) : 1.0;
    writer.setQuality(static_cast<int>(std::lround(quality * 100)));
    if (!writer.write(pixels)) {
        return std::nullopt;
    }
    buffer.close();
    if (!writesResolution) {
        removeResolution(bytes, format.toLower());
    }
    return bytes;
}

void writeImage(const QImage& image, const QString& path, const QByteArray& format, bool useUniqueFilename,
    double compressionQuality, std::optional<int> maxPixelSize, std::optional<int> dpi, bool isScreenshot)
{
    if (image.isNull()) {
        throw makeAppError("Could not get CGImage from image.");
    }
    const QString destination = useUniqueFilename ? uniqueFileURL(path) : path;
    const auto bytes = imageData(image, format, compressionQuality, maxPixelSize, dpi);
    if (!bytes) {
        throw makeAppError("Could not convert image to data.");
    }
    QSaveFile file(destination);
    if (!file.open(QIODevice::WriteOnly)) {
        throw ImageWriteError(ImageWriteError::Kind::destination, destination);
    }
    if (file.write(*bytes) != bytes->size() || !file.commit()) {
        throw ImageWriteError(ImageWriteError::Kind::write, destination);
    }
    if (isScreenshot) {
        markAsScreenCapture(destination);
    }
}

void markAsScreenCapture(const QString& path)
{
    // Attributes of one's own live in the "user." namespace here.
    ExtendedAttributes::setValue(QUrl::fromLocalFile(path), "user.com.apple.metadata:kMDItemIsScreenCapture",
        platform::PropertyList(true));
}

namespace {
const QString dpiKey = QStringLiteral("zk.customMetadata.dpi");
const QString screenshotKey = QStringLiteral("zk.customMetadata.isScreenshot");
const QString propertyPrefix = QStringLiteral("zk.property.");
} // namespace

std::map<QString, QString> attachedProperties(const QImage& image)
{
    std::map<QString, QString> properties;
    for (const QString& key : image.textKeys()) {
        if (key.startsWith(propertyPrefix)) {
            properties.emplace(key.mid(propertyPrefix.size()), image.text(key));
        }
    }
    return properties;
}

void setAttachedProperty(QImage& image, const QString& name, const QString& value)
{
    image.setText(propertyPrefix + name, value);
}

std::optional<CustomMetadata> customMetadata(const QImage& image)
{
    bool isNumber = false;
    const qlonglong dpi = image.text(dpiKey).toLongLong(&isNumber);
    if (!isNumber) {
        return std::nullopt;
    }
    return CustomMetadata { dpi, image.text(screenshotKey) == QLatin1String("true") };
}

void setCustomMetadata(QImage& image, const CustomMetadata& metadata)
{
    image.setText(dpiKey, QString::number(metadata.dpi));
    image.setText(screenshotKey, metadata.isScreenshot ? QStringLiteral("true") : QStringLiteral("false"));
}

QString uniqueFileURL(const QString& path)
{
    const QFileInfo info(path);
    const QString directory = info.path();
    const QString suffix = info.suffix();
    QString base = info.completeBaseName();
    const auto withExtension = [&](const QString& name) {
        return QDir(directory).filePath(suffix.isEmpty() ? name : name + '.' + suffix);
    };
    static const QRegularExpression counterSuffix(QStringLiteral(" \\((\\d+)\\)$"));
    long long counter = 0;
    QString candidate = path;
    if (const auto match = counterSuffix.match(base); match.hasMatch()) {
        counter = match.captured(1).toLongLong();
        base.remove(counterSuffix);
        candidate = withExtension(base);
    }
    while (QFileInfo::exists(candidate)) {
        ++counter;
        candidate = withExtension(base + " (" + QString::number(counter) + ")");
    }
    return candidate;
}

QString shortPath(const QString& path)
{
    // The account's home, not $HOME: a path under the real home reads as "~/…" however the
    // environment was set up.
    const QString home = realHomeDirectory();
    if (!home.isEmpty() && (path == home || path.startsWith(home + '/'))) {
        return '~' + path.mid(home.size());
    }
    return path;
}

QImage tinted(const QImage& image, const QColor& color)
{
    QImage copy = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&copy);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(copy.rect(), color);
    painter.end();
    return copy;
}

QByteArray imageFormatForFileName(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix == QLatin1String("png")) {
        return "png";
    }
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
        return "jpeg";
    }
    if (suffix == QLatin1String("heic")) {
        return "heic";
    }
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff")) {
        return "tiff";
    }
    if (suffix == QLatin1String("gif")) {
        return "gif";
    }
    throw ImageWriteError(ImageWriteError::Kind::unsupportedFileType, fileName);
}

} // namespace zk
