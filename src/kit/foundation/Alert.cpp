#include "kit/foundation/Alert.h"

#include "kit/foundation/SecondaryTextColor.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

namespace zk {

namespace {

constexpr const char* indexProperty = "zkAlertButtonIndex";
constexpr const char* destructiveProperty = "zkAlertDestructive";
constexpr int detailWidth = 300;
constexpr int detailHeight = 120;

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

QMessageBox::Icon iconForStyle(AlertStyle style)
{
    switch (style) {
    case AlertStyle::informational:
        return QMessageBox::Information;
    case AlertStyle::critical:
        return QMessageBox::Critical;
    case AlertStyle::warning:
        break;
    }
    return QMessageBox::Warning;
}

// Spans the whole width of the alert's grid, under everything it already holds.
void addBelowTexts(QMessageBox& alert, QWidget* widget, QLayoutItem* item)
{
    auto* grid = qobject_cast<QGridLayout*>(alert.layout());
    if (!grid) {
        return;
    }
    const int row = grid->rowCount();
    if (widget) {
        grid->addWidget(widget, row, 0, 1, grid->columnCount());
    } else {
        grid->addItem(item, row, 0, 1, grid->columnCount());
    }
}

void addDetailText(QMessageBox& alert, const AlertDescription& description)
{
    auto* box = new QPlainTextEdit(&alert);
    box->setObjectName(QStringLiteral("detailText"));
    box->setReadOnly(true);
    box->setPlainText(qt(*description.detailText));
    box->setFrameShape(QFrame::NoFrame);
    box->viewport()->setAutoFillBackground(false);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(std::max(1.0, font.pointSizeF() - 2));
    box->setFont(font);
    QPalette palette = box->palette();
    // Drawn on the alert itself: the box paints no background of its own.
    for (const QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive }) {
        palette.setColor(
            group, QPalette::Text, secondaryTextColor(palette, QPalette::Text, QPalette::Window, group));
    }
    box->setPalette(palette);
    box->setFixedHeight(detailHeight);
    if (description.automaticWidth) {
        // The alert's layout fits the box to the texts above it.
        box->setMinimumWidth(detailWidth);
        box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        box->setFixedWidth(static_cast<int>(std::max(0.0, description.minimumWidth)));
    }
    addBelowTexts(alert, box, nullptr);
}

} // namespace

void configureAlert(QMessageBox& alert, const AlertDescription& description)
{
    alert.setText(qt(description.title));
    alert.setTextFormat(Qt::PlainText);
    if (description.icon.isNull()) {
        alert.setIcon(iconForStyle(description.style));
    } else {
        const int size = alert.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &alert);
        alert.setIconPixmap(description.icon.pixmap(size, size));
    }
    if (description.showsSuppressionButton) {
        auto* checkBox = new QCheckBox(
            qt(description.suppressionButtonTitle.value_or("Do not show this message again")), &alert);
        alert.setCheckBox(checkBox);
    }
    if (description.message) {
        alert.setInformativeText(qt(*description.message));
    }
    if (description.detailText) {
        addDetailText(alert, description);
    } else if (!description.automaticWidth) {
        addBelowTexts(alert, nullptr,
            new QSpacerItem(static_cast<int>(std::max(0.0, description.minimumWidth)), 0, QSizePolicy::Fixed,
                QSizePolicy::Minimum));
    }

    std::vector<std::string> titles = description.buttonTitles;
    if (titles.empty()) {
        titles.push_back("OK");
    }
    const auto& destructive = description.destructiveButtonIndexes;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const QString title = qt(titles[i]);
        const bool isCancel = title == QStringLiteral("Cancel");
        // No button gets the accept role: the button box would make the first such button answer
        // Return when shown, whatever the description says.
        const bool isDestructive
            = std::find(destructive.begin(), destructive.end(), static_cast<int>(i)) != destructive.end();
        const QMessageBox::ButtonRole role = isCancel ? QMessageBox::RejectRole
            : isDestructive                           ? QMessageBox::DestructiveRole
                                                      : QMessageBox::ActionRole;
        QPushButton* button = alert.addButton(title, role);
        button->setProperty(indexProperty, static_cast<int>(i));
        if (isCancel) {
            alert.setEscapeButton(button);
        }
    }
    setAlertDefaultButton(alert, description.defaultButtonIndex.value_or(0));
    markDestructiveButtons(alert, description.destructiveButtonIndexes);
}

std::vector<QPushButton*> alertButtons(const QMessageBox& alert)
{
    std::vector<QPushButton*> buttons;
    for (QAbstractButton* button : alert.buttons()) {
        if (alertButtonIndex(button) >= 0) {
            buttons.push_back(qobject_cast<QPushButton*>(button));
        }
    }
    std::sort(buttons.begin(), buttons.end(),
        [](QPushButton* a, QPushButton* b) { return alertButtonIndex(a) < alertButtonIndex(b); });
    return buttons;
}

int alertButtonIndex(const QAbstractButton* button)
{
    if (!button) {
        return -1;
    }
    const QVariant index = button->property(indexProperty);
    return index.isValid() ? index.toInt() : -1;
}

int alertResponse(const QMessageBox& alert)
{
    return alertButtonIndex(alert.clickedButton());
}

bool stopModal(int response)
{
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
        return false;
    }
    if (auto* alert = qobject_cast<QMessageBox*>(dialog)) {
        const std::vector<QPushButton*> buttons = alertButtons(*alert);
        if (response >= 0 && response < static_cast<int>(buttons.size())) {
            // Clicking records the button, which is what the alert's caller reads.
            buttons[static_cast<std::size_t>(response)]->click();
            return true;
        }
    }
    dialog->done(response);
    return true;
}

void setAlertDefaultButton(QMessageBox& alert, int index)
{
    // A push button in a dialog takes Return as soon as it has the focus unless it is told
    // otherwise, so only the chosen one keeps that ability.
    const std::vector<QPushButton*> buttons = alertButtons(alert);
    for (QPushButton* button : buttons) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    if (index >= 0 && index < static_cast<int>(buttons.size())) {
        alert.setDefaultButton(buttons[static_cast<std::size_t>(index)]);
    } else {
        alert.setDefaultButton(static_cast<QPushButton*>(nullptr));
    }
}

void markDestructiveButtons(QMessageBox& alert, const std::vector<int>& indexes)
{
    const std::vector<QPushButton*> buttons = alertButtons(alert);
    for (QPushButton* button : buttons) {
        button->setProperty(destructiveProperty, false);
    }
    for (const int index : indexes) {
        if (index < 0 || index >= static_cast<int>(buttons.size())) {
            continue;
        }
        QPushButton* button = buttons[static_cast<std::size_t>(index)];
        button->setProperty(destructiveProperty, true);
        if (button->isDefault() || alert.defaultButton() == button) {
            button->setDefault(false);
            button->setAutoDefault(false);
            alert.setDefaultButton(static_cast<QPushButton*>(nullptr));
        }
    }
}

bool isDestructiveButton(const QAbstractButton* button)
{
    return button && button->property(destructiveProperty).toBool();
}

bool isSuppressionChecked(const QMessageBox& alert)
{
    return alert.checkBox() && alert.checkBox()->isChecked();
}

} // namespace zk
