#include "kit/diagnostics/Email.h"
#include "kit/diagnostics/InstalledApp.h"

#include "DiagnosticsFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QUrlQuery>
#include <sys/stat.h>

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

    EXPECT_FALSE(sendEmailViaMailto({ "a@example.com" }, "s", std::nullopt, "debug-info.txt", body));
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

TEST_F(EmailTest, WithNoMailProgramTheUserIsToldAndTheTextIsOnTheClipboard)
{
    xdgEmailPath = QStringLiteral("/usr/bin/xdg-email");
    mailClient = std::nullopt;
    sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "text");
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(openedUrls.empty());
    ASSERT_EQ(clipboard.size(), 1u);
    EXPECT_TRUE(clipboard[0].ends_with("debug-info.txt\n------------------------------\n\ntext"));
    ASSERT_EQ(told.size(), 1u);
}

TEST_F(EmailTest, AnXdgEmailThatCannotStartFallsBackToMailtoAndAMissingClientToTheClipboard)
{
    xdgEmailPath = QStringLiteral("/usr/bin/xdg-email");
    startSucceeds = false;
    openSucceeds = false;
    sendEmail({ "a@example.com" }, "Subject", std::nullopt, "debug-info.txt", "text");
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
