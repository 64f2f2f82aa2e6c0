#include "platform/RegularFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using platform::RegularFile;

namespace {

std::filesystem::path in(const QTemporaryDir& folder, const char* name)
{
    return std::filesystem::path(folder.path().toStdString()) / name;
}

} // namespace

TEST(RegularFileTest, ARegularFileIsReadWholeUpToTheLimit)
{
    QTemporaryDir folder;
    std::ofstream(in(folder, "entry")) << "[Desktop Entry]\n";
    const auto read = RegularFile::read(in(folder, "entry"), 16);
    EXPECT_EQ(read.contents, std::optional<std::string>("[Desktop Entry]\n"));
    EXPECT_TRUE(read.problem.empty());

    const auto tooLarge = RegularFile::read(in(folder, "entry"), 15);
    EXPECT_FALSE(tooLarge.contents);
    EXPECT_NE(tooLarge.problem.find("larger than 15 bytes"), std::string::npos) << tooLarge.problem;
    EXPECT_FALSE(tooLarge.missing);

    const auto missing = RegularFile::read(in(folder, "gone"), 16);
    EXPECT_FALSE(missing.contents);
    EXPECT_TRUE(missing.missing);

    // Through a link to a regular file it reads as that file.
    std::filesystem::create_symlink(in(folder, "entry"), in(folder, "link"));
    EXPECT_EQ(RegularFile::read(in(folder, "link"), 16).contents, read.contents);
}

TEST(RegularFileTest, AFifoADeviceOrAFolderIsNeverRead)
{
    QTemporaryDir folder;
    // Without a writer, opening a FIFO to read it the usual way waits for good.
    ASSERT_EQ(::mkfifo(in(folder, "fifo").c_str(), 0600), 0);
    const auto fifo = RegularFile::read(in(folder, "fifo"), 1024);
    EXPECT_FALSE(fifo.contents);
    EXPECT_NE(fifo.problem.find("not a regular file"), std::string::npos) << fifo.problem;

    // /dev/zero never ends: reading it whole would take all the memory there is.
    std::filesystem::create_symlink("/dev/zero", in(folder, "zero"));
    EXPECT_FALSE(RegularFile::read(in(folder, "zero"), 1024).contents);
    EXPECT_FALSE(RegularFile::read(folder.path().toStdString(), 1024).contents);
}
