#pragma once

#include "libraries/defaults/Keys.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

class QApplication;

namespace zk {

// The toolkit debugging switches of the developer debug window, stored in the standard suite under
// the names the original toolkit reads. They take effect at the next launch, where Qt has an
// equivalent:
// - "NSShowAllViews": every widget is outlined (a style sheet);
// - "NSTraceEvents": Qt's input-event logging ("qt.qpa.input*", "qt.widgets.gestures");
// - "NSShowAllDrawing" = "200": Qt flashes every region it repaints (QT_FLUSH_UPDATE);
// "NSConstraintBasedLayoutVisualizeMutuallyExclusiveConstraints" and "_NS_4445425547" have no Qt
// counterpart: they get no switch, and stored values of them are left alone.
namespace DebugSwitches {

struct Row {
    std::string title;
    std::string key;
};
// The switch rows, in the order the Settings page shows them.
const std::vector<Row>& rows();
// A key of a row, in the current standard suite (default false).
Defaults::Key<bool> key(const std::string& name);

inline constexpr const char* showAllDrawingKey = "NSShowAllDrawing";
inline constexpr const char* showAllDrawingColorKey = "NSShowAllDrawingColor";
// The stored text that means on.
const std::string& showAllDrawingOnValue();

// The environment variables to set before the QApplication exists (name, value).
std::vector<std::pair<QString, QString>> environmentForLaunch(const platform::UserDefaults& suite);
// The style sheet to add once it exists; empty when none.
QString styleSheetForLaunch(const platform::UserDefaults& suite);

// Applies both parts against the standard suite.
void applyBeforeApplication();
void applyToApplication(QApplication& application);

} // namespace DebugSwitches

} // namespace zk
