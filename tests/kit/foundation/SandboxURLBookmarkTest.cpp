#include "kit/foundation/SandboxURLBookmark.h"

#include "kit/foundation/ExtendedAttributes.h"
#include "libraries/defaults/Defaults.h"
#include "platform/store/DefaultsDatabase.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unordered_set>

namespace {

using platform::UserDefaults;

class SandboxURLBookmarkTest : public ::testing::Test {
protected:
    QTemporaryDir directory;
};

TEST_F(SandboxURLBookmarkTest, EqualBytesAreEqualAndHashAlike)
{
    zk::SandboxURLBookmark a { { 1, 2, 3 } };
    zk::SandboxURLBookmark b { { 1, 2, 3 } };
    zk::SandboxURLBookmark c { { 1, 2 } };
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    std::unordered_set<zk::SandboxURLBookmark> set { a, b, c };
    EXPECT_EQ(set.size(), 2u);
}

TEST_F(SandboxURLBookmarkTest, StoredAsItsPlainBytes)
{
    Defaults::Key<std::optional<zk::SandboxURLBookmark>> key("bookmark");
    Defaults::set(key, std::optional(zk::SandboxURLBookmark { { 0, 255, 7 } }));
    EXPECT_EQ(UserDefaults::standard()->objectForKey("bookmark"),
        platform::PropertyList(platform::Bytes { 0, 255, 7 }));
    EXPECT_EQ(Defaults::get(key), zk::SandboxURLBookmark({ { 0, 255, 7 } }));
}

TEST_F(SandboxURLBookmarkTest, BookmarksKeptAsJsonTextByEarlierVersionsAreReadAndRewritten)
{
    const std::string folder = directory.path().toStdString();
    const std::string entry = zk::SecurityScopedBookmarks::keyFor(folder);
    // "YWJj" is "abc" in base64, as the JSON text held data.
    UserDefaults::standard()->setObject(
        platform::PropertyList("{\"" + entry + "\":\"YWJj\"}"), zk::SecurityScopedBookmarks::key);

    EXPECT_EQ(zk::SecurityScopedBookmarks::bookmarkData(folder), (platform::Bytes { 'a', 'b', 'c' }));
    const auto stored = UserDefaults::standard()->objectForKey(zk::SecurityScopedBookmarks::key);
    ASSERT_TRUE(stored);
    EXPECT_NE(stored->getIf<platform::PropertyListDictionary>(), nullptr) << "rewritten in its current form";
    EXPECT_EQ(zk::SecurityScopedBookmarks::all().size(), 1u);
}

TEST_F(SandboxURLBookmarkTest, ABookmarkResolvesWhileItsItemExists)
{
    const std::string file = directory.filePath("notes.txt").toStdString();
    std::ofstream(file) << "x";
    auto bookmark = zk::SandboxURLBookmark::make(file);
    ASSERT_TRUE(bookmark);
    EXPECT_EQ(bookmark->resolve(), std::filesystem::canonical(file).string());
    std::filesystem::remove(file);
    EXPECT_EQ(bookmark->resolve(), std::nullopt);
    EXPECT_FALSE(zk::SandboxURLBookmark::make(file));
}

TEST_F(SandboxURLBookmarkTest, TheStoreIsKeyedByTheResolvedURLAndRewrittenWhole)
{
    const std::filesystem::path real = directory.filePath("real").toStdString();
    std::filesystem::create_directory(real);
    const std::filesystem::path link = directory.filePath("link").toStdString();
    std::filesystem::create_directory_symlink(real, link);

    zk::SecurityScopedBookmarks::setBookmarkData(link.string(), platform::Bytes { 1 });
    zk::SecurityScopedBookmarks::setBookmarkData("/tmp/../tmp/other", platform::Bytes { 2 });
    auto all = zk::SecurityScopedBookmarks::all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all.count("file://" + std::filesystem::canonical(real).string() + "/"), 1u);
    EXPECT_EQ(zk::SecurityScopedBookmarks::bookmarkData(real.string()), platform::Bytes { 1 });

    zk::SecurityScopedBookmarks::setBookmarkData(real.string(), std::nullopt);
    EXPECT_EQ(zk::SecurityScopedBookmarks::all().size(), 1u);
    EXPECT_EQ(zk::SecurityScopedBookmarks::bookmarkData(real.string()), std::nullopt);
}

TEST_F(SandboxURLBookmarkTest, ExtendedAttributesAreWrittenOrTheFailureIsThrown)
{
    const std::string file = directory.filePath("shot.png").toStdString();
    std::ofstream(file) << "x";
    const std::vector<std::uint8_t> value { 'y', 'e', 's' };
    const int result = zk::ExtendedAttributes::setExtendedAttributeBytes(file, "user.kiruvo.test", value);
    if (result == 0) {
        char buffer[8] = {};
        ASSERT_EQ(::getxattr(file.c_str(), "user.kiruvo.test", buffer, sizeof buffer), 3);
        EXPECT_EQ(std::string(buffer, 3), "yes");
    } else {
        // Some file systems (tmpfs in containers) refuse user attributes.
        EXPECT_EQ(result, -1);
    }
    try {
        zk::ExtendedAttributes::set(directory.filePath("missing").toStdString(), "user.kiruvo.test", value);
        FAIL() << "a missing file must fail";
    } catch (const zk::PlatformError& error) {
        EXPECT_EQ(error.domain(), "NSPOSIXErrorDomain");
        EXPECT_EQ(error.code(), ENOENT);
    }
}

} // namespace

TEST(SandboxURLBookmarkCoding, DecodesOnlyFromOneValueOfData)
{
    const zk::SandboxURLBookmark bookmark { { 0x2f, 0x74, 0x6d, 0x70, 0x00, 0xff } };
    const nlohmann::json encoded = bookmark;
    EXPECT_EQ(encoded, nlohmann::json("L3RtcAD/"));
    EXPECT_EQ(encoded.get<zk::SandboxURLBookmark>(), bookmark);
    EXPECT_EQ(nlohmann::json("").get<zk::SandboxURLBookmark>(), zk::SandboxURLBookmark {});

    // A keyed form, a number and text that is not base64 are no bookmark.
    EXPECT_THROW((void)nlohmann::json::parse(R"({"bookmarkData":"L3RtcA=="})").get<zk::SandboxURLBookmark>(),
        nlohmann::json::type_error);
    EXPECT_THROW((void)nlohmann::json(5).get<zk::SandboxURLBookmark>(), nlohmann::json::type_error);
    EXPECT_THROW(
        (void)nlohmann::json("not base64!").get<zk::SandboxURLBookmark>(), nlohmann::json::other_error);
    // Inside a larger value, as a stored list of folders is.
    const auto list = nlohmann::ordered_json::parse(R"(["L3RtcA==", "L2hvbWU="])")
                          .get<std::vector<zk::SandboxURLBookmark>>();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].bookmarkData, (platform::Bytes { '/', 'h', 'o', 'm', 'e' }));
}
