#include "libraries/launch-at-login/LaunchAtLogin.h"
#include "libraries/launch-at-login/KVO.h"
#include "libraries/launch-at-login/Observable.h"
#include "libraries/launch-at-login/Toggle.h"
#include "platform/Logger.h"
#include "platform/fake/FakeLoginItemService.h"
#include "platform/linux/XdgAutostartLoginItemService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using platform::LoginItemService;
using platform::fake::FakeLoginItemService;
using Status = LoginItemService::Status;

namespace {

class LaunchAtLoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        // The publisher keeps the last state it sent for the life of the program: every test starts
        // where a fresh program does, with the application not starting at login.
        FakeLoginItemService off;
        platform::LoginItemService::setMainAppService(&off);
        LaunchAtLogin::setEnabled(false);
        platform::LoginItemService::setMainAppService(nullptr);
    }

    void TearDown() override { platform::LoginItemService::setMainAppService(nullptr); }

    // The lines logged about launch at login.
    std::vector<std::string> failureLines() const
    {
        std::vector<std::string> lines;
        for (const std::string& message : m_log.messages()) {
            if (message.find("launch at login") != std::string::npos) {
                lines.push_back(message);
            }
        }
        return lines;
    }

    // The real autostart entries, in a folder of the test's own.
    void useAutostartFolder()
    {
        platform::xdg::XdgAutostartLoginItemService::Options options;
        options.configHome = m_home.path();
        options.configDirs = QStringList();
        options.identifier = QStringLiteral("com.zelvantorium.Kiruvo");
        options.entryTemplate
            = QStringLiteral("[Desktop Entry]\nType=Application\nName=Kiruvo\nExec=kiruvo\n");
        options.executable = QCoreApplication::applicationFilePath();
        m_autostart = std::make_unique<platform::xdg::XdgAutostartLoginItemService>(options);
        platform::LoginItemService::setMainAppService(m_autostart.get());
    }

    void useFake() { platform::LoginItemService::setMainAppService(&m_fake); }

    QString entryPath() const
    {
        return m_home.path() + QStringLiteral("/autostart/com.zelvantorium.Kiruvo.desktop");
    }

    // Every value the publisher sends from now on.
    void recordPublisher()
    {
        m_subscription
            = LaunchAtLogin::publisher().sink([this](const bool& value) { published.push_back(value); });
    }

    std::vector<bool> published;
    QTemporaryDir m_home;
    platform::LogCapture m_log;
    std::unique_ptr<platform::xdg::XdgAutostartLoginItemService> m_autostart;
    FakeLoginItemService m_fake;
    platform::combine::AnyCancellable m_subscription;
};

TEST_F(LaunchAtLoginTest, EnableAndDisableWriteTheAutostartEntryAndPublishTheStateReadBack)
{
    useAutostartFolder();
    recordPublisher();
    QSignalSpy willChange(&LaunchAtLogin::observable(), &LaunchAtLogin::Observable::objectWillChange);
    QSignalSpy changed(&LaunchAtLogin::kvo(), &LaunchAtLogin::KVO::isEnabledChanged);
    EXPECT_FALSE(LaunchAtLogin::isEnabled());

    LaunchAtLogin::setEnabled(true);

    EXPECT_TRUE(QFileInfo::exists(entryPath()));
    EXPECT_TRUE(LaunchAtLogin::isEnabled());
    EXPECT_EQ(published, (std::vector<bool> { false, true }));
    EXPECT_EQ(willChange.count(), 2);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.takeFirst().at(0).toBool(), true);

    LaunchAtLogin::kvo().setProperty("isEnabled", false);

    EXPECT_FALSE(QFileInfo::exists(entryPath()));
    EXPECT_FALSE(LaunchAtLogin::kvo().property("isEnabled").toBool());
    EXPECT_EQ(published, (std::vector<bool> { false, true, false }));
    EXPECT_TRUE(failureLines().empty());
}

TEST_F(LaunchAtLoginTest, EnablingTwiceWritesOnceAndPublishesTwice)
{
    useFake();
    recordPublisher();

    LaunchAtLogin::setEnabled(true);
    LaunchAtLogin::setEnabled(true);

    // The second write asks again and finds it on: nothing is taken away first.
    EXPECT_EQ(m_fake.calls(),
        (std::vector { FakeLoginItemService::Call::registerApp, FakeLoginItemService::Call::registerApp }));
    EXPECT_EQ(published, (std::vector<bool> { false, true, true }));
}

TEST_F(LaunchAtLoginTest, AFolderThatCannotBeWrittenLogsOneErrorAndPublishesOff)
{
    useAutostartFolder();
    QFile blocker(m_home.path() + QStringLiteral("/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    recordPublisher();

    LaunchAtLogin::setEnabled(true);

    const std::vector<std::string> lines = failureLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Failed to enable launch at login: ", 0), 0u) << lines[0];
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
    // The state read back, not the one asked for.
    EXPECT_EQ(published, (std::vector<bool> { false, false }));
}

TEST_F(LaunchAtLoginTest, ARefusedDisableIsLoggedWithItsOwnWord)
{
    useFake();
    m_fake.currentStatus = Status::enabled;
    m_fake.failure = "the desktop said no";

    LaunchAtLogin::setEnabled(false);

    const std::vector<std::string> lines = failureLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Failed to disable launch at login: the desktop said no", 0), 0u) << lines[0];
    EXPECT_TRUE(LaunchAtLogin::isEnabled());
}

TEST_F(LaunchAtLoginTest, AnAnswerThatComesLaterIsPublishedWhenItComes)
{
    useFake();
    m_fake.deferCompletions = true;
    recordPublisher();
    QSignalSpy willChange(&LaunchAtLogin::observable(), &LaunchAtLogin::Observable::objectWillChange);

    LaunchAtLogin::setEnabled(true);
    EXPECT_EQ(published, (std::vector<bool> { false }));
    EXPECT_EQ(willChange.count(), 1);

    m_fake.completePending();
    EXPECT_EQ(published, (std::vector<bool> { false, true }));
    EXPECT_EQ(willChange.count(), 2);
}

TEST_F(LaunchAtLoginTest, RequiresApprovalAndNotFoundReadAsOff)
{
    useFake();
    for (Status status : { Status::requiresApproval, Status::notFound, Status::notRegistered }) {
        m_fake.currentStatus = status;
        EXPECT_FALSE(LaunchAtLogin::isEnabled());
    }
    m_fake.currentStatus = Status::enabled;
    EXPECT_TRUE(LaunchAtLogin::isEnabled());
}

TEST_F(LaunchAtLoginTest, TheMigrationMovesAnEnabledLegacyItemOnce)
{
    useFake();
    EXPECT_EQ(LaunchAtLogin::legacyHelperBundleIdentifier(), "com.zelvantorium.Kiruvo-LaunchAtLoginHelper");
    m_fake.enabledLoginItems.insert(LaunchAtLogin::legacyHelperBundleIdentifier());

    LaunchAtLogin::migrateIfNeeded();

    EXPECT_TRUE(LaunchAtLogin::isEnabled());
    EXPECT_FALSE(LaunchAtLogin::isLegacyHelperEnabled());
    EXPECT_EQ(m_fake.calls(),
        (std::vector {
            FakeLoginItemService::Call::registerApp, FakeLoginItemService::Call::removeLoginItem }));
    EXPECT_TRUE(Defaults::get(LaunchAtLogin::hasMigratedKey()));

    // The next start does nothing, even when an old item turns up again.
    m_fake.enabledLoginItems.insert(LaunchAtLogin::legacyHelperBundleIdentifier());
    m_fake.currentStatus = Status::notRegistered;
    LaunchAtLogin::migrateIfNeeded();
    EXPECT_EQ(m_fake.calls().size(), 2u);
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
}

TEST_F(LaunchAtLoginTest, TheMigrationWithTheLegacyItemOffOnlyRemovesItAndSetsTheMarker)
{
    useFake();
    ASSERT_FALSE(Defaults::get(LaunchAtLogin::hasMigratedKey()));

    LaunchAtLogin::migrateIfNeeded();

    EXPECT_EQ(m_fake.calls(), (std::vector { FakeLoginItemService::Call::removeLoginItem }));
    EXPECT_EQ(m_fake.removedLoginItems(),
        (std::vector<std::string> { "com.zelvantorium.Kiruvo-LaunchAtLoginHelper" }));
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
    EXPECT_TRUE(Defaults::get(LaunchAtLogin::hasMigratedKey()));
}

TEST_F(LaunchAtLoginTest, TheMigrationConvertsARealLegacyAutostartEntry)
{
    useAutostartFolder();
    const QString legacy
        = m_home.path() + QStringLiteral("/autostart/com.zelvantorium.Kiruvo-LaunchAtLoginHelper.desktop");
    QDir().mkpath(QFileInfo(legacy).absolutePath());
    QFile file(legacy);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Kiruvo Helper\nExec=/opt/kiruvo/helper\n");
    file.close();

    LaunchAtLogin::migrateIfNeeded();

    EXPECT_FALSE(QFileInfo::exists(legacy));
    EXPECT_TRUE(QFileInfo::exists(entryPath()));
    EXPECT_TRUE(LaunchAtLogin::isEnabled());
}

class LaunchAtLoginToggleTest : public LaunchAtLoginTest { };

TEST_F(LaunchAtLoginToggleTest, ShowsTheRealStateAndWritesIt)
{
    useFake();
    m_fake.currentStatus = Status::enabled;
    LaunchAtLogin::Toggle toggle;
    EXPECT_EQ(toggle.text(), QStringLiteral("Launch at login"));
    EXPECT_TRUE(toggle.isChecked());

    toggle.click();
    QCoreApplication::processEvents();

    EXPECT_FALSE(toggle.isChecked());
    EXPECT_EQ(m_fake.currentStatus, Status::notRegistered);
}

TEST_F(LaunchAtLoginToggleTest, SpringsBackWhenTheDesktopRefuses)
{
    useFake();
    m_fake.failure = "read-only";
    LaunchAtLogin::Toggle toggle(QStringLiteral("Start with the session"));
    EXPECT_EQ(toggle.text(), QStringLiteral("Start with the session"));

    toggle.click();
    QCoreApplication::processEvents();

    EXPECT_FALSE(toggle.isChecked());
    EXPECT_EQ(failureLines().size(), 1u);
}

TEST_F(LaunchAtLoginToggleTest, TogglesStayInStepAndFollowALaterAnswer)
{
    useFake();
    m_fake.deferCompletions = true;
    LaunchAtLogin::Toggle first;
    LaunchAtLogin::Toggle second;

    first.click();
    QCoreApplication::processEvents();
    // Nothing is on yet: the desktop has not answered.
    EXPECT_FALSE(first.isChecked());
    EXPECT_FALSE(second.isChecked());

    m_fake.completePending();
    QCoreApplication::processEvents();
    EXPECT_TRUE(first.isChecked());
    EXPECT_TRUE(second.isChecked());
}

TEST_F(LaunchAtLoginToggleTest, ShowingItAgainReadsAChangeMadeElsewhere)
{
    useFake();
    LaunchAtLogin::Toggle toggle;
    toggle.show();
    EXPECT_FALSE(toggle.isChecked());
    toggle.hide();

    m_fake.currentStatus = Status::enabled;
    toggle.show();

    EXPECT_TRUE(toggle.isChecked());
}

} // namespace
