#include "kit/foundation/KitRegistries.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace zk;

TEST(KitRegistries, TheLanguageListHasItsFiftySixEntriesOnce)
{
    const auto& languages = NLLanguage::allCases();
    EXPECT_EQ(languages.size(), 56u);
    EXPECT_EQ(languages.front(), "am");
    EXPECT_EQ(languages.back(), "vi");
    EXPECT_EQ(&languages, &NLLanguage::allCases());
    EXPECT_EQ(std::count(languages.begin(), languages.end(), "und"), 0);
    std::vector<std::string> sorted = languages;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
}

TEST(KitRegistries, LaunchCompletionsRunOnceInOrderAndDropWhatARunAdds)
{
    std::vector<int> calls;
    LaunchCompletions::runFinishedLaunchingCompletions();
    EXPECT_EQ(LaunchCompletions::count(), 0u);
    LaunchCompletions::add([&] { calls.push_back(1); });
    LaunchCompletions::add([&] {
        calls.push_back(2);
        LaunchCompletions::add([&] { calls.push_back(3); });
    });
    LaunchCompletions::runFinishedLaunchingCompletions();
    EXPECT_EQ(calls, (std::vector<int> { 1, 2 }));
    EXPECT_EQ(LaunchCompletions::count(), 0u);
    LaunchCompletions::runFinishedLaunchingCompletions();
    EXPECT_EQ(calls, (std::vector<int> { 1, 2 }));
}

TEST(KitRegistries, ThePasteboardObservableTellsOfChanges)
{
    PasteboardObservable always;
    PasteboardObservable whileActive(true);
    QSignalSpy alwaysSpy(&always, &PasteboardObservable::pasteboardChanged);
    QSignalSpy activeSpy(&whileActive, &PasteboardObservable::pasteboardChanged);
    EXPECT_EQ(always.pasteboard(), QGuiApplication::clipboard());
    QGuiApplication::clipboard()->setText(QStringLiteral("changed"));
    EXPECT_EQ(alwaysSpy.count(), 1);
    EXPECT_EQ(activeSpy.count(), QGuiApplication::applicationState() == Qt::ApplicationActive ? 1 : 0);
}
