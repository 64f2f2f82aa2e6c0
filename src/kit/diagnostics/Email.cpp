#include "kit/diagnostics/Email.h"

#include "kit/diagnostics/InstalledApp.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/core/URLQueryItem.h"
#include "kit/interface/FileUtilities.h"
#include "kit/interface/Pasteboard.h"
#include "platform/Logger.h"

#include <QApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

namespace zk {

const EmailAddress& supportEmailAddress()
{
    static const EmailAddress address = EmailAddress::literal("support@kiruvo.example");
    return address;
}

namespace {

constexpr std::string_view category = "email";

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

bool startDetached(const EmailEnvironment& environment, const QString& program, const QStringList& arguments)
{
    return environment.startDetached ? environment.startDetached(program, arguments)
                                     : QProcess::startDetached(program, arguments);
}

std::optional<std::string> defaultMailClient(const EmailEnvironment& environment)
{
    return environment.defaultMailClient ? environment.defaultMailClient()
                                         : defaultEmailAppBundleIdentifier();
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
        platform::log(platform::LogLevel::Error, category,
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

bool openMailtoURL(
    const std::vector<std::string>& recipients, const std::string& subject, const std::string& body)
{
    const auto text = mailtoURL(recipients, subject, body);
    if (!text) {
        return false;
    }
    if (text->size() > maximumMailtoURLLength) {
        platform::log(platform::LogLevel::Warning, category,
            "The mailto: URL is " + std::to_string(text->size())
                + " bytes long, too long for a mail client.");
        return false;
    }
    const QUrl url(QString::fromStdString(*text), QUrl::StrictMode);
    const EmailEnvironment& environment = EmailEnvironment::shared();
    const bool opened = environment.openUrl ? environment.openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        platform::log(platform::LogLevel::Warning, category, "No application opened the mailto: URL.");
    }
    return opened;
}

bool sendEmailViaMailto(const std::vector<std::string>& recipients, const std::string& subject,
    const std::optional<std::string>& message, const std::string& attachmentFileName,
    const std::string& attachmentText)
{
    const std::string body = mailtoBody(message, attachmentFileName, attachmentText);
    if (openMailtoURL(recipients, subject, body)) {
        return true;
    }
    tellUserAndCopy(recipients, body);
    return false;
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

void sendEmail(const std::vector<std::string>& recipients, const std::string& subject,
    const std::optional<std::string>& message, const std::string& attachmentFileName,
    const std::string& attachmentText)
{
    const EmailEnvironment& environment = EmailEnvironment::shared();
    const auto client = defaultMailClient(environment);
    if (!client) {
        platform::log(platform::LogLevel::Warning, category, "No mail program opens mailto: links.");
        tellUserAndCopy(recipients, mailtoBody(message, attachmentFileName, attachmentText));
        return;
    }
    const QString program = takesAttachments(*client) ? xdgEmailPath(environment) : QString();
    if (!program.isEmpty()) {
        if (const auto file = writeToTemporaryFile(attachmentText, attachmentFileName)) {
            QStringList arguments { QStringLiteral("--utf8"), QStringLiteral("--subject"),
                QString::fromStdString(subject) };
            if (message) {
                arguments << QStringLiteral("--body") << QString::fromStdString(*message + "\n\n");
            }
            arguments << QStringLiteral("--attach") << QString::fromStdString(file->string());
            for (const auto& recipient : recipients) {
                arguments << QString::fromStdString(recipient);
            }
            if (startDetached(environment, program, arguments)) {
                return;
            }
            platform::log(
                platform::LogLevel::Warning, category, "Could not start xdg-email; using a mailto: URL.");
        }
    }
    sendEmailViaMailto(recipients, subject, message, attachmentFileName, attachmentText);
}

} // namespace zk
