#pragma once

#include "kit/foundation/core/ErrorValues.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace zk {

// Why an image could not be written, with the file concerned.
class ImageWriteError final : public EnumCaseError {
public:
    enum class Kind { unsupportedFileType, destination, write };

    ImageWriteError(Kind kind, QString path);
    Kind kind() const { return m_kind; }
    const QString& path() const { return m_path; }

private:
    Kind m_kind;
    QString m_path;
};

// The byte order of an image's pixels.
enum class PixelFormat { argb, rgba, bgra, abgr };
// "CGImage.PixelFormat(RGBA)"
std::string debugDescription(PixelFormat format);

// What the producer of an image knows about it, for the writer.
struct CustomMetadata {
    std::int64_t dpi = 0;
    bool isScreenshot = false;
    bool operator==(const CustomMetadata&) const = default;
};

// What a producer attached to an image, carried in the image's own text entries: the properties
// the encoder starts from (empty by default), and the producer's metadata (none by default).
std::map<QString, QString> attachedProperties(const QImage& image);
void setAttachedProperty(QImage& image, const QString& name, const QString& value);
std::optional<CustomMetadata> customMetadata(const QImage& image);
void setCustomMetadata(QImage& image, const CustomMetadata& metadata);

// The image encoded as one image of `format` ("png", "jpeg", "webp", ...): quality from 0 to 1,
// the largest side in pixels (scaled down, keeping the aspect), and a resolution in dots per inch
// (72, the default, is never written: without another one a PNG or JPEG records no resolution at
// all). Nothing when the format cannot be written or encoding fails.
std::optional<QByteArray> imageData(const QImage& image, const QByteArray& format, double compressionQuality,
    std::optional<int> maxPixelSize = std::nullopt, std::optional<int> dpi = std::nullopt);

// Writes the image to a file atomically, under a name made unique with a counter when asked
// ("Shot (1).png"); the file is marked as a screen capture in its extended attributes when asked.
// Throws the application's error for an image that cannot be encoded, ImageWriteError for a
// destination that cannot be written, and the attribute error when the mark fails (the file stays).
void writeImage(const QImage& image, const QString& path, const QByteArray& format, bool useUniqueFilename,
    double compressionQuality, std::optional<int> maxPixelSize = std::nullopt,
    std::optional<int> dpi = std::nullopt, bool isScreenshot = false);
// Marks the file as a screen capture in its extended attributes; throws the attribute error.
void markAsScreenCapture(const QString& path);

// A path in the same folder with the same extension that names nothing yet: "Report (3).png"
// tries "Report.png", then "Report (4).png", "Report (5).png", ... Looks only; creates nothing.
QString uniqueFileURL(const QString& path);

// The path with the account's real home folder (the user database's, not $HOME) written as "~".
QString shortPath(const QString& path);

// A copy coloured with `color` wherever the image is not transparent; the image is unchanged.
QImage tinted(const QImage& image, const QColor& color);

// The image format a file's extension names, letter case included: "png", "jpg" or "jpeg", "heic",
// "tif" or "tiff", "gif". Any other extension, none included, throws ImageWriteError
// (unsupportedFileType).
QByteArray imageFormatForFileName(const QString& fileName);

} // namespace zk
