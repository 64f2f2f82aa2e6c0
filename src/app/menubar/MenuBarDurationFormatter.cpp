#include "app/menubar/MenuBarDurationFormatter.h"

#include <mutex>

namespace kiruvo {

std::shared_ptr<const platform::DurationFormatter> makeMenuBarDurationFormatter(platform::Locale locale)
{
    return std::make_shared<const platform::DurationFormatter>(std::move(locale),
        platform::DurationFormatter::UnitsStyle::abbreviated,
        platform::DurationFormatter::Units::daysHoursMinutes, 2);
}

std::shared_ptr<const platform::DurationFormatter> menuBarDurationFormatter()
{
    static std::mutex mutex;
    static std::shared_ptr<const platform::DurationFormatter> formatter;
    auto locale = platform::Locale::current();
    std::lock_guard lock(mutex);
    if (!formatter || !(formatter->locale() == locale)) {
        formatter = makeMenuBarDurationFormatter(std::move(locale));
    }
    return formatter;
}

} // namespace kiruvo
