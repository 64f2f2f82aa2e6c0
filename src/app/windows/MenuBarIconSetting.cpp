#include "app/windows/MenuBarIconSetting.h"

#include "app/engine/SettingsKeys.h"
#include "app/menubar/MenuBarIconImage.h"
#include "kit/interface/EnumPicker.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPixmap>

namespace kiruvo {

QIcon MenuBarIconSetting::icon(MenuBarIcon value)
{
    // The tray's picture is black for the panel to recolour; here it takes the text colour.
    QImage picture = image(value);
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(picture.rect(), QApplication::palette().color(QPalette::WindowText));
    painter.end();
    return QIcon(QPixmap::fromImage(picture));
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
