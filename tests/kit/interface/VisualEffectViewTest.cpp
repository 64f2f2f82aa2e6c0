#include "kit/interface/VisualEffectView.h"

#include <QImage>
#include <QPalette>
#include <gtest/gtest.h>

using zk::VisualEffectView;

namespace {

QPalette paletteWithWindow(const QColor& window)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    return palette;
}

// The view drawn alone on a transparent image.
QImage rendered(VisualEffectView& view)
{
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

TEST(VisualEffectViewTest, aDarkOrLightHalfTransparentFillFollowsThePalette)
{
    VisualEffectView view;
    view.setMaterial(VisualEffectView::Material::fullScreenUI);
    view.setState(VisualEffectView::State::active);

    view.setPalette(paletteWithWindow(QColor(40, 40, 40)));
    EXPECT_TRUE(view.isDark());
    const QColor dark = view.fillColor();
    EXPECT_LT(dark.lightnessF(), 0.3);
    EXPECT_GT(dark.alphaF(), 0.5);
    EXPECT_LT(dark.alphaF(), 1.0);

    view.setPalette(paletteWithWindow(QColor(239, 239, 239)));
    EXPECT_FALSE(view.isDark());
    const QColor light = view.fillColor();
    EXPECT_GT(light.lightnessF(), 0.8);
    EXPECT_DOUBLE_EQ(light.alphaF(), dark.alphaF());

    // A heads-up panel stays dark on a light desktop.
    view.setMaterial(VisualEffectView::Material::hudWindow);
    EXPECT_TRUE(view.isDark());
}

TEST(VisualEffectViewTest, inactivePanelsAreNearlyOpaqueAndEmphasisStrengthensTheTint)
{
    VisualEffectView view;
    view.setMaterial(VisualEffectView::Material::fullScreenUI);
    view.setState(VisualEffectView::State::active);
    const double active = view.fillColor().alphaF();

    view.setEmphasized(true);
    EXPECT_GT(view.fillColor().alphaF(), active);

    view.setState(VisualEffectView::State::inactive);
    EXPECT_FALSE(view.isActive());
    EXPECT_GT(view.fillColor().alphaF(), 0.95);

    // A panel in a window that is not active follows it.
    view.setState(VisualEffectView::State::followsWindowActiveState);
    EXPECT_FALSE(view.isActive());
}

TEST(VisualEffectViewTest, drawsARoundedPanelAtItsOpacity)
{
    VisualEffectView view;
    view.resize(220, 220);
    view.setMaterial(VisualEffectView::Material::fullScreenUI);
    view.setState(VisualEffectView::State::active);
    view.setCornerRadius(30);
    view.setOpacity(0.9);

    const QImage image = rendered(view);
    const QColor centre = image.pixelColor(110, 110);
    EXPECT_NEAR(centre.alphaF(), view.fillColor().alphaF() * 0.9, 0.02);
    // Outside the rounded corners nothing is drawn; along the straight edges the fill reaches out.
    for (const QPoint corner : { QPoint(1, 1), QPoint(218, 1), QPoint(1, 218), QPoint(218, 218) }) {
        EXPECT_EQ(image.pixelColor(corner).alpha(), 0) << corner.x() << "," << corner.y();
    }
    EXPECT_GT(image.pixelColor(110, 0).alpha(), 0);
    EXPECT_GT(image.pixelColor(0, 110).alpha(), 0);

    // Nonsense values draw a plain, fully drawn rectangle rather than nothing.
    view.setCornerRadius(std::numeric_limits<double>::quiet_NaN());
    view.setOpacity(std::numeric_limits<double>::infinity());
    EXPECT_EQ(view.cornerRadius(), 0);
    EXPECT_EQ(view.opacity(), 1);
    EXPECT_GT(rendered(view).pixelColor(0, 0).alpha(), 0);
}

} // namespace
