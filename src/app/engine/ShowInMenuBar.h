#pragma once

#include "app/engine/RawValueEnum.h"

namespace kiruvo {

// What the status item shows next to its icon.
enum class ShowInMenuBar { icon, currentSessionDuration, totalTodayDuration };

template <> struct EnumCases<ShowInMenuBar> {
    static constexpr std::array all { ShowInMenuBar::icon, ShowInMenuBar::currentSessionDuration,
        ShowInMenuBar::totalTodayDuration };
};

std::string_view rawValue(ShowInMenuBar value);

// The form earlier versions stored: the JSON text of the raw value.
using CodableShowInMenuBar = Defaults::RawCodableForm<ShowInMenuBar>;

} // namespace kiruvo
