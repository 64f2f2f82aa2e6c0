#include "platform/desktop/StatusItem.h"
#include "platform/desktop/ReduceMotion.h"
#include "platform/fake/FakeStatusItemBackend.h"
#include "platform/linux/TrayStatusItemBackend.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QSignalSpy>
#include <QVariantAnimation>
#include <gtest/gtest.h>

#include <cmath>

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

TEST(StatusItemTest, AnchorPrefersTheTrayGeometryThenThePanelsTrayCornerNeverThePointer)
{
    Fixture f;
    platform::Screens screens;
    // A 28 pixels high panel at the bottom.
    screens.areas.push_back({ QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 772), 1.0 });
    f.item->setScreensSource([&] { return screens; });
    f.backend->setGeometry(QRect(900, 0, 24, 24));
    EXPECT_EQ(f.item->anchorRect(), QRect(900, 0, 24, 24));

    // An empty rectangle is what trays answer when they do not know.
    f.backend->setGeometry(QRect());
    EXPECT_EQ(f.item->anchorRect(), QRect(1252, 772, 28, 28));
    f.backend->setGeometry(std::nullopt);
    EXPECT_EQ(f.item->anchorRect(), QRect(1252, 772, 28, 28));

    // No panel keeps room free: the top right corner of the primary screen.
    screens.areas.front().available = screens.areas.front().geometry;
    EXPECT_EQ(f.item->anchorRect(), QRect(1279, 0, 1, 1));
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
    StatusItemAppearance iconOnly { square(Qt::black), "", false, std::nullopt, true, std::nullopt, {} };
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

    // A picture already in its colours is no template: neither the tint nor the panel's colour
    // changes it.
    StatusItemAppearance coloured = tinted;
    coloured.image.fill(QColor(Qt::blue));
    coloured.isTemplate = false;
    const QColor colouredCentre = QColor::fromRgba(
        platform::TrayStatusItemBackend::render(coloured, 64, text).toImage().pixel(32, 32));
    EXPECT_EQ(colouredCentre.blue(), 255);
    EXPECT_EQ(colouredCentre.red(), 0);
}

namespace {

using platform::TrayStatusItemBackend;

// The first and last rows that hold any visible pixel, or (-1, -1) for an empty picture.
std::pair<int, int> inkRows(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return { first, last };
}

QImage rendered(const StatusItemAppearance& appearance, QPointF offset = {})
{
    return TrayStatusItemBackend::render(appearance, 64, Qt::white, offset).toImage();
}

StatusItemAppearance titled(QString title, std::optional<double> offset = std::nullopt)
{
    StatusItemAppearance appearance;
    appearance.title = std::move(title);
    appearance.titleBaselineOffset = offset;
    return appearance;
}

} // namespace

TEST(StatusItemTest, AnInterceptorTakesOnlyPrimaryClicksUntilItIsRemoved)
{
    Fixture f;
    QSignalSpy spy(f.item.get(), &StatusItem::clicked);
    int intercepted = 0;
    f.item->setClickInterceptor([&](const auto&) { ++intercepted; });

    f.backend->click(Qt::LeftButton);
    EXPECT_EQ(intercepted, 1);
    EXPECT_EQ(spy.count(), 0);
    // The other buttons act on the item as ever.
    f.backend->click(Qt::RightButton);
    f.backend->click(Qt::MiddleButton);
    EXPECT_EQ(intercepted, 1);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(spy[1][0].value<Qt::MouseButton>(), Qt::MiddleButton);

    // The desktop's request for the menu is taken where it is what the panel sends for the primary
    // click (an item that is a menu); elsewhere it is the secondary click's and reaches the item.
    QSignalSpy menuRequests(f.item.get(), &StatusItem::menuRequested);
    f.backend->requestMenu();
    EXPECT_EQ(intercepted, 1);
    EXPECT_EQ(menuRequests.count(), 1);
    f.backend->setMenuRequestIsPrimaryClick(true);
    f.backend->requestMenu();
    EXPECT_EQ(intercepted, 2);
    EXPECT_EQ(menuRequests.count(), 1);

    f.item->setClickInterceptor({});
    f.backend->click(Qt::LeftButton);
    f.backend->requestMenu();
    EXPECT_EQ(spy.count(), 3);
    EXPECT_EQ(menuRequests.count(), 2);
    EXPECT_EQ(intercepted, 2);
}

TEST(StatusItemTest, AnInterceptorMayRemoveItselfAndPassTheClickOrMenuRequestOn)
{
    Fixture f;
    f.item->setModifierSource([] { return Qt::ControlModifier; });
    QSignalSpy spy(f.item.get(), &StatusItem::clicked);
    int calls = 0;
    f.item->setClickInterceptor([&](const std::function<void()>& passOn) {
        ++calls;
        f.item->setClickInterceptor({});
        passOn();
    });

    f.backend->click(Qt::LeftButton);
    EXPECT_EQ(calls, 1);
    // The passed-on click is a plain left click, whatever was held.
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(spy[0][1].value<Qt::KeyboardModifiers>(), Qt::NoModifier);

    // performClick also goes past an interceptor that is still installed.
    f.item->setClickInterceptor([&](const auto&) { ++calls; });
    f.item->performClick();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(spy.count(), 2);

    // An intercepted menu request is passed on as the menu request, not as a click.
    QSignalSpy menuRequests(f.item.get(), &StatusItem::menuRequested);
    f.backend->setMenuRequestIsPrimaryClick(true);
    f.item->setClickInterceptor([&](const std::function<void()>& passOn) { passOn(); });
    f.backend->requestMenu();
    EXPECT_EQ(menuRequests.count(), 1);
    EXPECT_EQ(spy.count(), 2);
}

class StatusItemShakeTest : public ::testing::Test {
protected:
    void SetUp() override { platform::ReduceMotion::setOverrideForTesting(false); }
    void TearDown() override { platform::ReduceMotion::setOverrideForTesting(std::nullopt); }

    // The offset along the shaken axis at `milliseconds` into the shake; the event loop is never
    // run, so only the test moves the animation on.
    double offsetAt(Fixture& f, int milliseconds, bool vertical = true)
    {
        f.item->shakeAnimationForTesting()->setCurrentTime(milliseconds);
        return vertical ? f.item->shakeOffset().y() : f.item->shakeOffset().x();
    }
};

TEST_F(StatusItemShakeTest, OffsetsPassThroughTheKeyFramesInOrderAndEndStill)
{
    Fixture f;
    f.item->shake(0.3, 5.0, true);
    QVariantAnimation* animation = f.item->shakeAnimationForTesting();
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->state(), QAbstractAnimation::Running);
    EXPECT_EQ(animation->duration(), 300);
    EXPECT_DOUBLE_EQ(f.item->shakeOffset().y(), -5.0);
    EXPECT_DOUBLE_EQ(f.item->shakeOffset().x(), 0.0);

    // Turning points of the path, in the order reached.
    std::vector<double> turns { offsetAt(f, 0) };
    double previous = turns.front();
    double direction = 0;
    for (int ms = 1; ms < 300; ++ms) {
        const double value = offsetAt(f, ms);
        const double step = value - previous;
        if (step != 0 && direction != 0 && (step > 0) != (direction > 0)) {
            turns.push_back(previous);
        }
        if (step != 0) {
            direction = step;
        }
        previous = value;
    }
    ASSERT_EQ(turns.size(), 4u);
    EXPECT_NEAR(turns[0], -5.0, 1e-9);
    EXPECT_NEAR(turns[1], 5.0, 0.05);
    EXPECT_NEAR(turns[2], -2.5, 0.05);
    EXPECT_NEAR(turns[3], 2.5, 0.05);
    // Eased in and out over the whole shake: half-way in time is half-way through the frames, and
    // the start is slow.
    EXPECT_NEAR(offsetAt(f, 150), -2.5, 1e-6);
    EXPECT_LT(offsetAt(f, 10), -4.8);

    offsetAt(f, 300);
    EXPECT_EQ(animation->state(), QAbstractAnimation::Stopped);
    EXPECT_EQ(f.item->shakeOffset(), QPointF());
    EXPECT_EQ(f.backend->contentOffset(), QPointF());
    // The shake moves the picture only: the appearance was never redrawn.
    EXPECT_EQ(f.backend->drawn().size(), 1u);
}

TEST_F(StatusItemShakeTest, HorizontalShakesMoveAlongXAndASecondShakeStartsOver)
{
    Fixture f;
    f.item->shake(0.4, 3.0, false);
    EXPECT_DOUBLE_EQ(offsetAt(f, 200, false), -1.5);
    EXPECT_DOUBLE_EQ(f.item->shakeOffset().y(), 0.0);

    f.item->shake(0.3, 5.0, true);
    QVariantAnimation* animation = f.item->shakeAnimationForTesting();
    EXPECT_EQ(animation->currentTime(), 0);
    EXPECT_EQ(animation->duration(), 300);
    EXPECT_EQ(f.item->shakeOffset(), QPointF(0, -5.0));
    EXPECT_DOUBLE_EQ(offsetAt(f, 150), -2.5);
    EXPECT_DOUBLE_EQ(f.item->shakeOffset().x(), 0.0);
}

TEST_F(StatusItemShakeTest, ReducedMotionAndNonsenseArgumentsLeaveThePictureStill)
{
    Fixture f;
    platform::ReduceMotion::setOverrideForTesting(true);
    f.item->shake(0.3, 5.0, true);
    EXPECT_EQ(f.item->shakeAnimationForTesting(), nullptr);
    EXPECT_TRUE(f.backend->contentOffsets().empty());

    platform::ReduceMotion::setOverrideForTesting(false);
    f.item->shake(std::nan(""), 5.0, true);
    f.item->shake(0.0, 5.0, true);
    f.item->shake(0.3, INFINITY, true);
    EXPECT_TRUE(f.backend->contentOffsets().empty());
    EXPECT_EQ(f.item->shakeOffset(), QPointF());
}

TEST(StatusItemTest, TheTitlesBaselineOffsetIsPartOfWhatIsShown)
{
    Fixture f;
    f.item->setTitle("12 min", 1.5);
    f.item->setTitle("12 min", 1.5);
    ASSERT_EQ(f.backend->drawn().size(), 2u);
    EXPECT_EQ(f.backend->lastDrawn().titleBaselineOffset, 1.5);

    f.item->setTitle("13 min");
    EXPECT_EQ(f.backend->lastDrawn().titleBaselineOffset, 1.5);
    f.item->setTitle("13 min", std::nullopt);
    EXPECT_FALSE(f.backend->lastDrawn().titleBaselineOffset.has_value());
    EXPECT_EQ(f.backend->drawn().size(), 4u);

    EXPECT_NE(titled("5 min", 0.0), titled("5 min"));
    EXPECT_NE(titled("5 min", 1.0), titled("5 min", -1.0));
    EXPECT_EQ(titled("5 min", 1.0), titled("5 min", 1.0));
}

TEST(TrayStatusItemBackendTest, ABaselineOffsetLiftsTheTitleAndAShakeMovesEverything)
{
    const double pixelsPerPoint = 64 / TrayStatusItemBackend::barHeightInPoints;
    const QImage plain = rendered(titled("12 min"));
    const QImage lifted = rendered(titled("12 min", 1.0));
    const QImage lowered = rendered(titled("12 min", -1.0));
    EXPECT_NE(plain, lifted);
    const auto [plainTop, plainBottom] = inkRows(plain);
    ASSERT_GE(plainTop, 0);
    // Moved by the offset and whole: its middle moves, and no row of it is cut off at the edge.
    const auto middle = [](std::pair<int, int> rows) { return (rows.first + rows.second) / 2.0; };
    EXPECT_NEAR(middle(inkRows(lifted)), middle(inkRows(plain)) - 1.0 * pixelsPerPoint, 1.0);
    EXPECT_NEAR(middle(inkRows(lowered)), middle(inkRows(plain)) + 1.0 * pixelsPerPoint, 1.0);
    for (const double offset : { 2.0, -2.0 }) {
        const auto [top, bottom] = inkRows(rendered(titled("12 min", offset)));
        EXPECT_GT(top, 0) << offset;
        EXPECT_LT(bottom, 63) << offset;
    }

    const QImage shaken = rendered(titled("12 min"), QPointF(0, 1.5));
    EXPECT_NEAR(inkRows(shaken).first, plainTop + 1.5 * pixelsPerPoint, 1.0);
}

TEST(TrayStatusItemBackendTest, DurationsAreFittedLargeIntoTheSquare)
{
    for (const QString& title : { QStringLiteral("5m"), QStringLiteral("1h 5m"), QStringLiteral("1d 23h"),
             QStringLiteral("12m"), QStringLiteral("1 hr, 5 min") }) {
        const QImage picture = rendered(titled(title));
        EXPECT_EQ(picture.size(), QSize(64, 64)) << title.toStdString();
        const auto [top, bottom] = inkRows(picture);
        // A title as tall as the picture allows: a third of it at least, on any number of lines.
        EXPECT_GE(bottom - top, 64 / 3) << title.toStdString();
        EXPECT_GE(top, 0) << title.toStdString();
    }
    // The figures change, the size of the picture does not.
    EXPECT_EQ(rendered(titled("11 min")).size(), rendered(titled("58 min")).size());
}

TEST(TrayStatusItemBackendTest, TheImageIsATemplateInTheTextColourWithAHaloForContrast)
{
    StatusItemAppearance appearance;
    appearance.image = square(Qt::black);
    const QImage onDark = rendered(appearance);
    const QColor centre = onDark.pixelColor(32, 32);
    EXPECT_EQ(centre, QColor(Qt::white));
    // Around the glyph, a dark rim: the first visible pixel from the left is dark.
    const int edge = [&] {
        for (int x = 0; x < 64; ++x) {
            if (onDark.pixelColor(x, 32).alpha() > 0) {
                return x;
            }
        }
        return -1;
    }();
    ASSERT_GE(edge, 0);
    EXPECT_LT(onDark.pixelColor(edge, 32).lightness(), 60);

    appearance.tint = platform::systemPinkColor();
    EXPECT_EQ(rendered(appearance).pixelColor(32, 32), QColor(0xFF, 0x2D, 0x55));
}

TEST(TrayStatusItemBackendTest, TheTooltipSaysWhatTheFigureIsElseShowsTheTitle)
{
    TrayStatusItemBackend backend;
    backend.draw(titled("1h 5m", 2.0));
    EXPECT_EQ(backend.toolTip(), "1h 5m");
    StatusItemAppearance described = titled("1h 5m");
    described.toolTip = "Today: 1 hour, 5 minutes";
    backend.draw(described);
    EXPECT_EQ(backend.toolTip(), "Today: 1 hour, 5 minutes");
}

// Sets the application palette's window colour for the life of the object.
class PanelPalette {
public:
    explicit PanelPalette(QColor window)
        : m_saved(QGuiApplication::palette())
    {
        QPalette palette = m_saved;
        palette.setColor(QPalette::Window, window);
        // A theme whose text colour does not contrast with its panels: the drawing must not follow it.
        palette.setColor(QPalette::WindowText, window.darker(150));
        QGuiApplication::setPalette(palette);
    }
    ~PanelPalette() { QGuiApplication::setPalette(m_saved); }

private:
    QPalette m_saved;
};

TEST(PanelColoursTest, TheTitleContrastsWithThePanelNeverBlackOnDark)
{
    EXPECT_EQ(platform::contrastingColor(QColor(0x20, 0x20, 0x24)), QColor(Qt::white));
    EXPECT_EQ(platform::contrastingColor(QColor(0x3c, 0x3c, 0x3c)), QColor(Qt::white));
    EXPECT_EQ(platform::contrastingColor(QColor(0xf0, 0xf0, 0xf0)), QColor(Qt::black));
    EXPECT_EQ(platform::contrastingColor(QColor(0xff, 0xd7, 0x00)), QColor(Qt::black)); // a yellow panel
    EXPECT_EQ(platform::contrastingColor(QColor(0x00, 0x33, 0x99)), QColor(Qt::white)); // a blue one

    {
        PanelPalette dark(QColor(0x2a, 0x2a, 0x2e));
        // The application's own palette says nothing of the panel's colour.
        EXPECT_EQ(platform::panelTextColor(), std::nullopt);
        // The panel's own colour, where it is known, counts over the palette.
        EXPECT_EQ(platform::panelTextColor(
                      platform::PanelColours { std::nullopt, QColor(Qt::white), std::nullopt }),
            QColor(Qt::black));

        TrayStatusItemBackend backend;
        StatusItemAppearance appearance;
        appearance.image = square(Qt::black);
        backend.draw(appearance);
        // The template image is drawn light, on a plate that reads on any panel.
        const QImage shown = backend.picture().toImage();
        EXPECT_GT(shown.pixelColor(shown.width() / 2, shown.height() / 2).lightness(), 200);
    }
    {
        PanelPalette light(QColor(0xee, 0xee, 0xee));
        EXPECT_EQ(platform::panelTextColor(), std::nullopt);

        // The panel seen under the icon is what counts: where the icon's own picture leaves it
        // empty, even with a column beside the panel among the screen's pixels (the icon's rectangle
        // in points a pixel off the panel's at a scale of one and a half).
        QImage shown(22, 22, QImage::Format_ARGB32_Premultiplied);
        shown.fill(Qt::transparent);
        QPainter(&shown).fillRect(QRect(2, 4, 18, 14), Qt::white);
        for (const QColor& panel : { QColor(0x20, 0x20, 0x20), QColor(0xd6, 0xd6, 0xd6) }) {
            QImage underTheIcon(22, 22, QImage::Format_RGB32);
            underTheIcon.fill(panel);
            QPainter painter(&underTheIcon);
            painter.fillRect(QRect(3, 4, 18, 14), Qt::white); // the icon itself
            painter.fillRect(QRect(0, 0, 1, 22), Qt::black); // the root window beside the panel
            painter.end();
            const auto seen = TrayStatusItemBackend::backgroundOf(underTheIcon, shown);
            ASSERT_TRUE(seen.has_value());
            EXPECT_EQ(seen->rgb(), panel.rgb());
            EXPECT_EQ(platform::panelTextColor(platform::PanelColours { std::nullopt, seen, std::nullopt }),
                platform::contrastingColor(panel));
        }
        QImage underTheIcon(22, 22, QImage::Format_RGB32);
        underTheIcon.fill(Qt::gray);
        // A picture that covers the whole icon leaves nothing to see.
        QImage covering(22, 22, QImage::Format_ARGB32_Premultiplied);
        covering.fill(Qt::white);
        EXPECT_EQ(TrayStatusItemBackend::backgroundOf(underTheIcon, covering), std::nullopt);
    }
}

TEST(PanelColoursTest, ThePanelsOwnWordCountsBeforeTheSchemeAndTheApplicationsPalette)
{
    const QColor darkPanel(0x26, 0x26, 0x26);
    const QColor lightPanel(0xe8, 0xe8, 0xe7);
    const QColor xfceLightText(0xee, 0xee, 0xec);
    const QColor xfceDarkText(0x2e, 0x34, 0x36);

    // Kiruvo in a dark scheme on a light panel, and the other way round: the panel decides.
    PanelPalette dark(QColor(0x2a, 0x2a, 0x2e));
    EXPECT_EQ(platform::panelTextColor(platform::PanelColours { std::nullopt, lightPanel, std::nullopt }),
        QColor(Qt::black));
    EXPECT_EQ(platform::panelTextColor(platform::PanelColours { std::nullopt, std::nullopt, lightPanel }),
        QColor(Qt::black));
    {
        PanelPalette light(QColor(0xee, 0xee, 0xee));
        EXPECT_EQ(platform::panelTextColor(platform::PanelColours { std::nullopt, darkPanel, std::nullopt }),
            QColor(Qt::white));
        EXPECT_EQ(platform::panelTextColor(platform::PanelColours { std::nullopt, std::nullopt, darkPanel }),
            QColor(Qt::white));
        // The tray's own foreground, as it names it.
        EXPECT_EQ(
            platform::panelTextColor(platform::PanelColours { xfceLightText, std::nullopt, std::nullopt }),
            xfceLightText);
        EXPECT_EQ(platform::panelTextColor(platform::PanelColours { xfceLightText, darkPanel, std::nullopt }),
            xfceLightText);
        // A tray that names dark text on a panel given a dark colour: readable wins.
        EXPECT_EQ(platform::panelTextColor(platform::PanelColours { xfceDarkText, darkPanel, std::nullopt }),
            QColor(Qt::white));
        // What the screen shows counts over the scheme's guess.
        EXPECT_EQ(platform::panelTextColor(platform::PanelColours { std::nullopt, lightPanel, darkPanel }),
            QColor(Qt::black));
        // The bar's configured colours (sway's) count over the screen's pixels, which are
        // Xwayland's, not the bar's; its own text colour where that reads on it.
        EXPECT_EQ(platform::panelTextColor(platform::PanelColours {
                      std::nullopt, lightPanel, lightPanel, darkPanel, xfceLightText }),
            xfceLightText);
        EXPECT_EQ(platform::panelTextColor(platform::PanelColours {
                      std::nullopt, std::nullopt, std::nullopt, darkPanel, xfceDarkText }),
            QColor(Qt::white));
    }
    EXPECT_NEAR(platform::contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(platform::contrastRatio(xfceDarkText, darkPanel), 1.2, 0.1);
}
