#pragma once

#include <optional>
#include <string>

#include <unicode/locid.h>

namespace platform {

// A locale as a value over ICU's. Thread-safe.
class Locale {
public:
    // The user's locale for dates and numbers: the first of LC_ALL, LC_TIME and LANG that is set
    // and not empty ("de_DE.UTF-8@euro" is read as de_DE); the POSIX locale "C" (with or without
    // a code set) and "POSIX" are en_US_POSIX, and nothing set at all is "en". Tests pin it with
    // setCurrentForTesting().
    static Locale current();
    // Nothing restores the environment's locale.
    static void setCurrentForTesting(std::optional<Locale> locale);

    // An ICU locale identifier ("en_US", "he_IL") or a BCP 47 tag ("en-US").
    explicit Locale(const std::string& identifier);
    explicit Locale(const char* identifier)
        : Locale(std::string(identifier))
    {
    }
    static Locale fromIcu(icu::Locale locale);

    // The canonical ICU name, "en_US".
    std::string identifier() const;
    std::string languageCode() const;
    std::string regionCode() const;

    const icu::Locale& icu() const { return m_locale; }

    bool operator==(const Locale& other) const { return m_locale == other.m_locale; }

    // Maps a POSIX locale name as found in LC_ALL/LC_TIME/LANG to an ICU identifier.
    static std::string identifierFromPosix(const std::string& posixName);

private:
    icu::Locale m_locale;
};

} // namespace platform
