#pragma once

#include "app/engine/MenuBarIcon.h"
#include "kit/interface/PickerBinding.h"

#include <QIcon>
#include <QWidget>

namespace zk {
class Picker;
}

namespace kiruvo {

// The icon the status item shows, as a pop-up of the 29 icons bound to "menuBarIcon" (its label
// "Icon:" not shown). Each row is the icon's title and its picture drawn as the tray draws it; the
// pictures are made when the pop-up first opens. Main-thread only.
class MenuBarIconSetting : public QWidget {
    Q_OBJECT
public:
    static constexpr int pickerWidth = 182;
    static constexpr int pickerOffset = 45;

    explicit MenuBarIconSetting(QWidget* parent = nullptr);

    // The picture of an icon in the picker, in the palette's text colour.
    static QIcon icon(MenuBarIcon value);

    zk::Picker* picker() const { return m_picker; }

private:
    zk::Picker* m_picker = nullptr;
};

} // namespace kiruvo
