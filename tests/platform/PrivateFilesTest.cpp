#include "platform/PrivateFiles.h"
#include "platform/ErrorReporter.h"
#include "platform/store/DefaultsDatabase.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::DefaultsDatabase;
namespace PrivateFiles = platform::PrivateFiles;

namespace {

mode_t modeOf(const fs::path& path)
{
    struct stat status { };
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Every test makes its files under the umask most desktops have, which leaves them readable by all.
class PrivateFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_savedMask = ::umask(022);
        m_reporter = std::make_unique<platform::ErrorReporter>(folder() / "reports");
        platform::ErrorReporter::setShared(m_reporter.get());
    }
    void TearDown() override
    {
        platform::ErrorReporter::setShared(nullptr);
        ::umask(m_savedMask);
    }

    fs::path folder() const { return m_folder.path().toStdString(); }

private:
    QTemporaryDir m_folder;
    mode_t m_savedMask = 022;
    std::unique_ptr<platform::ErrorReporter> m_reporter;
};

} // namespace

TEST_F(PrivateFilesTest, TheSettingsAndTheHistoryAreReadableByTheUserAlone)
{
    const fs::path file = folder() / "data" / "kiruvo" / "defaults.sqlite3";
    auto database = DefaultsDatabase::open(file.string());
    ASSERT_EQ(database->path(), file.string()) << database->unavailableReason();
    ASSERT_TRUE(database->setValue("s", "sessions", platform::PropertyList("history")));
    EXPECT_EQ(modeOf(folder() / "data"), 0700u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);

    // Writes kept aside while another program holds the file are as private.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    // SQLite's journal, there while a transaction writes, takes the database file's mode.
    ASSERT_EQ(
        sqlite3_exec(other, "INSERT INTO defaults VALUES('other', 'k', '1')", nullptr, nullptr, nullptr),
        SQLITE_OK);
    EXPECT_EQ(modeOf(file.string() + "-journal"), 0600u);
    ASSERT_TRUE(database->setValue("s", "sessions", platform::PropertyList("during the lock")));
    ASSERT_TRUE(database->hasPendingWrites());
    EXPECT_EQ(modeOf(database->pendingPath()), 0600u);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    database->retry();
    database->close();

    // An existing folder keeps the mode it was given.
    const fs::path shared = folder() / "shared";
    fs::create_directory(shared);
    ::chmod(shared.c_str(), 0755);
    DefaultsDatabase::open((shared / "defaults.sqlite3").string())->close();
    EXPECT_EQ(modeOf(shared), 0755u);
    EXPECT_EQ(modeOf(shared / "defaults.sqlite3"), 0600u);
}

TEST_F(PrivateFilesTest, FoldersAreMadeClosedAndFilesNeverThroughALink)
{
    std::error_code error;
    EXPECT_TRUE(PrivateFiles::createFolders(folder() / "a" / "b", error)) << error.message();
    EXPECT_EQ(modeOf(folder() / "a"), 0700u);
    EXPECT_EQ(modeOf(folder() / "a" / "b"), 0700u);
    EXPECT_TRUE(PrivateFiles::isPrivateFolder(folder() / "a"));

    std::ofstream(folder() / "plain") << "x";
    EXPECT_FALSE(PrivateFiles::createFolders(folder() / "plain", error));
    EXPECT_FALSE(PrivateFiles::createFolders(folder() / "plain" / "below", error));

    const fs::path target = folder() / "target";
    std::ofstream(target) << "kept";
    fs::create_symlink(target, folder() / "link");
    EXPECT_TRUE(PrivateFiles::createFile(folder() / "link", error)) << "something is there already";
    EXPECT_EQ(PrivateFiles::openForWriting(folder() / "link", 0), -1);
    EXPECT_EQ(fs::file_size(target), 4u);

    ASSERT_EQ(::mkfifo((folder() / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(PrivateFiles::openForWriting(folder() / "fifo", 0), -1) << "a FIFO is no file to write";

    fs::create_symlink(folder() / "a", folder() / "linked-folder");
    EXPECT_FALSE(PrivateFiles::isPrivateFolder(folder() / "linked-folder"));
    std::string problem;
    EXPECT_FALSE(PrivateFiles::ensurePrivateFolder(folder() / "linked-folder", problem));
    EXPECT_NE(problem.find("linked-folder"), std::string::npos) << problem;
}

TEST_F(PrivateFilesTest, AFolderOfAnotherUserIsRefused)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a folder to another user takes root";
    }
    const fs::path theirs = folder() / "theirs";
    fs::create_directory(theirs);
    ::chmod(theirs.c_str(), 0700);
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(PrivateFiles::isPrivateFolder(theirs));
    std::string problem;
    EXPECT_FALSE(PrivateFiles::ensurePrivateFolder(theirs, problem));
    EXPECT_NE(problem.find("another user"), std::string::npos) << problem;
    EXPECT_EQ(modeOf(theirs), 0700u);
}
