#include "kit/foundation/FileUtilities.h"
#include "kit/foundation/ExtendedAttributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sys/stat.h>
#include <vector>

TEST(URLUtilitiesTest, QueryItemsAreEncodedAndAppendedAfterTheExistingOnes)
{
    const std::vector<std::pair<std::string, std::string>> values { { "q", "a b&c=d" },
        { "safe", "-._~Az09" } };
    const auto url = zk::urlWithQueryValues("https://example.com/path", values);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->toString(QUrl::FullyEncoded), "https://example.com/path?q=a%20b%26c%3Dd&safe=-._~Az09");
    EXPECT_EQ(zk::urlWithQueryValues("http://[bad", values), std::nullopt);
    EXPECT_EQ(zk::urlWithQueryValues("", values), std::nullopt);

    const auto appended = zk::appendingQueryItems(QUrl("https://example.com/?a=1&b=2"), { { "a", "3" } });
    EXPECT_EQ(appended->toString(QUrl::FullyEncoded), "https://example.com/?a=1&b=2&a=3");
    EXPECT_EQ(zk::urlLiteral("mailto:someone@example.com").scheme(), "mailto");
    EXPECT_THROW(zk::urlLiteral("http://[bad"), std::invalid_argument);
}

TEST(FileUtilitiesTest, ResourceValuesNeverThrow)
{
    QTemporaryDir folder;
    const QString file = QDir(folder.path()).filePath("notes.txt");
    QFile(file).open(QIODevice::WriteOnly);
    EXPECT_EQ(zk::boolResourceValue(folder.path(), zk::ResourceKey::isDirectory), true);
    EXPECT_EQ(zk::boolResourceValue(file, zk::ResourceKey::isDirectory), false);
    EXPECT_EQ(zk::stringResourceValue(file, zk::ResourceKey::name), "notes.txt");
    EXPECT_EQ(zk::stringResourceValue(file, zk::ResourceKey::contentType), "text/plain");
    // The wrong kind of value, or a file that is not there: nothing.
    EXPECT_EQ(zk::stringResourceValue(file, zk::ResourceKey::isDirectory), std::nullopt);
    EXPECT_EQ(zk::boolResourceValue(file, zk::ResourceKey::name), std::nullopt);
    EXPECT_EQ(zk::stringResourceValue(file + ".gone", zk::ResourceKey::name), std::nullopt);
}

TEST(FileUtilitiesTest, TemporaryFoldersAndFiles)
{
    QString folder;
    {
        zk::TemporaryDirectory owned(zk::createUniqueTemporaryDirectory());
        folder = owned.path();
        EXPECT_TRUE(QDir(folder).exists());
        EXPECT_EQ(QDir(folder).dirName().size(), 36);
        QFile(QDir(folder).filePath("inside")).open(QIODevice::WriteOnly);
    }
    EXPECT_FALSE(QDir(folder).exists());

    const QString file = zk::writeToTemporaryFile("Grüße\n", "Debug Info", "txt");
    zk::TemporaryDirectory cleanup(QFileInfo(file).path());
    EXPECT_TRUE(file.endsWith("/Debug Info.txt"));
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("Grüße\n"));
    EXPECT_TRUE(zk::writeToTemporaryFile("x", "a.txt", "txt").endsWith("/a.txt"));
}

namespace {

mode_t modeOf(const QString& path)
{
    struct stat status { };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 0777 : 07777;
}

// XDG_RUNTIME_DIR pointed at a folder of the test's (or unset, without permissions) for as long
// as it lives.
class RuntimeFolder {
public:
    explicit RuntimeFolder(std::optional<QFileDevice::Permissions> permissions)
        : m_previous(qgetenv("XDG_RUNTIME_DIR"))
        , m_hadPrevious(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
    {
        if (!permissions) {
            qunsetenv("XDG_RUNTIME_DIR");
            return;
        }
        QFile::setPermissions(m_folder.path(), *permissions);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_folder.path()));
    }
    ~RuntimeFolder()
    {
        if (m_hadPrevious) {
            qputenv("XDG_RUNTIME_DIR", m_previous);
        } else {
            qunsetenv("XDG_RUNTIME_DIR");
        }
    }
    QString path() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    QByteArray m_previous;
    bool m_hadPrevious;
};

const QFileDevice::Permissions ownerOnly
    = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

} // namespace

TEST(FileUtilitiesTest, TemporaryFilesAreThisUsersAloneInTheRuntimeFolder)
{
    const RuntimeFolder runtime(ownerOnly);
    const QString file = zk::writeToTemporaryFile("history", "debug-info", "txt");
    const QString folder = QFileInfo(file).path();
    zk::TemporaryDirectory cleanup(folder);
    EXPECT_EQ(QFileInfo(folder).path(), runtime.path() + "/kiruvo");
    EXPECT_EQ(modeOf(runtime.path() + "/kiruvo"), 0700u);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);

    // The application's folder there, made open by someone of this user's, is closed again.
    QFile::setPermissions(
        runtime.path() + "/kiruvo", ownerOnly | QFileDevice::ReadOther | QFileDevice::ExeOther);
    const QString again = zk::writeToTemporaryFile("history", "debug-info", "txt");
    zk::TemporaryDirectory cleanupAgain(QFileInfo(again).path());
    EXPECT_TRUE(again.startsWith(runtime.path() + "/kiruvo/"));
    EXPECT_EQ(modeOf(runtime.path() + "/kiruvo"), 0700u);
}

TEST(FileUtilitiesTest, WithoutAPrivateRuntimeFolderTheFolderItselfIsPrivate)
{
    // A runtime folder others may enter is no place for the user's data; nor is none at all.
    for (const bool shared : { true, false }) {
        const RuntimeFolder runtime(shared
                ? std::optional(ownerOnly | QFileDevice::ReadOther | QFileDevice::ExeOther)
                : std::nullopt);
        const QString file = zk::writeToTemporaryFile("history", "debug-info", "txt");
        const QString folder = QFileInfo(file).path();
        zk::TemporaryDirectory cleanup(folder);
        EXPECT_EQ(QFileInfo(folder).path(), QDir::tempPath());
        EXPECT_EQ(modeOf(folder), 0700u);
        EXPECT_EQ(modeOf(file), 0600u);
    }
}

TEST(FileUtilitiesTest, TemporaryFoldersLeftAreRemovedTogether)
{
    const RuntimeFolder runtime(ownerOnly);
    const QString base = runtime.path() + "/kiruvo";
    zk::writeToTemporaryFile("history", "debug-info", "txt");
    zk::createUniqueTemporaryDirectory();
    EXPECT_FALSE(QDir(base).isEmpty());
    zk::removeTemporaryDirectories();
    EXPECT_TRUE(QDir(base).isEmpty());
}

TEST(FileUtilitiesTest, AppFoldersAreMadeOnceAndAFailureStillGivesThePath)
{
    EXPECT_TRUE(QDir(zk::appSupportDirectory()).exists());
    EXPECT_TRUE(zk::appSupportDirectory().endsWith("/kiruvo"));
    EXPECT_TRUE(zk::appCachesDirectory().endsWith("/kiruvo"));
    EXPECT_FALSE(zk::realHomeDirectory().isEmpty());

    QTemporaryDir folder;
    const QString blocked = QDir(folder.path()).filePath("file");
    QFile(blocked).open(QIODevice::WriteOnly);
    // A file where a folder should be.
    EXPECT_EQ(
        zk::makeAppDirectory(std::filesystem::path(blocked.toStdString()) / "kiruvo"), blocked + "/kiruvo");
}

TEST(FileUtilitiesTest, TrailingNullAndOffsets)
{
    EXPECT_TRUE(zk::removingTrailingNull({}).empty());
    EXPECT_EQ(zk::removingTrailingNull({ 'a', 0, 0 }), (std::vector<std::uint8_t> { 'a', 0 }));
    EXPECT_EQ(zk::removingTrailingNull({ 'a' }), (std::vector<std::uint8_t> { 'a' }));
    const std::vector<int> numbers { 1, 2, 3 };
    EXPECT_EQ(*zk::indexAtOffset(numbers, 2), 3);
}

TEST(ExtendedAttributesTest, OnlyLocalFilesAndPropertyListValues)
{
    try {
        zk::ExtendedAttributes::set(QUrl("https://example.com/a"), "user.x", { 1 });
        FAIL();
    } catch (const zk::PlatformError& error) {
        EXPECT_EQ(error.code(), 4);
    }
    try {
        zk::ExtendedAttributes::set(QUrl::fromLocalFile("/nonexistent-kiruvo/a"), "user.x", { 1 });
        FAIL();
    } catch (const zk::PlatformError& error) {
        EXPECT_EQ(error.domain(), "NSPOSIXErrorDomain");
        EXPECT_EQ(error.code(), ENOENT);
    }
    try {
        zk::ExtendedAttributes::setValue(
            QUrl::fromLocalFile("/tmp/a"), "user.x", platform::PropertyList(platform::PropertyListArray {}));
        FAIL();
    } catch (const zk::PlatformError& error) {
        EXPECT_EQ(error.code(), 3852);
    }
    const auto yes = zk::ExtendedAttributes::binaryPropertyList(platform::PropertyList(true));
    ASSERT_TRUE(yes.has_value());
    EXPECT_EQ(yes->size(), 42u);
    EXPECT_EQ((*yes)[8], 0x09);
    EXPECT_EQ(yes->back(), 9); // the offset table follows the one-byte object
}

TEST(FileUtilitiesTest, CharacterSetsForEncoding)
{
    EXPECT_TRUE(zk::caseLetters(U'a'));
    EXPECT_TRUE(zk::caseLetters(U'Ж'));
    EXPECT_FALSE(zk::caseLetters(U'7'));
    EXPECT_TRUE(zk::asciiDigits(U'7'));
    EXPECT_FALSE(zk::asciiDigits(U'٧')); // an Arabic-Indic seven is no ASCII digit
    EXPECT_TRUE(zk::caseLettersAndDigits(U'Z'));
    for (const char32_t c : { U'-', U'.', U'_', U'~', U'q', U'0' }) {
        EXPECT_TRUE(zk::urlUnreserved(c));
    }
    for (const char32_t c : { U' ', U'&', U'=', U'/', U'%' }) {
        EXPECT_FALSE(zk::urlUnreserved(c));
    }
    EXPECT_EQ(zk::rootDirectory(), "/");
}

TEST(FileUtilitiesTest, ATemporaryFileNameCannotLeaveItsFolder)
{
    const QString escaped = zk::writeToTemporaryFile("x", "../../outside", "txt");
    zk::TemporaryDirectory cleanup(QFileInfo(escaped).path());
    EXPECT_TRUE(escaped.endsWith("/outside.txt"));
    EXPECT_EQ(QFileInfo(QFileInfo(escaped).path()).dir(), QDir(zk::privateTemporaryBase()));
    const QString unnamed = zk::writeToTemporaryFile("x", "", "txt");
    zk::TemporaryDirectory cleanupUnnamed(QFileInfo(unnamed).path());
    EXPECT_TRUE(unnamed.endsWith("/Untitled.txt"));
}
