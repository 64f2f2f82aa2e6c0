#include "kit/diagnostics/SecurityScopedBookmarkManager.h"

#include "kit/foundation/SandboxURLBookmark.h"

#include "DiagnosticsFixture.h"

#include <QElapsedTimer>

#include <thread>

using namespace zk;
namespace Manager = zk::SecurityScopedBookmarkManager;

class SecurityScopedBookmarkManagerTest : public DiagnosticsFixture {
protected:
    void SetUp() override
    {
        DiagnosticsFixture::SetUp();
        root = std::filesystem::canonical(folder.path().toStdString());
        pictures = root / "Pictures";
        std::filesystem::create_directories(pictures);
        Manager::Environment environment;
        environment.runPanel
            = [this](const Manager::PanelConfiguration& configuration) -> std::optional<std::string> {
            panels.push_back(configuration);
            if (choices.empty()) {
                return std::nullopt;
            }
            auto choice = choices.front();
            choices.pop_front();
            return choice;
        };
        environment.showError = [this](const std::string& description, const std::string& suggestion) {
            errors.push_back(description + " " + suggestion);
        };
        environment.homeDirectory = [this] { return root.string(); };
        Manager::Environment::shared() = environment;
    }
    void TearDown() override
    {
        Manager::Environment::shared() = {};
        DiagnosticsFixture::TearDown();
    }

    std::filesystem::path root;
    std::filesystem::path pictures;
    std::deque<std::optional<std::string>> choices;
    std::vector<Manager::PanelConfiguration> panels;
    std::vector<std::string> errors;
};

TEST_F(SecurityScopedBookmarkManagerTest, AFileAsksForItsFolderOnceAndTheChoiceIsRemembered)
{
    choices = { pictures.string() };
    std::vector<std::string> ranIn;
    const auto work = [&](const std::string& folder) { ranIn.push_back(folder); };
    EXPECT_EQ(Manager::withDirectoryAccess((pictures / "x.png").string(), work), Manager::AccessResult::ran);
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0].folder, pictures.string() + "/");
    EXPECT_EQ(panels[0].title, "Permission");
    EXPECT_EQ(panels[0].prompt, "Allow");
    EXPECT_EQ(panels[0].message, "Kiruvo needs access to the “Pictures” folder. Click “Allow” to proceed.");

    const auto stored = SecurityScopedBookmarks::all();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.begin()->first, "file://" + pictures.string() + "/");

    // The directory URL asks for itself, and the stored choice answers without a prompt.
    EXPECT_EQ(Manager::withDirectoryAccess(pictures.string() + "/", work), Manager::AccessResult::ran);
    EXPECT_EQ(panels.size(), 1u);
    EXPECT_EQ(ranIn, (std::vector<std::string> { pictures.string(), pictures.string() }));
}

TEST_F(SecurityScopedBookmarkManagerTest, ACancelledPromptIsNoSuccessAndRunsNothing)
{
    bool ran = false;
    EXPECT_EQ(
        Manager::withDirectoryAccess((pictures / "x.png").string(), [&](const std::string&) { ran = true; }),
        Manager::AccessResult::cancelled);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(SecurityScopedBookmarks::all().empty());
}

TEST_F(SecurityScopedBookmarkManagerTest, AnotherFolderIsRefusedWithTheExpectedPathAndAskedAgain)
{
    const auto work = root / "Documents" / "Work";
    std::filesystem::create_directories(work);
    choices = { pictures.string(), work.string() };
    const auto result = Manager::promptForDirectoryAccess(work.string() + "/");
    EXPECT_EQ(result.url, work.string());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Incorrect directory. Select the directory “~/Documents/Work”.");
    EXPECT_EQ(panels.size(), 2u);
    EXPECT_EQ(Manager::validationFailure("/a", "/srv/data/", "/home/a"), "Select the directory “/srv/data”.");
}

TEST_F(SecurityScopedBookmarkManagerTest, TheRootFolderAndLinkedFoldersShareTheirNames)
{
    EXPECT_EQ(Manager::folderDisplayName("/"), "root");
    EXPECT_EQ(Manager::panelMessage("/", std::nullopt),
        "Kiruvo needs access to the root folder. Click “Allow” to proceed.");
    EXPECT_EQ(Manager::panelMessage("/", "Own words"), "Own words");

    const auto link = root / "link";
    std::filesystem::create_directory_symlink(pictures, link);
    choices = { link.string() };
    EXPECT_TRUE(Manager::promptForDirectoryAccess(link.string() + "/").url);
    // One entry for the folder and its link.
    EXPECT_EQ(Manager::bookmarkedURL(pictures.string() + "/"), pictures.string());
    EXPECT_EQ(SecurityScopedBookmarks::all().size(), 1u);
}

TEST_F(SecurityScopedBookmarkManagerTest, AFolderThatIsGoneIsAskedForAgain)
{
    choices = { pictures.string() };
    ASSERT_TRUE(Manager::promptForDirectoryAccess(pictures.string() + "/").url);
    std::filesystem::remove_all(pictures);
    EXPECT_EQ(Manager::bookmarkedURL(pictures.string() + "/"), std::nullopt);
    EXPECT_EQ(Manager::withDirectoryAccess(pictures.string() + "/", [](const std::string&) {}),
        Manager::AccessResult::cancelled);
    EXPECT_EQ(panels.size(), 2u);
}

TEST_F(SecurityScopedBookmarkManagerTest, APromptInsideAPromptIsRefused)
{
    std::optional<Manager::PromptResult> inner;
    Manager::Environment::shared().runPanel
        = [&](const Manager::PanelConfiguration&) -> std::optional<std::string> {
        inner = Manager::promptForDirectoryAccess(pictures.string() + "/");
        return std::nullopt;
    };
    const auto outer = Manager::promptForDirectoryAccess(pictures.string() + "/");
    EXPECT_FALSE(outer.url);
    EXPECT_FALSE(outer.error);
    ASSERT_TRUE(inner);
    EXPECT_FALSE(inner->url);
    EXPECT_EQ(inner->error, "A folder prompt is already open.");
}

TEST_F(SecurityScopedBookmarkManagerTest, APromptFromAnotherThreadRunsOnTheMainThread)
{
    std::thread::id panelThread;
    Manager::Environment::shared().runPanel
        = [&](const Manager::PanelConfiguration&) -> std::optional<std::string> {
        panelThread = std::this_thread::get_id();
        return pictures.string();
    };
    std::atomic<bool> done { false };
    Manager::AccessResult result = Manager::AccessResult::cancelled;
    std::thread worker([&] {
        result = Manager::withDirectoryAccess(pictures.string() + "/", [](const std::string&) {});
        done = true;
    });
    // The worker waits for the main thread to run its prompt.
    QElapsedTimer clock;
    clock.start();
    while (!done.load() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    worker.join();
    ASSERT_TRUE(done.load());
    EXPECT_EQ(result, Manager::AccessResult::ran);
    EXPECT_EQ(panelThread, std::this_thread::get_id());
}

TEST_F(SecurityScopedBookmarkManagerTest, AFailingWorkIsShownAndReported)
{
    choices = { pictures.string() };
    const auto result = Manager::withDirectoryAccess(
        pictures.string() + "/", [](const std::string&) { throw std::runtime_error("disk full"); });
    EXPECT_EQ(result, Manager::AccessResult::failed);
    ASSERT_TRUE(settle([&] { return !alerts.empty(); }));
    EXPECT_NE(alerts[0].find("disk full"), std::string::npos);
}
