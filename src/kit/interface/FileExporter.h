#pragma once

#include "kit/foundation/core/ErrorValues.h"
#include "kit/interface/ExportFile.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <variant>

namespace zk {

// Saves an ExportFile where the user chooses. Handing it a file (setFile) opens the save dialog
// over the window, proposing the file's name with its type's extension; the chosen file is written
// whole or not at all (a temporary file beside it replaces it only when complete). However the
// dialog ends, the exporter lets go of the file afterwards.
//
// The outcome goes to the completion when one is given; otherwise a failure is kept as error() and
// shown in an error alert on the window that says what could not be written where, and a later
// success clears it. Cancelling the dialog is no failure.
//
// Main-thread only.
class FileExporter : public QObject {
    Q_OBJECT
public:
    // The chosen path, or the error that kept the file from being written.
    using Result = std::variant<QString, ErrorPtr>;
    using Completion = std::function<void(const Result& result)>;
    // Asks where to save `file` and calls `chosen` once, with the path or nothing for a cancel.
    using SavePanel = std::function<void(
        QWidget* window, const ExportFile& file, std::function<void(std::optional<QString>)> chosen)>;

    explicit FileExporter(QWidget* window, Completion onCompletion = {});
    ~FileExporter() override;

    // A file starts its export (a second one while the dialog is open waits for nothing: it
    // replaces the first); nothing does nothing.
    void setFile(std::optional<ExportFile> file);
    const std::optional<ExportFile>& file() const { return m_file; }
    // The last failure when there is no completion; cleared by a later success.
    const ErrorPtr& error() const { return m_error; }

    // Writes the bytes to `path` atomically: nothing when it worked, else what failed.
    static ErrorPtr write(const QByteArray& data, const QString& path);

    // The dialog in use; an empty function restores the desktop's save dialog.
    static void setSavePanel(SavePanel panel);
    // The desktop's save dialog, opened over the window and answering when it closes.
    static void showSaveDialog(
        QWidget* window, const ExportFile& file, std::function<void(std::optional<QString>)> chosen);

signals:
    void fileChanged();
    void errorChanged();

private:
    void finish(std::uint64_t request, const std::optional<QString>& path);
    void setError(ErrorPtr error);

    QPointer<QWidget> m_window;
    Completion m_onCompletion;
    std::optional<ExportFile> m_file;
    ErrorPtr m_error;
    std::uint64_t m_request = 0;
};

} // namespace zk
