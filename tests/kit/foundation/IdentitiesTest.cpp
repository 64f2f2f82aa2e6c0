#include "kit/foundation/Identities.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

TEST(IdentitiesTest, ErrorsAreIdentifiedByTheirTextsWithoutSeparators)
{
    const zk::PlatformError one(
        "Domain", -3, { { zk::ErrorKeys::localizedDescription, std::string("Gone away") } });
    const zk::PlatformError same(
        "Domain", -3, { { zk::ErrorKeys::localizedDescription, std::string("Gone away") } });
    EXPECT_EQ(zk::errorIdentity(one), zk::errorIdentity(same));
    EXPECT_EQ(zk::errorIdentity(one).rfind("-3Domain", 0), 0u);
    // No separator: a message ending in the other's suggestion gives the same identity.
    const zk::PlatformError split("Domain", 1,
        { { zk::ErrorKeys::localizedDescription, std::string("Gone") },
            { zk::ErrorKeys::localizedRecoverySuggestion, std::string(" away") } });
    const zk::PlatformError joined(
        "Domain", 1, { { zk::ErrorKeys::localizedDescription, std::string("Gone away") } });
    EXPECT_EQ(zk::errorIdentity(split), zk::errorIdentity(joined));
}

TEST(IdentitiesTest, ScreensAndAssociatedValues)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(zk::screenIdentity(*screen), screen->name());

    const zk::ObjectAssociation<int> dpi("zkDpi", 72);
    QObject object;
    EXPECT_EQ(dpi.get(object), 72);
    dpi.set(object, 144);
    EXPECT_EQ(dpi.get(object), 144);
    object.setProperty("zkDpi", QStringLiteral("many")); // a value of another type
    EXPECT_EQ(dpi.get(object), 72);
}
