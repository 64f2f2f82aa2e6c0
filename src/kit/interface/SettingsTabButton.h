#pragma once

#include "kit/interface/SettingsTabLabel.h"

#include <QToolButton>

namespace zk {

// One of the buttons that choose a settings window's pane: its symbol with its title under it,
// checked while its pane shows. A screen reader meets it as a page tab, selected while its pane
// shows. Main-thread only.
class SettingsTabButton : public QToolButton {
    Q_OBJECT
public:
    explicit SettingsTabButton(const SettingsTabLabel& label, QWidget* parent = nullptr);
};

} // namespace zk
