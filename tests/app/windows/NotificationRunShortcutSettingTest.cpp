#include "app/windows/SettingsFixture.h"

#include "app/windows/NotificationRunShortcutSetting.h"
#include "app/windows/Truncating.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/FeedbackLink.h"
#include "kit/interface/AsyncButton.h"
#include "platform/async/Sleep.h"
#include "platform/desktop/ShortcutsFolder.h"

#include <QComboBox>
#include <QCoro/QCoroTask>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <functional>

using namespace kiruvo;
using platform::ShortcutsFolder;
namespace fs = std::filesystem;

class RunShortcutTest : public SettingsTest {
protected:
    NotificationRunShortcutSetting& row()
    {
        if (!m_row) {
            m_row = std::make_unique<NotificationRunShortcutSetting>(environment);
        }
        return *m_row;
    }
    // The load the row runs when it appears.
    NotificationRunShortcutSetting& loaded()
    {
        QCoro::waitFor(row().load(true));
        processEvents();
        return row();
    }
    std::vector<std::string> rowTexts()
    {
        std::vector<std::string> texts;
        for (int index = 0; index < row().picker()->rowCount(); ++index) {
            texts.push_back(row().picker()->rowText(index).toStdString());
        }
        return texts;
    }
    // Lets the row's loads and the alerts run until `done`.
    static bool settlesUntil(const std::function<bool()>& done)
    {
        return QTest::qWaitFor(
            [&] {
                processEvents();
                return done();
            },
            10000);
    }
    void TearDown() override
    {
        m_row.reset();
        processEvents();
        SettingsTest::TearDown();
    }

    std::unique_ptr<NotificationRunShortcutSetting> m_row;
};

TEST_F(RunShortcutTest, TheLetMeKnowLinkCarriesTheDebugFields)
{
    zk::DiagnosticsSeam seam;
    seam.feedbackMetadata = [] { return std::string("Kiruvo 1.0\nDesktop: test"); };
    zk::DiagnosticsSeam::install(seam);
    const QString help = row().helpText()->text();
    zk::DiagnosticsSeam::install({});
    const QString link
        = QString::fromStdString(zk::feedbackPageURL(zk::ZKApp::name(), "Kiruvo 1.0\nDesktop: test"));
    EXPECT_TRUE(help.contains(QStringLiteral("[Let me know](") + link + QStringLiteral(")")))
        << help.toStdString();

    // A page nothing opens is told.
    std::vector<std::string> alerts;
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString());
        return 1;
    });
    opens = false;
    Q_EMIT row().helpText()->linkActivated(link);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            processEvents();
            return !alerts.empty();
        },
        5000));
    zk::AlertPresenter::shared().setRunModal({});
    EXPECT_EQ(opened, std::vector<QUrl> { QUrl(link) });
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the page" });
}

TEST_F(RunShortcutTest, BeforeTheFirstLoadThePickerIsDisabledOnLoading)
{
    EXPECT_TRUE(row().isLoading());
    EXPECT_EQ(shownText(*row().picker()), "Loading…");
    EXPECT_FALSE(row().picker()->isEnabled());
    EXPECT_FALSE(row().buttonGroup()->isEnabled());
    EXPECT_TRUE(row().warningBox()->isHidden());
}

TEST_F(RunShortcutTest, NoScriptsShowNoShortcutsDisabledAndOnlyCreate)
{
    std::filesystem::create_directories(shortcutsFolder());
    auto& setting = loaded();
    EXPECT_FALSE(setting.isLoading());
    EXPECT_EQ(shownText(*setting.picker()), "No Scripts");
    EXPECT_FALSE(setting.picker()->isEnabled());
    EXPECT_TRUE(setting.buttonGroup()->isEnabled());
    EXPECT_EQ(setting.runButton(), nullptr);
    EXPECT_EQ(setting.editButton(), nullptr);
    EXPECT_TRUE(setting.warningBox()->isHidden());
}

TEST_F(RunShortcutTest, ScriptsAreGroupedByFolderInTheirOrderAndAChoiceIsStored)
{
    writeScript("Breaks/Evening/walk.sh");
    writeScript("Breaks/stretch.sh");
    writeScript("a.sh");
    writeScript("z.sh");
    auto& setting = loaded();
    ASSERT_EQ(setting.shortcuts().size(), 3u);
    EXPECT_EQ(setting.shortcuts()[0].first->name, "Evening");
    EXPECT_EQ(setting.shortcuts()[1].first->name, "Breaks");
    EXPECT_FALSE(setting.shortcuts()[2].first.has_value());
    EXPECT_EQ(setting.shortcuts()[2].second.size(), 2u);
    EXPECT_EQ(rowTexts(), (std::vector<std::string> { "None", "walk", "stretch", "a", "z" }));
    EXPECT_EQ(shownText(*setting.picker()), "None");
    EXPECT_TRUE(setting.picker()->isEnabled());
    EXPECT_EQ(setting.runButton(), nullptr);

    choose(*setting.picker(), "stretch");
    EXPECT_EQ(
        Defaults::get(Keys::notificationRunShortcut()), ShortcutsFolder::identifier("Breaks/stretch.sh"));
    EXPECT_EQ(stored("notificationRunShortcut"),
        platform::PropertyList(ShortcutsFolder::identifier("Breaks/stretch.sh").uuidString()));
    ASSERT_NE(setting.runButton(), nullptr);
    ASSERT_NE(setting.editButton(), nullptr);
    EXPECT_EQ(shownText(*setting.picker()), "stretch");
    // Icon only, as Edit and Create; the title is its tool tip.
    EXPECT_FALSE(setting.runButton()->icon().isNull());
    EXPECT_TRUE(setting.runButton()->text().isEmpty()) << setting.runButton()->text().toStdString();
    EXPECT_EQ(setting.runButton()->toolTip(), "Run");

    setting.editButton()->click();
    // The folder is read on a worker thread.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !opened.empty(); }, 10000));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].isLocalFile());
    EXPECT_TRUE(opened[0].toLocalFile().endsWith(QStringLiteral("Breaks/stretch.sh")));
}

TEST_F(RunShortcutTest, AVanishedScriptFromAFullyReadFolderFallsBackToNone)
{
    writeScript("walk.sh");
    Defaults::set(Keys::notificationRunShortcut(), std::optional(ShortcutsFolder::identifier("gone.sh")));
    auto& setting = loaded();
    EXPECT_FALSE(Defaults::get(Keys::notificationRunShortcut()));
    EXPECT_FALSE(stored("notificationRunShortcut"));
    EXPECT_EQ(shownText(*setting.picker()), "None");
    EXPECT_TRUE(setting.keptChoiceNote()->isHidden());
}

TEST_F(RunShortcutTest, AFolderThatCannotBeReadCompletelyKeepsTheChoiceAndSaysSo)
{
    writeScript("walk.sh");
    const auto gone = ShortcutsFolder::identifier("stretch.sh");
    Defaults::set(Keys::notificationRunShortcut(), std::optional(gone));
    // A link that loops cannot be read: the chosen script may be hiding behind it.
    fs::create_symlink(shortcutsFolder() / "loop.sh", shortcutsFolder() / "loop.sh");
    auto& setting = loaded();
    EXPECT_EQ(Defaults::get(Keys::notificationRunShortcut()), gone);
    EXPECT_TRUE(setting.isChoiceUnconfirmed());
    EXPECT_FALSE(setting.keptChoiceNote()->isHidden());
    EXPECT_EQ(shownText(*setting.picker()), "Chosen script (not readable now)");
    ASSERT_NE(setting.runButton(), nullptr);
}

TEST_F(RunShortcutTest, NoFolderMeansNoAccessTheWarningAndAKeptChoice)
{
    const auto chosen = ShortcutsFolder::identifier("walk.sh");
    Defaults::set(Keys::notificationRunShortcut(), std::optional(chosen));
    auto& setting = loaded();
    EXPECT_FALSE(setting.hasAccess());
    EXPECT_FALSE(setting.warningBox()->isHidden());
    EXPECT_EQ(Defaults::get(Keys::notificationRunShortcut()), chosen);
    EXPECT_EQ(shownText(*setting.picker()), "No Scripts");
}

TEST_F(RunShortcutTest, OnlyTheNewestLoadShowsItsList)
{
    std::filesystem::create_directories(shortcutsFolder());
    // Each listing waits until the test lets it finish.
    std::vector<std::stop_source> gates;
    std::vector<std::string> names { "older", "newer" };
    environment.listShortcuts = [&gates, &names]() -> QCoro::Task<std::vector<ShortcutsApp::Shortcut>> {
        const std::size_t index = gates.size();
        gates.emplace_back();
        co_await platform::async::sleepFor(INFINITY, gates.back().get_token());
        ShortcutsApp::Shortcut shortcut;
        shortcut.name = names[index];
        shortcut.id = ShortcutsFolder::identifier(names[index] + ".sh");
        co_return std::vector<ShortcutsApp::Shortcut> { shortcut };
    };
    auto& fresh = row();
    auto older = fresh.load(false);
    for (int turn = 0; turn < 100 && gates.size() < 1; ++turn) {
        processEvents();
    }
    auto newer = fresh.load(false);
    for (int turn = 0; turn < 100 && gates.size() < 2; ++turn) {
        processEvents();
    }
    ASSERT_EQ(gates.size(), 2u);
    gates[1].request_stop();
    QCoro::waitFor(std::move(newer));
    EXPECT_EQ(fresh.shortcuts().at(0).second.at(0).name, "newer");
    gates[0].request_stop();
    QCoro::waitFor(std::move(older));
    EXPECT_EQ(fresh.shortcuts().at(0).second.at(0).name, "newer");
}

TEST(TruncatingTest, ShortensAtTheEndWithTheIndicator)
{
    const QString fifty(50, QChar('a'));
    EXPECT_EQ(truncating(fifty, 40, "…"), QString(39, QChar('a')) + "…");
    const QString forty(40, QChar('b'));
    EXPECT_EQ(truncating(forty, 40, "…"), forty);
    // A comma as the 39th character goes, and so does the white space before it.
    const QString withComma = QString(37, QChar('c')) + " ," + QString(20, QChar('d'));
    EXPECT_EQ(truncating(withComma, 40, "…"), QString(37, QChar('c')) + "…");
    EXPECT_EQ(truncating("hello", 0, "…"), "");
    EXPECT_EQ(truncating("hello world", 3, "....."), "...");
    // Characters, not code units: an emoji with a skin tone counts once.
    const QString emoji = QString::fromUtf8("👍🏽👍🏽👍🏽");
    EXPECT_EQ(truncating(emoji, 3, "…"), emoji);
    EXPECT_EQ(truncating(emoji, 2, "…"), QString::fromUtf8("👍🏽…"));
}

TEST_F(RunShortcutTest, RunTriesTheChosenScriptAndCreateWritesANewOneToEdit)
{
    const auto marker = shortcutsFolder() / "ran";
    std::filesystem::create_directories(shortcutsFolder());
    {
        std::ofstream script(shortcutsFolder() / "touch.sh");
        script << "#!/bin/sh\ntouch '" << marker.string() << "'\n";
    }
    std::filesystem::permissions(shortcutsFolder() / "touch.sh", std::filesystem::perms::owner_all);
    Defaults::set(Keys::notificationRunShortcut(), std::optional(ShortcutsFolder::identifier("touch.sh")));
    auto& setting = loaded();
    ASSERT_NE(setting.runButton(), nullptr);
    bool finished = false;
    QObject::connect(setting.runButton(), &zk::AsyncButton::actionFinished, [&] { finished = true; });
    setting.runButton()->click();
    EXPECT_FALSE(setting.runButton()->isEnabled()) << "no second run while one runs";
    // The script runs as a process of its own.
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 10000));
    EXPECT_TRUE(std::filesystem::exists(marker));

    setting.createButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.empty(); }, 10000));
    EXPECT_TRUE(opened[0].toLocalFile().endsWith(QStringLiteral("/New Script.sh")));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            processEvents();
            return rowNamed(*setting.picker(), "New Script") >= 0;
        },
        10000))
        << "the new script is listed";
}

TEST_F(RunShortcutTest, ACreateThatCannotWriteTellsTheUser)
{
    // A file where the folder belongs: nothing can be written there, by any user.
    fs::create_directories(shortcutsFolder().parent_path());
    std::ofstream(shortcutsFolder()) << "not a folder";
    std::vector<std::string> alerts;
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString() + "|" + alert.informativeText().toStdString());
        return 0;
    });
    auto& setting = loaded();
    setting.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&setting));
    // Showing loads the list again; "Create" stays usable without a folder.
    ASSERT_TRUE(settlesUntil([&] { return !setting.isLoading(); }));
    ASSERT_TRUE(setting.createButton()->isEnabled());
    QTest::mouseClick(setting.createButton(), Qt::LeftButton);
    EXPECT_TRUE(settlesUntil([&] { return !alerts.empty(); }));
    zk::AlertPresenter::shared().setRunModal({});
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].starts_with("Could not create a script|No new script could be written"))
        << alerts[0];
    EXPECT_NE(alerts[0].find(shortcutsFolder().string()), std::string::npos) << alerts[0];
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(fs::is_regular_file(shortcutsFolder()));
}

TEST_F(RunShortcutTest, GrantAccessMakesTheMissingFolderAndShowsIt)
{
    auto& setting = loaded();
    ASSERT_FALSE(setting.warningBox()->isHidden());
    auto* grant = setting.warningBox()->findChild<QPushButton*>();
    ASSERT_NE(grant, nullptr);
    // A fresh install has no folder yet: the box says so and offers to make it.
    EXPECT_EQ(grant->text().toStdString(), "Create Folder");
    ASSERT_NE(setting.warningBox()->findChild<QLabel*>(), nullptr);
    QStringList texts;
    for (const QLabel* label : setting.warningBox()->findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("No scripts folder yet")) << texts.join('|').toStdString();
    EXPECT_FALSE(texts.join('|').contains("Shortcuts")) << texts.join('|').toStdString();
    grant->click();
    EXPECT_TRUE(std::filesystem::is_directory(shortcutsFolder()));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(shortcutsFolder().string())));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            processEvents();
            return setting.hasAccess();
        },
        10000));
    EXPECT_TRUE(setting.warningBox()->isHidden());
}

TEST_F(RunShortcutTest, AFolderNothingCanShowIsToldAndItsLocationOffered)
{
    std::vector<std::string> alerts;
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString() + "|" + alert.informativeText().toStdString());
        return 1;
    });
    opens = false;
    auto& setting = loaded();
    auto* grant = setting.warningBox()->findChild<QPushButton*>();
    ASSERT_NE(grant, nullptr);
    grant->click();
    // Told once the desktop has said that nothing showed it.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            processEvents();
            return !alerts.empty();
        },
        10000));
    zk::AlertPresenter::shared().setRunModal({});
    // Made all the same: the user can reach it another way.
    EXPECT_TRUE(std::filesystem::is_directory(shortcutsFolder()));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].starts_with("Could not open the scripts folder|No file manager")) << alerts[0];
}

TEST_F(RunShortcutTest, TheChoiceKeepsRoomForAReadableNameInThePaneWidth)
{
    writeScript("New Shortcut With A Rather Long Name.sh");
    auto& setting = loaded();
    setting.resize(320, setting.sizeHint().height());
    setting.show();
    processEvents();
    QComboBox* combo = setting.picker()->comboBox();
    ASSERT_NE(combo, nullptr);
    EXPECT_GE(combo->width(),
        combo->fontMetrics().horizontalAdvance(
            QString(NotificationRunShortcutSetting::minimumShownCharacters, 'x')));
    // The row never grows wider than the pane for a long name.
    EXPECT_LE(setting.minimumSizeHint().width(), 320);
}
