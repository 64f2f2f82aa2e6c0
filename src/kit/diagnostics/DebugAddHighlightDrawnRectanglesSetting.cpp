#include "kit/diagnostics/DebugAddHighlightDrawnRectanglesSetting.h"

#include "kit/diagnostics/DebugSwitches.h"
#include "kit/diagnostics/ResetAppData.h"
#include "libraries/defaults/Defaults.h"

namespace zk {

DebugAddHighlightDrawnRectanglesSetting::DebugAddHighlightDrawnRectanglesSetting(QWidget* parent)
    : QCheckBox(QStringLiteral("Highlight Drawn Rectangles"), parent)
{
    setChecked(isOn());
}

bool DebugAddHighlightDrawnRectanglesSetting::isOn()
{
    return Defaults::read<std::string>(*platform::UserDefaults::standard(), DebugSwitches::showAllDrawingKey)
        == DebugSwitches::showAllDrawingOnValue();
}

void DebugAddHighlightDrawnRectanglesSetting::toggle()
{
    platform::UserDefaults& suite = *platform::UserDefaults::standard();
    if (isOn()) {
        Defaults::write<std::string>(suite, DebugSwitches::showAllDrawingKey, "no");
    } else {
        Defaults::write<std::string>(
            suite, DebugSwitches::showAllDrawingKey, DebugSwitches::showAllDrawingOnValue());
        Defaults::write<std::string>(suite, DebugSwitches::showAllDrawingColorKey, "cycle");
    }
    startRelaunchTask(false, false);
}

void DebugAddHighlightDrawnRectanglesSetting::nextCheckState()
{
    toggle();
    setChecked(isOn());
}

} // namespace zk
