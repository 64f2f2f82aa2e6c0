#include "app/windows/SettingsFixture.h"

#include "app/windows/ClickMenuBarItemSetting.h"
#include "app/windows/MenuBarIconSetting.h"
#include "app/windows/MenubarSettings.h"
#include "app/windows/ShowInMenuBarSetting.h"
#include "kit/interface/MenuBarItemVerticalAlignmentSetting.h"
#include "libraries/defaults/Toggle.h"

#include <QApplication>
#include <QComboBox>
#include <QSlider>
#include <QTextDocument>
#include <QToolTip>

using namespace kiruvo;
using platform::PropertyList;

TEST_F(SettingsTest, AFreshStoreShowsTheDurationTheIconPickerInvisibleInItsPlaceAndDimOn)
{
    auto& menuBar = *screen().menuBar();
    auto& show = *menuBar.showInMenuBar();
    EXPECT_EQ(shownText(*show.picker()), "Current session duration");
    EXPECT_TRUE(show.iconSetting()->isHidden());
    EXPECT_TRUE(show.iconSetting()->sizePolicy().retainSizeWhenHidden());
    EXPECT_EQ(shownText(*show.iconSetting()->picker()), "Heart");
    EXPECT_FALSE(menuBar.clickSetting()->toggle()->isChecked());
    EXPECT_TRUE(menuBar.dimToggle()->isChecked());
    EXPECT_DOUBLE_EQ(menuBar.alignmentSetting()->shownValue(), 0);
    for (const char* key : { "showInMenuBar", "menuBarIcon", "toggleEnabledWithLeftClick",
             "dimMenuBarItemWhileDisabled", "menuBarTextVerticalAlignmentOffset" }) {
        EXPECT_FALSE(stored(key)) << key;
    }
}

TEST_F(SettingsTest, ChoosingIconThenAnIconStoresBothAndADurationHidesThePickerAgain)
{
    auto& show = *screen().menuBar()->showInMenuBar();
    ASSERT_EQ(show.picker()->rowCount(), 3);
    choose(*show.picker(), "Icon");
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("icon")));
    EXPECT_FALSE(show.iconSetting()->isHidden());

    auto& icons = *show.iconSetting()->picker();
    ASSERT_EQ(icons.rowCount(), 29);
    EXPECT_EQ(icons.rowText(18).toStdString(), "Smile");
    choose(icons, "Kitten 3");
    EXPECT_EQ(stored("menuBarIcon"), PropertyList(std::string("kitten3")));

    choose(*show.picker(), "Total duration today");
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("totalTodayDuration")));
    EXPECT_TRUE(show.iconSetting()->isHidden());
    EXPECT_EQ(stored("menuBarIcon"), PropertyList(std::string("kitten3")));
}

TEST_F(SettingsTest, AStoredTextThatNamesNoCaseBehavesAsTheDefault)
{
    store()->setObject(PropertyList(std::string("banner")), "showInMenuBar");
    auto& show = *screen().menuBar()->showInMenuBar();
    EXPECT_EQ(shownText(*show.picker()), "Current session duration");
    EXPECT_TRUE(show.iconSetting()->isHidden());
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("banner")));
}

TEST_F(SettingsTest, TheIconPictureIsMadeOnlyWhenThePopUpFirstOpens)
{
    Defaults::set(Keys::menuBarIcon(), MenuBarIcon::leaf);
    auto& icons = *screen().menuBar()->showInMenuBar()->iconSetting()->picker();
    const int leaf = rowNamed(icons, "Leaf");
    EXPECT_TRUE(icons.isRowIconBuilt(leaf));
    EXPECT_FALSE(icons.isRowIconBuilt(rowNamed(icons, "Kitten 1")));
    icons.comboBox()->showPopup();
    icons.comboBox()->hidePopup();
    EXPECT_TRUE(icons.isRowIconBuilt(rowNamed(icons, "Kitten 1")));
    EXPECT_FALSE(icons.rowIcon(rowNamed(icons, "Kitten 1")).isNull());
    EXPECT_EQ(icons.comboBox()->width(), MenuBarIconSetting::pickerWidth);
}

TEST_F(SettingsTest, AFilledStoreShowsTheIconPickerAndTheStoredValues)
{
    Defaults::set(Keys::showInMenuBar(), ShowInMenuBar::icon);
    Defaults::set(Keys::menuBarIcon(), MenuBarIcon::mustache);
    Defaults::set(Keys::toggleEnabledWithLeftClick(), true);
    Defaults::set(Keys::dimMenuBarItemWhileDisabled(), false);
    Defaults::set(Keys::menuBarTextVerticalAlignmentOffset(), std::optional(-1.5));
    auto& menuBar = *screen().menuBar();
    EXPECT_EQ(shownText(*menuBar.showInMenuBar()->picker()), "Icon");
    EXPECT_FALSE(menuBar.showInMenuBar()->iconSetting()->isHidden());
    EXPECT_EQ(shownText(*menuBar.showInMenuBar()->iconSetting()->picker()), "Mustache");
    EXPECT_TRUE(menuBar.clickSetting()->toggle()->isChecked());
    EXPECT_FALSE(menuBar.dimToggle()->isChecked());
    EXPECT_DOUBLE_EQ(menuBar.alignmentSetting()->shownValue(), -1.5);
    // No alert for what was already stored.
    EXPECT_TRUE(alertTitles.empty());
}

TEST_F(SettingsTest, SwitchingLeftClickOnShowsTheAlertAndOffShowsNone)
{
    auto* click = screen().menuBar()->clickSetting();
    click->toggle()->click();
    processEvents();
    EXPECT_EQ(stored("toggleEnabledWithLeftClick"), PropertyList(true));
    ASSERT_EQ(alertTitles.size(), 1u);
    EXPECT_EQ(alertTitles[0], "You can right-click the tray icon to access the menu.");
    EXPECT_FALSE(click->isAlertPresented());

    click->toggle()->click();
    processEvents();
    EXPECT_EQ(stored("toggleEnabledWithLeftClick"), PropertyList(false));
    EXPECT_EQ(alertTitles.size(), 1u);

    click->toggle()->click();
    processEvents();
    EXPECT_EQ(alertTitles.size(), 2u);
}

TEST_F(SettingsTest, TheDimToggleAndTheAlignmentSliderWriteTheirKeys)
{
    auto& menuBar = *screen().menuBar();
    menuBar.dimToggle()->click();
    processEvents();
    EXPECT_EQ(stored("dimMenuBarItemWhileDisabled"), PropertyList(false));

    auto* slider = menuBar.alignmentSetting()->slider();
    slider->setValue(slider->maximum());
    EXPECT_EQ(stored("menuBarTextVerticalAlignmentOffset"), PropertyList(2.0));
    slider->setValue(0);
    EXPECT_EQ(stored("menuBarTextVerticalAlignmentOffset"), PropertyList(0.0));
}

TEST_F(SettingsTest, MenuBarChangesMadeElsewhereShowInTheOpenPane)
{
    auto& menuBar = *screen().menuBar();
    Defaults::set(Keys::showInMenuBar(), ShowInMenuBar::icon);
    Defaults::set(Keys::menuBarIcon(), MenuBarIcon::hare);
    Defaults::set(Keys::dimMenuBarItemWhileDisabled(), false);
    Defaults::set(Keys::menuBarTextVerticalAlignmentOffset(), std::optional(1.0));
    processEvents();
    EXPECT_FALSE(menuBar.showInMenuBar()->iconSetting()->isHidden());
    EXPECT_EQ(shownText(*menuBar.showInMenuBar()->iconSetting()->picker()), "Hare");
    EXPECT_FALSE(menuBar.dimToggle()->isChecked());
    EXPECT_DOUBLE_EQ(menuBar.alignmentSetting()->shownValue(), 1.0);
}

TEST_F(SettingsTest, TheDimHelpIsATipThatWrapsIntoParagraphs)
{
    auto& dim = *screen().menuBar()->dimToggle();
    const QString tip = dim.toolTip();
    EXPECT_TRUE(Qt::mightBeRichText(tip));
    EXPECT_EQ(tip.count("<p>"), 2);
    QToolTip::showText(QPoint(10, 10), tip, &dim);
    processEvents();
    QWidget* label = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QTipLabel") && widget->isVisible()) {
            label = widget;
        }
    }
    ASSERT_NE(label, nullptr);
    // Plain text would make one line over a thousand pixels long.
    EXPECT_LT(label->width(), 600);
    EXPECT_GT(label->height(), 3 * label->fontMetrics().height());
    QToolTip::hideText();
    processEvents();
}
