#pragma once

#include "kit/foundation/core/EmailAddress.h"

#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

// The maker's support address: the recipient of the debug e-mail, checked as an address the first
// time it is asked for.
const EmailAddress& supportEmailAddress();

// How an e-mail reaches the outside world; tests replace the parts they watch. Empty members are
// the real ones.
struct EmailEnvironment {
    // The path of xdg-email, or empty when it is not installed. Empty function: looked up on PATH.
    std::function<QString()> xdgEmailPath;
    // Puts the text on the clipboard.
    std::function<void(const std::string& text)> copyToClipboard;
    // Tells the user why the e-mail could not be prepared (an alert).
    std::function<void(const std::string& title, const std::string& message)> tellUser;
    // Asks for the desktop entry (without ".desktop") of the user's default mail program and hands
    // it, or nothing when none is known, to the function given, now or later. Empty function: asked
    // of the desktop (defaultEmailAppBundleIdentifier).
    std::function<void(std::function<void(std::optional<std::string>)>)> defaultMailClient;

    static EmailEnvironment& shared();
};

// Mail clients and the kernel's limit on one argument leave no room for longer mailto: URLs.
inline constexpr std::size_t maximumMailtoURLLength = 120000;

// "mailto:" + the recipients joined by ",", then the query items "subject", "body", "cc" and "bcc"
// (each only when present; cc and bcc only when not empty, their addresses joined by ","). Every
// byte of the UTF-8 names and values other than ASCII letters, digits and "-._~" is written as %XX
// (a space as %20, never "+"), so any text forms a valid URL. Nothing when the result is no valid
// URL.
std::optional<std::string> mailtoURL(const std::vector<std::string>& recipients,
    const std::optional<std::string>& subject, const std::optional<std::string>& body,
    const std::vector<std::string>& cc = {}, const std::vector<std::string>& bcc = {});

// Whether the mail program of that desktop entry takes the file xdg-email attaches (Thunderbird
// and its relatives, Evolution, KMail). Others (browsers, web mail) drop it without a word.
bool takesAttachments(std::string_view mailClient);

// Prepares an e-mail with a text attachment in the user's mail client, once the desktop has named
// the default mail program (it is asked without waiting). When that program takes attachments and
// xdg-email is installed, the text is written to a private file of that name and attached; the
// file stays for the mail program to read and goes at the first start a day later
// (removeOldEmailAttachments). For every other mail program, or when none is known, or when that
// fails, the mailto: route below; both go through the desktop (platform::DesktopOpener) and neither
// waits for it. Never throws; when nothing opens the e-mail the failure is logged and the user is
// told, with the text left on the clipboard. Main-thread only.
void sendEmail(const std::vector<std::string>& recipients, const std::string& subject,
    const std::optional<std::string>& message, const std::string& attachmentFileName,
    const std::string& attachmentText);
// The rest of sendEmail once the default mail program (its desktop entry's identifier) is known.
void sendEmailWith(const std::optional<std::string>& client, const std::vector<std::string>& recipients,
    const std::string& subject, const std::optional<std::string>& message,
    const std::string& attachmentFileName, const std::string& attachmentText);

// The folder the attachments of sendEmail are kept in: "mail-attachments" in privateTemporaryBase().
QString emailAttachmentsDirectory();
// Removes the attachments sendEmail wrote more than `age` ago. Run at start-up.
void removeOldEmailAttachments(std::chrono::seconds age = std::chrono::hours(24));

// The mailto: route: the body is the message (or nothing), four empty lines, the attachment's name,
// a line of 30 hyphen-minus characters, an empty line and the attachment's text. When the URL could
// not be formed or opened, the user is told.
void sendEmailViaMailto(const std::vector<std::string>& recipients, const std::string& subject,
    const std::optional<std::string>& message, const std::string& attachmentFileName,
    const std::string& attachmentText);

// The body of the mailto: route.
std::string mailtoBody(const std::optional<std::string>& message, const std::string& attachmentFileName,
    const std::string& attachmentText);

// Opens the mailto: URL (no cc, no bcc) and tells `done` whether a mail program took it. False, with
// the failure logged and `done` never called, when it could not be formed or is too long for a
// mail client.
bool openMailtoURL(const std::vector<std::string>& recipients, const std::string& subject,
    const std::string& body, std::function<void(bool opened)> done);

} // namespace zk
