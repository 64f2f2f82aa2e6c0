#include "app/engine/ShowInMenuBar.h"

namespace kiruvo {

std::string_view rawValue(ShowInMenuBar value)
{
    switch (value) {
    case ShowInMenuBar::icon:
        return "icon";
    case ShowInMenuBar::currentSessionDuration:
        return "currentSessionDuration";
    case ShowInMenuBar::totalTodayDuration:
        return "totalTodayDuration";
    }
    return "icon";
}

} // namespace kiruvo
