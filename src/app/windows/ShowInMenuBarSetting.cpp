#include "app/windows/ShowInMenuBarSetting.h"

#include "app/engine/SettingsKeys.h"
#include "app/windows/MenuBarIconSetting.h"
#include "kit/interface/EnumPicker.h"

#include <QVBoxLayout>

namespace kiruvo {

QString ShowInMenuBarSetting::title(ShowInMenuBar value)
{
    switch (value) {
    case ShowInMenuBar::icon:
        return QStringLiteral("Icon");
    case ShowInMenuBar::currentSessionDuration:
        return QStringLiteral("Current session duration");
    case ShowInMenuBar::totalTodayDuration:
        return QStringLiteral("Total duration today");
    }
    return {};
}

ShowInMenuBarSetting::ShowInMenuBarSetting(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_picker = new zk::Picker(QStringLiteral("Show:"), zk::Picker::Style::menu, this);
    auto* binding = zk::bindEnumPicker(
        *m_picker, allCases<ShowInMenuBar>(), Keys::showInMenuBar(), [](ShowInMenuBar value, bool) {
            return zk::Picker::Row { title(value), {} };
        });
    layout->addWidget(m_picker);

    m_icon = new MenuBarIconSetting(this);
    QSizePolicy policy = m_icon->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_icon->setSizePolicy(policy);
    layout->addWidget(m_icon);
    // What is stored decides, or the default (the current session's duration) when nothing usable is.
    binding->onShow([this](const ShowInMenuBar&) {
        m_icon->setVisible(Defaults::get(Keys::showInMenuBar()) == ShowInMenuBar::icon);
    });
}

} // namespace kiruvo
