#pragma once

#include "kit/foundation/core/Duration.h"
#include "platform/time/DurationFormatter.h"

#include "kit/interface/Picker.h"

#include <QString>

#include <span>
#include <vector>

namespace kiruvo {

// The text of a duration in a settings choice: one unit, its full name, as inside a sentence
// ("1 minute", "10 minutes", "4 hours"), in the locale current when the formatter was made.
// Thread-safe.
class DurationChoiceFormatter {
public:
    DurationChoiceFormatter();

    // The locale's words; "!!!" when the span has no text.
    QString string(zk::Duration duration) const;

    // Adds one row per duration (in seconds), its text `pattern` with %1 the duration's words, and
    // answers the durations in row order.
    std::vector<zk::Duration> addRows(zk::Picker& picker, std::span<const double> durations,
        const QString& pattern = QStringLiteral("%1")) const;

private:
    platform::DurationFormatter m_formatter;
};

} // namespace kiruvo
