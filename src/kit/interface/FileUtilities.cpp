#include "kit/interface/FileUtilities.h"

#include "kit/foundation/FileUtilities.h"

#include "kit/foundation/AppErrorBuilder.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/ReportError.h"
#include "platform/Logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>

namespace zk {

std::optional<std::string> moveItemToTrash(const std::filesystem::path& path)
{
    QFile file(QString::fromStdString(path.string()));
    if (!file.exists()) {
        return "The item does not exist.";
    }
    const QString original = file.fileName();
    if (!file.moveToTrash()) {
        return file.errorString().toStdString();
    }
    // Qt 6.4 falls back to "./files" in the working directory when it can make no Trash folder;
    // that is no Trash, so the item goes back where it was.
    const QString inTrash = file.fileName();
    if (QDir::isRelativePath(inTrash)) {
        const QString moved = QDir::current().absoluteFilePath(inTrash);
        if (!QFile::rename(moved, original)) {
            return "No Trash folder could be made, and the item was left at " + moved.toStdString() + ".";
        }
        QFile::remove(QDir::current().absoluteFilePath(
            QStringLiteral("info/%1.trashinfo").arg(QFileInfo(moved).fileName())));
        // The folders Qt made for it, when they hold nothing else.
        QDir::current().rmdir(QStringLiteral("files"));
        QDir::current().rmdir(QStringLiteral("info"));
        return std::string("No Trash folder could be made.");
    }
    return std::nullopt;
}

std::optional<TrashFailure> trashItems(
    const std::vector<std::filesystem::path>& paths, const MoveToTrash& moveToTrash)
{
    for (const auto& path : paths) {
        if (auto reason = moveToTrash(path)) {
            return TrashFailure { path, std::move(*reason) };
        }
    }
    return std::nullopt;
}

std::filesystem::path systemDirectory(QStandardPaths::StandardLocation location)
{
    QString found = QStandardPaths::writableLocation(location);
    if (found.isEmpty()) {
        reportError(
            makeAppError("Could not get system directory: " + std::to_string(static_cast<int>(location))));
        found = QDir::tempPath();
    }
    std::error_code error;
    const std::filesystem::path path(found.toStdString());
    auto resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path : resolved;
}

namespace {

// The file system a path is on: its own, or its nearest existing parent's.
std::optional<dev_t> deviceOf(std::filesystem::path path)
{
    for (;;) {
        struct stat status { };
        if (::stat(path.c_str(), &status) == 0) {
            return status.st_dev;
        }
        if (!path.has_relative_path()) {
            return std::nullopt;
        }
        path = path.parent_path();
    }
}

std::filesystem::path itemReplacementDirectory(const std::filesystem::path& reference)
{
    const std::filesystem::path base = privateTemporaryBase().toStdString();
    const auto referenceDevice = deviceOf(reference);
    if (referenceDevice && referenceDevice == deviceOf(base)) {
        return createUniqueTemporaryDirectory().toStdString();
    }
    // Beside the reference; mkdtemp makes it 0700.
    std::string pattern = (reference.parent_path() / ".kiruvo-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(),
            "Could not create a temporary folder beside " + reference.string());
    }
    return pattern;
}

} // namespace

std::filesystem::path uniqueTemporaryDirectory(const std::optional<std::filesystem::path>& reference)
{
    const std::filesystem::path executable = ZKApp::url();
    try {
        return itemReplacementDirectory(reference.value_or(executable));
    } catch (const std::exception& failure) {
        reportError(makeAppError(failure.what()), { { "url()", executable.string() } });
    }
    return createUniqueTemporaryDirectory().toStdString();
}

std::optional<std::filesystem::path> writeToTemporaryFile(
    const std::string& text, const std::string& fileName, const std::string& extension)
{
    try {
        return std::filesystem::path(
            writeToTemporaryFile(text, QString::fromStdString(fileName), QString::fromStdString(extension))
                .toStdString());
    } catch (const Error& error) {
        platform::log(platform::LogLevel::Warning, platform::lcDesktop(), error.localizedDescription());
        return std::nullopt;
    }
}

} // namespace zk
