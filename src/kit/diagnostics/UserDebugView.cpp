#include "kit/diagnostics/UserDebugView.h"

#include "kit/diagnostics/DebugActions.h"
#include "kit/diagnostics/Email.h"
#include "kit/diagnostics/ResetAppData.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/ZKApp.h"
#include "kit/interface/QuitButton.h"

#include <QFrame>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace zk {

namespace {

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

UserDebugView::UserDebugView(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    // The platform's padding, twice, as the panel asks for room around its column.
    const int margin = 2 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    layout->setContentsMargins(margin + 6, margin, margin + 6, margin);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    const auto addButton = [&](const QString& title, auto action) {
        // "&" would mark a mnemonic; the titles show it as written.
        auto* button = new QPushButton(QString(title).replace(QLatin1Char('&'), QLatin1String("&&")), this);
        button->setObjectName(title);
        connect(button, &QPushButton::clicked, this, action);
        layout->addWidget(button, 0, Qt::AlignHCenter);
        return button;
    };

    addButton(QStringLiteral("Delete Data & Settings"), [this] { presentConfirmationDialog(); });
    layout->addWidget(divider(this));
    addButton(QStringLiteral("Copy Debug Info"), [] { copyDebugInfoToPasteboard(); });
    addButton(QStringLiteral("Email Debug Info"), [] { emailDebugInfo(); });
    layout->addWidget(divider(this));
    addButton(QStringLiteral("Send Crash Log"), [this] { presentCrashLogInstructions(); });
    layout->addWidget(divider(this));
    addButton(QStringLiteral("Feedback & Support"), [] { openFeedbackPageAndQuit(); });
    layout->addWidget(divider(this));
    auto* quit = new Buttons::Quit(this);
    quit->setObjectName(quit->text());
    layout->addWidget(quit, 0, Qt::AlignHCenter);
}

QPushButton* UserDebugView::button(const QString& title) const
{
    return findChild<QPushButton*>(title);
}

std::string UserDebugView::confirmationTitle()
{
    return "Delete all data and settings for " + ZKApp::name() + "?";
}

std::string UserDebugView::crashLogMessage()
{
    return "Find the files that start with “error-reports” in the “" + diagnosticReportsDirectory().string()
        + "” directory and email them to " + supportEmailAddress().rawValue();
}

std::string UserDebugView::revealButtonTitle()
{
    return "Reveal “" + diagnosticReportsDirectory().filename().string() + "” Directory";
}

void UserDebugView::presentConfirmationDialog()
{
    if (m_isConfirmationDialogPresented) {
        return;
    }
    m_isConfirmationDialogPresented = true;
    QPointer<UserDebugView> self(this);
    AlertDescription description;
    description.title = confirmationTitle();
    description.message = resetSummary();
    description.buttonTitles = { "Delete", "Cancel" };
    description.defaultButtonIndex = 1;
    description.destructiveButtonIndexes = { 0 };
    AlertPresenter::shared().present(
        makeAlert(description),
        [self](int response) {
            if (self) {
                self->m_isConfirmationDialogPresented = false;
            }
            if (response == 0) {
                deleteAppDataAndRelaunch();
            }
        },
        window());
}

void UserDebugView::presentCrashLogInstructions()
{
    if (m_isCrashLogInstructionsPresented) {
        return;
    }
    m_isCrashLogInstructionsPresented = true;
    QPointer<UserDebugView> self(this);
    AlertDescription description;
    description.title = "How to send crash log";
    description.message = crashLogMessage();
    description.style = AlertStyle::informational;
    description.buttonTitles = { revealButtonTitle() };
    AlertPresenter::shared().present(
        makeAlert(description),
        [self](int response) {
            if (self) {
                self->m_isCrashLogInstructionsPresented = false;
            }
            if (response == 0) {
                revealDiagnosticReports();
            }
        },
        window());
}

} // namespace zk
