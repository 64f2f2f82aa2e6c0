#include "platform/time/Locale.h"

#include <cstdlib>
#include <mutex>

#include <unicode/locid.h>

namespace platform {

namespace {

std::mutex currentMutex;
std::optional<Locale> testingLocale;

std::shared_ptr<const icu::Locale> makeLocale(const std::string& identifier)
{
    icu::Locale locale;
    if (identifier.find('-') != std::string::npos) {
        UErrorCode status = U_ZERO_ERROR;
        locale = icu::Locale::forLanguageTag(identifier, status);
        if (U_FAILURE(status)) {
            locale.setToBogus();
        }
    } else {
        locale = icu::Locale(identifier.c_str());
    }
    // A malformed name falls back to the root locale, whose formats are neutral.
    return std::make_shared<const icu::Locale>(locale.isBogus() ? icu::Locale::getRoot() : locale);
}

} // namespace

Locale::Locale(const std::string& identifier)
    : m_locale(makeLocale(identifier))
{
}

Locale::Locale(std::shared_ptr<const icu::Locale> locale)
    : m_locale(std::move(locale))
{
}

Locale Locale::fromIcu(icu::Locale locale)
{
    return Locale(
        std::make_shared<const icu::Locale>(locale.isBogus() ? icu::Locale::getRoot() : std::move(locale)));
}

bool Locale::operator==(const Locale& other) const
{
    return *m_locale == *other.m_locale;
}

std::string Locale::identifier() const
{
    return m_locale->getName();
}

std::string Locale::languageCode() const
{
    return m_locale->getLanguage();
}

std::string Locale::regionCode() const
{
    return m_locale->getCountry();
}

std::string Locale::identifierFromPosix(const std::string& posixName)
{
    std::string name = posixName;
    // glibc modifiers ("@euro", "@latin") name variants that ICU spells differently; the language
    // and region are what dates and weekends depend on, so the modifier is left out.
    if (const auto at = name.find('@'); at != std::string::npos) {
        name.erase(at);
    }
    if (const auto dot = name.find('.'); dot != std::string::npos) {
        name.erase(dot);
    }
    if (name.empty()) {
        return "en";
    }
    if (name == "C" || name == "POSIX") {
        return "en_US_POSIX";
    }
    return name;
}

Locale Locale::current()
{
    {
        std::lock_guard lock(currentMutex);
        if (testingLocale) {
            return *testingLocale;
        }
    }
    for (const char* variable : { "LC_ALL", "LC_TIME", "LANG" }) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            return Locale(identifierFromPosix(value));
        }
    }
    return Locale(std::string("en"));
}

void Locale::setCurrentForTesting(std::optional<Locale> locale)
{
    std::lock_guard lock(currentMutex);
    testingLocale = std::move(locale);
}

} // namespace platform
