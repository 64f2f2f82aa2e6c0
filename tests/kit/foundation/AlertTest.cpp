#include "kit/foundation/Alert.h"

#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using zk::AlertDescription;

namespace {

std::vector<std::string> titles(const QMessageBox& alert)
{
    std::vector<std::string> result;
    for (QPushButton* button : zk::alertButtons(alert)) {
        result.push_back(button->text().toStdString());
    }
    return result;
}

// Shows the alert (not modally), presses a key on it and answers which button ended it, -1 when
// none did.
int responseToKey(QMessageBox& alert, Qt::Key key)
{
    alert.show();
    QTest::keyClick(&alert, key);
    QCoreApplication::processEvents();
    const int response = zk::alertResponse(alert);
    alert.hide();
    return response;
}

AlertDescription twoButtons()
{
    AlertDescription description;
    description.title = "Delete all sessions?";
    description.message = "This cannot be undone.";
    description.buttonTitles = { "Delete", "Cancel" };
    return description;
}

} // namespace

TEST(Alert, TextsStyleAndButtonsInOrder)
{
    AlertDescription description = twoButtons();
    description.style = zk::AlertStyle::critical;
    description.buttonTitles = { "Reset", "Later", "Cancel" };
    auto alert = zk::makeAlert(description);
    EXPECT_EQ(alert->text(), QStringLiteral("Delete all sessions?"));
    EXPECT_EQ(alert->informativeText(), QStringLiteral("This cannot be undone."));
    EXPECT_EQ(alert->icon(), QMessageBox::Critical);
    EXPECT_EQ(titles(*alert), (std::vector<std::string> { "Reset", "Later", "Cancel" }));
    EXPECT_EQ(zk::alertButtonIndex(alert->escapeButton()), 2);
    EXPECT_EQ(alert->checkBox(), nullptr);
    EXPECT_EQ(alert->findChild<QPlainTextEdit*>(), nullptr);
}

TEST(Alert, NoButtonsGivesOneOkThatAnswersReturn)
{
    AlertDescription description;
    description.title = "Done";
    auto alert = zk::makeAlert(description);
    EXPECT_EQ(titles(*alert), (std::vector<std::string> { "OK" }));
    EXPECT_TRUE(alert->informativeText().isEmpty());
    EXPECT_EQ(responseToKey(*alert, Qt::Key_Return), 0);
}

TEST(Alert, FirstButtonAnswersReturnByDefault)
{
    auto alert = zk::makeAlert(twoButtons());
    EXPECT_EQ(zk::alertButtonIndex(alert->defaultButton()), 0);
    EXPECT_EQ(responseToKey(*alert, Qt::Key_Return), 0);
}

TEST(Alert, ChosenDefaultButtonAnswersReturnAndCancelAnswersEscape)
{
    AlertDescription description = twoButtons();
    description.defaultButtonIndex = 1;
    auto alert = zk::makeAlert(description);
    EXPECT_EQ(responseToKey(*alert, Qt::Key_Return), 1);
    auto other = zk::makeAlert(twoButtons());
    EXPECT_EQ(responseToKey(*other, Qt::Key_Escape), 1);
}

TEST(Alert, NoDefaultButtonMeansReturnDoesNothing)
{
    for (const int index : { -1, 2, 7 }) {
        SCOPED_TRACE(index);
        AlertDescription description = twoButtons();
        description.defaultButtonIndex = index;
        auto alert = zk::makeAlert(description);
        EXPECT_EQ(alert->defaultButton(), nullptr);
        for (QPushButton* button : zk::alertButtons(*alert)) {
            EXPECT_FALSE(button->isDefault());
        }
        EXPECT_EQ(responseToKey(*alert, Qt::Key_Return), -1);
    }
}

TEST(Alert, DestructiveDefaultButtonLosesReturn)
{
    AlertDescription description = twoButtons();
    description.destructiveButtonIndexes = { 0, 5, -1 };
    auto alert = zk::makeAlert(description);
    const auto buttons = zk::alertButtons(*alert);
    EXPECT_TRUE(zk::isDestructiveButton(buttons[0]));
    EXPECT_FALSE(zk::isDestructiveButton(buttons[1]));
    EXPECT_FALSE(buttons[0]->isDefault());
    EXPECT_EQ(responseToKey(*alert, Qt::Key_Return), -1);
    // Clicking still works.
    alert->show();
    buttons[0]->click();
    EXPECT_EQ(zk::alertResponse(*alert), 0);
}

TEST(Alert, MarkingAgainClearsEarlierMarks)
{
    auto alert = zk::makeAlert(twoButtons());
    zk::markDestructiveButtons(*alert, { 0 });
    zk::markDestructiveButtons(*alert, { 1 });
    const auto buttons = zk::alertButtons(*alert);
    EXPECT_FALSE(zk::isDestructiveButton(buttons[0]));
    EXPECT_TRUE(zk::isDestructiveButton(buttons[1]));
}

TEST(Alert, SuppressionButtonWithItsTitle)
{
    AlertDescription description = twoButtons();
    description.showsSuppressionButton = true;
    auto plain = zk::makeAlert(description);
    ASSERT_NE(plain->checkBox(), nullptr);
    EXPECT_EQ(plain->checkBox()->text(), QStringLiteral("Do not show this message again"));
    EXPECT_FALSE(zk::isSuppressionChecked(*plain));
    plain->checkBox()->setChecked(true);
    EXPECT_TRUE(zk::isSuppressionChecked(*plain));

    description.suppressionButtonTitle = "Don't ask again";
    auto titled = zk::makeAlert(description);
    EXPECT_EQ(titled->checkBox()->text(), QStringLiteral("Don't ask again"));
}

TEST(Alert, DetailTextBoxSize)
{
    AlertDescription description = twoButtons();
    description.detailText = "line 1\nline 2";
    description.automaticWidth = false;
    description.minimumWidth = 420;
    auto fixed = zk::makeAlert(description);
    auto* box = fixed->findChild<QPlainTextEdit*>(QStringLiteral("detailText"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_EQ(box->toPlainText(), QStringLiteral("line 1\nline 2"));
    EXPECT_EQ(box->minimumWidth(), 420);
    EXPECT_EQ(box->maximumWidth(), 420);
    EXPECT_EQ(box->maximumHeight(), 120);

    description.automaticWidth = true;
    auto automatic = zk::makeAlert(description);
    box = automatic->findChild<QPlainTextEdit*>(QStringLiteral("detailText"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->minimumWidth(), 300);
    automatic->show();
    QCoreApplication::processEvents();
    EXPECT_GE(box->width(), 300);
    EXPECT_LE(box->width(), automatic->width());
}

TEST(Alert, MinimumWidthHoldsTheAlertOpen)
{
    AlertDescription description;
    description.title = "Hi";
    description.automaticWidth = false;
    description.minimumWidth = 640;
    auto alert = zk::makeAlert(description);
    alert->show();
    QCoreApplication::processEvents();
    EXPECT_GE(alert->width(), 640);
}

TEST(Alert, CustomIconReplacesTheStyle)
{
    AlertDescription description = twoButtons();
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    description.icon = QIcon(pixmap);
    auto alert = zk::makeAlert(description);
    EXPECT_FALSE(alert->iconPixmap().isNull());
    EXPECT_EQ(alert->icon(), QMessageBox::NoIcon);
}

TEST(Alert, StopModalEndsTheRunningAlertWithTheResponse)
{
    EXPECT_FALSE(zk::stopModal(0)); // no modal loop: nothing to end

    // Each alert runs its own modal loop; the stop comes from inside it, as a timer's would.
    auto run = [](int response) {
        auto alert = zk::makeAlert(twoButtons());
        bool stopped = false;
        QTimer::singleShot(0, [&] { stopped = zk::stopModal(response); });
        alert->exec();
        EXPECT_TRUE(stopped);
        return zk::alertResponse(*alert);
    };
    EXPECT_EQ(run(1), 1);
    EXPECT_EQ(run(0), 0);
    EXPECT_EQ(run(7), -1);

    QDialog dialog;
    QTimer::singleShot(0, [] { zk::stopModal(42); });
    EXPECT_EQ(dialog.exec(), 42);
}
