#include "kit/diagnostics/Email.h"

#include "kit/diagnostics/InstalledApp.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/FileUtilities.h"
#include "kit/foundation/core/ErrorValues.h"
#include "kit/foundation/core/URLQueryItem.h"
#include "kit/interface/Pasteboard.h"
#include "platform/Logger.h"
#include "platform/Uuid.h"
#include "platform/desktop/DesktopOpener.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace zk {

const EmailAddress& supportEmailAddress()
{
    static const EmailAddress address = EmailAddress::literal("support@kiruvo.example");
    return address;
}

namespace {

std::string joined(const std::vector<std::string>& values, std::string_view separator)
{
    std::string text;
    for (std::size_t index = 0; index < values.size(); ++index) {
        text += (index ? std::string(separator) : std::string()) + values[index];
    }
    return text;
}

// The recipients stand in the path: the address characters "@" and the separating "," stay.
std::string encodedPath(const std::vector<std::string>& recipients)
{
    std::string path;
    for (std::size_t index = 0; index < recipients.size(); ++index) {
        const std::string encoded = percentEncodedURLUnreserved(recipients[index]);
        if (index) {
            path += ",";
        }
        // Copied piece by piece rather than replaced in place, which g++ 12 at -O3 takes for an
        // overlapping copy.
        std::string::size_type from = 0;
        for (auto at = encoded.find("%40"); at != std::string::npos; at = encoded.find("%40", from)) {
            path.append(encoded, from, at - from);
            path += '@';
            from = at + 3;
        }
        path.append(encoded, from, std::string::npos);
    }
    return path;
}

QString xdgEmailPath(const EmailEnvironment& environment)
{
    return environment.xdgEmailPath ? environment.xdgEmailPath()
                                    : QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
}

void askDefaultMailClient(
    const EmailEnvironment& environment, std::function<void(std::optional<std::string>)> answer)
{
    if (environment.defaultMailClient) {
        environment.defaultMailClient(std::move(answer));
    } else {
        defaultEmailAppBundleIdentifier(std::move(answer));
    }
}

// The text in a new private folder of the attachments folder, under the attachment's name only.
std::optional<std::string> writeAttachment(const std::string& text, const std::string& fileName)
{
    const QString base = emailAttachmentsDirectory();
    const QString folder = QDir(base).filePath(QString::fromStdString(platform::Uuid::random().uuidString()));
    // Each folder made with its final permissions: the text holds the user's history.
    if ((::mkdir(QFile::encodeName(base).constData(), 0700) != 0 && errno != EEXIST)
        || ::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
        platform::log(platform::LogLevel::Warning, platform::lcDiagnostics(),
            "Could not make a folder for the attachment in " + base.toStdString() + ": "
                + std::strerror(errno));
        return std::nullopt;
    }
    try {
        return writeToNewPrivateFile(text, folder, QString::fromStdString(fileName), QString()).toStdString();
    } catch (const Error& error) {
        platform::log(platform::LogLevel::Warning, platform::lcDiagnostics(), error.localizedDescription());
        return std::nullopt;
    }
}

void tellUserAndCopy(const std::vector<std::string>& recipients, const std::string& text)
{
    const EmailEnvironment& environment = EmailEnvironment::shared();
    if (environment.copyToClipboard) {
        environment.copyToClipboard(text);
    } else {
        copyTextToPasteboard(text);
    }
    const std::string title = "Could not open your e-mail application";
    const std::string message
        = "The text of the e-mail has been copied to the clipboard. Paste it into an e-mail to "
        + joined(recipients, ", ") + ".";
    if (environment.tellUser) {
        environment.tellUser(title, message);
        return;
    }
    AlertDescription description;
    description.title = title;
    description.message = message;
    // On the window the action came from, so that it cannot open hidden behind it.
    AlertPresenter::shared().present(makeAlert(description), {}, QApplication::activeWindow());
}

} // namespace

EmailEnvironment& EmailEnvironment::shared()
{
    static EmailEnvironment environment;
    return environment;
}

std::optional<std::string> mailtoURL(const std::vector<std::string>& recipients,
    const std::optional<std::string>& subject, const std::optional<std::string>& body,
    const std::vector<std::string>& cc, const std::vector<std::string>& bcc)
{
    std::vector<std::pair<std::string, std::string>> query;
    if (subject) {
        query.emplace_back("subject", *subject);
    }
    if (body) {
        query.emplace_back("body", *body);
    }
    if (!cc.empty()) {
        query.emplace_back("cc", joined(cc, ","));
    }
    if (!bcc.empty()) {
        query.emplace_back("bcc", joined(bcc, ","));
    }
    std::string text = std::string("mailto:").append(encodedPath(recipients));
    if (!query.empty()) {
        text += '?';
        text += queryString(toURLQueryItems(query));
    }
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid()) {
        platform::log(platform::LogLevel::Error, platform::lcDiagnostics(),
            "Could not create a mailto: URL: " + url.errorString().toStdString());
        return std::nullopt;
    }
    return text;
}

std::string mailtoBody(const std::optional<std::string>& message, const std::string& attachmentFileName,
    const std::string& attachmentText)
{
    return message.value_or("") + "\n\n\n\n" + attachmentFileName + "\n" + std::string(30, '-') + "\n\n"
        + attachmentText;
}

bool openMailtoURL(const std::vector<std::string>& recipients, const std::string& subject,
    const std::string& body, std::function<void(bool opened)> done)
{
    const auto text = mailtoURL(recipients, subject, body);
    if (!text) {
        return false;
    }
    if (text->size() > maximumMailtoURLLength) {
        platform::log(platform::LogLevel::Warning, platform::lcDiagnostics(),
            "The mailto: URL is " + std::to_string(text->size())
                + " bytes long, too long for a mail client.");
        return false;
    }
    const QUrl url(QString::fromStdString(*text), QUrl::StrictMode);
    platform::DesktopOpener::shared().open(
        url, [done = std::move(done)](platform::DesktopOpener::Outcome outcome) {
            if (platform::DesktopOpener::isFailure(outcome)) {
                platform::log(platform::LogLevel::Warning, platform::lcDiagnostics(),
                    "No application opened the mailto: URL.");
            }
            done(outcome == platform::DesktopOpener::Outcome::opened);
        });
    return true;
}

void sendEmailViaMailto(const std::vector<std::string>& recipients, const std::string& subject,
    const std::optional<std::string>& message, const std::string& attachmentFileName,
    const std::string& attachmentText)
{
    const std::string body = mailtoBody(message, attachmentFileName, attachmentText);
    const bool formed = openMailtoURL(recipients, subject, body, [recipients, body](bool opened) {
        // A choice of program the user closed is told too: the text waits on the clipboard.
        if (!opened) {
            tellUserAndCopy(recipients, body);
        }
    });
    if (!formed) {
        tellUserAndCopy(recipients, body);
    }
}

bool takesAttachments(std::string_view mailClient)
{
    const QString id
        = QString::fromUtf8(mailClient.data(), static_cast<qsizetype>(mailClient.size())).toLower();
    for (const char* name : { "thunderbird", "icedove", "betterbird", "seamonkey", "evolution", "kmail" }) {
        if (id.contains(QLatin1String(name))) {
            return true;
        }
    }
    return false;
}

QString emailAttachmentsDirectory()
{
    return QDir(privateTemporaryBase()).filePath(QStringLiteral("mail-attachments"));
}

void removeOldEmailAttachments(std::chrono::seconds age)
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-age.count());
    const QFileInfoList folders
        = QDir(emailAttachmentsDirectory()).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo& folder : folders) {
        if (!folder.isSymLink() && folder.lastModified().toUTC() < before) {
            QDir(folder.absoluteFilePath()).removeRecursively();
        }
    }
}

void sendEmail(const std::vector<std::string>& recipients, const std::string& subject,
    const std::optional<std::string>& message, const std::string& attachmentFileName,
    const std::string& attachmentText)
{
    askDefaultMailClient(EmailEnvironment::shared(),
        [recipients, subject, message, attachmentFileName, attachmentText](
            std::optional<std::string> client) {
            sendEmailWith(client, recipients, subject, message, attachmentFileName, attachmentText);
        });
}

void sendEmailWith(const std::optional<std::string>& client, const std::vector<std::string>& recipients,
    const std::string& subject, const std::optional<std::string>& message,
    const std::string& attachmentFileName, const std::string& attachmentText)
{
    const EmailEnvironment& environment = EmailEnvironment::shared();
    if (!client) {
        platform::log(platform::LogLevel::Info, platform::lcDiagnostics(),
            "No default mail program is known; the desktop is asked to open a mailto: link.");
    }
    const QString program = client && takesAttachments(*client) ? xdgEmailPath(environment) : QString();
    if (!program.isEmpty()) {
        if (const auto file = writeAttachment(attachmentText, attachmentFileName)) {
            std::vector<std::string> arguments { "--utf8", "--subject", subject };
            if (message) {
                arguments.insert(arguments.end(), { "--body", *message + "\n\n" });
            }
            arguments.insert(arguments.end(), { "--attach", *file });
            arguments.insert(arguments.end(), recipients.begin(), recipients.end());
            // A mail program that cannot take the e-mail makes xdg-email fail; the mailto: route
            // may still find one.
            platform::DesktopOpener::shared().run(program.toStdString(), arguments,
                [recipients, subject, message, attachmentFileName, attachmentText](
                    platform::DesktopOpener::Outcome outcome) {
                    if (platform::DesktopOpener::isFailure(outcome)) {
                        platform::log(platform::LogLevel::Warning, platform::lcDiagnostics(),
                            "xdg-email did not open the e-mail; using a mailto: URL.");
                        sendEmailViaMailto(recipients, subject, message, attachmentFileName, attachmentText);
                    }
                });
            return;
        }
    }
    sendEmailViaMailto(recipients, subject, message, attachmentFileName, attachmentText);
}

} // namespace zk
