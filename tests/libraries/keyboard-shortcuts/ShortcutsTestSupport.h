#pragma once

#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "platform/fake/FakeGlobalHotKeys.h"
#include "platform/linux/XkbKeyboardLayout.h"
#include "platform/store/UserDefaults.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A fresh library over the in-memory store, the fake desktop hot keys and a US keyboard layout;
// every change notification is recorded by name.
class ShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KeyboardShortcuts::resetForTesting();
        usLayout = platform::XkbKeyboardLayout::fromNames({ "us", {}, {}, {} });
        ASSERT_NE(usLayout, nullptr) << "the XKB data (xkb-data) are missing";
        platform::KeyboardLayout::setShared(usLayout.get());
        QObject::connect(&KeyboardShortcuts::ShortcutChangeNotifier::shared(),
            &KeyboardShortcuts::ShortcutChangeNotifier::shortcutByNameDidChange, &receiver,
            [this](const KeyboardShortcuts::Name& name) { changes.push_back(name.rawValue()); });
    }

    void TearDown() override
    {
        platform::KeyboardLayout::setShared(nullptr);
        KeyboardShortcuts::resetForTesting();
    }

    static std::optional<platform::PropertyList> stored(const std::string& rawValue)
    {
        return platform::UserDefaults::standard()->objectForKey("KeyboardShortcuts_" + rawValue);
    }
    static void store(const std::string& rawValue, const platform::PropertyList& value)
    {
        platform::UserDefaults::standard()->setObject(value, "KeyboardShortcuts_" + rawValue);
    }
    static platform::HotKeyCombination combinationOf(const KeyboardShortcuts::Shortcut& shortcut)
    {
        return { *shortcut.key().x11KeyCode(), shortcut.modifiers() };
    }

    platform::fake::FakeGlobalHotKeys hotKeys;
    std::unique_ptr<platform::XkbKeyboardLayout> usLayout;
    QObject receiver;
    std::vector<std::string> changes;
};
