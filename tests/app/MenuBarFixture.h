#pragma once

#include "app/SessionEngineFixture.h"

#include "app/menubar/MenuBarController.h"
#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "platform/fake/FakeGlobalHotKeys.h"
#include "platform/fake/FakeStatusItemBackend.h"

#include <QMenu>

#include <memory>

// A menu-bar controller over the session engine's fakes, drawing into a fake backend. The
// controller is built on first use; enable-at-launch has been applied when it is handed out.
class MenuBarTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        KeyboardShortcuts::resetForTesting();
    }

    void TearDown() override
    {
        if (m_menuBar) {
            m_menuBar->menu().hide();
        }
        m_menuBar.reset();
        processEvents();
        KeyboardShortcuts::resetForTesting();
        SessionEngineTest::TearDown();
    }

    kiruvo::MenuBarController& menuBar()
    {
        if (!m_menuBar) {
            kiruvo::MenuBarController::Environment environment;
            environment.sessionController = &controller();
            environment.noIdleSourceGracePeriod = noIdleSourceGracePeriod;
            environment.makeStatusItemBackend = [this] {
                auto created = std::make_unique<platform::fake::FakeStatusItemBackend>();
                backend = created.get();
                backend->setGeometry(QRect(600, 0, 24, 24));
                return created;
            };
            m_menuBar = std::make_unique<kiruvo::MenuBarController>(std::move(environment));
            m_menuBar->statusItem().setModifierSource([this] { return modifiers; });
            processEvents();
        }
        return *m_menuBar;
    }

    // The desktop's hot keys, pressed by the tests.
    platform::fake::FakeGlobalHotKeys hotKeys;

    std::size_t drawCount() const { return backend ? backend->drawn().size() : 0; }
    const platform::StatusItemAppearance& shown() const { return backend->lastDrawn(); }

    // Starts a session that has run `seconds` by the fake clock.
    void runSessionFor(double seconds)
    {
        menuBar();
        controller().setEnabled(true);
        fake.clock.advance(seconds);
    }

    // Seconds before the user is told that no idle source answers.
    double noIdleSourceGracePeriod = 15.0;
    platform::fake::FakeStatusItemBackend* backend = nullptr;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    std::unique_ptr<kiruvo::MenuBarController> m_menuBar;
};
