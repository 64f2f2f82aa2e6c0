#include "kit/foundation/SecondaryTextColor.h"
#include "kit/interface/AsyncButton.h"
#include "kit/interface/EnumPicker.h"
#include "kit/interface/HideableInfoBox.h"
#include "kit/interface/InfoPopoverButton.h"
#include "kit/interface/MenuBarItemVerticalAlignmentSetting.h"
#include "kit/interface/PersistentlyHideableView.h"
#include "kit/interface/Picker.h"
#include "kit/interface/QuitButton.h"
#include "kit/interface/SecondaryTextStyle.h"
#include "kit/interface/SettingsTabLabel.h"
#include "kit/interface/WindowAccessor.h"
#include "kit/interface/WindowUtilities.h"
#include "libraries/defaults/Defaults.h"
#include "platform/async/Sleep.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>

namespace {

using platform::PropertyList;

enum class Fruit { apple, banana, cherry };

// A store of its own for each test.
class SettingsBlocksTest : public ::testing::Test {
protected:
    void SetUp() override { suite = platform::UserDefaults::standard(); }
    static void processEvents()
    {
        for (int turn = 0; turn < 5; ++turn) {
            QCoreApplication::processEvents();
        }
    }
    std::optional<PropertyList> stored(const std::string& key) const
    {
        const auto value = suite->storedValue(key);
        return value ? std::optional(*value) : std::nullopt;
    }

    std::shared_ptr<platform::UserDefaults> suite;
};

} // namespace

template <> struct Defaults::RawRepresentable<Fruit> {
    using RawValue = std::string;
    static RawValue rawValue(const Fruit& fruit)
    {
        constexpr std::array names { "apple", "banana", "cherry" };
        return names[static_cast<std::size_t>(fruit)];
    }
    static std::optional<Fruit> fromRawValue(const RawValue& raw)
    {
        for (Fruit fruit : { Fruit::apple, Fruit::banana, Fruit::cherry }) {
            if (rawValue(fruit) == raw) {
                return fruit;
            }
        }
        return std::nullopt;
    }
};

namespace {

constexpr std::array fruits { Fruit::apple, Fruit::banana, Fruit::cherry };

TEST_F(SettingsBlocksTest, AnEnumPickerListsTheCasesInOrderAndWritesTheChosenOne)
{
    const Defaults::Key<Fruit> key("fruit", Fruit::banana);
    for (const auto style : { zk::Picker::Style::menu, zk::Picker::Style::radioGroup }) {
        key.reset();
        zk::Picker picker("Fruit:", style);
        int selectedRows = 0;
        zk::bindEnumPicker(picker, fruits, key, [&](Fruit fruit, bool isSelected) {
            selectedRows += isSelected ? 1 : 0;
            return zk::Picker::Row {
                QString::fromStdString(Defaults::RawRepresentable<Fruit>::rawValue(fruit)), {}
            };
        });
        EXPECT_EQ(selectedRows, 2) << "one selected row at each build (rows, then labels)";
        ASSERT_EQ(picker.rowCount(), 3);
        EXPECT_EQ(picker.rowText(0).toStdString(), "apple");
        EXPECT_EQ(picker.rowText(2).toStdString(), "cherry");
        EXPECT_EQ(picker.selectedRow(), 1);
        EXPECT_FALSE(stored("fruit"));
        picker.choose(2);
        EXPECT_EQ(stored("fruit"), PropertyList(std::string("cherry")));
        Defaults::set(key, Fruit::apple);
        processEvents();
        EXPECT_EQ(picker.selectedRow(), 0);
    }
}

TEST_F(SettingsBlocksTest, APickerTellsOnlyOfTheUsersChoicesAndShowsNoRowForAnUnknownValue)
{
    zk::Picker picker("Size:");
    picker.addRow({ "Small", {} });
    picker.addSeparator();
    picker.addSection("Big ones");
    picker.addRow({ "Large", {} });
    int told = 0;
    QObject::connect(&picker, &zk::Picker::rowChosen, [&](int row) {
        ++told;
        EXPECT_EQ(row, 1);
    });
    picker.setSelectedRow(1);
    EXPECT_EQ(told, 0);
    EXPECT_EQ(picker.comboBox()->currentText().toStdString(), "Large");
    picker.setSelectedRow(std::nullopt);
    EXPECT_EQ(picker.comboBox()->currentIndex(), -1);
    picker.setSelectedRow(7);
    EXPECT_FALSE(picker.selectedRow());
    // A pop-up choice, as a click makes it.
    emit picker.comboBox()->activated(picker.comboBox()->findText("Large"));
    EXPECT_EQ(told, 1);
    // Section titles are no rows.
    emit picker.comboBox()->activated(picker.comboBox()->findText("Big ones"));
    EXPECT_EQ(told, 1);
}

TEST_F(SettingsBlocksTest, ARadioPickerCanShowNoRow)
{
    zk::Picker picker("Type:", zk::Picker::Style::radioGroup);
    picker.addRow({ "One", {} });
    picker.addRow({ "Two", {} });
    picker.setSelectedRow(1);
    EXPECT_TRUE(picker.radioButton(1)->isChecked());
    picker.setSelectedRow(std::nullopt);
    EXPECT_FALSE(picker.radioButton(0)->isChecked());
    EXPECT_FALSE(picker.radioButton(1)->isChecked());
    picker.radioButton(0)->click();
    EXPECT_EQ(picker.selectedRow(), 0);
}

TEST_F(SettingsBlocksTest, TheAlignmentSliderStoresHalfStepsWithinTwoAndNeverNothing)
{
    const Defaults::Key<std::optional<double>> key("menuBarTextVerticalAlignmentOffset");
    zk::MenuBarItemVerticalAlignmentSetting setting(key);
    EXPECT_DOUBLE_EQ(setting.shownValue(), 0);
    EXPECT_EQ(setting.slider()->maximum() - setting.slider()->minimum(), 8) << "nine positions";
    setting.slider()->setValue(3);
    EXPECT_EQ(stored("menuBarTextVerticalAlignmentOffset"), PropertyList(1.5));
    setting.slider()->setValue(0);
    EXPECT_EQ(stored("menuBarTextVerticalAlignmentOffset"), PropertyList(0.0));
    setting.slider()->setValue(100);
    EXPECT_DOUBLE_EQ(setting.shownValue(), 2.0);
    // A stored value between the steps shows at the nearest one and is not written back.
    suite->setObject(PropertyList(-0.7), "menuBarTextVerticalAlignmentOffset");
    processEvents();
    EXPECT_DOUBLE_EQ(setting.shownValue(), -0.5);
    EXPECT_EQ(stored("menuBarTextVerticalAlignmentOffset"), PropertyList(-0.7));
}

TEST_F(SettingsBlocksTest, InfoBoxesWithOneIdentifierHideTogetherForGood)
{
    zk::HideableInfoBox first("tip", "Some advice", {});
    zk::HideableInfoBox second("tip", "Some advice", {});
    zk::HideableInfoBox other("other", "Other advice", {});
    first.show();
    second.show();
    other.show();
    first.closeButton()->click();
    processEvents();
    EXPECT_EQ(stored("ZK__HideableInfoBox__tip"), PropertyList(true));
    EXPECT_TRUE(first.isClosed());
    EXPECT_TRUE(second.hideableView()->isHidden());
    EXPECT_FALSE(other.hideableView()->isHidden());

    // A box whose flag is already set shows nothing.
    zk::HideableInfoBox later("tip", "Some advice", {});
    later.show();
    EXPECT_TRUE(later.hideableView()->isHidden());
}

TEST_F(SettingsBlocksTest, APersistentlyHideableViewFollowsItsKey)
{
    const Defaults::Key<bool> key("hidden", false);
    zk::PersistentlyHideableView view(key, new QLabel("content"));
    view.show();
    EXPECT_TRUE(view.isVisible());
    Defaults::set(key, true);
    processEvents();
    EXPECT_FALSE(view.isVisible());
    key.reset();
    processEvents();
    EXPECT_TRUE(view.isVisible());
    view.hide();
    EXPECT_EQ(stored("hidden"), PropertyList(true));
}

TEST_F(SettingsBlocksTest, SettingsTabLabelsHaveTheirTitlesAndSymbols)
{
    EXPECT_EQ(zk::settingsTabLabel(zk::SettingsTabType::menuBar).title.toStdString(), "Tray Icon");
    EXPECT_EQ(zk::settingsTabLabel(zk::SettingsTabType::menuBar).systemImage, "menubar.rectangle");
    EXPECT_EQ(zk::settingsTabLabel(zk::SettingsTabType::timeZones).title.toStdString(), "Time Zones");
    EXPECT_EQ(zk::settingsTabLabel(zk::SettingsTabType::timeZones).systemImage, "globe");
    EXPECT_EQ(zk::settingsTabLabel(zk::SettingsTabType::browsers).systemImage, "globe");
    EXPECT_EQ(zk::settingsTabLabel(zk::SettingsTabType::exclude).title.toStdString(), "Exclude");
}

TEST_F(SettingsBlocksTest, SecondaryTextIsSmallAndDimmerAndTheQuitButtonQuits)
{
    QLabel label("help");
    zk::SecondaryTextStyleModifier().apply(label);
    EXPECT_DOUBLE_EQ(label.font().pointSizeF(), zk::smallSystemFontSize());
    EXPECT_LT(zk::smallSystemFontSize(), zk::systemFontSize());
    const QPalette plain = QApplication::palette(&label);
    EXPECT_NE(label.palette().color(QPalette::WindowText), plain.color(QPalette::WindowText));
    EXPECT_GE(zk::contrastRatio(label.palette().color(QPalette::WindowText), plain.color(QPalette::Window)),
        zk::minimumSecondaryTextContrast);

    zk::Buttons::Quit quit;
    EXPECT_TRUE(quit.text().startsWith("Quit "));
    EXPECT_EQ(quit.shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

// An action that runs until the test ends it.
struct PendingAction {
    std::stop_source stop;
    int started = 0;
    int finished = 0;
    zk::AsyncButton::Action action()
    {
        return [this]() -> QCoro::Task<void> {
            ++started;
            // Waits until stopped.
            co_await platform::async::sleepFor(INFINITY, stop.get_token());
            ++finished;
        };
    }
};

TEST_F(SettingsBlocksTest, AnAsyncButtonDisablesItselfAndShowsItsSpinnerOnlyAfter150Ms)
{
    platform::combine::ManualScheduler scheduler;
    PendingAction pending;
    zk::AsyncButton button("Run", "play.fill",
        { zk::AsyncButton::ActionOption::disableButton, zk::AsyncButton::ActionOption::showSpinner },
        pending.action());
    button.setScheduler(scheduler);
    button.click();
    EXPECT_FALSE(button.isEnabled());
    processEvents();
    EXPECT_EQ(pending.started, 1);
    scheduler.advance(0.149);
    EXPECT_FALSE(button.isShowingSpinner());
    scheduler.advance(0.002);
    processEvents();
    EXPECT_TRUE(button.isShowingSpinner());
    EXPECT_TRUE(button.text().isEmpty()) << "the label is not drawn while the spinner shows";
    pending.stop.request_stop();
    for (int turn = 0; turn < 100 && button.isRunning(); ++turn) {
        processEvents();
    }
    EXPECT_TRUE(button.isEnabled());
    EXPECT_FALSE(button.isShowingSpinner());
    EXPECT_EQ(button.text().toStdString(), "Run");
}

TEST_F(SettingsBlocksTest, AQuickActionNeverShowsTheSpinnerAndNoOptionsNeverDisable)
{
    platform::combine::ManualScheduler scheduler;
    int runs = 0;
    zk::AsyncButton quick({ zk::AsyncButton::ActionOption::showSpinner }, [&]() -> QCoro::Task<void> {
        ++runs;
        co_return;
    });
    quick.setScheduler(scheduler);
    quick.click();
    EXPECT_TRUE(quick.isEnabled());
    processEvents();
    EXPECT_EQ(runs, 1);
    scheduler.advance(1);
    processEvents();
    EXPECT_FALSE(quick.isShowingSpinner());

    PendingAction pending;
    zk::AsyncButton plain({}, pending.action());
    plain.click();
    plain.click();
    processEvents();
    EXPECT_TRUE(plain.isEnabled());
    EXPECT_EQ(pending.started, 2) << "without disableButton a second click starts a second run";
    pending.stop.request_stop();
    for (int turn = 0; turn < 100 && plain.isRunning(); ++turn) {
        processEvents();
    }
}

TEST_F(SettingsBlocksTest, TheInfoPopoverOpensUnderItsButtonAtItsWidth)
{
    bool told = false;
    zk::InfoPopoverButton button(
        320, [] { return new QLabel(QString(400, QChar('x')) + " " + QString(40, QChar('y'))); },
        [&](bool presented) { told = presented; });
    EXPECT_TRUE(button.text().isEmpty() || button.text() == "?");
    button.click();
    ASSERT_TRUE(button.isPopoverPresented());
    EXPECT_TRUE(told);
    auto* content = button.popover()->findChild<QLabel*>();
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->width(), 320);
    EXPECT_TRUE(content->wordWrap());
    QFrame* first = button.popover();
    button.click();
    EXPECT_EQ(button.popover(), first) << "a click while open keeps it open";
}

// Clicks as the window system delivers them: while a popover is open every click goes to it first.
TEST_F(SettingsBlocksTest, ClickingTheHelpButtonWhileItsPopoverIsOpenKeepsItOpen)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    std::vector<bool> told;
    auto* button = new zk::InfoPopoverButton(
        200, [] { return new QLabel(QStringLiteral("Why")); },
        [&](bool presented) { told.push_back(presented); });
    auto* elsewhere = new QLabel(QStringLiteral("elsewhere"));
    // Above the button: the popover opens below it.
    layout->addWidget(elsewhere);
    layout->addWidget(button);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto click = [&](QWidget* target) {
        const QPoint point = target->mapTo(&window, target->rect().center());
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, point);
        processEvents();
    };

    click(button);
    ASSERT_TRUE(button->isPopoverPresented());
    QFrame* first = button->popover();
    click(button);
    EXPECT_TRUE(button->isPopoverPresented());
    EXPECT_EQ(button->popover(), first);
    EXPECT_EQ(told, (std::vector<bool> { true, true }));

    click(elsewhere);
    EXPECT_FALSE(button->isPopoverPresented()) << "a click elsewhere closes it";
}

TEST_F(SettingsBlocksTest, AWidgetLearnsItsWindowBeforeItIsShown)
{
    QWidget window;
    QWidget floating;
    // Owned by the window it is in at the end.
    auto* content = new QWidget;
    std::vector<QWidget*> seen;
    zk::onWindow(*content, [&](QWidget* window) { seen.push_back(window); });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), nullptr) << "at once, with no window yet";
    content->setParent(&window);
    ASSERT_EQ(seen.back(), &window);
    EXPECT_FALSE(window.isVisible());
    const std::size_t count = seen.size();
    window.show();
    EXPECT_EQ(seen.size(), count) << "the same window is told once";

    content->setParent(&floating);
    EXPECT_EQ(seen.back(), &floating);

    QWidget levelled;
    zk::windowLevelSetter(zk::WindowLevel::floating)(&levelled);
    EXPECT_EQ(zk::windowLevel(levelled), zk::WindowLevel::floating);
    zk::windowLevelSetter(zk::WindowLevel::floating)(nullptr);
}

TEST_F(SettingsBlocksTest, AppearOnScreenTellsOfShowingAndHiding)
{
    QWidget widget;
    std::vector<std::string> events;
    zk::AppearOnScreenView watcher(widget,
        { [&] { events.push_back("appear"); }, [&] { events.push_back("disappear"); },
            [&](bool on) { events.push_back(on ? "on" : "off"); } });
    widget.show();
    widget.hide();
    EXPECT_EQ(events, (std::vector<std::string> { "on", "appear", "off", "disappear" }));

    QWidget other;
    int appeared = 0;
    zk::AppearOnScreenView withoutBinding(other, { [&] { ++appeared; }, {}, {} });
    other.show();
    EXPECT_EQ(appeared, 1);
}

} // namespace
