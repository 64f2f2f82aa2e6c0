#include "kit/diagnostics/Email.h"
#include "kit/diagnostics/InstalledApp.h"

#include "DiagnosticsFixture.h"

#include "kit/foundation/FileUtilities.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QUrlQuery>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

using namespace zk;

class EmailTest : public DiagnosticsFixture { };

namespace {

// The decoded query items of a mailto: URL.
std::map<QString, QString> queryOf(const std::string& url)
{
    std::map<QString, QString> items;
    const QUrlQuery query(QUrl(QString::fromStdString(url)));
    for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
        items[name] = value;
    }
    return items;
}

} // namespace

TEST_F(EmailTest, MailtoURLsEncodeEveryByteOutsideTheUnreservedSet)
{
    const auto url
        = mailtoURL({ "a@example.com", "b@example.com" }, "Grüße & more = ✓", "line 1\nline 2?#%", {}, {});
    ASSERT_TRUE(url);
    EXPECT_EQ(*url,
        "mailto:a@example.com,b@example.com?subject=Gr%C3%BC%C3%9Fe%20%26%20more%20%3D%20%E2%9C%93"
        "&body=line%201%0Aline%202%3F%23%25");
    EXPECT_TRUE(QUrl(QString::fromStdString(*url), QUrl::StrictMode).isValid());
    const auto items = queryOf(*url);
    EXPECT_EQ(items.at("subject"), QString::fromUtf8("Grüße & more = ✓"));
    EXPECT_EQ(items.at("body"), QStringLiteral("line 1\nline 2?#%"));
}

TEST_F(EmailTest, MailtoURLsWithCopiesAndWithoutOptionalParts)
{
    EXPECT_EQ(mailtoURL({ "a@example.com" }, std::nullopt, std::nullopt, {}, {}), "mailto:a@example.com");
    EXPECT_EQ(mailtoURL({ "a@example.com" }, "", std::nullopt, { "c@x.org", "d@x.org" }, { "e@x.org" }),
        "mailto:a@example.com?subject=&cc=c%40x.org%2Cd%40x.org&bcc=e%40x.org");
    // A recipient that is no plain address still forms a URL.
    const auto odd = mailtoURL({ "Zoë <z@x.org>" }, "s", std::nullopt, {}, {});
    ASSERT_TRUE(odd);
    EXPECT_EQ(*odd, "mailto:Zo%C3%AB%20%3Cz@x.org%3E?subject=s");
}

TEST_F(EmailTest, LongBodiesFormAURLButAreNotHandedToAMailClient)
{
    std::string body;
    for (int line = 0; line < 20000; ++line) {
        body += "Ünïcode line " + std::to_string(line) + "\n";
    }
    const auto url = mailtoURL({ "a@example.com" }, "s", body, {}, {});
    ASSERT_TRUE(url);
    EXPECT_GT(url->size(), maximumMailtoURLLength);
    EXPECT_EQ(queryOf(*url).at("body"), QString::fromStdString(body));

    sendEmailViaMailto({ "a@example.com" }, "s", std::nullopt, "debug-info.txt", body);
    EXPECT_TRUE(openedUrls.empty());
    ASSERT_EQ(clipboard.size(), 1u);
    EXPECT_EQ(clipboard[0], mailtoBody(std::nullopt, "debug-info.txt", body));
    EXPECT_EQ(told.size(), 1u);
}

TEST_F(EmailTest, TheSupportAddressIsACheckedAddress)
{
    const auto checked = zk::EmailAddress::make(supportEmailAddress().rawValue());
    ASSERT_TRUE(checked);
    EXPECT_EQ(*checked, supportEmailAddress());
}

TEST_F(EmailTest, WithoutXdgEmailTheTextStandsInTheBody)
{
    sendEmail({ supportEmailAddress().rawValue() }, "Kiruvo — Debug info", std::nullopt, "debug-info.txt",
        "the text");
    EXPECT_TRUE(started.empty());
    ASSERT_EQ(openedUrls.size(), 1u);
    const auto items = queryOf(openedUrls[0].toString(QUrl::FullyEncoded).toStdString());
    EXPECT_EQ(openedUrls[0].scheme(), "mailto");
    EXPECT_EQ(openedUrls[0].path(), QString::fromStdString(supportEmailAddress().rawValue()));
    EXPECT_EQ(items.at("subject"), QString::fromUtf8("Kiruvo — Debug info"));
    EXPECT_EQ(items.at("body"),
        QStringLiteral("\n\n\n\ndebug-info.txt\n------------------------------\n\nthe text"));
    EXPECT_TRUE(clipboard.empty());
}

TEST_F(EmailTest, WithXdgEmailAMailProgramThatTakesAttachmentsGetsAPrivateFile)
{
    xdgEmailPath = QStringLiteral("/usr/bin/xdg-email");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    sendEmail({ "a@example.com" }, "Subject", "Hello", "debug-info.txt", "the text ✓");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(openedUrls.empty());
    const QStringList& arguments = started[0].arguments;
    EXPECT_EQ(started[0].program, xdgEmailPath);
    const auto at = arguments.indexOf(QStringLiteral("--attach"));
    ASSERT_GE(at, 0);
    const QString path = arguments.value(at + 1);
    EXPECT_TRUE(path.startsWith(runtime + "/kiruvo/"));
    EXPECT_TRUE(path.endsWith(QStringLiteral("/debug-info.txt")));
    // Nobody else may read the history in it.
    struct stat status { };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(path).path()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), QString::fromUtf8("the text ✓"));
    EXPECT_EQ(arguments.value(arguments.indexOf(QStringLiteral("--subject")) + 1), QStringLiteral("Subject"));
    EXPECT_EQ(arguments.value(arguments.indexOf(QStringLiteral("--body")) + 1), QStringLiteral("Hello\n\n"));
    EXPECT_EQ(arguments.last(), QStringLiteral("a@example.com"));
    QDir(QFileInfo(path).path()).removeRecursively();
}

TEST_F(EmailTest, WithXdgEmailEveryOtherMailProgramGetsTheTextInTheBody)
{
    xdgEmailPath = QStringLiteral("/usr/bin/xdg-email");
    for (const char* client : { "firefox", "org.gnome.Geary", "chromium-mail-webapp" }) {
        mailClient = client;
        openedUrls.clear();
        sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "the text");
        EXPECT_TRUE(started.empty()) << client;
        ASSERT_EQ(openedUrls.size(), 1u) << client;
        EXPECT_EQ(queryOf(openedUrls[0].toString(QUrl::FullyEncoded).toStdString()).at("body"),
            QStringLiteral("\n\n\n\ndebug-info.txt\n------------------------------\n\nthe text"));
    }
    EXPECT_TRUE(takesAttachments("org.mozilla.Thunderbird"));
    EXPECT_TRUE(takesAttachments("org.gnome.Evolution"));
    EXPECT_TRUE(takesAttachments("org.kde.kmail2"));
    EXPECT_FALSE(takesAttachments("firefox-esr"));
}

TEST_F(EmailTest, WithNoKnownMailProgramTheDesktopIsAskedAndOnlyAFailureIsTold)
{
    // A sandbox or a system without xdg-utils names no program, yet the desktop can still open it.
    xdgEmailPath = QStringLiteral("/usr/bin/xdg-email");
    mailClient = std::nullopt;
    sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "text");
    EXPECT_TRUE(started.empty());
    ASSERT_EQ(openedUrls.size(), 1u);
    EXPECT_EQ(openedUrls[0].scheme(), "mailto");
    EXPECT_TRUE(told.empty());
    EXPECT_TRUE(clipboard.empty());

    // Only once the desktop has said that no program took it.
    settle([] { return false; });
    EXPECT_TRUE(told.empty());
    openSucceeds = false;
    sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "text");
    EXPECT_EQ(openedUrls.size(), 2u);
    EXPECT_TRUE(told.empty());
    ASSERT_TRUE(settle([&] { return !told.empty(); }));
    ASSERT_EQ(clipboard.size(), 1u);
    EXPECT_TRUE(clipboard[0].ends_with("debug-info.txt\n------------------------------\n\ntext"));
    EXPECT_EQ(told, std::vector<std::string> { "Could not open your e-mail application" });
}

TEST_F(EmailTest, TheDesktopsMailProgramIsAskedWithoutWaitingForTheAnswer)
{
    // The real look-up, with an xdg-mime of the test's own that answers only when the test lets it.
    EmailEnvironment::shared().defaultMailClient = {};
    xdgEmailPath = QStringLiteral("/usr/bin/xdg-email");
    const QString bin = folder.filePath(QStringLiteral("bin"));
    const QString go = folder.filePath(QStringLiteral("go"));
    const QString applications = folder.filePath(QStringLiteral("XDG_DATA_HOME/applications"));
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QDir().mkpath(applications));
    QFile entry(applications + QStringLiteral("/thunderbird.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Thunderbird\nExec=thunderbird %u\n");
    entry.close();
    QFile script(bin + QStringLiteral("/xdg-mime"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        QStringLiteral("#!/bin/sh\nwhile [ ! -e '%1' ]; do sleep 0.01; done\necho thunderbird.desktop\n")
            .arg(go)
            .toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ":" + path);

    sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "the text");
    // Back at once, with the question still open.
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(openedUrls.empty());
    EXPECT_TRUE(told.empty());
    QFile(go).open(QIODevice::WriteOnly);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !started.empty() || !openedUrls.empty() || !told.empty(); }, 5000));
    qputenv("PATH", path);
    ASSERT_EQ(started.size(), 1u) << "the named program takes the attachment";
    EXPECT_TRUE(openedUrls.empty());
    const QStringList& arguments = started[0].arguments;
    const QString attachment = arguments.value(arguments.indexOf(QStringLiteral("--attach")) + 1);
    EXPECT_TRUE(attachment.endsWith(QStringLiteral("/debug-info.txt")));

    // Without xdg-mime at all: the mailto: route through the desktop.
    started.clear();
    qputenv("PATH", "/nonexistent");
    sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "the text");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !openedUrls.empty() || !told.empty(); }, 5000));
    qputenv("PATH", path);
    EXPECT_EQ(openedUrls.size(), 1u);
    EXPECT_TRUE(told.empty());
}

TEST_F(EmailTest, AnAttachmentOutlivesTheRunAndGoesAtTheFirstStartADayLater)
{
    xdgEmailPath = QStringLiteral("/usr/bin/xdg-email");
    sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "the text");
    ASSERT_EQ(started.size(), 1u);
    const QStringList& arguments = started[0].arguments;
    const QString attachment = arguments.value(arguments.indexOf(QStringLiteral("--attach")) + 1);
    ASSERT_TRUE(attachment.startsWith(emailAttachmentsDirectory() + "/"));
    // What the end of the run removes leaves the mail program's file alone.
    removeTemporaryDirectories();
    EXPECT_TRUE(QFile::exists(attachment));
    // A start within the day keeps it; one after a day removes it, folder and all.
    removeOldEmailAttachments();
    EXPECT_TRUE(QFile::exists(attachment));
    const QString attachmentFolder = QFileInfo(attachment).path();
    std::filesystem::last_write_time(attachmentFolder.toStdString(),
        std::filesystem::file_time_type::clock::now() - std::chrono::hours(25));
    sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "newer");
    ASSERT_EQ(started.size(), 2u);
    const QString newer
        = started[1].arguments.value(started[1].arguments.indexOf(QStringLiteral("--attach")) + 1);
    removeOldEmailAttachments();
    EXPECT_FALSE(QFileInfo::exists(attachmentFolder));
    EXPECT_TRUE(QFile::exists(newer));
}

TEST_F(EmailTest, AnXdgEmailThatFailsFallsBackToMailtoAndAMissingClientToTheClipboard)
{
    xdgEmailPath = QStringLiteral("/usr/bin/xdg-email");
    startSucceeds = false;
    openSucceeds = false;
    sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "text");
    ASSERT_TRUE(settle([&] { return !told.empty(); }));
    EXPECT_EQ(started.size(), 1u);
    EXPECT_EQ(openedUrls.size(), 1u);
    ASSERT_EQ(clipboard.size(), 1u);
    EXPECT_TRUE(clipboard[0].ends_with("debug-info.txt\n------------------------------\n\ntext"));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "Could not open your e-mail application");
}

TEST_F(EmailTest, InstalledAppsAreEqualOnlyAsCopiesOfOneRecord)
{
    const QString path = folder.filePath(QStringLiteral("firefox.desktop"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nName=Firefox\nCategories=Network;WebBrowser;\nX-AppVersion=120\n");
    file.close();
    const auto app = InstalledApp::fromDesktopEntry(path);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->bundleIdentifier, "firefox");
    EXPECT_EQ(app->name, "Firefox");
    EXPECT_EQ(app->id(), path.toStdString());
    const InstalledApp copy = *app;
    EXPECT_EQ(copy, *app);
    EXPECT_EQ(std::hash<InstalledApp>()(copy), std::hash<InstalledApp>()(*app));
    EXPECT_NE(*InstalledApp::fromDesktopEntry(path), *app);
    EXPECT_TRUE(app->isBrowser());
    // Computed once: the copy shares the answer even after the entry changes.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nName=Firefox\n");
    file.close();
    EXPECT_TRUE(copy.isBrowser());
    EXPECT_FALSE(InstalledApp::fromDesktopEntry(path)->isBrowser());
}
