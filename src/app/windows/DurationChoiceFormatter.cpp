#include "app/windows/DurationChoiceFormatter.h"

#include "app/engine/SharedFormatters.h"

namespace kiruvo {

DurationChoiceFormatter::DurationChoiceFormatter()
    : m_formatter(platform::Locale::current(), platform::DurationFormatter::UnitsStyle::full,
        platform::DurationFormatter::Units::hoursMinutes, 1)
{
}

QString DurationChoiceFormatter::string(zk::Duration duration) const
{
    const auto text = m_formatter.string(duration.seconds);
    return QString::fromStdString(text.value_or(std::string(SharedFormatters::missingText)));
}

std::vector<zk::Duration> DurationChoiceFormatter::addRows(
    zk::Picker& picker, std::span<const double> durations, const QString& pattern) const
{
    std::vector<zk::Duration> added;
    for (const double seconds : durations) {
        const auto duration = zk::Duration::fromSeconds(seconds);
        picker.addRow({ pattern.arg(string(duration)), {} });
        added.push_back(duration);
    }
    return added;
}

} // namespace kiruvo
