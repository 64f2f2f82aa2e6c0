#include "kit/interface/ShareMenu.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/FileUtilities.h"
#include "kit/foundation/ImageWriting.h"
#include "kit/foundation/core/ErrorValues.h"
#include "kit/interface/FileUtilities.h"
#include "kit/interface/Pasteboard.h"
#include "kit/interface/WorkspaceUtilities.h"
#include "platform/ErrorReporter.h"
#include "platform/fake/FakeDesktopOpener.h"

#include <QClipboard>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <exception>
#include <fstream>
#include <optional>
#include <stdexcept>

using namespace zk;

namespace {

class RecordingService : public ZKSharingService {
public:
    explicit RecordingService(bool canPerform)
        : ZKSharingService(QStringLiteral("Mine"), QIcon())
        , m_canPerform(canPerform)
    {
    }
    bool canPerformWithItems(const std::vector<ShareItem>&) const override { return m_canPerform; }
    void performWithItems(const std::vector<ShareItem>& items) override { performed.push_back(items.size()); }
    std::vector<std::size_t> performed;

private:
    bool m_canPerform;
};

class ShareMenuTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ShareMenu::itemProvider() = {};
        ShareMenu::plainItemProvider() = {};
        ShareMenu::servicesProvider() = {};
    }
    static QStringList titles(const QMenu& menu)
    {
        QStringList result;
        for (const QAction* action : menu.actions()) {
            result.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        return result;
    }
};

} // namespace

TEST_F(ShareMenuTest, WithoutItemsOnlyTheLeadingSeparator)
{
    ShareMenu menu;
    menu.rebuild();
    EXPECT_EQ(titles(menu), QStringList { QStringLiteral("-") });
}

TEST_F(ShareMenuTest, OwnServicesComeBeforeTheDesktopsAndTheItemsAreDroppedAfterUse)
{
    auto mine = std::make_shared<RecordingService>(true);
    auto unable = std::make_shared<RecordingService>(false);
    int asked = 0;
    ShareMenu::plainItemProvider() = [&] {
        ++asked;
        return std::vector<ShareItem> { QStringLiteral("text"), QUrl(QStringLiteral("https://example.com")) };
    };
    ShareMenu::servicesProvider() = [&] {
        return std::vector<std::shared_ptr<SharingService>> { mine, unable };
    };
    ShareMenu menu;
    menu.rebuild();
    EXPECT_EQ(titles(menu), (QStringList { "-", "Mine", "-", "Copy", "Open" }));
    ASSERT_TRUE(menu.shareItems);
    menu.actions()[1]->trigger();
    EXPECT_EQ(mine->performed, std::vector<std::size_t> { 2 });
    EXPECT_FALSE(menu.shareItems);
    EXPECT_EQ(asked, 1);

    // Without own services the desktop's follow two separators.
    ShareMenu::servicesProvider() = {};
    menu.rebuild();
    EXPECT_EQ(titles(menu), (QStringList { "-", "-", "Copy", "Open" }));
    menu.actions()[2]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("text\nhttps://example.com"));
}

TEST_F(ShareMenuTest, ASubmenuUnderADisabledItemIsNotRebuilt)
{
    int asked = 0;
    ShareMenu::plainItemProvider() = [&] {
        ++asked;
        return std::vector<ShareItem> { QStringLiteral("text") };
    };
    ShareMenuItem item;
    item.setEnabled(false);
    item.shareMenu().rebuild();
    EXPECT_EQ(asked, 0);
    item.setEnabled(true);
    item.shareMenu().rebuild();
    EXPECT_EQ(asked, 1);
}

TEST_F(ShareMenuTest, SavingAnImageWithoutATitleWritesImagePng)
{
    QTemporaryDir folder;
    SaveImageSharingService service(QStringLiteral("Save"), QIcon(), folder.path());
    EXPECT_FALSE(service.canPerformWithItems({ QStringLiteral("text") }));
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::red);
    EXPECT_TRUE(service.canPerformWithItems({ QStringLiteral("text"), image }));
    service.performWithItems({ QStringLiteral("text"), image });
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("Image.png"))));
    service.imageTitle = [] { return QStringLiteral("Chart"); };
    EXPECT_EQ(service.fileURL(), folder.filePath(QStringLiteral("Chart.png")));
    service.imageTitle = [] { return QStringLiteral("Chart.jpg"); };
    EXPECT_EQ(service.fileURL(), folder.filePath(QStringLiteral("Chart.jpg.png")));
}

TEST_F(ShareMenuTest, SavingAnImageGoesThroughTheKitsWriterWithTheImagesMetadata)
{
    QTemporaryDir folder;
    SaveImageSharingService service(QStringLiteral("Save"), QIcon(), folder.path());
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::red);

    // Without metadata no resolution is claimed (QImage::save would write its own 96 dpi).
    service.imageTitle = [] { return QStringLiteral("Plain"); };
    service.performWithItems({ image });
    QFile plain(folder.filePath(QStringLiteral("Plain.png")));
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    EXPECT_FALSE(plain.readAll().contains("pHYs"));

    std::vector<std::string> alerts;
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString() + "|" + alert.informativeText().toStdString());
        return 0;
    });
    zk::setCustomMetadata(image, { 144, true });
    zk::setAttachedProperty(image, QStringLiteral("Description"), QStringLiteral("A chart"));
    service.imageTitle = [] { return QStringLiteral("Shot"); };
    // A file system without user attributes takes the image, not its mark: that is no failure.
    EXPECT_NO_THROW(service.performWithItems({ image }));
    const QImage written(folder.filePath(QStringLiteral("Shot.png")));
    EXPECT_NEAR(written.dotsPerMeterX() * 0.0254, 144, 1);
    // Only public text goes into the file, never what the kit carries along inside the image.
    EXPECT_EQ(written.textKeys(), QStringList { QStringLiteral("Description") });
    QFile shot(folder.filePath(QStringLiteral("Shot.png")));
    ASSERT_TRUE(shot.open(QIODevice::ReadOnly));
    EXPECT_FALSE(shot.readAll().contains("zk."));
    // Written whole or not at all: nothing but the two images is left in the folder.
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QCoreApplication::processEvents();
    EXPECT_TRUE(alerts.empty());

    // A folder that cannot be written is told to the user, naming the file, and nothing is thrown
    // into the menu's event handling.
    SaveImageSharingService nowhere(QStringLiteral("Save"), QIcon(), QStringLiteral("/proc/kiruvo-nowhere"));
    EXPECT_NO_THROW(nowhere.performWithItems({ image }));
    EXPECT_TRUE(QTest::qWaitFor([&alerts] { return !alerts.empty(); }, 5000));
    zk::AlertPresenter::shared().setRunModal({});
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("kiruvo-nowhere"), std::string::npos) << alerts[0];

    // A save that fails over the image saved before is no saved image.
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString());
        return 0;
    });
    service.imageTitle = [] { return QStringLiteral("Plain"); };
    service.performWithItems({ QImage() });
    EXPECT_TRUE(QTest::qWaitFor([&alerts] { return alerts.size() == 2; }, 5000));
    zk::AlertPresenter::shared().setRunModal({});
}

TEST_F(ShareMenuTest, OpenTellsWhatNothingOpened)
{
    platform::fake::FakeDesktopOpener desktop;
    desktop.outcome = [](const platform::fake::FakeDesktopOpener::Request&) {
        return platform::DesktopOpener::Outcome::failed;
    };
    platform::DesktopOpener::setShared(&desktop);
    std::vector<std::string> alerts;
    zk::AlertPresenter::shared().setRunModal([&alerts](QMessageBox& alert) {
        alerts.push_back(alert.text().toStdString());
        return 1;
    });
    const QUrl page(QStringLiteral("https://kiruvo.example/faq"));
    for (const auto& service : SharingService::sharingServicesForItems({ page })) {
        if (service->id() == QStringLiteral("com.zelvantorium.share.open")) {
            service->performWithItems({ page });
        }
    }
    EXPECT_TRUE(QTest::qWaitFor([&alerts] { return !alerts.empty(); }, 5000));
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the link" });
    EXPECT_EQ(desktop.openedUrls(), std::vector<QUrl> { page });
    zk::AlertPresenter::shared().setRunModal({});
    platform::DesktopOpener::setShared(nullptr);
}

TEST_F(ShareMenuTest, AServiceIsKnownByItsNameWhateverItsTitle)
{
    QTemporaryDir folder;
    const SaveImageSharingService save(QStringLiteral("Save"), QIcon(), folder.path());
    const SaveImageSharingService renamed(QStringLiteral("Save As PNG"), QIcon(), folder.path());
    EXPECT_EQ(save.id(), renamed.id());
    EXPECT_EQ(save.id(), QStringLiteral("com.zelvantorium.share.saveImage"));
    QStringList ids;
    for (const auto& service : SharingService::sharingServicesForItems({ QUrl("https://example.com") })) {
        ids.append(service->id());
    }
    EXPECT_TRUE(ids.contains(QStringLiteral("com.zelvantorium.share.copy")));
    EXPECT_TRUE(ids.contains(QStringLiteral("com.zelvantorium.share.open")));

    // A service without a name of its own is known by its title.
    class Untitled : public ZKSharingService {
    public:
        using ZKSharingService::ZKSharingService;
        bool canPerformWithItems(const std::vector<ShareItem>&) const override { return true; }
        void performWithItems(const std::vector<ShareItem>&) override { }
    };
    EXPECT_EQ(Untitled(QStringLiteral("Print"), QIcon()).id(), QStringLiteral("Print"));
}

TEST(FileUtilities, TrashingStopsAtTheFirstFailure)
{
    std::vector<std::filesystem::path> moved;
    const auto failing = [&](const std::filesystem::path& path) -> std::optional<std::string> {
        moved.push_back(path);
        if (path == "/b") {
            return std::string("denied");
        }
        return std::nullopt;
    };
    EXPECT_FALSE(trashItems({}, failing));
    const auto failure = trashItems({ "/a", "/b", "/c" }, failing);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->path, "/b");
    EXPECT_EQ(failure->reason, "denied");
    EXPECT_EQ(moved, (std::vector<std::filesystem::path> { "/a", "/b" }));
    EXPECT_TRUE(moveItemToTrash("/does/not/exist"));
}

TEST(FileUtilities, TemporaryFilesGoIntoFoldersOfTheirOwn)
{
    const auto first = uniqueTemporaryDirectory();
    const auto second = uniqueTemporaryDirectory();
    EXPECT_NE(first, second);
    EXPECT_TRUE(std::filesystem::is_empty(first));
    const auto file = writeToTemporaryFile("héllo", "notes");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->filename(), "notes.txt");
    std::ifstream in(*file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "héllo");
    EXPECT_EQ(writeToTemporaryFile("x", "debug-info.txt")->filename(), "debug-info.txt");
    for (const auto& folder : { first, second, file->parent_path() }) {
        std::filesystem::remove_all(folder);
    }
    EXPECT_EQ(firstNonNil(std::vector<int> { 1, 2, 3 },
                  [](int value) { return value > 1 ? std::optional(value * 10) : std::nullopt; }),
        20);
}

TEST(FileUtilities, AFolderNearAReferenceThatCannotBeMadeIsReportedAndReplaced)
{
    QTemporaryDir reports;
    platform::ErrorReporter reporter(reports.path().toStdString());
    platform::ErrorReporter::setShared(&reporter);
    // Beside a file of the test's own: a folder of this user's alone on that file system.
    QTemporaryDir near;
    const auto beside = uniqueTemporaryDirectory(std::filesystem::path(near.path().toStdString()) / "file");
    EXPECT_EQ(std::filesystem::status(beside).permissions() & std::filesystem::perms::all,
        std::filesystem::perms::owner_all);
    std::filesystem::remove_all(beside);
    EXPECT_FALSE(std::filesystem::exists(reporter.reportsPath()));

    // No folder can be made in /proc: the failure is reported, and a private temporary folder
    // takes its place.
    const auto fallback = uniqueTemporaryDirectory(std::filesystem::path("/proc/self/kiruvo-reference"));
    platform::ErrorReporter::setShared(nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(fallback));
    EXPECT_EQ(fallback.parent_path().string(), privateTemporaryBase().toStdString());
    std::filesystem::remove_all(fallback);
    std::ifstream in(reporter.reportsPath());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("url()"), std::string::npos) << text;
    EXPECT_NE(text.find("kiruvo-reference"), std::string::npos) << text;
}

TEST(FileUtilities, CopiedTextNamesItsSource)
{
    copyTextToPasteboard("copied ✓");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("copied ✓"));
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QString::fromLatin1(pasteboardSourceType)),
        QByteArray("com.zelvantorium.Kiruvo"));
}

TEST(WorkspaceUtilities, TokensEndTheirConnectionsAndRangesIncludeTheirBounds)
{
    using platform::Date;
    EXPECT_TRUE(isBetween(Date(10), Date(10), Date(20)));
    EXPECT_TRUE(isBetween(Date(20), Date(10), Date(20)));
    EXPECT_FALSE(isBetween(Date(20.5), Date(10), Date(20)));

    QObject sender;
    int calls = 0;
    {
        NotificationToken token(QObject::connect(&sender, &QObject::objectNameChanged, [&] { ++calls; }));
        sender.setObjectName(QStringLiteral("a"));
    }
    sender.setObjectName(QStringLiteral("b"));
    EXPECT_EQ(calls, 1);
    {
        ListenerHolder holder(&sender);
        holder.add(QObject::connect(&sender, &QObject::objectNameChanged, [&] { ++calls; }));
        holder.add(QObject::connect(&sender, &QObject::objectNameChanged, [&] { ++calls; }));
        sender.setObjectName(QStringLiteral("c"));
    }
    sender.setObjectName(QStringLiteral("d"));
    EXPECT_EQ(calls, 3);
}

namespace {

// Awaits the opening and gives its application, or throws its error. (QCoro::waitFor would never
// return for a task that throws.)
zk::RunningApplication awaitOpening(QCoro::Task<zk::RunningApplication> opening)
{
    std::optional<zk::RunningApplication> application;
    std::exception_ptr error;
    bool done = false;
    auto await = [&]() -> QCoro::Task<void> {
        try {
            application = co_await std::move(opening);
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
    };
    auto running = await();
    if (!QTest::qWaitFor([&] { return done; }, 10000)) {
        throw std::runtime_error("the opening did not end");
    }
    if (error) {
        std::rethrow_exception(error);
    }
    if (!application) {
        throw std::runtime_error("the opening gave no application");
    }
    return *application;
}

} // namespace

TEST(WorkspaceUtilities, AnUnknownApplicationIsAnErrorNamingIt)
{
    try {
        awaitOpening(openAppWithBundleIdentifier("com.example.NoSuchApp"));
        FAIL() << "no error";
    } catch (const zk::Error& error) {
        EXPECT_EQ(error.localizedDescription(),
            "Could not locate app with bundle identifier “com.example.NoSuchApp”.");
        EXPECT_EQ(error.domain(), "com.zelvantorium.Kiruvo");
        EXPECT_EQ(error.code(), 1);
    }
}

namespace {

// An application installed for the user (the test's own $XDG_DATA_HOME) with the given Exec line.
void installApplication(const std::string& desktopId, const std::string& exec)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    QDir().mkpath(folder);
    std::ofstream(QString(folder + "/" + QString::fromStdString(desktopId) + ".desktop").toStdString())
        << "[Desktop Entry]\nType=Application\nName=Test\nExec=" << exec << "\n";
}

} // namespace

TEST(WorkspaceUtilities, AProgramThatCannotStartIsAnErrorWithTheReason)
{
    installApplication("com.example.Broken", "/nonexistent/kiruvo-test-program %U");
    try {
        awaitOpening(openAppWithBundleIdentifier("com.example.Broken"));
        FAIL() << "a program that does not exist counted as started";
    } catch (const zk::Error& error) {
        EXPECT_EQ(error.localizedDescription(),
            "Could not open the app with bundle identifier “com.example.Broken”.");
        EXPECT_EQ(error.code(), 1);
    }

    installApplication("com.example.Nothing", "");
    EXPECT_THROW(awaitOpening(openAppWithBundleIdentifier("com.example.Nothing")), zk::Error);
}

TEST(WorkspaceUtilities, AStartedApplicationGetsItsArgumentsAndIsAnswered)
{
    QTemporaryDir folder;
    const QString output = folder.filePath("arguments");
    const QString script = folder.filePath("app.sh");
    std::ofstream(script.toStdString())
        << "printf '%s\\n' \"$@\" > \"" << output.toStdString() << ".part\"\nmv \"" << output.toStdString()
        << ".part\" \"" << output.toStdString() << "\"\n";
    installApplication("com.example.Works", "/bin/sh " + script.toStdString() + " --from-entry %U 100%%");

    zk::OpenConfiguration configuration;
    configuration.arguments = { QStringLiteral("given") };
    const auto running = awaitOpening(openAppWithBundleIdentifier("com.example.Works", configuration));
    EXPECT_EQ(running.desktopId, "com.example.Works");
    EXPECT_GT(running.processIdentifier, 0);
    // The program runs on its own; its output is there once it has run.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(output); }, 10000));
    QFile file(output);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("--from-entry\n100%\ngiven\n"));
}
