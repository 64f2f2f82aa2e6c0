#include "kit/diagnostics/SecurityScopedBookmarkManager.h"

#include "kit/foundation/AppErrorBuilder.h"
#include "kit/foundation/ErrorPresentation.h"
#include "kit/foundation/SandboxURLBookmark.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/GeneralError.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

namespace zk::SecurityScopedBookmarkManager {

namespace {

std::mutex& promptLock()
{
    static std::mutex lock;
    return lock;
}

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string resolved(const std::string& path)
{
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    return withoutTrailingSlash(error ? path : canonical.string());
}

bool isInFlatpak()
{
    return qEnvironmentVariableIsSet("FLATPAK_ID") || std::filesystem::exists("/.flatpak-info");
}

std::string homeDirectory()
{
    const Environment& environment = Environment::shared();
    if (environment.homeDirectory) {
        return environment.homeDirectory();
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    return QDir::homePath().toStdString();
}

std::optional<std::string> runPanel(const PanelConfiguration& configuration)
{
    QFileDialog dialog(
        nullptr, QString::fromStdString(configuration.title), QString::fromStdString(configuration.folder));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(configuration.prompt));
    // The portal's dialog grants the sandbox its access; elsewhere our own can carry the message.
    if (!isInFlatpak()) {
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* label = new QLabel(QString::fromStdString(configuration.message), &dialog);
            label->setWordWrap(true);
            grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first().toStdString();
}

void showError(const std::string& description, const std::string& recoverySuggestion)
{
    const Environment& environment = Environment::shared();
    if (environment.showError) {
        environment.showError(description, recoverySuggestion);
        return;
    }
    QMessageBox box(
        QMessageBox::Warning, QString::fromStdString(description), QString::fromStdString(description));
    box.setInformativeText(QString::fromStdString(recoverySuggestion));
    box.exec();
}

// A document of the portal stands for the folder the user chose outside the sandbox.
bool isPortalDocumentFor(const std::string& chosen, const std::string& expected)
{
    const std::string documents = "/run/user/" + std::to_string(::getuid()) + "/doc/";
    return chosen.starts_with(documents)
        && std::filesystem::path(chosen).filename() == std::filesystem::path(expected).filename();
}

// The prompt itself; the caller holds promptLock() and runs on the main thread.
PromptResult runPrompt(const std::string& folder, const std::optional<std::string>& message)
{
    const Environment& environment = Environment::shared();
    const PanelConfiguration configuration { folder, "Permission", panelMessage(folder, message), "Allow" };
    for (;;) {
        const auto chosen
            = environment.runPanel ? environment.runPanel(configuration) : runPanel(configuration);
        if (!chosen) {
            return {};
        }
        const auto failure = validationFailure(*chosen, folder, homeDirectory());
        if (failure && !(isInFlatpak() && isPortalDocumentFor(*chosen, folder))) {
            // The panel refuses the choice and asks again.
            showError("Incorrect directory.", *failure);
            continue;
        }
        const auto bookmark = SandboxURLBookmark::make(*chosen);
        if (!bookmark) {
            showError("Could not remember access to “" + *chosen + "”.",
                "The folder may have been moved or removed.");
            return {};
        }
        SecurityScopedBookmarks::setBookmarkData(folder, bookmark->bookmarkData);
        return { resolved(*chosen), std::nullopt };
    }
}

} // namespace

Environment& Environment::shared()
{
    static Environment environment;
    return environment;
}

std::string folderDisplayName(const std::string& folder)
{
    const std::string path = withoutTrailingSlash(folder);
    if (path == "/") {
        return "root";
    }
    return "“" + std::filesystem::path(path).filename().string() + "”";
}

std::string panelMessage(const std::string& folder, const std::optional<std::string>& message)
{
    if (message) {
        return *message;
    }
    return ZKApp::name() + " needs access to the " + folderDisplayName(folder)
        + " folder. Click “Allow” to proceed.";
}

std::optional<std::string> validationFailure(
    const std::string& chosen, const std::string& expected, const std::string& homeDirectory)
{
    if (resolved(chosen) == resolved(expected)) {
        return std::nullopt;
    }
    std::string shown = withoutTrailingSlash(expected);
    const std::string home = withoutTrailingSlash(homeDirectory);
    if (!home.empty() && home != "/" && (shown == home || shown.starts_with(home + "/"))) {
        shown = std::string("~").append(shown.substr(home.size()));
    }
    return "Select the directory “" + shown + "”.";
}

std::optional<std::string> bookmarkedURL(const std::string& folder)
{
    const auto data = SecurityScopedBookmarks::bookmarkData(folder);
    if (!data) {
        return std::nullopt;
    }
    // A folder that is gone (or a bookmark that reads as none) leaves the entry and asks again.
    return SandboxURLBookmark { *data }.resolve();
}

PromptResult promptForDirectoryAccess(const std::string& folder, const std::optional<std::string>& message)
{
    if (!platform::MainQueue::isMainThread()) {
        // Prompts follow one another: wait for the open one, then ask on the main thread.
        std::lock_guard lock(promptLock());
        PromptResult result;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { result = runPrompt(folder, message); },
            Qt::BlockingQueuedConnection);
        return result;
    }
    std::unique_lock lock(promptLock(), std::try_to_lock);
    if (!lock) {
        const std::string error = "A folder prompt is already open.";
        platform::log(platform::LogLevel::Error, platform::lcDiagnostics(), error);
        return { std::nullopt, error };
    }
    return runPrompt(folder, message);
}

AccessResult withDirectoryAccess(
    const std::string& path, const std::function<void(const std::string& folder)>& work)
{
    const std::string folder
        = path.ends_with('/') ? path : std::filesystem::path(path).parent_path().string() + "/";
    std::optional<std::string> url = bookmarkedURL(folder);
    if (!url) {
        const PromptResult prompt = promptForDirectoryAccess(folder);
        if (prompt.error) {
            return AccessResult::refused;
        }
        url = prompt.url;
    }
    if (!url) {
        return AccessResult::cancelled;
    }
    try {
        work(*url);
    } catch (const std::exception& failure) {
        presentAsModal(std::make_shared<GeneralError>(failure.what()));
        return AccessResult::failed;
    }
    return AccessResult::ran;
}

} // namespace zk::SecurityScopedBookmarkManager
