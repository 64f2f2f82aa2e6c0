#include "platform/time/Locale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using platform::Locale;

namespace {

// Sets the three locale variables for one test and puts back what was there.
class LocaleEnvironment {
public:
    LocaleEnvironment(const char* all, const char* time, const char* lang)
    {
        for (const char* name : names) {
            const char* value = std::getenv(name);
            saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        }
        set("LC_ALL", all);
        set("LC_TIME", time);
        set("LANG", lang);
    }
    ~LocaleEnvironment()
    {
        for (std::size_t i = 0; i < std::size(names); ++i) {
            set(names[i], saved[i] ? saved[i]->c_str() : nullptr);
        }
    }

private:
    static void set(const char* name, const char* value)
    {
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    static constexpr const char* names[] = { "LC_ALL", "LC_TIME", "LANG" };
    std::vector<std::optional<std::string>> saved;
};

} // namespace

TEST(Locale, PosixNamesBecomeIcuIdentifiers)
{
    EXPECT_EQ(Locale::identifierFromPosix("de_DE.UTF-8"), "de_DE");
    EXPECT_EQ(Locale::identifierFromPosix("sr_RS.UTF-8@latin"), "sr_RS");
    EXPECT_EQ(Locale::identifierFromPosix("C"), "en_US_POSIX");
    EXPECT_EQ(Locale::identifierFromPosix("C.UTF-8"), "en_US_POSIX");
    EXPECT_EQ(Locale::identifierFromPosix("POSIX"), "en_US_POSIX");
    EXPECT_EQ(Locale::identifierFromPosix(""), "en");
}

TEST(Locale, CurrentFollowsTheFirstSetVariable)
{
    {
        LocaleEnvironment env("fr_FR.UTF-8", "de_DE.UTF-8", "nb_NO.UTF-8");
        EXPECT_EQ(Locale::current().identifier(), "fr_FR");
    }
    {
        LocaleEnvironment env("", "de_DE.UTF-8", "nb_NO.UTF-8");
        EXPECT_EQ(Locale::current().identifier(), "de_DE");
    }
    {
        LocaleEnvironment env(nullptr, nullptr, "he_IL.UTF-8");
        EXPECT_EQ(Locale::current().identifier(), "he_IL");
    }
    {
        LocaleEnvironment env(nullptr, nullptr, nullptr);
        EXPECT_EQ(Locale::current().identifier(), "en");
    }
}

TEST(Locale, TestingOverrideWinsOverTheEnvironment)
{
    LocaleEnvironment env("fr_FR.UTF-8", nullptr, nullptr);
    Locale::setCurrentForTesting(Locale("en_US"));
    EXPECT_EQ(Locale::current().identifier(), "en_US");
    Locale::setCurrentForTesting(std::nullopt);
    EXPECT_EQ(Locale::current().identifier(), "fr_FR");
}

TEST(Locale, IdentifiersAndLanguageTags)
{
    const Locale tag("en-US");
    EXPECT_EQ(tag.identifier(), "en_US");
    EXPECT_EQ(tag, Locale("en_US"));
    EXPECT_EQ(Locale("he_IL").languageCode(), "he");
    EXPECT_EQ(Locale("he_IL").regionCode(), "IL");
}
