#pragma once

#include <QIcon>
#include <QMessageBox>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAbstractButton;
class QPushButton;

namespace zk {

enum class AlertStyle {
    warning,
    informational,
    critical,
};

// Everything an alert shows. Texts are UTF-8.
struct AlertDescription {
    // The alert's main text.
    std::string title;
    // The informative text under the title.
    std::optional<std::string> message;
    // Longer text (a log, a list) in a scrollable box.
    std::optional<std::string> detailText;
    AlertStyle style = AlertStyle::warning;
    // Replaces the style's icon when not null.
    QIcon icon;
    // In order of addition; none gives a single "OK". Button i answers i.
    std::vector<std::string> buttonTitles;
    // Absent: the first button answers Return. -1: no button does. An index past the buttons
    // leaves every button without Return as well.
    std::optional<int> defaultButtonIndex;
    // These buttons are marked destructive and never answer Return.
    std::vector<int> destructiveButtonIndexes;
    // Without automaticWidth the alert is held at least this wide, and so is the detail box.
    double minimumWidth = 0;
    // The detail box starts 300 wide and grows with the alert.
    bool automaticWidth = true;
    bool showsSuppressionButton = false;
    // The suppression check box's text; absent gives "Do not show this message again".
    std::optional<std::string> suppressionButtonTitle;
};

// Configures a fresh alert from the description; the result is not shown. Callers run it (see
// AlertPresenter) and read alertResponse().
void configureAlert(QMessageBox& alert, const AlertDescription& description);

template <class Alert = QMessageBox> std::unique_ptr<Alert> makeAlert(const AlertDescription& description)
{
    auto alert = std::make_unique<Alert>();
    configureAlert(*alert, description);
    return alert;
}

// The buttons added by makeAlert, in the order of their titles.
std::vector<QPushButton*> alertButtons(const QMessageBox& alert);
// The index of the button that ended the alert; -1 when it ended otherwise.
int alertResponse(const QMessageBox& alert);
// The button's index among alertButtons(); -1 for any other button.
int alertButtonIndex(const QAbstractButton* button);

// Takes Return away from every button, then gives it to the button at index (none for -1 or an
// index past the buttons).
void setAlertDefaultButton(QMessageBox& alert, int index);
// Clears every destructive mark, then marks the buttons at the indexes (others are skipped); a
// marked button that answered Return no longer does.
void markDestructiveButtons(QMessageBox& alert, const std::vector<int>& indexes);
bool isDestructiveButton(const QAbstractButton* button);

// Ends the innermost running modal dialog with the response: an alert made by makeAlert ends as
// if the button at that index had been clicked (alertResponse answers it), or without a button
// (-1) for an index outside its buttons; any other dialog ends with the response as its result.
// False, and nothing happens, when no modal dialog runs.
bool stopModal(int response);

// The state of the suppression check box; false when the alert has none.
bool isSuppressionChecked(const QMessageBox& alert);

} // namespace zk
