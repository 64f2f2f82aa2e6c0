#pragma once

#include "libraries/defaults/Observable.h"

#include <QWidget>

#include <optional>

class QSlider;

namespace zk {

class InfoPopoverButton;

// Moves the status item's text up or down, for panels that do not centre it: a slider from -2 to 2
// points in steps of 0.5 and a help button that says why. Nothing stored reads as 0; once moved,
// the setting holds a number (0 in the middle), never nothing. Main-thread only.
class MenuBarItemVerticalAlignmentSetting : public QWidget {
    Q_OBJECT
public:
    static constexpr double minimum = -2.0;
    static constexpr double maximum = 2.0;
    static constexpr double step = 0.5;

    explicit MenuBarItemVerticalAlignmentSetting(
        const Defaults::Key<std::optional<double>>& value, QWidget* parent = nullptr);

    QSlider* slider() const { return m_slider; }
    InfoPopoverButton* helpButton() const { return m_help; }
    // The value the slider shows.
    double shownValue() const;

private:
    void refresh();

    Defaults::Observable<std::optional<double>>* m_observable;
    QSlider* m_slider = nullptr;
    InfoPopoverButton* m_help = nullptr;
};

} // namespace zk
