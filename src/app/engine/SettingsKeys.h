#pragma once

#include "app/engine/MenuBarIcon.h"
#include "app/engine/NotificationType.h"
#include "app/engine/Session.h"
#include "app/engine/ShowInMenuBar.h"
#include "kit/foundation/core/Duration.h"
#include "kit/foundation/core/MacSystemSound.h"
#include "libraries/defaults/Defaults.h"
#include "platform/Uuid.h"

#include <optional>
#include <string>
#include <vector>

namespace kiruvo {
// One stored history entry read back: the text is wrapped in "[" and "]" and the first element of
// that array decoded, as every reader of the history does. Nothing when that is no session.
std::optional<Session> sessionFromStoredText(const std::string& text);
} // namespace kiruvo

// The reminder sound is stored by its name ("Glass"), as the other setting enumerations are.
template <> struct Defaults::RawRepresentable<zk::MacSystemSound> {
    using RawValue = std::string;
    static RawValue rawValue(const zk::MacSystemSound& sound) { return std::string(zk::rawValue(sound)); }
    static std::optional<zk::MacSystemSound> fromRawValue(const RawValue& raw)
    {
        return zk::macSystemSoundFromRawValue(raw);
    }
};

namespace kiruvo {
// The sound as earlier versions stored it, the JSON text of its name ("\"Glass\""): the Codable twin
// of the sound, with exactly its names.
using CodableMacSystemSound = Defaults::RawCodableForm<zk::MacSystemSound>;
} // namespace kiruvo
template <> struct Defaults::NativeType<zk::MacSystemSound> {
    using CodableForm = kiruvo::CodableMacSystemSound;
};

// The history is stored as an array of strings, each the JSON object text of one session
// (Session::jsonText); an entry that no longer decodes is left out when the list is read.
template <> struct Defaults::Serializable<kiruvo::Session> {
    struct Bridge {
        using Value = kiruvo::Session;
        using Serializable = std::string;
        static std::optional<std::string> serialize(const std::optional<kiruvo::Session>& session)
        {
            if (!session) {
                return std::nullopt;
            }
            return session->jsonText();
        }
        static std::optional<kiruvo::Session> deserialize(const std::optional<std::string>& text)
        {
            if (!text) {
                return std::nullopt;
            }
            return kiruvo::sessionFromStoredText(*text);
        }
    };
    static constexpr bool isNativelySupported = false;
};

// Every setting of the application and the stored history, each a key of the standard suite.
// A key is created on first use, registers its default then, and stays bound to the standard suite
// that existed at that moment for the rest of the process.
namespace kiruvo::Keys {

const Defaults::Key<std::vector<Session>>& sessions();
const Defaults::Key<ShowInMenuBar>& showInMenuBar();
const Defaults::Key<zk::Duration>& idleDurationBeforeStop();
// No value: no reminders.
const Defaults::Key<std::optional<zk::Duration>>& notifyInterval();
const Defaults::Key<NotificationType>& notificationType();
// No value: silent reminders.
const Defaults::Key<std::optional<zk::MacSystemSound>>& notificationSound();
const Defaults::Key<bool>& notificationHapticFeedback();
// The script run with each reminder; no value runs none.
const Defaults::Key<std::optional<platform::Uuid>>& notificationRunShortcut();
const Defaults::Key<bool>& toggleEnabledWithLeftClick();
const Defaults::Key<bool>& dimMenuBarItemWhileDisabled();
const Defaults::Key<MenuBarIcon>& menuBarIcon();
const Defaults::Key<bool>& enableAtLaunch();
// Points to move the status item's title by; no value leaves it where the desktop puts it.
const Defaults::Key<std::optional<double>>& menuBarTextVerticalAlignmentOffset();

// Settings of earlier versions, read once by the start-up migrations and never written.
const Defaults::Key<bool>& showDurationInMenuBar();
const Defaults::Key<bool>& useSystemNotifications();

// Touches every key above, in declaration order, so that all their defaults are registered.
void registerAll();

} // namespace kiruvo::Keys
