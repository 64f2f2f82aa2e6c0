#include "platform/linux/PanelSampler.h"

#include <QImage>
#include <gtest/gtest.h>

using platform::PanelSampler;
using platform::StatusItemAppearance;

namespace {

// The backend's side: whether there is a panel (a question to the X server, counted) and the look
// itself, which sees the panel or not as the test says.
struct Panel {
    bool there = true;
    bool seen = true;
    int questions = 0;
    int looks = 0;

    PanelSampler sampler { [this] {
                              ++questions;
                              return there;
                          },
        [this] {
            ++looks;
            return seen;
        } };
};

StatusItemAppearance figure(const QString& title)
{
    StatusItemAppearance appearance;
    appearance.title = title;
    appearance.toolTip = "Current session: " + title;
    return appearance;
}

} // namespace

TEST(PanelSamplerTest, TheFigureAloneIsNeverLookedAtButTheItemsOwnChangesAre)
{
    Panel panel;
    StatusItemAppearance appearance = figure("25m");
    panel.sampler.drawn(appearance);
    EXPECT_TRUE(panel.sampler.isPending()) << "the first draw that shows the item";
    panel.sampler.lookNow();
    EXPECT_FALSE(panel.sampler.isPending());
    EXPECT_EQ(panel.looks, 1);

    // The figure of each minute and its tooltip, and a draw that changes nothing: no look, no
    // question to the X server.
    const int questions = panel.questions;
    for (const char* title : { "26m", "27m", "1h 5m" }) {
        appearance.title = title;
        appearance.toolTip = QStringLiteral("Current session: %1").arg(title);
        panel.sampler.drawn(appearance);
        EXPECT_FALSE(panel.sampler.isPending()) << title;
    }
    panel.sampler.drawn(appearance);
    EXPECT_FALSE(panel.sampler.isPending());
    EXPECT_EQ(panel.questions, questions);

    // A tint (a reminder), dimming (the user pausing), another picture or its kind, and the item
    // shown again after it was hidden.
    QImage picture(16, 16, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::black);
    const std::vector<std::function<void(StatusItemAppearance&)>> changes {
        [](StatusItemAppearance& a) { a.tint = QColor(0xff, 0x2d, 0x55); },
        [](StatusItemAppearance& a) { a.tint.reset(); },
        [](StatusItemAppearance& a) { a.dimmed = true; },
        [&](StatusItemAppearance& a) { a.image = picture; },
        [](StatusItemAppearance& a) { a.isTemplate = false; },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        changes[i](appearance);
        panel.sampler.drawn(appearance);
        EXPECT_TRUE(panel.sampler.isPending()) << "change " << i;
        panel.sampler.lookNow();
    }
    appearance.visible = false;
    panel.sampler.drawn(appearance);
    EXPECT_FALSE(panel.sampler.isPending()) << "a hidden item has no panel to follow";
    appearance.visible = true;
    panel.sampler.drawn(appearance);
    EXPECT_TRUE(panel.sampler.isPending());
}

TEST(PanelSamplerTest, UntilALookSeesThePanelEveryDrawLooksAgain)
{
    Panel panel;
    panel.seen = false;
    panel.sampler.drawn(figure("25m"));
    panel.sampler.lookNow();
    panel.sampler.drawn(figure("26m"));
    EXPECT_TRUE(panel.sampler.isPending()) << "the last look found neither the icon nor pixels";
    panel.seen = true;
    panel.sampler.lookNow();
    panel.sampler.drawn(figure("27m"));
    EXPECT_FALSE(panel.sampler.isPending());
    EXPECT_EQ(panel.looks, 2);
}

TEST(PanelSamplerTest, WithoutAPanelTheFigureAsksTheServerNothing)
{
    Panel panel;
    panel.there = false;
    panel.sampler.drawn(figure("25m"));
    EXPECT_FALSE(panel.sampler.isPending());
    EXPECT_EQ(panel.questions, 1);
    for (const char* title : { "26m", "27m", "28m" }) {
        panel.sampler.drawn(figure(title));
    }
    EXPECT_EQ(panel.questions, 1);
    EXPECT_FALSE(panel.sampler.isPending());

    // A tray that comes later is looked at.
    panel.there = true;
    panel.sampler.panelMayHaveChanged();
    EXPECT_TRUE(panel.sampler.isPending());
}

TEST(PanelSamplerTest, TheDesktopsChangesAreLookedAtWhileTheItemIsShown)
{
    Panel panel;
    panel.sampler.panelMayHaveChanged();
    EXPECT_FALSE(panel.sampler.isPending()) << "nothing drawn yet";
    EXPECT_EQ(panel.questions, 0);

    panel.sampler.drawn(figure("25m"));
    panel.sampler.lookNow();
    panel.sampler.panelMayHaveChanged();
    EXPECT_TRUE(panel.sampler.isPending());
    panel.sampler.lookNow();

    StatusItemAppearance hidden = figure("25m");
    hidden.visible = false;
    panel.sampler.drawn(hidden);
    const int questions = panel.questions;
    panel.sampler.panelMayHaveChanged();
    EXPECT_FALSE(panel.sampler.isPending());
    EXPECT_EQ(panel.questions, questions);
}
