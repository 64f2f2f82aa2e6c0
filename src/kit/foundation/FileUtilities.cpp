#include "kit/foundation/FileUtilities.h"

#include "kit/foundation/core/ErrorValues.h"
#include "kit/foundation/core/ReportError.h"
#include "platform/AppFolders.h"
#include "platform/PrivateFiles.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrlQuery>

#include <unicode/uchar.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <pwd.h>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace zk {

namespace {

PlatformError fileError(std::int64_t code, const QString& path, const QString& description)
{
    return PlatformError(ErrorDomains::cocoa, code,
        { { ErrorKeys::localizedDescription, description.toStdString() },
            { "NSFilePath", path.toStdString() } });
}

bool isPrivateFolder(const QByteArray& path)
{
    return platform::PrivateFiles::isPrivateFolder(path.toStdString());
}

// The folders made by createUniqueTemporaryDirectory() and not yet removed; a static object, so
// that what is left is removed when the process ends normally (quit, SIGTERM through the event
// loop, std::exit).
class TemporaryDirectoryRegistry {
public:
    static TemporaryDirectoryRegistry& shared()
    {
        static TemporaryDirectoryRegistry registry;
        return registry;
    }
    ~TemporaryDirectoryRegistry() { removeAll(); }

    void add(const QString& path)
    {
        std::lock_guard lock(m_mutex);
        m_paths.insert(path);
    }
    void removeAll()
    {
        std::set<QString> paths;
        {
            std::lock_guard lock(m_mutex);
            paths.swap(m_paths);
        }
        for (const QString& path : paths) {
            QDir(path).removeRecursively();
        }
    }

private:
    std::mutex m_mutex;
    std::set<QString> m_paths;
};

} // namespace

std::optional<QUrl> urlWithQueryItems(std::string_view text, const std::vector<URLQueryItem>& items)
{
    const QUrl url(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QUrl::StrictMode);
    if (!url.isValid() || text.empty()) {
        return std::nullopt;
    }
    return appendingQueryItems(url, items);
}

std::optional<QUrl> appendingQueryItems(const QUrl& url, const std::vector<URLQueryItem>& items)
{
    if (!url.isValid()) {
        return std::nullopt;
    }
    std::vector<URLQueryItem> all;
    const QString existing = url.query(QUrl::FullyEncoded);
    if (!existing.isEmpty()) {
        for (const QString& part : existing.split('&')) {
            const auto equals = part.indexOf('=');
            if (equals < 0) {
                all.push_back({ part.toStdString(), std::nullopt });
            } else {
                all.push_back({ part.left(equals).toStdString(), part.mid(equals + 1).toStdString() });
            }
        }
    }
    all.insert(all.end(), items.begin(), items.end());
    QUrl result = url;
    result.setQuery(QString::fromStdString(queryString(all)), QUrl::StrictMode);
    if (!result.isValid()) {
        return std::nullopt;
    }
    return result;
}

QUrl urlLiteral(std::string_view text)
{
    const QUrl url(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QUrl::StrictMode);
    if (text.empty() || !url.isValid()) {
        throw std::invalid_argument("Invalid URL literal: " + std::string(text));
    }
    return url;
}

std::optional<std::string> stringResourceValue(const QString& path, ResourceKey key)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return std::nullopt;
    }
    switch (key) {
    case ResourceKey::name:
        return info.fileName().toStdString();
    case ResourceKey::path:
        return info.absoluteFilePath().toStdString();
    case ResourceKey::localizedTypeDescription:
        return QMimeDatabase().mimeTypeForFile(info).comment().toStdString();
    case ResourceKey::contentType:
        return QMimeDatabase().mimeTypeForFile(info).name().toStdString();
    default:
        return std::nullopt;
    }
}

std::optional<bool> boolResourceValue(const QString& path, ResourceKey key)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return std::nullopt;
    }
    switch (key) {
    case ResourceKey::isDirectory:
        return info.isDir();
    case ResourceKey::isRegularFile:
        return info.isFile();
    case ResourceKey::isHidden:
        return info.isHidden();
    case ResourceKey::isReadable:
        return info.isReadable();
    case ResourceKey::isWritable:
        return info.isWritable();
    case ResourceKey::isExecutable:
        return info.isExecutable();
    case ResourceKey::isSymbolicLink:
        return info.isSymLink();
    default:
        return std::nullopt;
    }
}

bool caseLetters(char32_t character)
{
    return u_isULowercase(static_cast<UChar32>(character)) || u_isUUppercase(static_cast<UChar32>(character));
}

bool asciiDigits(char32_t character)
{
    return character >= U'0' && character <= U'9';
}

bool caseLettersAndDigits(char32_t character)
{
    return caseLetters(character) || asciiDigits(character);
}

bool urlUnreserved(char32_t character)
{
    return character == U'-' || character == U'.' || character == U'_' || character == U'~'
        || caseLettersAndDigits(character);
}

QString rootDirectory()
{
    return QStringLiteral("/");
}

QString realHomeDirectory()
{
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && entry->pw_dir != nullptr && *entry->pw_dir) {
        return QString::fromLocal8Bit(entry->pw_dir);
    }
    // An account without a home in the user database: the environment's is the best there is.
    return QDir::homePath();
}

QString makeAppDirectory(const std::filesystem::path& folder)
{
    const QString path = QString::fromStdString(folder.string());
    std::error_code error;
    if (!platform::PrivateFiles::createFolders(folder, error)) {
        reportError(fileError(ErrorDomains::fileWriteUnknown, path,
            QStringLiteral("Could not create the folder “%1”.").arg(path)));
    }
    return path;
}

const QString& appSupportDirectory()
{
    static const QString path = makeAppDirectory(platform::AppFolders::dataFolder());
    return path;
}

const QString& appCachesDirectory()
{
    static const QString path = makeAppDirectory(platform::AppFolders::cacheFolder());
    return path;
}

QString privateTemporaryBase()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(QFile::encodeName(runtime))) {
        const QString base = QDir(runtime).filePath(QStringLiteral("kiruvo"));
        const QByteArray encoded = QFile::encodeName(base);
        ::mkdir(encoded.constData(), 0700);
        // Made by another part of Kiruvo with the usual permissions: ours to close.
        struct stat status { };
        if (::lstat(encoded.constData(), &status) == 0 && S_ISDIR(status.st_mode)
            && status.st_uid == ::getuid() && (status.st_mode & 077) != 0) {
            ::chmod(encoded.constData(), 0700);
        }
        if (isPrivateFolder(encoded)) {
            return base;
        }
    }
    // Shared by every user: each folder made in it is private itself.
    return QDir::tempPath();
}

QString createUniqueTemporaryDirectory()
{
    const QString path = QDir(privateTemporaryBase())
                             .filePath(QString::fromStdString(platform::Uuid::random().uuidString()));
    // Made with its final permissions, never through a folder someone else could have prepared.
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0) {
        throw fileError(ErrorDomains::fileWriteUnknown, path,
            QStringLiteral("Could not create the folder “%1”: %2")
                .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    TemporaryDirectoryRegistry::shared().add(path);
    return path;
}

void removeTemporaryDirectories()
{
    TemporaryDirectoryRegistry::shared().removeAll();
}

QString writeToNewPrivateFile(
    const std::string& text, const QString& folder, const QString& fileName, const QString& extension)
{
    // Only the name's last part counts: a name can never place the file outside its folder.
    QString name = QFileInfo(fileName).fileName();
    if (name.isEmpty() || name == QLatin1String("..") || name == QLatin1String(".")) {
        name = QStringLiteral("Untitled");
    }
    if (!extension.isEmpty() && QFileInfo(name).suffix().compare(extension, Qt::CaseInsensitive) != 0) {
        name += '.' + extension;
    }
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    // Readable by this user only from the moment it exists.
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::NewOnly)
        && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size())
        && file.flush();
    if (!written) {
        const QString reason = file.errorString();
        file.close();
        QDir(folder).removeRecursively();
        throw fileError(ErrorDomains::fileWriteUnknown, path,
            QStringLiteral("Could not write “%1”: %2").arg(path, reason));
    }
    file.close();
    return path;
}

QString writeToTemporaryFile(const std::string& text, const QString& fileName, const QString& extension)
{
    return writeToNewPrivateFile(text, createUniqueTemporaryDirectory(), fileName, extension);
}

TemporaryDirectory::~TemporaryDirectory()
{
    QDir(m_path).removeRecursively();
}

std::vector<std::uint8_t> removingTrailingNull(std::vector<std::uint8_t> bytes)
{
    if (!bytes.empty() && bytes.back() == 0) {
        bytes.pop_back();
    }
    return bytes;
}

} // namespace zk
