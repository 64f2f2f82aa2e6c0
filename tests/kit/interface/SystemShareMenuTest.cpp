#include "kit/interface/SystemShareMenu.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

// A desktop service that records what it was given.
class RecordingService : public zk::SharingService {
public:
    RecordingService()
        : SharingService(QStringLiteral("Email"), QIcon())
    {
    }
    bool canPerformWithItems(const std::vector<zk::ShareItem>& items) const override
    {
        return !items.empty() && std::holds_alternative<QString>(items.front());
    }
    void performWithItems(const std::vector<zk::ShareItem>& items) override { shared = items; }
    std::vector<zk::ShareItem> shared;
};

QStringList titles(const QMenu& menu)
{
    QStringList result;
    for (const QAction* action : menu.actions()) {
        result.append(action->text());
    }
    return result;
}

QAction* entry(const QMenu& menu, const QString& title)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == title) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

TEST(SystemShareMenuTest, ListsTheServicesForItsItemsAndSharesThemWhenOneIsChosen)
{
    auto email = std::make_shared<RecordingService>();
    zk::SharingService::registerSystemService(email);
    int clicks = 0;
    zk::SystemShareMenu menu({ QStringLiteral("debug info") }, [&] { ++clicks; });
    EXPECT_EQ(titles(menu), (QStringList { QStringLiteral("Copy"), QStringLiteral("Email") }));

    entry(menu, QStringLiteral("Copy"))->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("debug info"));
    EXPECT_EQ(clicks, 1);
    entry(menu, QStringLiteral("Email"))->trigger();
    ASSERT_EQ(email->shared.size(), 1u);
    EXPECT_EQ(std::get<QString>(email->shared.front()), QStringLiteral("debug info"));
    EXPECT_EQ(clicks, 2);

    // A link can also be opened; the e-mail service takes only text.
    menu.setShareItems({ QUrl(QStringLiteral("https://kiruvo.example")) });
    EXPECT_EQ(titles(menu), (QStringList { QStringLiteral("Copy"), QStringLiteral("Open") }));
    zk::SharingService::clearRegisteredServices();

    // Nothing to share: nothing to choose.
    menu.setShareItems({});
    EXPECT_TRUE(menu.actions().isEmpty());
}
