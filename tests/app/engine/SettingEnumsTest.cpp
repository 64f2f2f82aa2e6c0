#include "app/engine/MenuBarIcon.h"
#include "app/engine/NotificationType.h"
#include "app/engine/ShowInMenuBar.h"
#include "platform/store/JsonWriter.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using kiruvo::MenuBarIcon;
using kiruvo::NotificationType;
using kiruvo::ShowInMenuBar;

namespace {

template <class E> void expectRawValuesRoundTrip(std::size_t expectedCount)
{
    const auto& cases = kiruvo::allCases<E>();
    EXPECT_EQ(cases.size(), expectedCount);
    std::set<std::string> seen;
    for (E value : cases) {
        const std::string raw(kiruvo::rawValue(value));
        EXPECT_TRUE(seen.insert(raw).second) << "duplicate raw value " << raw;
        EXPECT_EQ(kiruvo::fromRawValue<E>(raw), value) << raw;
        EXPECT_EQ(Defaults::RawRepresentable<E>::fromRawValue(Defaults::RawRepresentable<E>::rawValue(value)),
            value);
        platform::JsonValue json = value;
        EXPECT_EQ(platform::JsonWriter::write(json), "\"" + raw + "\"");
        EXPECT_EQ(json.get<E>(), value);
    }
    EXPECT_FALSE(kiruvo::fromRawValue<E>(""));
}

} // namespace

TEST(SettingEnums, RawValuesRoundTrip)
{
    expectRawValuesRoundTrip<ShowInMenuBar>(3);
    expectRawValuesRoundTrip<NotificationType>(4);
    expectRawValuesRoundTrip<MenuBarIcon>(29);
}

TEST(SettingEnums, StoredRawValues)
{
    EXPECT_EQ(kiruvo::rawValue(ShowInMenuBar::icon), "icon");
    EXPECT_EQ(kiruvo::rawValue(ShowInMenuBar::currentSessionDuration), "currentSessionDuration");
    EXPECT_EQ(kiruvo::rawValue(ShowInMenuBar::totalTodayDuration), "totalTodayDuration");
    EXPECT_EQ(kiruvo::rawValue(NotificationType::popover), "popover");
    EXPECT_EQ(kiruvo::rawValue(NotificationType::systemNotification), "systemNotification");
    EXPECT_EQ(kiruvo::rawValue(NotificationType::hud), "hud");
    EXPECT_EQ(kiruvo::rawValue(NotificationType::menuBarIconOnly), "menuBarIconOnly");
    EXPECT_EQ(kiruvo::rawValue(MenuBarIcon::heartCircle), "heartCircle");
    EXPECT_EQ(kiruvo::rawValue(MenuBarIcon::deskClock), "deskClock");
    EXPECT_EQ(kiruvo::allCases<MenuBarIcon>().front(), MenuBarIcon::heart);
    EXPECT_EQ(kiruvo::allCases<MenuBarIcon>().back(), MenuBarIcon::mustache);
}

TEST(SettingEnums, RawValuesAreCaseSensitive)
{
    EXPECT_FALSE(kiruvo::fromRawValue<MenuBarIcon>("Heart"));
    EXPECT_EQ(kiruvo::fromRawValue<MenuBarIcon>("heart"), MenuBarIcon::heart);
    EXPECT_FALSE(kiruvo::fromRawValue<NotificationType>("HUD"));
    EXPECT_ANY_THROW(platform::JsonValue("HUD").get<NotificationType>());
    EXPECT_ANY_THROW(platform::JsonValue(1).get<NotificationType>());
    EXPECT_EQ(platform::JsonValue("hud").get<NotificationType>(), NotificationType::hud);
}

TEST(SettingEnums, MenuBarIconTitlesAndSymbols)
{
    EXPECT_EQ(kiruvo::title(MenuBarIcon::faceSmiling), "Smile");
    EXPECT_EQ(kiruvo::title(MenuBarIcon::heartCircle), "Heart in circle");
    EXPECT_EQ(kiruvo::title(MenuBarIcon::kitten3), "Kitten 3");
    EXPECT_EQ(kiruvo::systemImageName(MenuBarIcon::flower), "camera.macro");
    EXPECT_EQ(kiruvo::systemImageName(MenuBarIcon::eyes), "eyes.inverse");
    EXPECT_EQ(kiruvo::systemImageName(MenuBarIcon::hourglass), "hourglass");
    EXPECT_EQ(kiruvo::systemImageName(MenuBarIcon::sparkles), "sparkles");
    EXPECT_EQ(kiruvo::systemImageName(MenuBarIcon::hexagonCircle), "circle.hexagonpath.fill");
    EXPECT_EQ(kiruvo::systemImageName(MenuBarIcon::kitten2), "kitten2");
    EXPECT_EQ(kiruvo::applicationImageSize(MenuBarIcon::kitten2), 22);
    EXPECT_EQ(kiruvo::applicationImageSize(MenuBarIcon::kitten4), 18);
    EXPECT_FALSE(kiruvo::applicationImageSize(MenuBarIcon::heart));
    for (MenuBarIcon icon : kiruvo::allCases<MenuBarIcon>()) {
        EXPECT_FALSE(kiruvo::title(icon).empty());
        EXPECT_FALSE(kiruvo::systemImageName(icon).empty());
    }
}
