#pragma once

#include "kit/foundation/core/AtomicDictionary.h"
#include "kit/foundation/core/ErrorValues.h"
#include "libraries/defaults/Keys.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/DurationFormatter.h"
#include "platform/time/Locale.h"

#include <functional>
#include <optional>
#include <qcoro/qcorofwd.h>
#include <string>

class QMenu;

namespace platform {
struct Date;
}

namespace zk {

// The application's facts: who it is, where it stands in its life, and a few process-wide services.
// Each value is worked out once, on first use, and kept for the life of the process; the launch
// facts are those of ZKKit::shared(), which the application creates before anything else.
class ZKApp {
public:
    static constexpr const char* firstLaunchDateKey = "ZK_firstLaunchDate";

    ZKApp() = delete;

    // Identity.
    static const std::string& bundleIdentifier(); // "com.zelvantorium.Kiruvo"
    static const std::string& id() { return bundleIdentifier(); }
    static const std::string& name(); // "Kiruvo"
    static const std::string& version(); // from the build
    static const std::string& build();
    // version + " (" + build + ")".
    static const std::string& versionWithBuild();
    static std::string versionWithBuild(const std::string& version, const std::string& build);
    // The application's web page; its store identifier (the identifier it is published under)
    // and its page in the store that Linux desktops' software centres share.
    static constexpr const char* webPageAddress = "https://kiruvo.example/";
    static constexpr const char* storeIdentifier = "com.zelvantorium.Kiruvo";
    static constexpr const char* storeAddress = "https://flathub.org/apps/com.zelvantorium.Kiruvo";
    // The maker's page in that store, listing their applications.
    static constexpr const char* storeDeveloperPageAddress
        = "https://flathub.org/apps/collection/developer/Zelvantorium";
    // The path of the running executable.
    static const std::string& url();
    // Whether the environment has "APP_SANDBOX_CONTAINER_ID" (its value is not looked at).
    static bool isSandboxed();
    static bool isSandboxed(const char* const* environment);

    // The launch facts of ZKKit::shared().
    static bool isFirstLaunch();
    static platform::Date firstLaunchDate();
    static platform::Date launchTime();
    static bool hasCrashedLastRun();

    // The launch facts as they are worked out for a suite. "ZK_firstLaunchDate" is written when it
    // holds no readable date and is returned unchanged otherwise.
    static platform::Date resolveFirstLaunchDate(platform::UserDefaults& suite, platform::Date now);
    // "ZK_Sentry_hasCrashed", latched to true the first time the error reporter says the previous
    // run crashed; `reporterSaysCrashed` is asked only while the flag is not set.
    static bool resolveHasCrashedLastRun(
        platform::UserDefaults& suite, const std::function<bool()>& reporterSaysCrashed);

    // The menu that stands for the application's main menu: the status menu, which the tray
    // registers when it builds it. The "Debug" menu is added to it once start-up has finished.
    // Main-thread only.
    static QMenu* mainMenu();
    static void setMainMenu(QMenu* menu);

    // Abbreviated hours and minutes in the current locale.
    static const platform::DurationFormatter& durationFormatter();
    // Shared by error reporting and the debug information.
    static AtomicDictionary<std::string, ErrorInfoValue>& sharedDictionary();

    // Set by a relaunch that asks for the settings window; removed again at the next start-up.
    static const Defaults::Key<bool>& isShowingSettingsAfterRelaunch();

    // Ends the application through its normal termination. Main-thread only.
    static void quit();
    // The same from the main queue, so that it runs after the menu that asked for it has closed.
    static void quitOnMainQueue();
    // Starts a new instance and ends this one; see relaunchApp.
    static QCoro::Task<bool> relaunch(bool exitImmediately, bool showSettingsAfterRelaunch);

    // The English name of the locale's language ("French" for "fr_FR"); nothing when the locale
    // has no language.
    static std::optional<std::string> localizedLanguageName(const platform::Locale& locale);
};

} // namespace zk
