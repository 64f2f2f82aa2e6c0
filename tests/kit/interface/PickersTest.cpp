#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/interface/AppPickerDelegate.h"
#include "kit/interface/DirectoryPickerDelegate.h"
#include "kit/interface/OpenPanel.h"
#include "kit/interface/ShortcutOpener.h"
#include "platform/fake/FakeDesktopOpener.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void writeFile(const QString& path, const QByteArray& text, bool executable = false)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    if (executable) {
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }
}

} // namespace

TEST(AppPickerDelegateTest, OwnEntryIsGreyedAndOnlyApplicationsAreAccepted)
{
    QGuiApplication::setDesktopFileName(QStringLiteral("com.zelvantorium.Kiruvo"));
    QTemporaryDir dir;
    const QString editor = dir.filePath("org.example.Editor.desktop");
    const QString link = dir.filePath("site.desktop");
    const QString plain = dir.filePath("notes.txt");
    writeFile(editor, "[Desktop Entry]\nType=Application\nName=Editor\nExec=editor\n");
    writeFile(link, "[Desktop Entry]\nType=Link\nName=Site\nURL=https://example.org\n");
    writeFile(plain, "Type=Application\n");

    zk::AppPickerDelegate delegate;
    EXPECT_EQ(delegate.filename, "com.zelvantorium.Kiruvo.desktop");
    EXPECT_FALSE(delegate.shouldEnableUrl(
        QUrl::fromLocalFile("/usr/share/applications/com.zelvantorium.Kiruvo.desktop")));
    EXPECT_TRUE(delegate.shouldEnableUrl(QUrl::fromLocalFile(editor)));
    EXPECT_TRUE(delegate.shouldEnableUrl(QUrl::fromLocalFile(dir.path())));

    EXPECT_EQ(delegate.validateUrl(QUrl::fromLocalFile(editor)), nullptr);
    for (const QString& refused : { link, plain, dir.path(), dir.filePath("missing.desktop") }) {
        const zk::ErrorPtr error = delegate.validateUrl(QUrl::fromLocalFile(refused));
        ASSERT_NE(error, nullptr) << refused.toStdString();
        EXPECT_EQ(error->localizedDescription(), "The selected item is not an app.");
        EXPECT_EQ(error->recoverySuggestion(), "Please select an app.");
    }

    // An application still goes through the caller's own check.
    delegate.validate
        = [](const QUrl&) -> zk::ErrorPtr { return std::make_shared<zk::GeneralError>("Not this one"); };
    ASSERT_NE(delegate.validateUrl(QUrl::fromLocalFile(editor)), nullptr);
    EXPECT_EQ(delegate.validateUrl(QUrl::fromLocalFile(editor))->localizedDescription(), "Not this one");
}

TEST(DirectoryPickerDelegateTest, EnablesAllUnlessTold)
{
    zk::DirectoryPickerDelegate delegate;
    EXPECT_TRUE(delegate.shouldEnableUrl(QUrl::fromLocalFile("/tmp")));
    delegate.shouldEnable = [](const QUrl& url) { return url.path() != "/tmp"; };
    EXPECT_FALSE(delegate.shouldEnableUrl(QUrl::fromLocalFile("/tmp")));
    EXPECT_TRUE(delegate.shouldEnableUrl(QUrl::fromLocalFile("/var")));
    EXPECT_EQ(delegate.validateUrl(QUrl::fromLocalFile("/tmp")), nullptr);
}

TEST(OpenPanelTest, ARefusedChoiceKeepsThePanelOpen)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath("notes.txt");
    writeFile(plain, "text");
    zk::OpenPanel panel;
    panel.setFileMode(QFileDialog::ExistingFile);
    panel.setDirectory(dir.path());
    panel.setDelegate(std::make_shared<zk::AppPickerDelegate>());
    panel.selectFile(plain);
    int refusals = 0;
    zk::AlertPresenter::shared().setRunModal([&refusals](QMessageBox&) {
        ++refusals;
        return 0;
    });
    panel.show();
    EXPECT_FALSE(panel.validateSelection());
    EXPECT_TRUE(QTest::qWaitFor([&refusals] { return refusals == 1; }, 5000));
    panel.accept();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_NE(panel.result(), QDialog::Accepted);
    // The reason is shown at every refusal.
    EXPECT_TRUE(QTest::qWaitFor([&refusals] { return refusals == 2; }, 5000));
    zk::AlertPresenter::shared().setRunModal({});

    panel.setDelegate(nullptr);
    panel.accept();
    EXPECT_EQ(panel.result(), QDialog::Accepted);
}

TEST(ShortcutOpenerTest, FindsShortcutsByTheirExactName)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("Breaks");
    writeFile(dir.filePath("Stretch & walk.sh"), "#!/bin/sh\necho hi\n", true);
    writeFile(dir.filePath("Breaks/water.sh"), "#!/bin/sh\necho water\n", true);
    const platform::ShortcutsFolder folder(dir.path().toStdString());

    const auto stretch = zk::shortcutNamed("Stretch & walk", folder);
    ASSERT_TRUE(stretch.has_value());
    EXPECT_EQ(stretch->relativePath, "Stretch & walk.sh");
    ASSERT_TRUE(zk::shortcutNamed("water", folder).has_value());
    EXPECT_EQ(zk::shortcutNamed("Breaks/water.sh", folder)->name, "water");
    EXPECT_FALSE(zk::shortcutNamed("stretch & walk", folder).has_value());
}

TEST(ShortcutOpenerTest, WhetherTheScriptOpenedIsKnownOnlyOnceTheDesktopHasSaid)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("Stretch & walk.sh"), "#!/bin/sh\necho hi\n", true);
    const platform::ShortcutsFolder folder(dir.path().toStdString());
    platform::fake::FakeDesktopOpener desktop;
    auto outcome = platform::DesktopOpener::Outcome::failed;
    desktop.outcome = [&](const platform::fake::FakeDesktopOpener::Request&) { return outcome; };
    platform::DesktopOpener::setShared(&desktop);
    std::vector<std::string> alerts;
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString());
        return 1;
    });

    std::vector<bool> done;
    const auto record = [&done](bool opened) { done.push_back(opened); };
    zk::openShortcut("Stretch & walk", folder, record);
    EXPECT_TRUE(done.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.size() == 1 && alerts.size() == 1; }, 5000));
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the script" });
    EXPECT_EQ(
        desktop.openedUrls(), std::vector<QUrl> { QUrl::fromLocalFile(dir.filePath("Stretch & walk.sh")) });

    outcome = platform::DesktopOpener::Outcome::opened;
    zk::openShortcut("Stretch & walk", folder, record);
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.size() == 2; }, 5000));
    zk::openShortcut("Nothing by this name", folder, record);
    EXPECT_EQ(done, (std::vector<bool> { false, true, false }));
    EXPECT_EQ(desktop.openedUrls().size(), 2u);
    EXPECT_EQ(alerts.size(), 1u);

    zk::AlertPresenter::shared().setRunModal({});
    platform::DesktopOpener::setShared(nullptr);
}
