#include "kit/interface/FileExporter.h"

#include "kit/foundation/ErrorPresentation.h"
#include "kit/foundation/core/GeneralError.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

namespace zk {

namespace {

FileExporter::SavePanel& savePanel()
{
    static FileExporter::SavePanel panel;
    return panel;
}

QString fileNameWithExtension(const ExportFile& file)
{
    const QString extension = QString::fromStdString(file.contentType.preferredFilenameExtension);
    const QString name = QString::fromStdString(file.defaultFilename.value_or("Untitled"));
    return extension.isEmpty() ? name : name + QLatin1Char('.') + extension;
}

ErrorPtr writeError(const QString& path, const QString& reason)
{
    const QFileInfo info(path);
    GeneralError::Parts parts;
    parts.errorDescription = QStringLiteral("“%1” could not be saved in “%2”.")
                                 .arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath()))
                                 .toStdString();
    parts.recoverySuggestion = reason.toStdString();
    parts.userInfo = { { "path", path.toStdString() } };
    return std::make_shared<GeneralError>(std::move(parts));
}

// The file's error text, or the system's when Qt has none to give.
QString failureReason(const QFileDevice& file)
{
    const int systemError = errno;
    const QString reason = file.errorString();
    if ((reason.isEmpty() || reason == QLatin1String("Unknown error")) && systemError != 0) {
        return QString::fromLocal8Bit(std::strerror(systemError));
    }
    return reason;
}

} // namespace

FileExporter::FileExporter(QWidget* window, Completion onCompletion)
    : QObject(window)
    , m_window(window)
    , m_onCompletion(std::move(onCompletion))
{
}

FileExporter::~FileExporter() = default;

void FileExporter::setSavePanel(SavePanel panel)
{
    savePanel() = std::move(panel);
}

void FileExporter::setFile(std::optional<ExportFile> file)
{
    if (!file) {
        if (m_file) {
            m_file.reset();
            ++m_request;
            emit fileChanged();
        }
        return;
    }
    m_file = std::move(file);
    const std::uint64_t request = ++m_request;
    emit fileChanged();
    // The dialog may answer after the exporter (or its window) is gone.
    auto chosen = [self = QPointer(this), request](std::optional<QString> path) {
        if (self) {
            self->finish(request, path);
        }
    };
    if (const auto& panel = savePanel()) {
        panel(m_window, *m_file, std::move(chosen));
    } else {
        showSaveDialog(m_window, *m_file, std::move(chosen));
    }
}

void FileExporter::showSaveDialog(
    QWidget* window, const ExportFile& file, std::function<void(std::optional<QString>)> chosen)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::homePath();
    }
    auto* dialog = new QFileDialog(window, QStringLiteral("Export"),
        QDir(folder).filePath(fileNameWithExtension(file)),
        QString::fromStdString(file.contentType.nameFilter()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QString::fromStdString(file.contentType.preferredFilenameExtension));
    dialog->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    auto answered = std::make_shared<bool>(false);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, chosen, answered](int result) {
        if (*answered) {
            return;
        }
        *answered = true;
        const QStringList files = dialog->selectedFiles();
        if (result == QDialog::Accepted && !files.isEmpty()) {
            chosen(files.front());
        } else {
            chosen(std::nullopt);
        }
    });
    dialog->open();
}

ErrorPtr FileExporter::write(const QByteArray& data, const QString& path)
{
    QSaveFile file(path);
    // Unbuffered, so that a failing write reports the system's reason ("No space left on device")
    // where a buffer flushed at commit would only say "Unknown error".
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return writeError(path, failureReason(file));
    }
    if (file.write(data) != data.size()) {
        const QString reason = failureReason(file);
        file.cancelWriting();
        return writeError(path, reason);
    }
    if (!file.commit()) {
        return writeError(path, failureReason(file));
    }
    return nullptr;
}

void FileExporter::finish(std::uint64_t request, const std::optional<QString>& path)
{
    if (request != m_request || !m_file) {
        return;
    }
    const QByteArray data = m_file->data;
    m_file.reset();
    emit fileChanged();
    if (!path) {
        return;
    }
    ErrorPtr failure = write(data, *path);
    if (m_onCompletion) {
        m_onCompletion(failure ? Result(failure) : Result(*path));
        return;
    }
    setError(failure);
    if (failure) {
        presentErrorAsSheet(failure, m_window, [self = QPointer(this)] {
            if (self) {
                self->setError(nullptr);
            }
        });
    }
}

void FileExporter::setError(ErrorPtr error)
{
    if (error == m_error) {
        return;
    }
    m_error = std::move(error);
    emit errorChanged();
}

} // namespace zk
