#include "kit/interface/TextEditingKeyEquivalents.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using zk::TextEditingKeyResult;

namespace {

// A view with editing actions but no key handling of its own, as a custom editor would be.
class ActionOnlyEditor : public QWidget {
    Q_OBJECT
public:
    ActionOnlyEditor() { setFocusPolicy(Qt::StrongFocus); }
    std::vector<std::string> actions;

public slots:
    void copy() { actions.push_back("copy"); }
    void redo() { actions.push_back("redo"); }
};

} // namespace

TEST(TextEditingKeysTest, EditingKeysReachTheFocusedFieldOfADialogBeforeAnyShortcut)
{
    zk::TextEditingKeyEquivalents::install();
    zk::TextEditingKeyEquivalents::install();
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* field = new QLineEdit("hello");
    auto* other = new QLineEdit;
    layout->addWidget(field);
    layout->addWidget(other);
    // A window-wide action on Ctrl+A must not take the key from the field.
    int stolen = 0;
    auto* action = new QAction(&dialog);
    action->setShortcut(QKeySequence("Ctrl+A"));
    action->setShortcutContext(Qt::WindowShortcut);
    dialog.addAction(action);
    QObject::connect(action, &QAction::triggered, [&] { ++stolen; });
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);
    field->setFocus();
    QApplication::clipboard()->clear();

    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "hello");
    EXPECT_EQ(stolen, 0);
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "hello");

    other->setFocus();
    QTest::keyClick(other, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(other, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(other->text(), "hellohello");
    QTest::keyClick(other, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(other->text(), "hello");
    QTest::keyClick(other, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(other->text(), "hellohello");

    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(QApplication::clipboard()->text(), "hello");
}

TEST(TextEditingKeysTest, TheRoutineAnswersOnlyForItsKeys)
{
    QLineEdit field("text");
    const QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, "c");
    const QKeyEvent keypadCopy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier | Qt::KeypadModifier, "c");
    const QKeyEvent altCopy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier, "c");
    const QKeyEvent copyUp(QEvent::KeyRelease, Qt::Key_C, Qt::ControlModifier, "c");
    const QKeyEvent plain(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, "c");
    EXPECT_EQ(zk::performTextEditingKeyEquivalent(&field, copy), TextEditingKeyResult::yes);
    EXPECT_EQ(zk::performTextEditingKeyEquivalent(&field, keypadCopy), TextEditingKeyResult::yes);
    EXPECT_EQ(zk::performTextEditingKeyEquivalent(&field, altCopy), TextEditingKeyResult::notMine);
    EXPECT_EQ(zk::performTextEditingKeyEquivalent(&field, copyUp), TextEditingKeyResult::notMine);
    EXPECT_EQ(zk::performTextEditingKeyEquivalent(&field, plain), TextEditingKeyResult::notMine);

    // Nothing along the chain pastes: not ours, the widget handles the key itself.
    QPushButton button;
    const QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, "v");
    EXPECT_EQ(zk::performTextEditingKeyEquivalent(&button, paste), TextEditingKeyResult::notMine);
    // A target without undo refuses it; paste to such a target is simply not ours.
    const QKeyEvent undo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, "z");
    EXPECT_EQ(zk::performTextEditingKeyEquivalent(&button, undo, &button), TextEditingKeyResult::no);
    EXPECT_EQ(zk::performTextEditingKeyEquivalent(&button, paste, &button), TextEditingKeyResult::notMine);
}

TEST(TextEditingKeysTest, AWidgetWithOnlyEditingActionsGetsTheKeys)
{
    zk::TextEditingKeyEquivalents::install();
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* editor = new ActionOnlyEditor;
    layout->addWidget(editor);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(editor, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(editor->actions, (std::vector<std::string> { "copy", "redo" }));
}

TEST(TextEditingKeysTest, AReadOnlyFieldIsCopiedFromButNeverEdited)
{
    zk::TextEditingKeyEquivalents::install();
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* field = new QLineEdit("report");
    field->setReadOnly(true);
    layout->addWidget(field);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);
    field->setFocus();
    QApplication::clipboard()->setText("pasted");

    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "report");
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "report");
    QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "report");
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "report");

    // Given as the target, a read-only field takes no editing action either.
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, "v");
    EXPECT_EQ(zk::performTextEditingKeyEquivalent(field, paste, field), TextEditingKeyResult::notMine);
    EXPECT_EQ(field->text(), "report");
}

#include "TextEditingKeysTest.moc"
