#include "kit/foundation/ImageWriting.h"
#include "kit/foundation/FileUtilities.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/xattr.h>

namespace {

QImage sample(int width = 40, int height = 20)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int x = 0; x < width / 2; ++x) {
        for (int y = 0; y < height; ++y) {
            image.setPixelColor(x, y, QColor(10, 20, 30, 255));
        }
    }
    return image;
}

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

QImage decoded(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    return QImageReader(&buffer).read();
}

// The resolution a PNG records, in dots per inch, read from its "pHYs" chunk itself: a decoder would
// make one up (96 dpi) for a file without any.
std::optional<double> pngResolution(const QByteArray& bytes)
{
    const auto word = [&](qsizetype at) {
        return (quint32(quint8(bytes[at])) << 24) | (quint32(quint8(bytes[at + 1])) << 16)
            | (quint32(quint8(bytes[at + 2])) << 8) | quint32(quint8(bytes[at + 3]));
    };
    for (qsizetype at = 8; at + 12 <= bytes.size(); at += 12 + qsizetype(word(at))) {
        if (bytes.mid(at + 4, 4) == "pHYs") {
            EXPECT_EQ(word(at + 8), word(at + 12)); // square pixels
            EXPECT_EQ(quint8(bytes[at + 16]), 1); // per metre
            return word(at + 8) * 0.0254;
        }
    }
    return std::nullopt;
}

} // namespace

TEST(UniqueFileURLTest, CountsFromTheStrippedBase)
{
    QTemporaryDir folder;
    const QDir dir(folder.path());
    EXPECT_EQ(zk::uniqueFileURL(dir.filePath("Shot.png")), dir.filePath("Shot.png"));
    touch(dir.filePath("Shot.png"));
    EXPECT_EQ(zk::uniqueFileURL(dir.filePath("Shot.png")), dir.filePath("Shot (1).png"));
    // A numbered name starts from the plain one, then goes on from its own number.
    EXPECT_EQ(zk::uniqueFileURL(dir.filePath("Shot (3).png")), dir.filePath("Shot (4).png"));
    touch(dir.filePath("Shot (4).png"));
    EXPECT_EQ(zk::uniqueFileURL(dir.filePath("Shot (3).png")), dir.filePath("Shot (5).png"));
    // Without the blank it is no counter.
    touch(dir.filePath("Shot(3).png"));
    EXPECT_EQ(zk::uniqueFileURL(dir.filePath("Shot(3).png")), dir.filePath("Shot(3) (1).png"));
}

TEST(ImageWritingTest, EncodesResizesAndWritesResolutionOnlyWhenNot72)
{
    const auto png = zk::imageData(sample(), "png", 1.0);
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(decoded(*png).size(), QSize(40, 20));

    const auto small = zk::imageData(sample(), "png", 1.0, 10);
    ASSERT_TRUE(small.has_value());
    EXPECT_EQ(decoded(*small).size(), QSize(10, 5));

    const auto at144 = zk::imageData(sample(), "png", 1.0, std::nullopt, 144);
    ASSERT_TRUE(pngResolution(*at144).has_value());
    EXPECT_NEAR(*pngResolution(*at144), 144, 0.1);
    EXPECT_NEAR(decoded(*at144).dotsPerMeterY() * 0.0254, 144, 1);
    // Neither 72 nor no resolution writes any, although every QImage carries one.
    EXPECT_EQ(pngResolution(*png), std::nullopt);
    EXPECT_EQ(pngResolution(*zk::imageData(sample(), "png", 1.0, std::nullopt, 72)), std::nullopt);
    EXPECT_EQ(decoded(*png).size(), QSize(40, 20)); // still a valid PNG
    // A JPEG without a resolution says so in its header: no unit, square pixels.
    const auto jpeg = zk::imageData(sample(), "jpeg", 0.8);
    ASSERT_TRUE(jpeg.has_value());
    EXPECT_EQ(jpeg->mid(13, 5), QByteArray("\0\0\1\0\1", 5));
    EXPECT_EQ(decoded(*jpeg).size(), QSize(40, 20));
    const auto jpeg144 = zk::imageData(sample(), "jpeg", 0.8, std::nullopt, 144);
    EXPECT_EQ(jpeg144->mid(13, 5), QByteArray("\1\0\x90\0\x90", 5));

    // Every format this system can write comes back at its size.
    for (const QByteArray& format : QImageWriter::supportedImageFormats()) {
        const auto bytes = zk::imageData(sample(), format, 0.9);
        ASSERT_TRUE(bytes.has_value()) << format.constData();
        if (QImageReader::supportedImageFormats().contains(format)) {
            EXPECT_EQ(decoded(*bytes).size(), QSize(40, 20)) << format.constData();
        }
    }
    EXPECT_EQ(zk::imageData(sample(), "no-such-format", 1.0), std::nullopt);
    EXPECT_EQ(zk::imageData(QImage(), "png", 1.0), std::nullopt);
    EXPECT_EQ(zk::imageFormatForFileName("a.jpg"), QByteArray("jpeg"));
    EXPECT_EQ(zk::imageFormatForFileName("a.tif"), QByteArray("tiff"));
    // Letter case counts, and a name without an extension has no format.
    for (const char* name : { "a.JPG", "a.nope", "a" }) {
        try {
            (void)zk::imageFormatForFileName(name);
            ADD_FAILURE() << name;
        } catch (const zk::ImageWriteError& error) {
            EXPECT_EQ(error.kind(), zk::ImageWriteError::Kind::unsupportedFileType);
        }
    }
}

TEST(ImageWritingTest, WritesFilesAndReportsWhatFailed)
{
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath("a.png");
    zk::writeImage(sample(), path, "png", false, 1.0);
    EXPECT_EQ(QImage(path).size(), QSize(40, 20));
    zk::writeImage(sample(), path, "png", true, 1.0);
    EXPECT_TRUE(QFile::exists(QDir(folder.path()).filePath("a (1).png")));

    EXPECT_THROW(zk::writeImage(QImage(), path, "png", false, 1.0), zk::PlatformError);
    EXPECT_THROW(zk::writeImage(sample(), path, "no-such-format", false, 1.0), zk::PlatformError);
    try {
        zk::writeImage(sample(), "/proc/kiruvo-nowhere/a.png", "png", false, 1.0);
        FAIL() << "wrote into /proc";
    } catch (const zk::ImageWriteError& error) {
        EXPECT_EQ(error.kind(), zk::ImageWriteError::Kind::destination);
        EXPECT_EQ(error.localizedDescription(),
            "Failed to access “/proc/kiruvo-nowhere/a.png”. The destination either doesn't exist or you "
            "don't "
            "have permission to write to it.");
    }

    // The screen-capture mark: written where the file system keeps user attributes; either way the
    // image stays written.
    const QString shot = QDir(folder.path()).filePath("shot.png");
    try {
        zk::writeImage(sample(), shot, "png", false, 1.0, std::nullopt, std::nullopt, true);
        char value[64];
        const auto size = ::getxattr(shot.toLocal8Bit().constData(),
            "user.com.apple.metadata:kMDItemIsScreenCapture", value, sizeof value);
        EXPECT_EQ(size, 42);
        EXPECT_EQ(std::string(value, 8), "bplist00");
    } catch (const zk::PlatformError& error) {
        EXPECT_EQ(error.domain(), "NSPOSIXErrorDomain");
    }
    EXPECT_TRUE(QFile::exists(shot));
}

TEST(ImageWritingTest, AShortPathStartsFromTheAccountsRealHomeNotFromHOME)
{
    QTemporaryDir elsewhere;
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", elsewhere.path().toLocal8Bit());
    const QString real = zk::realHomeDirectory();
    const QString underReal = zk::shortPath(real + "/Pictures/a.png");
    const QString underVariable = zk::shortPath(elsewhere.path() + "/a.png");
    qputenv("HOME", home);
    EXPECT_EQ(underReal, "~/Pictures/a.png");
    EXPECT_EQ(underVariable, elsewhere.path() + "/a.png");
    EXPECT_EQ(zk::shortPath(real + "x/a.png"), real + "x/a.png"); // only whole folder names
}

TEST(ImageWritingTest, MessagesNameTheFileShortly)
{
    const QString picture = zk::realHomeDirectory() + "/Pictures/a.png";
    EXPECT_EQ(zk::ImageWriteError(zk::ImageWriteError::Kind::write, picture).localizedDescription(),
        "Failed to write image to “~/Pictures/a.png”");
    EXPECT_EQ(zk::ImageWriteError(zk::ImageWriteError::Kind::unsupportedFileType, "/tmp/x.qqq")
                  .localizedDescription(),
        "The file type “qqq” is not supported.");
    EXPECT_EQ(zk::debugDescription(zk::PixelFormat::rgba), "CGImage.PixelFormat(RGBA)");
}

TEST(ImageWritingTest, TintingColoursOnlyWhatIsOpaque)
{
    const QImage source = sample();
    const QImage pink = zk::tinted(source, QColor(255, 45, 85));
    EXPECT_EQ(pink.pixelColor(0, 0), QColor(255, 45, 85));
    EXPECT_EQ(pink.pixelColor(39, 0).alpha(), 0);
    EXPECT_EQ(source.pixelColor(0, 0), QColor(10, 20, 30)); // the source is unchanged
}

TEST(ImageWritingTest, MetadataTravelsWithTheImage)
{
    QImage image = sample();
    EXPECT_EQ(zk::customMetadata(image), std::nullopt);
    EXPECT_TRUE(zk::attachedProperties(image).empty());
    zk::setCustomMetadata(image, { 144, true });
    EXPECT_EQ(zk::customMetadata(image), (zk::CustomMetadata { 144, true }));
    zk::setAttachedProperty(image, "Description", "A test");
    EXPECT_EQ(zk::attachedProperties(image), (std::map<QString, QString> { { "Description", "A test" } }));
    // The encoder starts from the attached properties.
    const auto png = zk::imageData(image, "png", 1.0);
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(decoded(*png).text("Description"), "A test");
    // What the kit carries along inside the image stays out of the file.
    EXPECT_EQ(decoded(*png).textKeys(), QStringList { QStringLiteral("Description") });
    EXPECT_FALSE(png->contains("zk."));
}
