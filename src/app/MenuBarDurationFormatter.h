#pragma once

#include "platform/Locale.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class MeasureFormat;
U_NAMESPACE_END

namespace kiruvo {

// The status item's duration text: abbreviated unit names in days, hours and minutes, at most two
// of them, starting from the largest that is not zero ("25 min", "3 hr, 5 min", "1 day, 2 hr").
// A unit that is zero between or after them is left out ("1 day" for a day and five minutes),
// seconds are dropped rather than rounded, and a span under a minute reads "0 min". Thread-safe.
class MenuBarDurationFormatter {
public:
    explicit MenuBarDurationFormatter(platform::Locale locale);
    ~MenuBarDurationFormatter();
    MenuBarDurationFormatter(const MenuBarDurationFormatter&) = delete;
    MenuBarDurationFormatter& operator=(const MenuBarDurationFormatter&) = delete;

    // The one for the user's current locale, built on first use and again only when it changes.
    static std::shared_ptr<const MenuBarDurationFormatter> shared();

    const platform::Locale& locale() const { return m_locale; }

    // Nothing for a span that is not a finite number or too long to count in minutes. A negative
    // span carries its sign on the first unit.
    std::optional<std::string> string(double seconds) const;

private:
    platform::Locale m_locale;
    mutable std::mutex m_mutex;
    std::unique_ptr<icu::MeasureFormat> m_format;
};

} // namespace kiruvo
