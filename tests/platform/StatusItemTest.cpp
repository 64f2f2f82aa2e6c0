#include "platform/StatusItem.h"
#include "platform/fake/FakeStatusItemBackend.h"
#include "platform/linux/TrayStatusItemBackend.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <gtest/gtest.h>

using platform::StatusItem;
using platform::StatusItemAppearance;
using platform::fake::FakeStatusItemBackend;

namespace {

struct Fixture {
    Fixture()
    {
        auto owned = std::make_unique<FakeStatusItemBackend>();
        backend = owned.get();
        item = std::make_unique<StatusItem>(std::move(owned));
    }
    FakeStatusItemBackend* backend = nullptr;
    std::unique_ptr<StatusItem> item;
};

QImage square(QColor color)
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(QRect(4, 4, 8, 8), color);
    return image;
}

} // namespace

TEST(StatusItemTest, EveryChangeOfTheModelIsDrawnOnceAndRepeatsAreNot)
{
    Fixture f;
    ASSERT_EQ(f.backend->drawn().size(), 1u); // the initial, empty item
    f.item->setTitle("1 hr, 5 min");
    f.item->setTitle("1 hr, 5 min");
    f.item->setDimmed(true);
    f.item->setTint(QColor(Qt::red));
    f.item->setImage(square(Qt::black));
    f.item->setVisible(false);
    ASSERT_EQ(f.backend->drawn().size(), 6u);
    const StatusItemAppearance& last = f.backend->lastDrawn();
    EXPECT_EQ(last.title, "1 hr, 5 min");
    EXPECT_TRUE(last.dimmed);
    EXPECT_EQ(last.tint, QColor(Qt::red));
    EXPECT_FALSE(last.visible);
    EXPECT_EQ(last.image, square(Qt::black));
    EXPECT_FALSE(f.item->isShownOnScreen());
    f.item->setTint(std::nullopt);
    EXPECT_FALSE(f.backend->lastDrawn().tint.has_value());
}

TEST(StatusItemTest, AnchorPrefersTheTrayGeometryThenThePointerThenTheScreenCorner)
{
    Fixture f;
    f.backend->setGeometry(QRect(900, 0, 24, 24));
    f.item->setCursorPositionSource([] { return QPoint(10, 20); });
    EXPECT_EQ(f.item->anchorRect(), QRect(900, 0, 24, 24));

    // An empty rectangle is what trays answer when they do not know.
    f.backend->setGeometry(QRect());
    EXPECT_EQ(f.item->anchorRect(), QRect(10, 20, 1, 1));

    f.item->setCursorPositionSource([] { return std::nullopt; });
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(f.item->anchorRect(), QRect(screen.right(), screen.top(), 1, 1));
}

TEST(StatusItemTest, ClicksCarryTheButtonAndTheModifiersHeldAtThatMoment)
{
    Fixture f;
    Qt::KeyboardModifiers held = Qt::NoModifier;
    f.item->setModifierSource([&] { return held; });
    QSignalSpy spy(f.item.get(), &StatusItem::clicked);

    f.backend->click(Qt::LeftButton);
    held = Qt::ShiftModifier | Qt::ControlModifier;
    f.backend->click(Qt::RightButton);
    f.backend->click(Qt::MiddleButton);

    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(spy[0][1].value<Qt::KeyboardModifiers>(), Qt::NoModifier);
    EXPECT_EQ(spy[1][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(spy[1][1].value<Qt::KeyboardModifiers>(), Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(spy[2][0].value<Qt::MouseButton>(), Qt::MiddleButton);
}

TEST(StatusItemTest, UnavailableTrayMeansNotShownButTheModelKeepsWorking)
{
    Fixture f;
    f.backend->setAvailable(false);
    f.item->setTitle("5 min");
    EXPECT_FALSE(f.item->isShownOnScreen());
    EXPECT_EQ(f.backend->lastDrawn().title, "5 min");
}

TEST(TrayStatusItemBackendTest, TitleWidensThePictureAndDimmingAndTintChangeItsPixels)
{
    const QColor text(Qt::white);
    StatusItemAppearance iconOnly { square(Qt::black), "", false, std::nullopt, true };
    const QPixmap plain = platform::TrayStatusItemBackend::render(iconOnly, 64, text);
    EXPECT_EQ(plain.size(), QSize(64, 64));
    const QRgb plainCentre = plain.toImage().pixel(32, 32);
    EXPECT_EQ(qAlpha(plainCentre), 255);

    StatusItemAppearance titled = iconOnly;
    titled.title = "12 min";
    EXPECT_GT(platform::TrayStatusItemBackend::render(titled, 64, text).width(), 64 + 20);

    StatusItemAppearance dimmed = iconOnly;
    dimmed.dimmed = true;
    const int dimAlpha
        = qAlpha(platform::TrayStatusItemBackend::render(dimmed, 64, text).toImage().pixel(32, 32));
    EXPECT_LT(dimAlpha, 200);
    EXPECT_GT(dimAlpha, 0);

    StatusItemAppearance tinted = iconOnly;
    tinted.tint = QColor(Qt::red);
    const QColor tintedCentre
        = QColor::fromRgba(platform::TrayStatusItemBackend::render(tinted, 64, text).toImage().pixel(32, 32));
    EXPECT_EQ(tintedCentre.red(), 255);
    EXPECT_EQ(tintedCentre.green(), 0);
    // Transparent parts of the image stay transparent.
    EXPECT_EQ(qAlpha(platform::TrayStatusItemBackend::render(tinted, 64, text).toImage().pixel(2, 2)), 0);
}
