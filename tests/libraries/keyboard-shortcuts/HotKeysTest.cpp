#include "ShortcutsTestSupport.h"

#include "libraries/keyboard-shortcuts/CarbonKeyboardShortcuts.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/PropertyListJson.h"
#include "support/SqliteToolLock.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <QCoro/QCoroTask>

#include <gmock/gmock.h>

using KeyboardShortcuts::EventType;
using KeyboardShortcuts::Key;
using KeyboardShortcuts::Name;
using KeyboardShortcuts::Shortcut;
using ::testing::ElementsAre;

namespace {

class HotKeysTest : public ShortcutsTest {
protected:
    const Name first { "first" };
    const Name second { "second" };
    const Shortcut shared { Key::k, Qt::ControlModifier | Qt::AltModifier };
    const Shortcut other { Key::j, Qt::MetaModifier };
    std::vector<std::string> ran;

    void addAction(const Name& name, const std::string& label)
    {
        KeyboardShortcuts::addKeyDownHandler(name, [this, label] { ran.push_back(label); });
    }
};

TEST_F(HotKeysTest, TwoNamesWithOneShortcutShareOneHotKeyAndOnePressRunsBoth)
{
    KeyboardShortcuts::setShortcut(shared, first);
    KeyboardShortcuts::setShortcut(shared, second);
    addAction(first, "first");
    addAction(second, "second");
    EXPECT_EQ(hotKeys.grabs().size(), 1u);
    EXPECT_TRUE(hotKeys.press(combinationOf(shared)));
    EXPECT_THAT(ran, ElementsAre("first", "second"));
}

TEST_F(HotKeysTest, ChangingOneOfTwoNamesThatShareAShortcutKeepsTheOthersHotKey)
{
    KeyboardShortcuts::setShortcut(shared, first);
    KeyboardShortcuts::setShortcut(shared, second);
    addAction(first, "first");
    addAction(second, "second");

    KeyboardShortcuts::setShortcut(other, first);
    EXPECT_TRUE(hotKeys.isGrabbed(combinationOf(shared)));
    EXPECT_TRUE(hotKeys.isGrabbed(combinationOf(other)));
    EXPECT_TRUE(hotKeys.press(combinationOf(shared)));
    EXPECT_THAT(ran, ElementsAre("second"));
    EXPECT_TRUE(hotKeys.press(combinationOf(other)));
    EXPECT_THAT(ran, ElementsAre("second", "first"));

    // The last user of the shortcut gives it up.
    KeyboardShortcuts::setShortcut(std::nullopt, second);
    EXPECT_FALSE(hotKeys.isGrabbed(combinationOf(shared)));
    EXPECT_FALSE(KeyboardShortcuts::activeHotKeyShortcuts().contains(shared));
}

TEST_F(HotKeysTest, ASecondActionTakesNothingNewAndBothRunInTheOrderAdded)
{
    KeyboardShortcuts::setShortcut(shared, first);
    addAction(first, "one");
    addAction(first, "two");
    EXPECT_EQ(hotKeys.grabs().size(), 1u);
    hotKeys.press(combinationOf(shared));
    EXPECT_THAT(ran, ElementsAre("one", "two"));
}

TEST_F(HotKeysTest, AnActionWithoutAShortcutTakesNothingUntilOneIsRecorded)
{
    addAction(first, "first");
    EXPECT_TRUE(hotKeys.grabs().empty());
    KeyboardShortcuts::setShortcut(shared, first);
    EXPECT_TRUE(hotKeys.press(combinationOf(shared)));
    EXPECT_THAT(ran, ElementsAre("first"));
}

TEST_F(HotKeysTest, ANameAnswersOnlyToItsNewShortcut)
{
    KeyboardShortcuts::setShortcut(shared, first);
    addAction(first, "first");
    KeyboardShortcuts::setShortcut(other, first);
    EXPECT_FALSE(hotKeys.press(combinationOf(shared)));
    KeyboardShortcuts::dispatchKeyDown(shared);
    EXPECT_TRUE(ran.empty());
    hotKeys.press(combinationOf(other));
    EXPECT_THAT(ran, ElementsAre("first"));
}

TEST_F(HotKeysTest, AReleaseRunsOnlyTheKeyUpActions)
{
    KeyboardShortcuts::setShortcut(shared, first);
    addAction(first, "down");
    KeyboardShortcuts::addKeyUpHandler(first, [this] { ran.push_back("up"); });
    hotKeys.release(combinationOf(shared));
    EXPECT_THAT(ran, ElementsAre("up"));
    hotKeys.press(combinationOf(shared));
    EXPECT_THAT(ran, ElementsAre("up", "down"));
}

TEST_F(HotKeysTest, IdsStartAtOneAndARefusedGrabUsesOneButKeepsNothing)
{
    hotKeys.heldElsewhere.push_back(combinationOf(shared));
    KeyboardShortcuts::setShortcut(shared, first);
    addAction(first, "first");
    EXPECT_EQ(CarbonKeyboardShortcuts::hotKeyIdCounter(), 1u);
    EXPECT_TRUE(CarbonKeyboardShortcuts::hotKeysById().empty());
    EXPECT_THAT(hotKeys.calls, ElementsAre("refused 1"));
    // Not tried again while it stays claimed.
    KeyboardShortcuts::resumeHotKey(first);
    EXPECT_THAT(hotKeys.calls, ElementsAre("refused 1"));
    EXPECT_FALSE(KeyboardShortcuts::hasWorkingHotKey(first));

    KeyboardShortcuts::setShortcut(other, first);
    EXPECT_THAT(hotKeys.calls, ElementsAre("refused 1", "grab 2"));
    EXPECT_TRUE(KeyboardShortcuts::hasWorkingHotKey(first));
    ASSERT_EQ(CarbonKeyboardShortcuts::hotKeysById().size(), 1u);
    EXPECT_EQ(CarbonKeyboardShortcuts::hotKeysById().begin()->first, 2u);
}

TEST_F(HotKeysTest, SettingTheSameShortcutAgainTakesItUnderANewId)
{
    KeyboardShortcuts::setShortcut(shared, first);
    KeyboardShortcuts::setShortcut(shared, first);
    EXPECT_THAT(hotKeys.calls, ElementsAre("grab 1", "ungrab 1", "grab 2"));
}

TEST_F(HotKeysTest, SuspendingOrResumingTwiceIsTheSameAsOnce)
{
    KeyboardShortcuts::setShortcut(shared, first);
    addAction(first, "first");
    KeyboardShortcuts::suspendHotKey(first);
    KeyboardShortcuts::suspendHotKey(first);
    EXPECT_TRUE(hotKeys.grabs().empty());
    EXPECT_FALSE(hotKeys.press(combinationOf(shared)));
    KeyboardShortcuts::resumeHotKey(first);
    KeyboardShortcuts::resumeHotKey(first);
    EXPECT_EQ(hotKeys.grabs().size(), 1u);
    hotKeys.press(combinationOf(shared));
    EXPECT_THAT(ran, ElementsAre("first"));
}

TEST_F(HotKeysTest, WhileARecorderRecordsTheHotKeysAreGivenBackAndNothingRuns)
{
    KeyboardShortcuts::setShortcut(shared, first);
    addAction(first, "first");
    KeyboardShortcuts::setRecorderActive(true);
    EXPECT_TRUE(hotKeys.grabs().empty());
    KeyboardShortcuts::dispatchKeyDown(shared);
    EXPECT_TRUE(ran.empty());
    // Recorded meanwhile: taken when recording ends.
    KeyboardShortcuts::setShortcut(other, second);
    EXPECT_TRUE(hotKeys.grabs().empty());

    KeyboardShortcuts::setRecorderActive(false);
    EXPECT_EQ(hotKeys.grabs().size(), 2u);
    hotKeys.press(combinationOf(shared));
    EXPECT_THAT(ran, ElementsAre("first"));
}

TEST_F(HotKeysTest, RemovingAllActionsGivesTheirHotKeysBack)
{
    KeyboardShortcuts::setShortcut(shared, first);
    KeyboardShortcuts::setShortcut(other, second);
    addAction(first, "first");
    KeyboardShortcuts::removeAllActions();
    EXPECT_FALSE(hotKeys.isGrabbed(combinationOf(shared)));
    // The other name has no actions, but setting its shortcut claimed its hot key.
    EXPECT_TRUE(hotKeys.isGrabbed(combinationOf(other)));
    KeyboardShortcuts::dispatchKeyDown(shared);
    EXPECT_TRUE(ran.empty());
}

TEST_F(HotKeysTest, TriggeringANameRunsWhatAPressRuns)
{
    addAction(first, "first");
    KeyboardShortcuts::triggerKeyDown(first);
    EXPECT_TRUE(ran.empty());
    KeyboardShortcuts::setShortcut(shared, first);
    KeyboardShortcuts::triggerKeyDown(first);
    EXPECT_THAT(ran, ElementsAre("first"));
}

TEST_F(HotKeysTest, AShortcutWithoutAKeyOnThisKeyboardIsNeverGrabbed)
{
    KeyboardShortcuts::setShortcut(Shortcut(Key::function, Qt::ControlModifier), first);
    KeyboardShortcuts::setShortcut(Shortcut::fromCarbon(std::int64_t { 1 } << 40, 0), second);
    EXPECT_TRUE(hotKeys.calls.empty());
    // No key press can give them, so the desktop is not even asked.
    EXPECT_EQ(CarbonKeyboardShortcuts::hotKeyIdCounter(), 0u);
}

TEST_F(HotKeysTest, AStoredShortcutThatBreaksTheRecordersRulesIsNeverTakenAndSaysWhy)
{
    // Names of this test alone: the store outlives each test.
    const Name first("handEditedBare");
    const Name second("handEditedShift");
    // A hand-edited store: a bare A, and Shift+A, which typing would lose to the hot key.
    store(
        first.rawValue(), platform::PropertyList(std::string(R"({"carbonKeyCode":0,"carbonModifiers":0})")));
    store(second.rawValue(),
        platform::PropertyList(std::string(R"({"carbonModifiers":512,"carbonKeyCode":0})")));
    addAction(first, "first");
    addAction(second, "second");
    KeyboardShortcuts::resumeHotKey(first);
    EXPECT_TRUE(hotKeys.calls.empty());
    EXPECT_FALSE(hotKeys.press(combinationOf(Shortcut(Key::a))));
    EXPECT_FALSE(KeyboardShortcuts::hasWorkingHotKey(first));
    const std::optional<std::string> problem = KeyboardShortcuts::hotKeyProblem(first);
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find("no Ctrl, Alt or Super"), std::string::npos) << *problem;
    EXPECT_TRUE(KeyboardShortcuts::hotKeyProblem(second).has_value());
    EXPECT_TRUE(ran.empty());

    // Recorded again with a modifier, it works and the reason goes.
    KeyboardShortcuts::setShortcut(Shortcut(Key::a, Qt::ControlModifier), first);
    EXPECT_TRUE(KeyboardShortcuts::hasWorkingHotKey(first));
    EXPECT_EQ(KeyboardShortcuts::hotKeyProblem(first), std::nullopt);
}

TEST_F(HotKeysTest, AStoredShortcutAnotherApplicationHoldsIsReportedAsNotWorking)
{
    const Name first("heldElsewhere");
    const Name second("heldNowhere");
    hotKeys.heldElsewhere.push_back(combinationOf(shared));
    int changes = 0;
    QObject::connect(&KeyboardShortcuts::ShortcutChangeNotifier::shared(),
        &KeyboardShortcuts::ShortcutChangeNotifier::hotKeysDidChange, &receiver, [&changes] { ++changes; });
    // Recording it claims it at once; the desktop refuses.
    KeyboardShortcuts::setShortcut(shared, first);
    EXPECT_EQ(changes, 1);
    addAction(first, "first");
    const std::optional<std::string> problem = KeyboardShortcuts::hotKeyProblem(first);
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find("Another application"), std::string::npos) << *problem;
    // A name that works says nothing.
    KeyboardShortcuts::setShortcut(other, second);
    addAction(second, "second");
    EXPECT_EQ(KeyboardShortcuts::hotKeyProblem(second), std::nullopt);
}

QCoro::Task<void> collect(
    platform::async::AsyncStream<EventType> stream, std::vector<EventType>& events, int count)
{
    for (int i = 0; i < count; ++i) {
        const std::optional<EventType> event = co_await stream.next();
        if (!event) {
            co_return;
        }
        events.push_back(*event);
    }
}

TEST_F(HotKeysTest, StreamsYieldPressesAndReleasesAndTheFilteredOneOnlyItsType)
{
    KeyboardShortcuts::setShortcut(shared, first);
    std::vector<EventType> all;
    std::vector<EventType> releases;
    {
        auto allTask = collect(KeyboardShortcuts::eventStream(first), all, 3);
        auto releaseTask = collect(KeyboardShortcuts::eventStream(EventType::keyUp, first), releases, 2);
        QCoreApplication::processEvents();
        hotKeys.press(combinationOf(shared));
        hotKeys.release(combinationOf(shared));
        hotKeys.press(combinationOf(shared));
        hotKeys.release(combinationOf(shared));
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
    }
    EXPECT_THAT(all, ElementsAre(EventType::keyDown, EventType::keyUp, EventType::keyDown));
    EXPECT_THAT(releases, ElementsAre(EventType::keyUp, EventType::keyUp));
}

TEST_F(HotKeysTest, TheEndOfTheLastStreamGivesItsHotKeyBack)
{
    KeyboardShortcuts::setShortcut(shared, first);
    KeyboardShortcuts::suspendHotKey(first);
    {
        auto stream = KeyboardShortcuts::eventStream(first);
        QCoreApplication::processEvents();
        EXPECT_TRUE(hotKeys.isGrabbed(combinationOf(shared)));
    }
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(hotKeys.isGrabbed(combinationOf(shared)));
}

} // namespace

// Another program (the sqlite3 tool, a process of its own) stores a new shortcut for a name with an
// action while the application runs: the old hot key is given back, the new one taken, and the
// change announced, as when the user records it.
TEST_F(HotKeysTest, AShortcutAnotherProgramStoresTakesTheNamesHotKey)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    QTemporaryDir folder;
    const std::string path = folder.filePath("defaults.sqlite3").toStdString();
    const auto previous = platform::UserDefaults::standard();
    auto suite = std::make_shared<platform::UserDefaults>(
        platform::DefaultsDatabase::open(path), platform::UserDefaults::standardSuiteName);
    platform::UserDefaults::setStandard(suite);
    ASSERT_TRUE(suite->hearOtherPrograms());
    KeyboardShortcuts::setShortcut(shared, first);
    addAction(first, "first");
    changes.clear();

    const auto text = platform::PropertyListJson::encode(platform::PropertyList(*other.jsonText()));
    ASSERT_TRUE(text);
    SqliteToolLock tool(path);
    ASSERT_TRUE(tool.hold(false));
    ASSERT_TRUE(
        tool.exec("UPDATE defaults SET value = '" + *text + "' WHERE key = 'KeyboardShortcuts_first';"));
    ASSERT_TRUE(tool.commitAndRelease());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !changes.empty(); }, 5000));
    EXPECT_THAT(changes, ElementsAre("first"));
    EXPECT_FALSE(hotKeys.press(combinationOf(shared)));
    EXPECT_TRUE(hotKeys.press(combinationOf(other)));
    EXPECT_THAT(ran, ElementsAre("first"));

    KeyboardShortcuts::resetForTesting();
    platform::UserDefaults::setStandard(previous);
}
