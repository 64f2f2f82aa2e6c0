#pragma once

#include <QCheckBox>

namespace zk {

// "Highlight Drawn Rectangles": on exactly while "NSShowAllDrawing" holds "200". Switching it
// stores "no", or "200" with "cycle" as the colour, and relaunches the application, since the
// toolkit reads the switch at launch. Main-thread only.
class DebugAddHighlightDrawnRectanglesSetting : public QCheckBox {
    Q_OBJECT
public:
    explicit DebugAddHighlightDrawnRectanglesSetting(QWidget* parent = nullptr);

    static bool isOn();
    // The write of a switch, whatever the value switched to.
    static void toggle();

protected:
    void nextCheckState() override;
};

} // namespace zk
