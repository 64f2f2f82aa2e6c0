#pragma once

#include "app/engine/ShowInMenuBar.h"

#include <QWidget>

namespace zk {
class Picker;
}

namespace kiruvo {

class MenuBarIconSetting;

// "Show:" the icon, the current session's duration or today's total, bound to "showInMenuBar", and
// under it the icon picker, shown only while "Icon" is chosen; hidden, it keeps its room so that
// nothing around it moves. Main-thread only.
class ShowInMenuBarSetting : public QWidget {
    Q_OBJECT
public:
    explicit ShowInMenuBarSetting(QWidget* parent = nullptr);

    static QString title(ShowInMenuBar value);

    zk::Picker* picker() const { return m_picker; }
    MenuBarIconSetting* iconSetting() const { return m_icon; }

private:
    zk::Picker* m_picker = nullptr;
    MenuBarIconSetting* m_icon = nullptr;
};

} // namespace kiruvo
