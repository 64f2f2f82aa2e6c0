#pragma once

#include "platform/store/UserDefaults.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

namespace zk {

// The keyboard modifiers held at a moment, as one flag word. Only the device-independent bits count
// in the launch gestures, and of those Caps Lock, the numeric pad and Function never do.
namespace ModifierFlags {
inline constexpr std::uint64_t capsLock = 0x10000;
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000; // Alt
inline constexpr std::uint64_t command = 0x100000; // Super
inline constexpr std::uint64_t numericPad = 0x200000;
inline constexpr std::uint64_t function = 0x800000;
inline constexpr std::uint64_t deviceIndependentMask = 0xFFFF0000;

// Whether exactly `keys` are held, ignoring Caps Lock, the numeric pad and Function.
bool areExactly(std::uint64_t flags, std::uint64_t keys);
} // namespace ModifierFlags

// The kit's start-up object. The application creates ZKKit::shared() before it reads any setting
// or shows any window. Creating it counts the launch, registers the platform default, fixes the
// launch facts of ZKApp, and looks at the keys held during start-up:
// - Shift + Control: debug mode for the whole process (isDebugModifierHeld);
// - Shift + Control + Alt: the user debug window opens;
// - Shift + Control + Alt + Super: an offer to delete all settings and data, then relaunch.
//
// Main-thread only. The steps it posts are dropped with it.
class ZKKit : public QObject {
    Q_OBJECT
public:
    // The modifiers held at this moment.
    using ModifierSource = std::function<std::uint64_t()>;

    struct Environment {
        // Empty: the standard suite.
        std::shared_ptr<platform::UserDefaults> suite;
        // Empty: the process-wide source (see setModifierSource).
        ModifierSource modifiers;
        // Whether the error reporter found that the previous run crashed; empty: ask it.
        std::function<bool()> crashedLastRun;
    };

    static constexpr const char* launchCountKey = "ZK_launchCount";

    // The process-wide instance, created on first use over the standard suite.
    static ZKKit& shared();

    // Runs the start-up steps against the environment; the steps that wait for the event loop are
    // posted to the main queue (the user debug window, the reset offer, finishStartup).
    explicit ZKKit(Environment environment = {});
    ~ZKKit() override;

    // This launch's number, counting from 1.
    std::int64_t launchCount() const { return m_launchCount; }
    // Whether no launch count was stored: the very first launch, or the first after a reset.
    bool isFirstLaunch() const { return m_isFirstLaunch; }
    platform::Date firstLaunchDate() const { return m_firstLaunchDate; }
    platform::Date launchTime() const { return m_launchTime; }
    bool hasCrashedLastRun() const { return m_hasCrashedLastRun; }

    struct LaunchCount {
        std::int64_t count = 1;
        bool isFirstLaunch = true;
    };
    // Counts one launch in the suite. The first launch is the one with no stored count. A stored
    // count that does not read as a positive integer still proves an earlier launch, so the count
    // goes on from 1 (it is reported, and the stored value backed up before it is replaced); the
    // largest count stays where it is rather than overflowing. While the suite's file is held by
    // another program (it exists, so the application ran before) no launch is the first: the count
    // is that of the launches made meanwhile, added to the stored one once the file opens.
    static LaunchCount countLaunch(platform::UserDefaults& suite);

    // Joins, in every store of the process, the start-up keys written while the store's file was
    // held by another program with what the file holds once it opens: the launch count adds the
    // launches counted meanwhile to the stored count, and the earlier first-launch date stays.
    // Called before the first store opens (an opening puts into the file what a run before wrote
    // meanwhile); the constructor calls it too.
    static void joinStartUpKeysWrittenBeforeTheStoreOpens();

    // The debug flag: whether exactly Shift + Control were held when it was first read. Fixed for
    // the rest of the process. Safe from any thread.
    static bool isDebugModifierHeld();

    // The keys held now, from the keyboard (QGuiApplication::queryKeyboardModifiers) unless a source
    // has been set; tests set one. An empty source restores the keyboard.
    static std::uint64_t currentModifiers();
    static void setModifierSource(ModifierSource source);

    // The queued start-up steps, public so that they can be driven directly.
    // Offers to delete all settings and data when exactly Shift + Control + Alt + Super are held.
    void offerResetAtLaunch();
    // Adds the "Debug" menu (in debug mode) to the main menu, now or when one is registered.
    void finishStartup();
    void openUserDebugWindowAtLaunch();

    // Reads and removes the request to show the settings after a relaunch; opens the settings
    // window from the main queue when it was there.
    void observeDidFinishLaunching();

    // Whether finishStartup has run in this process.
    static bool hasFinishedStartup();

private:
    std::uint64_t modifiers() const;

    Environment m_environment;
    std::int64_t m_launchCount = 1;
    bool m_isFirstLaunch = true;
    platform::Date m_firstLaunchDate;
    platform::Date m_launchTime;
    bool m_hasCrashedLastRun = false;
};

} // namespace zk
