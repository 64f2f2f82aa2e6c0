#pragma once

#include "kit/interface/Progress.h"

#include <QColor>
#include <QMetaObject>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

namespace zk {

// Progress and a count over the application's icon in the desktop's launcher, dock or task
// manager, either from a value the caller sets or by following a Progress. One process-wide
// state.
//
// The launcher draws the indicator itself, in its own look: every style shows as the launcher's
// progress bar, and the badge style also shows its value as the launcher's count. The style's
// colours, sizes and drawing closure therefore have no effect on this platform.
//
// Main-thread only.
class DockProgress {
public:
    struct Squircle {
        std::optional<double> inset;
        QColor color;
    };
    struct Circle {
        double radius;
        QColor color;
    };
    struct Badge {
        QColor color;
        std::function<int()> badgeValue;
    };
    struct Custom {
        std::function<void(const QRectF& rect)> drawHandler;
    };
    struct Bar { };
    using Style = std::variant<Squircle, Circle, Badge, Custom, Bar>;

    DockProgress() = delete;

    static double progress();
    // Shown again only when it moved by more than 0.01 since last shown (or from 0).
    static void setProgress(double progress);
    // Back to 0, shown at once.
    static void resetProgress();

    // Follows `progress`'s fraction until it finishes (then 1, the plain icon) or is cancelled
    // (then the last value stays); nullptr, or the followed object going away, ends following and
    // resets.
    static void setProgressInstance(Progress* progress);
    static Progress* progressInstance();

    // Changing the style does not show anything by itself.
    static const Style& style();
    static void setStyle(Style style);

    // The badge's text of a value: up to 999 as is, then thousands as "3k", from 10000 "9k+" (with
    // the value's sign).
    static QString badgeText(int value);

    // Forgets all state, for tests.
    static void resetForTesting();

private:
    static void redraw();
};

} // namespace zk
