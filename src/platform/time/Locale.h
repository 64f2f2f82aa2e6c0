#pragma once

#include <memory>
#include <optional>
#include <string>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Locale;
U_NAMESPACE_END

namespace platform {

// A locale as an immutable value over ICU's, which stays out of the files that only pass one on.
// Thread-safe.
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
    // Copies share the immutable ICU locale; with no move of its own, a moved-from locale stays whole.
    Locale(const Locale&) = default;
    Locale& operator=(const Locale&) = default;

    // The canonical ICU name, "en_US".
    std::string identifier() const;
    std::string languageCode() const;
    std::string regionCode() const;

    const icu::Locale& icu() const { return *m_locale; }

    bool operator==(const Locale& other) const;

    // Maps a POSIX locale name as found in LC_ALL/LC_TIME/LANG to an ICU identifier.
    static std::string identifierFromPosix(const std::string& posixName);

private:
    explicit Locale(std::shared_ptr<const icu::Locale> locale);

    std::shared_ptr<const icu::Locale> m_locale;
};

} // namespace platform
