#pragma once

#include "app/SessionEngineFixture.h"

#include "app/windows/SettingsScreen.h"
#include "app/windows/SettingsWindowController.h"
#include "kit/interface/Picker.h"
#include "platform/fake/FakeSoundPlayer.h"

#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "platform/DetachedProcess.h"
#include "platform/fake/FakeDesktopOpener.h"
#include "platform/fake/FakeGlobalHotKeys.h"
#include "platform/fake/FakeLoginItemService.h"

#include <QComboBox>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <string>

#include <memory>
#include <vector>

// The Settings window's panes over the session engine's fakes: previews go to the engine's reminder
// seam (no handler: each is recorded), sounds to a fake player, haptics to a counter.
class SettingsTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        // The user's own scripts are never touched, nor opened.
        ASSERT_TRUE(m_dataHome.isValid());
        m_previousDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_dataHome.path().toUtf8());
        platform::DetachedProcess::setStarterForTesting(
            [this](const std::string& program, const std::vector<std::string>& arguments) {
                std::vector<std::string> command { program };
                command.insert(command.end(), arguments.begin(), arguments.end());
                started.push_back(command);
                return true;
            });
        desktop.outcome = [this](const platform::fake::FakeDesktopOpener::Request& request) {
            opened.push_back(request.url);
            return opens ? platform::DesktopOpener::Outcome::opened
                         : platform::DesktopOpener::Outcome::noProgram;
        };
        platform::DesktopOpener::setShared(&desktop);
        platform::SoundPlayer::setShared(&sounds);
        platform::LoginItemService::setMainAppService(&loginItems);
        KeyboardShortcuts::resetForTesting();
        environment.sessionController = &controller();
        environment.openNotificationSettings = [this] { ++notificationSettingsCount; };
    }

    void TearDown() override
    {
        m_screen.reset();
        processEvents();
        platform::SoundPlayer::setShared(nullptr);
        platform::LoginItemService::setMainAppService(nullptr);
        KeyboardShortcuts::resetForTesting();
        platform::DetachedProcess::setStarterForTesting({});
        platform::DesktopOpener::setShared(nullptr);
        qputenv("XDG_DATA_HOME", m_previousDataHome);
        SessionEngineTest::TearDown();
    }

    kiruvo::SettingsScreen& screen()
    {
        if (!m_screen) {
            m_screen = std::make_unique<kiruvo::SettingsScreen>(environment);
            processEvents();
        }
        return *m_screen;
    }

    // The text of the row a picker shows, or "" for none.
    static std::string shownText(const zk::Picker& picker)
    {
        const auto row = picker.selectedRow();
        return row ? picker.rowText(*row).toStdString() : std::string();
    }
    static int rowNamed(const zk::Picker& picker, const QString& text)
    {
        for (int row = 0; row < picker.rowCount(); ++row) {
            if (picker.rowText(row) == text) {
                return row;
            }
        }
        return -1;
    }
    // Chooses the row as a click would.
    static void choose(zk::Picker& picker, const QString& text)
    {
        const int row = rowNamed(picker, text);
        ASSERT_GE(row, 0) << text.toStdString();
        picker.choose(row);
        processEvents();
    }

    // What is written in the store for `key`, leaving out the registered defaults.
    static std::optional<platform::PropertyList> stored(const std::string& key)
    {
        const auto value = store()->storedValue(key);
        return value ? std::optional(*value) : std::nullopt;
    }

    std::size_t previewCount() { return controller().reminderSeam().recordedCalls().size(); }

    std::filesystem::path shortcutsFolder() const
    {
        return std::filesystem::path(m_dataHome.path().toStdString()) / "kiruvo" / "shortcuts";
    }
    void writeScript(const std::string& relativePath)
    {
        const auto path = shortcutsFolder() / relativePath;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "#!/bin/sh\necho hello\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }

    kiruvo::SettingsEnvironment environment;
    std::vector<std::vector<std::string>> started;
    // Links and folders handed to the desktop, which takes them when `opens`.
    std::vector<QUrl> opened;
    bool opens = true;
    platform::fake::FakeDesktopOpener desktop;
    QTemporaryDir m_dataHome;
    QByteArray m_previousDataHome;
    platform::fake::FakeSoundPlayer sounds;
    platform::fake::FakeLoginItemService loginItems;
    platform::fake::FakeGlobalHotKeys hotKeys;
    int notificationSettingsCount = 0;
    std::unique_ptr<kiruvo::SettingsScreen> m_screen;
};

// The Settings window itself, as its controller opens it; closed after each test.
class SettingsWindowTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        kiruvo::SettingsWindowController::setEnvironment(environment);
    }
    void TearDown() override
    {
        if (zk::SingletonWindowController::exists<kiruvo::SettingsWindowController>()) {
            zk::SingletonWindowController::shared<kiruvo::SettingsWindowController>().window()->close();
        }
        processEvents();
        kiruvo::SettingsWindowController::setEnvironment({});
        SettingsTest::TearDown();
    }
};
