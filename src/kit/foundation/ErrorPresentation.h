#pragma once

#include "kit/foundation/core/ErrorValues.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

class QMessageBox;

namespace zk {

// What an error alert shows.

// The error's localized description.
std::string alertTitle(const Error& error);
// The failure reason and the recovery suggestion, whichever are present, joined by a blank line.
// The failure reason is left out when the description already says it (ignoring case); nothing
// when there is neither.
std::optional<std::string> fullDescription(const Error& error);

// The recovery option titles and their attempter; empty when the error has either missing.
std::vector<std::string> recoveryOptionTitles(const Error& error);

// One button of the compact form of an error alert (the one used inside windows).
struct ErrorAlertAction {
    std::string title;
    // -1 for "Cancel", which only dismisses.
    int optionIndex = -1;
};
// The first two recovery options, then "Cancel"; empty when the error has no recovery options
// (the alert then shows its single dismiss button).
std::vector<ErrorAlertAction> alertActions(const Error& error);
// Runs recovery option `optionIndex` through the error's attempter; false for an index outside
// the options or an error without an attempter.
bool attemptRecovery(const Error& error, int optionIndex);

// The alert of the modal forms below: the title, the full description, one button per recovery
// option in order and then "Cancel", or a single "OK" when there are no options.
std::unique_ptr<QMessageBox> makeErrorAlert(const Error& error);

// Showing errors. A cancellation (Error::isCancelled) is never shown: the user cancelled, there is
// nothing to tell; the forms that wait return at once for it. A chosen recovery option runs its
// action before the presentation ends. Alerts go through AlertPresenter::shared(), one at a time.
// Main-thread only, except presentAsModal.

// Queues the error's alert on the main thread and returns at once; callable from any thread.
void presentAsModal(ErrorPtr error);
// Returns when the alert has been dismissed.
QCoro::Task<> presentAsModalAsync(ErrorPtr error);
// Attached to the window; returns when the alert has ended. Does not raise the application.
QCoro::Task<> presentAsSheet(ErrorPtr error, QWidget* window);
// As a sheet on the window when one is given, else modally.
QCoro::Task<> presentAsync(ErrorPtr error, QWidget* window = nullptr);
// Returns at once; didPresent runs when the sheet has ended (at once for a cancellation).
void presentErrorAsSheet(ErrorPtr error, QWidget* window, std::function<void()> didPresent);

} // namespace zk
