#include "platform/AppFolders.h"
#include "platform/desktop/ShortcutsFolder.h"
#include "platform/store/DefaultsDatabase.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace {

// Sets or clears one variable for the test's length and puts the old value back afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedVariable()
    {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// The settings database and the scripts folder live in the one data folder.
void expectEveryoneAgrees(const std::filesystem::path& expected)
{
    EXPECT_EQ(platform::AppFolders::dataFolder(), expected);
    EXPECT_EQ(
        std::filesystem::path(platform::DefaultsDatabase::defaultPath()), expected / "defaults.sqlite3");
    EXPECT_EQ(platform::ShortcutsFolder::standardLocation(), expected / "shortcuts");
}

} // namespace

TEST(AppFoldersTest, TheXdgFoldersCountOnlyWhenAbsolute)
{
    ScopedVariable database("KIRUVO_DEFAULTS_PATH", nullptr);
    ScopedVariable home("HOME", "/home/someone");
    {
        ScopedVariable data("XDG_DATA_HOME", "/srv/data");
        ScopedVariable cache("XDG_CACHE_HOME", "/srv/cache");
        expectEveryoneAgrees("/srv/data/kiruvo");
        EXPECT_EQ(platform::AppFolders::cacheFolder(), "/srv/cache/kiruvo");
    }
    ScopedVariable data("XDG_DATA_HOME", "relative/data");
    ScopedVariable cache("XDG_CACHE_HOME", "");
    expectEveryoneAgrees("/home/someone/.local/share/kiruvo");
    EXPECT_EQ(platform::AppFolders::cacheFolder(), "/home/someone/.cache/kiruvo");
}

TEST(AppFoldersTest, WithoutAUsableHomeVariableTheAccountsHomeIsUsed)
{
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const std::filesystem::path accountHome = account->pw_dir;
    ScopedVariable database("KIRUVO_DEFAULTS_PATH", nullptr);
    ScopedVariable data("XDG_DATA_HOME", nullptr);
    for (const char* value : { static_cast<const char*>(nullptr), "", "not/absolute" }) {
        ScopedVariable home("HOME", value);
        EXPECT_EQ(platform::AppFolders::homeFolder(), accountHome);
        expectEveryoneAgrees(accountHome / ".local/share/kiruvo");
    }
}
