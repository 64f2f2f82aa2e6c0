#include "app/menubar/MenuBarDurationFormatter.h"

#include <QString>

#include <cmath>
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

QString compactMenuBarDuration(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 3600 || seconds >= 24 * 3600) {
        return {};
    }
    const auto minutes = static_cast<long long>(std::lround(seconds / 60));
    return QStringLiteral("%1:%2").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace kiruvo
