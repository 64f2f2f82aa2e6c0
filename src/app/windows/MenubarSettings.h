#pragma once

#include <QWidget>

namespace Defaults {
class Toggle;
}

namespace zk {
class MenuBarItemVerticalAlignmentSetting;
}

namespace kiruvo {

class ClickMenuBarItemSetting;
class ShowInMenuBarSetting;

// The Menu Bar tab: what the status item shows (and which icon), what a left click does, whether it
// dims while tracking is off, and its text's vertical offset. Main-thread only.
class MenubarSettings : public QWidget {
    Q_OBJECT
public:
    explicit MenubarSettings(QWidget* parent = nullptr);

    ShowInMenuBarSetting* showInMenuBar() const { return m_show; }
    ClickMenuBarItemSetting* clickSetting() const { return m_click; }
    Defaults::Toggle* dimToggle() const { return m_dim; }
    zk::MenuBarItemVerticalAlignmentSetting* alignmentSetting() const { return m_alignment; }

private:
    ShowInMenuBarSetting* m_show = nullptr;
    ClickMenuBarItemSetting* m_click = nullptr;
    Defaults::Toggle* m_dim = nullptr;
    zk::MenuBarItemVerticalAlignmentSetting* m_alignment = nullptr;
};

} // namespace kiruvo
