#include "kit/interface/LaunchAtLoginToggle.h"

#include "kit/interface/LaunchAtLoginObservable.h"

namespace zk {

LaunchAtLoginToggle::LaunchAtLoginToggle(QWidget* parent)
    : LaunchAtLoginToggle(QStringLiteral("Launch at login"), parent)
{
}

LaunchAtLoginToggle::LaunchAtLoginToggle(const QString& title, QWidget* parent)
    : BoundCheckBox(
        title, [] { return LaunchAtLoginObservable::shared().isEnabled(); },
        [](bool value) { LaunchAtLoginObservable::shared().setEnabled(value); }, parent)
{
    follow(&LaunchAtLoginObservable::shared(), &LaunchAtLoginObservable::objectWillChange);
}

} // namespace zk
