#include "app/windows/MenuBarIconSetting.h"

#include "app/engine/SettingsKeys.h"
#include "app/menubar/MenuBarIconImage.h"
#include "kit/foundation/ImageWriting.h"
#include "kit/interface/EnumPicker.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPixmap>

namespace kiruvo {

QIcon MenuBarIconSetting::icon(MenuBarIcon value)
{
    // The tray's picture is black for the panel to recolour; here it takes the text colour.
    return QIcon(
        QPixmap::fromImage(zk::tinted(image(value), QApplication::palette().color(QPalette::WindowText))));
}

MenuBarIconSetting::MenuBarIconSetting(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    // The picker sits to the right of the "Show:" choices above it.
    layout->setContentsMargins(pickerOffset, 0, 0, 0);
    m_picker = new zk::Picker(QStringLiteral("Icon:"), zk::Picker::Style::menu, this);
    m_picker->setLabelHidden(true);
    zk::bindEnumPicker(*m_picker, allCases<MenuBarIcon>(), Keys::menuBarIcon(), [](MenuBarIcon value, bool) {
        return zk::Picker::Row { QString::fromUtf8(
                                     title(value).data(), static_cast<qsizetype>(title(value).size())),
            [value] { return icon(value); } };
    });
    m_picker->comboBox()->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_picker->comboBox()->setFixedWidth(pickerWidth);
    layout->addWidget(m_picker);
    layout->addStretch(1);
}

} // namespace kiruvo
