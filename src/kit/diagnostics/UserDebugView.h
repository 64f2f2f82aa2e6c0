#pragma once

#include <QWidget>

class QPushButton;

namespace zk {

// The support panel's content: one column of buttons to delete all data and settings (after a
// confirmation), copy or e-mail the debug information, read how to send a crash log, open the
// feedback form (and quit), and quit. Main-thread only.
class UserDebugView : public QWidget {
    Q_OBJECT
public:
    explicit UserDebugView(QWidget* parent = nullptr);

    // Whether the delete confirmation or the crash-log instructions are showing.
    bool isConfirmationDialogPresented() const { return m_isConfirmationDialogPresented; }
    bool isCrashLogInstructionsPresented() const { return m_isCrashLogInstructionsPresented; }

    // The button titled `title`, for tests.
    QPushButton* button(const QString& title) const;

    // The texts of the two dialogs.
    static std::string confirmationTitle();
    static std::string crashLogMessage();
    static std::string revealButtonTitle();

private:
    void presentConfirmationDialog();
    void presentCrashLogInstructions();

    bool m_isConfirmationDialogPresented = false;
    bool m_isCrashLogInstructionsPresented = false;
};

} // namespace zk
