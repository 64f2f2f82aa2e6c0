#include "platform/linux/DesktopEntry.h"
#include "platform/linux/XdgAutostartLoginItemService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using platform::LoginItemService;
using platform::xdg::DesktopEntry;
using platform::xdg::XdgAutostartLoginItemService;
using Status = LoginItemService::Status;

namespace {

const QString installedEntry = QStringLiteral("[Desktop Entry]\n"
                                              "Type=Application\n"
                                              "Name=Kiruvo\n"
                                              "Comment=Reminds you to take breaks\n"
                                              "Exec=kiruvo\n"
                                              "Icon=com.zelvantorium.Kiruvo\n"
                                              "TryExec=kiruvo\n"
                                              "Actions=Quit;\n"
                                              "\n"
                                              "[Desktop Action Quit]\n"
                                              "Name=Quit\n"
                                              "Exec=kiruvo --quit\n");

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeFile(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

ino_t inodeOf(const QString& path)
{
    struct stat info { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

class XdgAutostartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        ASSERT_TRUE(m_system.isValid());
        // A program of our own stands for the running executable, in a folder with a space.
        m_executable = m_home.path() + QStringLiteral("/my apps/kiruvo");
        writeFile(m_executable, QStringLiteral("#!/bin/sh\n"));
        QFile::setPermissions(m_executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    XdgAutostartLoginItemService::Options options() const
    {
        XdgAutostartLoginItemService::Options result;
        result.configHome = m_home.path() + QStringLiteral("/config");
        result.configDirs = QStringList { m_system.path() };
        result.identifier = QStringLiteral("com.zelvantorium.Kiruvo");
        result.entryTemplate = installedEntry;
        result.executable = m_executable;
        return result;
    }

    QString entryPath() const
    {
        return m_home.path() + QStringLiteral("/config/autostart/com.zelvantorium.Kiruvo.desktop");
    }
    QString systemEntryPath() const
    {
        return m_system.path() + QStringLiteral("/autostart/com.zelvantorium.Kiruvo.desktop");
    }

    static LoginItemService::Failure registerApp(LoginItemService& service)
    {
        LoginItemService::Failure result = std::string("no answer");
        service.registerApp([&result](const LoginItemService::Failure& failure) { result = failure; });
        return result;
    }
    static LoginItemService::Failure unregisterApp(LoginItemService& service)
    {
        LoginItemService::Failure result = std::string("no answer");
        service.unregisterApp([&result](const LoginItemService::Failure& failure) { result = failure; });
        return result;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_system;
    QString m_executable;
};

TEST_F(XdgAutostartTest, EnablingWritesTheInstalledEntryStartingThisExecutable)
{
    XdgAutostartLoginItemService service(options());
    EXPECT_EQ(service.status(), Status::notRegistered);

    EXPECT_EQ(registerApp(service), std::nullopt);

    EXPECT_EQ(service.status(), Status::enabled);
    const std::optional<DesktopEntry> entry = DesktopEntry::parse(readFile(entryPath()));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->value(QStringLiteral("Name")), QStringLiteral("Kiruvo"));
    EXPECT_EQ(entry->value(QStringLiteral("Comment")), QStringLiteral("Reminds you to take breaks"));
    EXPECT_EQ(entry->value(QStringLiteral("Icon")), QStringLiteral("com.zelvantorium.Kiruvo"));
    EXPECT_EQ(entry->value(QStringLiteral("X-GNOME-Autostart-enabled")), QStringLiteral("true"));
    // Quoted, because the path has a space; read back it is the executable's path.
    EXPECT_EQ(entry->value(QStringLiteral("Exec")), u'"' + m_executable + u'"');
    EXPECT_EQ(
        DesktopEntry::execArguments(*entry->value(QStringLiteral("Exec"))), QStringList { m_executable });
    // Nothing that could keep it from starting, and none of the installed entry's actions.
    EXPECT_FALSE(entry->contains(QStringLiteral("TryExec")));
    EXPECT_FALSE(entry->contains(QStringLiteral("Actions")));
    EXPECT_FALSE(readFile(entryPath()).contains(QStringLiteral("--quit")));
}

TEST_F(XdgAutostartTest, DisablingRemovesTheEntry)
{
    XdgAutostartLoginItemService service(options());
    ASSERT_EQ(registerApp(service), std::nullopt);

    EXPECT_EQ(unregisterApp(service), std::nullopt);

    EXPECT_FALSE(QFileInfo::exists(entryPath()));
    EXPECT_EQ(service.status(), Status::notRegistered);
    // Disabling what is off is no failure.
    EXPECT_EQ(unregisterApp(service), std::nullopt);
}

TEST_F(XdgAutostartTest, EnablingTwiceLeavesTheEntryUntouched)
{
    XdgAutostartLoginItemService service(options());
    ASSERT_EQ(registerApp(service), std::nullopt);
    const ino_t first = inodeOf(entryPath());
    const QString text = readFile(entryPath());

    EXPECT_EQ(registerApp(service), std::nullopt);

    EXPECT_EQ(service.status(), Status::enabled);
    // An atomic rewrite would give a new file: the entry was neither removed nor written again.
    EXPECT_EQ(inodeOf(entryPath()), first);
    EXPECT_EQ(readFile(entryPath()), text);
}

TEST_F(XdgAutostartTest, AnAutostartFolderThatCannotBeWrittenFailsAndStaysOff)
{
    // A file where the folder should be stops every user, root included.
    writeFile(m_home.path() + QStringLiteral("/config/autostart"), QStringLiteral("not a folder"));
    XdgAutostartLoginItemService service(options());

    const LoginItemService::Failure failure = registerApp(service);

    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("autostart"), std::string::npos) << *failure;
    EXPECT_EQ(service.status(), Status::notRegistered);
}

TEST_F(XdgAutostartTest, AReadOnlyAutostartFolderFailsAndStaysOff)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root; the test above covers the failure";
    }
    const QString folder = m_home.path() + QStringLiteral("/config/autostart");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    XdgAutostartLoginItemService service(options());

    const LoginItemService::Failure failure = registerApp(service);

    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(failure);
    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_FALSE(QFileInfo::exists(entryPath()));
}

TEST_F(XdgAutostartTest, AnEntryTheUserSwitchedOffCountsAsOffAndIsLeftAlone)
{
    XdgAutostartLoginItemService service(options());
    ASSERT_EQ(registerApp(service), std::nullopt);
    const QString hidden = readFile(entryPath()) + QStringLiteral("Hidden=true\n");
    writeFile(entryPath(), hidden);

    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_EQ(unregisterApp(service), std::nullopt);
    EXPECT_EQ(readFile(entryPath()), hidden);

    // Switching on again replaces it.
    EXPECT_EQ(registerApp(service), std::nullopt);
    EXPECT_EQ(service.status(), Status::enabled);
    EXPECT_FALSE(readFile(entryPath()).contains(QStringLiteral("Hidden")));
}

TEST_F(XdgAutostartTest, GnomesSwitchAndAnotherProgramsExecCountAsOff)
{
    XdgAutostartLoginItemService service(options());
    writeFile(entryPath(),
        QStringLiteral(
            "[Desktop Entry]\nType=Application\nName=Kiruvo\nExec=\"%1\"\nX-GNOME-Autostart-enabled=false\n")
            .arg(m_executable));
    EXPECT_EQ(service.status(), Status::notRegistered);

    writeFile(entryPath(),
        QStringLiteral("[Desktop Entry]\nType=Application\nName=Kiruvo\nExec=/bin/true --kiruvo\n"));
    EXPECT_EQ(service.status(), Status::notRegistered);

    writeFile(entryPath(),
        QStringLiteral("[Desktop Entry]\nType=Application\nName=Kiruvo\nExec=\"%1\" --minimized\n")
            .arg(m_executable));
    EXPECT_EQ(service.status(), Status::enabled);

    writeFile(entryPath(), QStringLiteral("not a desktop entry"));
    EXPECT_EQ(service.status(), Status::notRegistered);
}

TEST_F(XdgAutostartTest, ASystemWideEntryIsHiddenRatherThanUncovered)
{
    writeFile(systemEntryPath(),
        QStringLiteral("[Desktop Entry]\nType=Application\nName=Kiruvo\nExec=\"%1\"\n").arg(m_executable));
    XdgAutostartLoginItemService service(options());
    EXPECT_EQ(service.status(), Status::enabled);

    EXPECT_EQ(unregisterApp(service), std::nullopt);

    EXPECT_EQ(service.status(), Status::notRegistered);
    const std::optional<DesktopEntry> entry = DesktopEntry::parse(readFile(entryPath()));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->boolValue(QStringLiteral("Hidden")), true);
    EXPECT_TRUE(QFileInfo::exists(systemEntryPath()));

    EXPECT_EQ(registerApp(service), std::nullopt);
    EXPECT_EQ(service.status(), Status::enabled);
}

TEST_F(XdgAutostartTest, TheUsersOwnEntryStartingKiruvoThroughEnvIsOnAndKeepsItsLines)
{
    // Found through the PATH, as the desktop finds it.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(QFileInfo(m_executable).path()) + ":" + path);
    const QString users = QStringLiteral("[Desktop Entry]\n"
                                         "# Bigger on this screen\n"
                                         "Type=Application\n"
                                         "Name=Kiruvo (mine)\n"
                                         "Exec=env QT_SCALE_FACTOR=2 kiruvo\n"
                                         "X-Mine=yes\n"
                                         "\n"
                                         "[Desktop Action Extra]\n"
                                         "Name=Extra\n");
    writeFile(entryPath(), users);
    XdgAutostartLoginItemService service(options());
    EXPECT_EQ(service.status(), Status::enabled);

    EXPECT_EQ(unregisterApp(service), std::nullopt);
    const QString off = readFile(entryPath());
    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_EQ(off,
        QStringLiteral("[Desktop Entry]\n"
                       "# Bigger on this screen\n"
                       "Type=Application\n"
                       "Name=Kiruvo (mine)\n"
                       "Exec=env QT_SCALE_FACTOR=2 kiruvo\n"
                       "X-Mine=yes\n"
                       "Hidden=true\n"
                       "X-GNOME-Autostart-enabled=false\n"
                       "\n"
                       "[Desktop Action Extra]\n"
                       "Name=Extra\n"));

    EXPECT_EQ(registerApp(service), std::nullopt);
    EXPECT_EQ(service.status(), Status::enabled);
    const QString on = readFile(entryPath());
    EXPECT_FALSE(on.contains(QStringLiteral("Hidden")));
    EXPECT_TRUE(on.contains(QStringLiteral("Exec=env QT_SCALE_FACTOR=2 kiruvo\nX-Mine=yes\n")));
    EXPECT_TRUE(on.contains(QStringLiteral("X-GNOME-Autostart-enabled=true\n\n[Desktop Action Extra]")));
    EXPECT_TRUE(on.startsWith(QStringLiteral("[Desktop Entry]\n# Bigger on this screen\n")));
    qputenv("PATH", path);
}

TEST_F(XdgAutostartTest, TheUsersEntryForAnotherProgramIsNeverReplacedOrRemoved)
{
    const QString users
        = QStringLiteral("[Desktop Entry]\nType=Application\nName=Kiruvo\nExec=env FOO=1 /bin/true\n");
    writeFile(entryPath(), users);
    XdgAutostartLoginItemService service(options());
    EXPECT_EQ(service.status(), Status::notRegistered);

    const LoginItemService::Failure failure = registerApp(service);
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("another program"), std::string::npos) << *failure;
    EXPECT_EQ(unregisterApp(service), std::nullopt);
    EXPECT_EQ(readFile(entryPath()), users);
}

TEST_F(XdgAutostartTest, AFifoOrADeviceAtTheEntrysPlaceIsNeitherReadNorReplaced)
{
    QDir().mkpath(QFileInfo(entryPath()).path());
    // Reading a FIFO without a writer would wait for good; /dev/zero never ends.
    ASSERT_EQ(::mkfifo(QFile::encodeName(entryPath()).constData(), 0600), 0);
    XdgAutostartLoginItemService service(options());
    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_TRUE(registerApp(service));
    EXPECT_EQ(unregisterApp(service), std::nullopt);
    struct stat info { };
    ASSERT_EQ(::lstat(QFile::encodeName(entryPath()).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    QFile::remove(entryPath());
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), entryPath()));
    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_TRUE(registerApp(service));
    EXPECT_EQ(QFileInfo(entryPath()).symLinkTarget(), QStringLiteral("/dev/zero"));
}

TEST_F(XdgAutostartTest, EarlierVersionsItemsAreFoundByIdentifierAndRemoved)
{
    XdgAutostartLoginItemService service(options());
    const QString legacy = m_home.path()
        + QStringLiteral("/config/autostart/com.zelvantorium.Kiruvo-LaunchAtLoginHelper.desktop");
    EXPECT_FALSE(service.isLoginItemEnabled("com.zelvantorium.Kiruvo-LaunchAtLoginHelper"));
    EXPECT_TRUE(service.removeLoginItem("com.zelvantorium.Kiruvo-LaunchAtLoginHelper"));

    writeFile(legacy,
        QStringLiteral("[Desktop Entry]\nType=Application\nName=Helper\nExec=/opt/helper\nHidden=true\n"));
    EXPECT_FALSE(service.isLoginItemEnabled("com.zelvantorium.Kiruvo-LaunchAtLoginHelper"));
    writeFile(legacy, QStringLiteral("[Desktop Entry]\nType=Application\nName=Helper\nExec=/opt/helper\n"));
    EXPECT_TRUE(service.isLoginItemEnabled("com.zelvantorium.Kiruvo-LaunchAtLoginHelper"));

    EXPECT_TRUE(service.removeLoginItem("com.zelvantorium.Kiruvo-LaunchAtLoginHelper"));
    EXPECT_FALSE(QFileInfo::exists(legacy));
    EXPECT_EQ(service.status(), Status::notRegistered);
}

TEST(DesktopEntryTest, ExecArgumentsRoundTripThroughQuotingAndEscapes)
{
    for (const QString& argument : { QStringLiteral("/usr/bin/kiruvo"), QStringLiteral("/home/a b/kiruvo"),
             QStringLiteral("/tmp/$HOME \"x\" `y` \\z 100%") }) {
        const QString exec = DesktopEntry::execArgument(argument);
        EXPECT_EQ(DesktopEntry::execArguments(exec), QStringList { argument }) << exec.toStdString();
    }
    EXPECT_EQ(DesktopEntry::execArguments(QStringLiteral("kiruvo  --flag \"two words\"")),
        (QStringList { QStringLiteral("kiruvo"), QStringLiteral("--flag"), QStringLiteral("two words") }));
    EXPECT_EQ(DesktopEntry::execArguments(QStringLiteral("\"unterminated")), std::nullopt);
}

TEST(DesktopEntryTest, OnlyTheMainGroupIsReadAndValuesAreReplacedInPlace)
{
    std::optional<DesktopEntry> entry = DesktopEntry::parse(installedEntry);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->value(QStringLiteral("Exec")), QStringLiteral("kiruvo"));
    EXPECT_EQ(entry->value(QStringLiteral("Missing")), std::nullopt);
    entry->setValue(QStringLiteral("Name"), QStringLiteral("Other"));
    EXPECT_TRUE(
        entry->toText().startsWith(QStringLiteral("[Desktop Entry]\nType=Application\nName=Other\n")));
    EXPECT_EQ(DesktopEntry::parse(QStringLiteral("[Other]\nName=x\n")), std::nullopt);
}

} // namespace

namespace {

TEST(DesktopEntryTest, SettingKeysInTheTextKeepsEveryOtherLine)
{
    const QString text
        = QStringLiteral("# top\n[Desktop Entry]\nName=A\nHidden=true\n# note\nHidden=false\n\n"
                         "[Other]\nHidden=true\n");
    EXPECT_EQ(
        DesktopEntry::withKeysSet(text,
            { { QStringLiteral("Hidden"), std::nullopt }, { QStringLiteral("X-New"), QStringLiteral("1") } }),
        QStringLiteral("# top\n[Desktop Entry]\nName=A\nX-New=1\n# note\n\n[Other]\nHidden=true\n"));
    EXPECT_EQ(DesktopEntry::withKeysSet(text, { { QStringLiteral("Hidden"), QStringLiteral("no") } }),
        QStringLiteral("# top\n[Desktop Entry]\nName=A\nHidden=no\n# note\n\n[Other]\nHidden=true\n"));
    EXPECT_EQ(DesktopEntry::withKeysSet(QStringLiteral("Name=A\n"), {}), std::nullopt);
}

TEST(DesktopEntryTest, ManyKeysAreReadInOnePass)
{
    QString text = QStringLiteral("[Desktop Entry]\n");
    for (int index = 0; index < 40000; ++index) {
        text += QStringLiteral("Key%1=value %1\n").arg(index);
    }
    text += QStringLiteral("Key7=again\n");
    const auto entry = DesktopEntry::parse(text);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->value(QStringLiteral("Key39999")), QStringLiteral("value 39999"));
    EXPECT_EQ(entry->value(QStringLiteral("Key7")), QStringLiteral("again"));
    DesktopEntry copy = *entry;
    copy.remove(QStringLiteral("Key0"));
    EXPECT_FALSE(copy.contains(QStringLiteral("Key0")));
    EXPECT_EQ(copy.value(QStringLiteral("Key1")), QStringLiteral("value 1"));
    copy.setValue(QStringLiteral("Key1"), QStringLiteral("changed"));
    EXPECT_TRUE(copy.toText().startsWith(QStringLiteral("[Desktop Entry]\nKey1=changed\nKey2=")));
}

TEST(LoginItemServiceTest, AFlatpakSandboxIsKnownByItsInfoFile)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const std::string info = root.filePath(QStringLiteral(".flatpak-info")).toStdString();
    EXPECT_FALSE(LoginItemService::isFlatpakSandbox(info));
    writeFile(QString::fromStdString(info), QStringLiteral("[Application]\nname=com.zelvantorium.Kiruvo\n"));
    EXPECT_TRUE(LoginItemService::isFlatpakSandbox(info));
}

TEST(LoginItemServiceTest, AnInstalledServiceStandsForTheDesktopsUntilRemoved)
{
    XdgAutostartLoginItemService installed;
    LoginItemService::setMainAppService(&installed);
    EXPECT_EQ(&LoginItemService::mainAppService(), &installed);
    LoginItemService::setMainAppService(nullptr);
    EXPECT_NE(&LoginItemService::mainAppService(), &installed);
}

} // namespace
