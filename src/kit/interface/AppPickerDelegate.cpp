#include "kit/interface/AppPickerDelegate.h"

#include "kit/foundation/AppErrorBuilder.h"
#include "kit/foundation/ZKApp.h"
#include "platform/RegularFile.h"
#include "platform/linux/DesktopEntry.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

namespace zk {

namespace {

// A desktop entry is a few kilobytes; anything far larger is not one.
constexpr qint64 largestDesktopEntry = 1024 * 1024;

} // namespace

AppPickerDelegate::AppPickerDelegate()
{
    QString name = QGuiApplication::desktopFileName();
    if (name.isEmpty()) {
        name = QString::fromStdString(ZKApp::bundleIdentifier());
    }
    filename = name.endsWith(QStringLiteral(".desktop")) ? name : name + QStringLiteral(".desktop");
}

bool AppPickerDelegate::shouldEnableUrl(const QUrl& url) const
{
    return url.fileName() != filename;
}

bool AppPickerDelegate::isApplication(const QUrl& url)
{
    if (!url.isLocalFile()) {
        return false;
    }
    const QFileInfo info(url.toLocalFile());
    if (info.suffix() != QStringLiteral("desktop")) {
        return false;
    }
    // Checked on the opened file: it may have been replaced since the picker listed it.
    const auto read = platform::RegularFile::read(
        QFile::encodeName(info.filePath()).toStdString(), static_cast<std::size_t>(largestDesktopEntry));
    if (!read.contents) {
        return false;
    }
    const auto entry = platform::xdg::DesktopEntry::parse(
        QString::fromUtf8(read.contents->data(), static_cast<qsizetype>(read.contents->size())));
    return entry
        && entry->value(QStringLiteral("Type")).value_or(QString()).trimmed()
        == QStringLiteral("Application");
}

ErrorPtr AppPickerDelegate::validateUrl(const QUrl& url) const
{
    if (!isApplication(url)) {
        return std::make_shared<PlatformError>(makeAppError(AppErrorParts {
            .description = "The selected item is not an app.",
            .recoverySuggestion = "Please select an app.",
        }));
    }
    return validate ? validate(url) : nullptr;
}

} // namespace zk
