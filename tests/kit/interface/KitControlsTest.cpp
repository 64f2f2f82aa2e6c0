#include "kit/interface/AutoselectOnFocusTextField.h"
#include "kit/interface/CocoaButton.h"
#include "kit/interface/ControlAlignment.h"
#include "kit/interface/EqualWidthWithBinding.h"
#include "kit/interface/IntTextField.h"
#include "kit/interface/InvertedMask.h"
#include "kit/interface/ListEditing.h"
#include "kit/interface/NativeTextField.h"
#include "kit/interface/ProgressDrawing.h"
#include "kit/interface/SearchField.h"
#include "kit/interface/TimelineSchedule.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/desktop/ReduceMotion.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSpacerItem>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

void processEvents()
{
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::processEvents();
    }
}

// A field in a shown window, with the keyboard focus (it is being edited).
struct EditedField {
    QWidget window;
    zk::IntTextField* field = new zk::IntTextField(&window);
    std::vector<std::int64_t> changes;
    std::vector<std::int64_t> blurs;

    EditedField()
    {
        platform::ReduceMotion::setOverrideForTesting(true);
        new QVBoxLayout(&window);
        window.layout()->addWidget(field);
        window.show();
        QApplication::setActiveWindow(&window);
        field->setFocus();
        field->onValueChange = [this](std::int64_t value) { changes.push_back(value); };
        field->onBlur = [this](std::int64_t value) { blurs.push_back(value); };
    }
    ~EditedField()
    {
        // The window goes after the lists the callbacks fill; losing focus as it closes must not
        // reach them.
        field->onValueChange = nullptr;
        field->onBlur = nullptr;
        platform::ReduceMotion::setOverrideForTesting(std::nullopt);
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(field, &event);
    }
    void type(const QString& text)
    {
        field->setText(text);
        emit field->textEdited(text);
    }
};

TEST(IntTextFieldTest, ArrowsStepByDeltaAndAltStepsByTheAlternative)
{
    EditedField edited;
    edited.press(Qt::Key_Up);
    EXPECT_EQ(edited.field->text().toStdString(), "1");
    edited.field->clear();
    edited.press(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(edited.field->text().toStdString(), "10");
    edited.press(Qt::Key_Up, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(edited.field->text().toStdString(), "11");
    edited.field->setText("0");
    edited.press(Qt::Key_Down);
    EXPECT_EQ(edited.field->text().toStdString(), "-1");
    edited.field->setText("abc");
    edited.press(Qt::Key_Up);
    EXPECT_EQ(edited.field->text().toStdString(), "1");
    EXPECT_EQ(edited.changes, (std::vector<std::int64_t> { 1, 10, 11, -1, 1 }));
    edited.field->setText(QString::number(std::numeric_limits<std::int64_t>::max()));
    edited.press(Qt::Key_Up);
    EXPECT_EQ(edited.field->integerValue(), std::numeric_limits<std::int64_t>::max()) << "no overflow";
}

TEST(IntTextFieldTest, OutOfRangeShakesButIsReportedAndNeverClamped)
{
    EditedField edited;
    edited.field->minMax = zk::IntTextField::Range { 10, 20 };
    edited.type("5");
    EXPECT_EQ(edited.field->shakeCount(), 0) << "5 may still become 15";
    EXPECT_TRUE(edited.changes.empty());
    emit edited.field->editingFinished();
    EXPECT_EQ(edited.field->shakeCount(), 1);
    EXPECT_EQ(edited.blurs, (std::vector<std::int64_t> { 5 }));

    edited.type("25");
    EXPECT_EQ(edited.field->shakeCount(), 2);
    edited.type("-3");
    EXPECT_EQ(edited.field->shakeCount(), 3);
    edited.type("");
    EXPECT_EQ(edited.changes, (std::vector<std::int64_t> { 25, -3 })) << "clearing calls nothing";

    edited.field->minMax = zk::IntTextField::Range { 0, 5 };
    edited.field->setText("5");
    edited.press(Qt::Key_Up);
    EXPECT_EQ(edited.field->text().toStdString(), "6");
    EXPECT_EQ(edited.changes.back(), 6);
    EXPECT_EQ(edited.field->shakeCount(), 4);
}

TEST(IntTextFieldTest, ArrowsGoToTheFieldOnlyWhileItIsEdited)
{
    zk::IntTextField field;
    field.setText("3");
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(&field, &up);
    EXPECT_EQ(field.text().toStdString(), "3");
}

TEST(AutoselectOnFocusTextFieldTest, SelectsEverythingOnFocus)
{
    QWidget window;
    auto* field = new zk::AutoselectOnFocusTextField("hello", &window);
    auto* other = new zk::AutoselectOnFocusTextField(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    other->setFocus();
    processEvents();
    field->setFocus();
    processEvents();
    EXPECT_EQ(field->selectedText().toStdString(), "hello");
}

TEST(EqualWidthWithBindingTest, MembersTakeTheWidestWidthWhichOnlyGrows)
{
    zk::EqualWidthWithBinding group;
    QLabel narrow("ab");
    QLabel wide("a much longer label");
    group.add(&narrow, Qt::AlignRight);
    group.add(&wide, Qt::AlignRight);
    const int widest = wide.sizeHint().width();
    ASSERT_TRUE(group.width());
    EXPECT_EQ(*group.width(), widest);
    EXPECT_EQ(narrow.minimumWidth(), widest);
    wide.setText("x");
    processEvents();
    EXPECT_EQ(*group.width(), widest) << "it never shrinks";

    zk::EqualWidthWithBinding preset;
    preset.setWidth(500);
    QLabel small("s");
    preset.add(&small);
    EXPECT_EQ(*preset.width(), 500);
    EXPECT_EQ(small.minimumWidth(), 500);
}

TEST(ProgressDrawingTest, SquirclesTextOffsetAndPartialCircles)
{
    const QPainterPath path = zk::squirclePath(QRectF(0, 0, 100, 40), 30);
    // The radius is held to half the shorter side: 20.
    EXPECT_EQ(path.elementAt(0), QPointF(20, 0));
    EXPECT_EQ(path.elementAt(1), QPointF(80, 0));
    const QPointF end = path.elementAt(path.elementCount() - 1);
    EXPECT_EQ(end, QPointF(20, 0)) << "it ends where it began";
    const QPainterPath rounded = zk::squirclePath(QRectF(0, 0, 100, 40), 10);
    ASSERT_EQ(rounded.elementCount(), 1 + 1 + 3 + 1 + 3 + 1 + 3 + 1 + 3);
    // Both control points of a corner's curve sit in the corner.
    EXPECT_EQ(rounded.elementAt(2), QPointF(100, 0));
    EXPECT_EQ(rounded.elementAt(3), QPointF(100, 0));
    EXPECT_EQ(rounded.elementAt(4), QPointF(100, 10));
    const QPainterPath square = zk::squirclePath(QRectF(0, 0, 10, 10), 0);
    EXPECT_EQ(square.boundingRect(), QRectF(0, 0, 10, 10));

    EXPECT_DOUBLE_EQ(zk::VerticallyCenteredTextLayer::offset(20, 10), 4);

    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    zk::ProgressCircleShapeLayer circle;
    circle.path.addEllipse(QRectF(5, 5, 30, 30));
    circle.lineWidth = 4;
    circle.strokeEnd = 0.5;
    circle.paint(painter);
    painter.end();
    // The ellipse starts at its rightmost point: half of it is drawn on one side only.
    const bool top = image.pixelColor(20, 5) != QColor(Qt::white);
    const bool bottom = image.pixelColor(20, 34) != QColor(Qt::white);
    EXPECT_NE(top, bottom);
}

TEST(TimelineScheduleTest, EntriesStartWhenAskedAndComeEverySecondOrHalfMinute)
{
    const platform::Date start(1000);
    const platform::Date asked(1000.4);
    const auto normal = zk::EverySecondimelineSchedule::entries(
        asked, start, zk::EverySecondimelineSchedule::Mode::normal, 3);
    ASSERT_EQ(normal.size(), 3u);
    EXPECT_DOUBLE_EQ(normal[0].timeIntervalSinceReferenceDate, 1000.4);
    EXPECT_DOUBLE_EQ(normal[2].timeIntervalSinceReferenceDate, 1002.4);
    const auto low = zk::EverySecondimelineSchedule::entries(
        asked, start, zk::EverySecondimelineSchedule::Mode::lowFrequency, 2);
    EXPECT_NEAR(low[1].timeIntervalSince(low[0]), 30, 1e-6);

    // A start date far ahead: the dates of the schedule from there on, still on its grid.
    const auto later = zk::EverySecondimelineSchedule::entries(
        asked, platform::Date(5000), zk::EverySecondimelineSchedule::Mode::normal, 2);
    ASSERT_EQ(later.size(), 2u);
    EXPECT_NEAR(later[0].timeIntervalSinceReferenceDate, 5000.4, 1e-6);
    EXPECT_NEAR(later[1].timeIntervalSinceReferenceDate, 5001.4, 1e-6);
    const auto onTheGrid = zk::EverySecondimelineSchedule::entries(
        asked, platform::Date(1010.4), zk::EverySecondimelineSchedule::Mode::lowFrequency, 1);
    ASSERT_EQ(onTheGrid.size(), 1u);
    EXPECT_NEAR(onTheGrid[0].timeIntervalSinceReferenceDate, 1030.4, 1e-6);
}

TEST(TimelineScheduleTest, TheTimelineViewTicksUntilStopped)
{
    platform::combine::ManualScheduler scheduler;
    zk::TimelineView view;
    view.setScheduler(scheduler);
    int ticks = 0;
    QObject::connect(&view, &zk::TimelineView::tick, [&] { ++ticks; });
    view.start();
    scheduler.advance(3.5);
    EXPECT_EQ(ticks, 3);
    view.setMode(zk::EverySecondimelineSchedule::Mode::lowFrequency);
    scheduler.advance(29);
    EXPECT_EQ(ticks, 3);
    scheduler.advance(1);
    EXPECT_EQ(ticks, 4);
    view.stop();
    scheduler.advance(100);
    EXPECT_EQ(ticks, 4);
}

TEST(ControlAlignmentTest, ControlsLineUpWhateverTheLabels)
{
    zk::ControlAlignment rows;
    auto* first = new QLabel("x");
    auto* second = new QLabel("A much longer label:");
    auto* a = new QLabel("control a");
    auto* b = new QLabel("control b");
    rows.addRow(first, a);
    rows.addRow(second, b);
    auto* hiddenLabel = new QLabel("hidden");
    auto* c = new QLabel("control c");
    rows.addRow(hiddenLabel, c, true);
    rows.resize(400, 100);
    rows.show();
    processEvents();
    EXPECT_EQ(a->x(), b->x());
    EXPECT_EQ(c->x(), a->x());
    EXPECT_FALSE(hiddenLabel->isVisible());
    EXPECT_EQ(rows.rowCount(), 3);
}

TEST(ListEditingTest, MoveDeleteAndInsertThroughTheBinding)
{
    std::vector<std::string> list { "a", "b", "c", "d" };
    int writes = 0;
    const zk::ListBinding<std::string> binding { [&] { return list; },
        [&](std::vector<std::string> edited) {
            ++writes;
            list = std::move(edited);
        } };
    zk::onDelete(binding, { 0, 2 });
    EXPECT_EQ(list, (std::vector<std::string> { "b", "d" }));
    EXPECT_EQ(writes, 1);
    zk::onInsert(binding, 2, { "e" });
    EXPECT_EQ(list, (std::vector<std::string> { "b", "d", "e" }));
    zk::onInsert(binding, 0, { "f", "g" });
    EXPECT_EQ(list, (std::vector<std::string> { "f", "g", "b", "d", "e" }));
    zk::onInsert(binding, 99, { "z" });
    EXPECT_EQ(list.back(), "z") << "past the end appends";
    zk::onMove(binding, { 0 }, 3);
    EXPECT_EQ(list, (std::vector<std::string> { "g", "b", "f", "d", "e", "z" }));
    zk::onMove(binding, { 4, 5 }, 0);
    EXPECT_EQ(list, (std::vector<std::string> { "e", "z", "g", "b", "f", "d" }));

    const auto both = zk::onMoveAndDelete(binding);
    writes = 0;
    both.move({ 5 }, 0);
    EXPECT_EQ(list, (std::vector<std::string> { "d", "e", "z", "g", "b", "f" }));
    both.remove({ 1, 2 });
    EXPECT_EQ(list, (std::vector<std::string> { "d", "g", "b", "f" }));
    EXPECT_EQ(writes, 2);
}

TEST(InvertedMaskTest, TheMasksShapeIsCutOutWhereItIsPlaced)
{
    QImage content(10, 10, QImage::Format_ARGB32_Premultiplied);
    content.fill(Qt::red);
    QImage mask(4, 4, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::black);
    const QImage centred = zk::invertedMask(content, mask);
    EXPECT_EQ(centred.pixelColor(5, 5).alpha(), 0);
    EXPECT_EQ(centred.pixelColor(0, 0), QColor(Qt::red));
    const QImage corner = zk::invertedMask(content, mask, Qt::AlignTop | Qt::AlignLeft);
    EXPECT_EQ(corner.pixelColor(1, 1).alpha(), 0);
    EXPECT_EQ(corner.pixelColor(5, 5), QColor(Qt::red));
}

TEST(CocoaButtonTest, TitlesKeysAndTheDestructiveRed)
{
    int pressed = 0;
    zk::CocoaButton::Configuration configuration;
    configuration.title = "Delete";
    configuration.hasDestructiveAction = true;
    configuration.keyEquivalent = zk::CocoaButton::KeyEquivalent::return_;
    configuration.action = [&] { ++pressed; };
    QWidget window;
    auto* button = new zk::CocoaButton(configuration, &window);
    EXPECT_EQ(button->text().toStdString(), "Delete");
    const QColor red = button->titleColor();
    ASSERT_TRUE(red.isValid());
    EXPECT_NEAR(red.hsvSaturationF(), QColor(255, 59, 48).hsvSaturationF() * 0.7, 0.01);
    window.show();
    QApplication::setActiveWindow(&window);
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(pressed, 1);

    // With both a title and a coloured title, neither changes the button.
    zk::CocoaButton::Configuration both;
    both.title = "Other";
    both.attributedTitle = zk::CocoaButton::AttributedTitle { "Coloured", Qt::blue };
    button->update(both);
    EXPECT_EQ(button->text().toStdString(), "Delete");
    zk::CocoaButton::Configuration none;
    button->update(none);
    EXPECT_TRUE(button->text().isEmpty());
    EXPECT_FALSE(button->keyEquivalent());
    EXPECT_EQ(button->bezelStyle(), zk::CocoaButton::BezelStyle::rounded);
    EXPECT_FALSE(button->isFlat());

    zk::CocoaButton::Configuration help;
    help.title = "";
    help.bezelStyle = zk::CocoaButton::BezelStyle::helpButton;
    button->update(help);
    EXPECT_EQ(button->bezelStyle(), zk::CocoaButton::BezelStyle::helpButton);
    EXPECT_EQ(button->text().toStdString(), "?");
    EXPECT_EQ(button->width(), button->height()) << "round";
    zk::CocoaButton::Configuration flat;
    flat.title = "Show";
    flat.bezelStyle = zk::CocoaButton::BezelStyle::flat;
    button->update(flat);
    EXPECT_TRUE(button->isFlat());
    EXPECT_EQ(button->text().toStdString(), "Show");
    EXPECT_EQ(zk::CocoaButton::keyEquivalentFromRawValue("\x1b"), zk::CocoaButton::KeyEquivalent::escape);
    EXPECT_FALSE(zk::CocoaButton::keyEquivalentFromRawValue("x"));
}

// A field of either form, alone in a shown window of a given width, bound to `bound`.
struct ShownTextField {
    explicit ShownTextField(bool isSingleLine, int width = 320)
    {
        new QVBoxLayout(&window);
        other = new QLineEdit(&window);
        window.layout()->addWidget(other);
        zk::NativeTextField::Configuration configuration;
        configuration.placeholder = "Name";
        configuration.isFirstResponder = true;
        configuration.isSingleLine = isSingleLine;
        field = new zk::NativeTextField(
            { [this] { return bound; }, [this](const QString& text) { bound = text; } }, configuration,
            &window);
        window.layout()->addWidget(field);
        window.layout()->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
        window.resize(width, 300);
        window.show();
        QApplication::setActiveWindow(&window);
        field->update();
        processEvents();
    }

    QString bound = "start";
    QWidget window;
    QLineEdit* other = nullptr;
    zk::NativeTextField* field = nullptr;
};

class NativeTextFieldFormTest : public ::testing::TestWithParam<bool> { };

TEST_P(NativeTextFieldFormTest, TypingWritesTheBindingAndFocusIsTakenOnce)
{
    ShownTextField shown(GetParam());
    auto* field = shown.field;
    EXPECT_EQ(field->isSingleLine(), GetParam());
    EXPECT_TRUE(field->editor()->hasFocus());
    EXPECT_TRUE(field->didBecomeFirstResponder());
    EXPECT_EQ(field->placeholderText().toStdString(), "Name");
    EXPECT_EQ(field->text().toStdString(), "start");
    QTest::keyClicks(field->editor(), "! and more");
    EXPECT_EQ(shown.bound.toStdString(), "start! and more");

    shown.other->setFocus();
    field->update();
    processEvents();
    EXPECT_TRUE(shown.other->hasFocus()) << "a later update never takes the focus back";
    EXPECT_EQ(field->editor()->font(), QApplication::font()) << "no font given keeps the default";

    shown.bound = "set by the app";
    field->update();
    EXPECT_EQ(field->text().toStdString(), "set by the app");
    EXPECT_EQ(shown.bound.toStdString(), "set by the app") << "showing the bound text writes nothing back";

    zk::NativeTextField::Configuration large;
    large.font = QFont("Sans", 30);
    large.isSingleLine = GetParam();
    field->update(large);
    EXPECT_EQ(field->editor()->font().pointSize(), 30);
    EXPECT_TRUE(field->placeholderText().isEmpty()) << "an absent placeholder clears it";
}

TEST_P(NativeTextFieldFormTest, ReturnEndsTheEditingWithoutALineBreak)
{
    ShownTextField shown(GetParam());
    int returns = 0;
    int endings = 0;
    QObject::connect(shown.field, &zk::NativeTextField::returnPressed, [&] { ++returns; });
    QObject::connect(shown.field, &zk::NativeTextField::editingFinished, [&] { ++endings; });
    QTest::keyClicks(shown.field->editor(), "ab");
    QTest::keyClick(shown.field->editor(), Qt::Key_Return);
    QTest::keyClick(shown.field->editor(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(shown.bound.toStdString(), "startab");
    EXPECT_EQ(shown.field->text().toStdString(), "startab");
    EXPECT_EQ(returns, 2);
    EXPECT_EQ(endings, 2);

    QTest::keyClicks(shown.field->editor(), "c");
    shown.other->setFocus();
    processEvents();
    EXPECT_EQ(endings, 3) << "leaving the field after a change ends the editing";
    shown.field->editor()->setFocus();
    processEvents();
    shown.other->setFocus();
    processEvents();
    EXPECT_EQ(endings, 3) << "leaving it unchanged does not";
    EXPECT_EQ(shown.bound.toStdString(), "startabc");
}

INSTANTIATE_TEST_SUITE_P(BothForms, NativeTextFieldFormTest, ::testing::Bool(),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "SingleLine" : "Wrapping"; });

const QString longText = "a text far longer than the narrow field is wide, so that it cannot fit on one line";

TEST(NativeTextFieldTest, TheWrappingFormShowsALongTextOnFurtherLines)
{
    ShownTextField shown(false, 160);
    auto* edit = shown.field->plainTextEdit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(shown.field->lineEdit(), nullptr);
    const int oneLineHeight = shown.field->height();
    shown.bound = longText;
    shown.field->update();
    processEvents();

    QTextCursor cursor(edit->document());
    const int firstLineTop = edit->cursorRect(cursor).top();
    cursor.movePosition(QTextCursor::End);
    EXPECT_GT(edit->cursorRect(cursor).top(), firstLineTop) << "the end of the text is on a later line";
    EXPECT_GT(shown.field->height(), oneLineHeight + edit->fontMetrics().lineSpacing())
        << "the field grows to show at least three lines";
    EXPECT_LE(edit->cursorRect(cursor).bottom(), edit->viewport()->height())
        << "the last line is inside the field, not scrolled away";
    EXPECT_EQ(edit->toPlainText(), longText) << "wrapping puts no line break into the text";

    shown.window.resize(2000, 300);
    processEvents();
    EXPECT_EQ(shown.field->height(), oneLineHeight) << "wide enough, it is one line high again";
}

TEST(NativeTextFieldTest, TheSingleLineFormScrollsALongTextOnOneLine)
{
    ShownTextField shown(true, 160);
    auto* edit = shown.field->lineEdit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(shown.field->plainTextEdit(), nullptr);
    const int oneLineHeight = shown.field->height();
    shown.bound = longText;
    shown.field->update();
    processEvents();

    EXPECT_EQ(shown.field->height(), oneLineHeight);
    EXPECT_GT(edit->fontMetrics().horizontalAdvance(longText), edit->width());
    QTest::keyClick(edit, Qt::Key_End);
    processEvents();
    EXPECT_TRUE(edit->rect().contains(edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center()))
        << "the text scrolls to keep the cursor in view";
    QTest::keyClick(edit, Qt::Key_Home);
    processEvents();
    EXPECT_TRUE(edit->rect().contains(edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center()));
}

TEST(SearchFieldTest, TheSameBoundTextKeepsTheCursorAndANewOneReplacesIt)
{
    QString bound = "query";
    QWidget window;
    new QVBoxLayout(&window);
    auto* field = new zk::SearchField({ [&] { return bound; }, [&](const QString& text) { bound = text; } },
        zk::SearchField::Configuration {}, &window);
    window.layout()->addWidget(field);
    window.show();
    QApplication::setActiveWindow(&window);
    processEvents();
    EXPECT_TRUE(field->hasFocus()) << "it takes the focus in its window";
    field->setCursorPosition(2);
    field->update();
    EXPECT_EQ(field->cursorPosition(), 2);
    bound = "other";
    field->update();
    EXPECT_EQ(field->text().toStdString(), "other");
    QTest::keyClicks(field, "s");
    EXPECT_EQ(bound.toStdString(), "others");
}

TEST(AutofocusedTextFieldTest, TakesTheFocusInItsWindow)
{
    QWidget window;
    new QVBoxLayout(&window);
    window.layout()->addWidget(new QLineEdit(&window));
    auto* field = new zk::AutofocusedTextField(&window);
    window.layout()->addWidget(field);
    window.show();
    QApplication::setActiveWindow(&window);
    processEvents();
    EXPECT_TRUE(field->hasFocus());
}

} // namespace
