#include "platform/linux/DesktopStatusItemBackend.h"
#include "platform/linux/PanelColourSources.h"
#include "platform/linux/StatusNotifierItemBackend.h"

#include "platform/fake/FakeStatusItemBackend.h"
#include "support/HeldRepliesService.h"
#include "support/PrivateSessionBus.h"
#include "support/StandInStatusNotifierWatcher.h"
#include "support/StatusNotifierSignalLog.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using platform::DesktopStatusItemBackend;
using platform::StatusItemAppearance;
using platform::StatusNotifierIconPixmap;
using platform::StatusNotifierIconPixmaps;
using platform::StatusNotifierItemBackend;
using platform::StatusNotifierToolTip;

namespace {

const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

class StatusNotifierItemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        platform::registerStatusNotifierTypes();
        // The application's icon, shown beside the label when the item has only a title.
        QPixmap icon(32, 32);
        icon.fill(Qt::darkGreen);
        QGuiApplication::setWindowIcon(QIcon(icon));
        item = bus.connect(QStringLiteral("item"));
        host = bus.connect(QStringLiteral("host"));
        ASSERT_TRUE(item.isConnected());
        ASSERT_TRUE(host.isConnected());
    }

    QVariant property(const QString& service, const QString& name)
    {
        return PrivateSessionBus::property(host, service, itemPath, itemInterface, name);
    }
    template <class T> T structured(const QString& service, const QString& name)
    {
        T value;
        property(service, name).value<QDBusArgument>() >> value;
        return value;
    }
    QDBusMessage callItem(const QString& service, const QString& method, const QVariantList& arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, itemPath, itemInterface, method);
        call.setArguments(arguments);
        return PrivateSessionBus::callServing(host, call);
    }
    // Serves events until `done` holds or two seconds have passed.
    static bool serveUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 2000); }
    // A round trip to the item: every signal it sent before is in by the time this returns.
    void settle(const QString& service) { property(service, QStringLiteral("Status")); }

    static StatusItemAppearance titled(const QString& title)
    {
        StatusItemAppearance appearance;
        appearance.title = title;
        appearance.toolTip = "Current session: " + title;
        return appearance;
    }

    PrivateSessionBus bus;
    QDBusConnection item { QString() };
    QDBusConnection host { QString() };
};

} // namespace

TEST_F(StatusNotifierItemTest, RegistersWithTheWatcherAndShowsTheTitleAsTheLabel)
{
    StandInStatusNotifierWatcher watcher(bus.address(), true);
    ASSERT_TRUE(watcher.hasName());
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    EXPECT_TRUE(serveUntil([&] { return backend.isAvailable(); }));
    ASSERT_TRUE(
        serveUntil([&] { return watcher.registeredItems() == QStringList { backend.serviceName() }; }));
    EXPECT_TRUE(backend.serviceName().startsWith(
        QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(QCoreApplication::applicationPid())));

    backend.draw(titled(QStringLiteral("25m")));
    const QString service = backend.serviceName();
    EXPECT_EQ(property(service, QStringLiteral("XAyatanaLabel")).toString(), "25m");
    EXPECT_EQ(property(service, QStringLiteral("XAyatanaLabelGuide")).toString(), "00m");
    EXPECT_EQ(property(service, QStringLiteral("Status")).toString(), "Active");
    EXPECT_EQ(property(service, QStringLiteral("Category")).toString(), "ApplicationStatus");
    EXPECT_FALSE(property(service, QStringLiteral("ItemIsMenu")).toBool());

    const auto toolTip = structured<StatusNotifierToolTip>(service, QStringLiteral("ToolTip"));
    EXPECT_EQ(toolTip.description, "Current session: 25m");

    // The host shows the label: the icon is drawn without the title, at every size.
    const auto pixmaps = structured<StatusNotifierIconPixmaps>(service, QStringLiteral("IconPixmap"));
    ASSERT_EQ(pixmaps.size(), static_cast<qsizetype>(std::size(StatusNotifierItemBackend::iconSizes)));
    for (qsizetype i = 0; i < pixmaps.size(); ++i) {
        EXPECT_EQ(pixmaps[i].height, StatusNotifierItemBackend::iconSizes[i]);
        EXPECT_EQ(pixmaps[i].width, pixmaps[i].height) << "no title drawn in beside the image";
        EXPECT_EQ(pixmaps[i].data.size(), pixmaps[i].width * pixmaps[i].height * 4);
    }

    // A reminder's tint asks for attention.
    StatusItemAppearance tinted;
    tinted.image = QImage(16, 16, QImage::Format_ARGB32_Premultiplied);
    tinted.image.fill(Qt::black);
    tinted.tint = platform::systemPinkColor();
    backend.draw(tinted);
    EXPECT_EQ(property(service, QStringLiteral("Status")).toString(), "NeedsAttention");
    EXPECT_EQ(property(service, QStringLiteral("XAyatanaLabel")).toString(), "");
    const auto attention = structured<StatusNotifierIconPixmaps>(service, QStringLiteral("IconPixmap"));
    ASSERT_FALSE(attention.isEmpty());
    const QImage picture = attention.back().toImage();
    EXPECT_EQ(picture.pixelColor(picture.width() / 2, picture.height() / 2), platform::systemPinkColor());
}

TEST_F(StatusNotifierItemTest, WithoutLabelsTheTitleIsDrawnIntoTheIcon)
{
    StandInStatusNotifierWatcher watcher(bus.address(), true);
    StatusNotifierItemBackend backend(item, { false, QColor(Qt::black), false });
    backend.draw(titled(QStringLiteral("1h 5m")));
    const auto pixmaps
        = structured<StatusNotifierIconPixmaps>(backend.serviceName(), QStringLiteral("IconPixmap"));
    ASSERT_FALSE(pixmaps.isEmpty());
    // The title's ink, in white on the dark panel.
    const QImage picture = pixmaps.back().toImage();
    int light = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            light += pixel.alpha() > 200 && pixel.lightness() > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(light, 20);
    // The label is carried all the same, for hosts that show it after all.
    EXPECT_EQ(property(backend.serviceName(), QStringLiteral("XAyatanaLabel")).toString(), "1h 5m");
}

TEST_F(StatusNotifierItemTest, ChangeSignalsOnlyWhenSomethingChanged)
{
    StandInStatusNotifierWatcher watcher(bus.address(), true);
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    const QString service = backend.serviceName();
    StatusNotifierSignalLog log(host, service);
    settle(service);

    backend.draw(titled(QStringLiteral("9m")));
    backend.draw(titled(QStringLiteral("9m")));
    settle(service);
    EXPECT_EQ(log.count("XAyatanaNewLabel"), 1);
    EXPECT_EQ(log.labels.back(), std::make_pair(QStringLiteral("9m"), QStringLiteral("00m")));

    // A new minute: a new label, the same guide; the icon (the image alone) is unchanged.
    backend.draw(titled(QStringLiteral("10m")));
    settle(service);
    EXPECT_EQ(log.count("XAyatanaNewLabel"), 2);
    EXPECT_EQ(log.labels.back(), std::make_pair(QStringLiteral("10m"), QStringLiteral("00m")));
    EXPECT_EQ(log.count("NewIcon"), 1);
    EXPECT_EQ(log.count("NewStatus"), 0);
    const auto icons = structured<StatusNotifierIconPixmaps>(service, QStringLiteral("IconPixmap"));
    ASSERT_FALSE(icons.isEmpty());
    EXPECT_EQ(icons.back().toImage().pixelColor(8, 8), QColor(Qt::darkGreen)) << "the application's icon";

    StatusItemAppearance dimmed = titled(QStringLiteral("10m"));
    dimmed.dimmed = true;
    backend.draw(dimmed);
    settle(service);
    EXPECT_EQ(log.count("XAyatanaNewLabel"), 2);
    EXPECT_EQ(log.count("NewIcon"), 2);

    StatusItemAppearance hidden = dimmed;
    hidden.visible = false;
    backend.draw(hidden);
    settle(service);
    ASSERT_EQ(log.statuses.size(), 1u);
    EXPECT_EQ(log.statuses.back(), "Passive");
}

TEST_F(StatusNotifierItemTest, TheAttentionIconIsToldOnlyWhileTheItemNeedsAttention)
{
    StandInStatusNotifierWatcher watcher(bus.address(), true);
    // A host without labels: the figure is drawn into the icon, so each minute is a new icon.
    StatusNotifierItemBackend backend(item, { false, QColor(Qt::black), false });
    const QString service = backend.serviceName();
    StatusNotifierSignalLog log(host, service);
    settle(service);

    backend.draw(titled(QStringLiteral("9m")));
    backend.draw(titled(QStringLiteral("10m")));
    settle(service);
    EXPECT_EQ(log.count("NewIcon"), 2);
    EXPECT_EQ(log.count("NewAttentionIcon"), 0) << "a panel asked twice for each minute's figure";

    // The reminder's tint: the item needs attention, and the attention icon is the new picture.
    StatusItemAppearance tinted = titled(QStringLiteral("10m"));
    tinted.tint = QColor(0xFF, 0x2D, 0x55);
    backend.draw(tinted);
    settle(service);
    ASSERT_EQ(log.statuses.size(), 1u);
    EXPECT_EQ(log.statuses.back(), "NeedsAttention");
    EXPECT_EQ(log.count("NewAttentionIcon"), 1);
    const auto status = std::find(log.names.begin(), log.names.end(), QStringLiteral("NewStatus"));
    EXPECT_EQ(std::find(status, log.names.end(), QStringLiteral("NewAttentionIcon")) - status, 1)
        << "told with the status, so that a host showing it reads the present picture";
    const auto attention
        = structured<StatusNotifierIconPixmaps>(service, QStringLiteral("AttentionIconPixmap"));
    EXPECT_EQ(attention, structured<StatusNotifierIconPixmaps>(service, QStringLiteral("IconPixmap")));

    // While it needs attention, a new figure is a new attention icon too.
    tinted.title = QStringLiteral("11m");
    backend.draw(tinted);
    settle(service);
    EXPECT_EQ(log.count("NewAttentionIcon"), 2);

    // Back to normal: the figures no longer tell it, until attention is needed again.
    backend.draw(titled(QStringLiteral("11m")));
    backend.draw(titled(QStringLiteral("12m")));
    settle(service);
    EXPECT_EQ(log.count("NewAttentionIcon"), 2);
    tinted.title = QStringLiteral("12m");
    backend.draw(tinted);
    settle(service);
    EXPECT_EQ(log.count("NewAttentionIcon"), 3);
}

TEST_F(StatusNotifierItemTest, TheHostsClicksArriveWithTheirPositions)
{
    StandInStatusNotifierWatcher watcher(bus.address(), true);
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    std::vector<Qt::MouseButton> clicks;
    backend.setClickHandler([&](Qt::MouseButton button) { clicks.push_back(button); });
    int menuRequests = 0;
    backend.setMenuRequestHandler([&menuRequests] { ++menuRequests; });
    EXPECT_EQ(backend.geometry(), std::nullopt);

    const QString service = backend.serviceName();
    EXPECT_EQ(callItem(service, QStringLiteral("Activate"), { 1200, 12 }).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(backend.geometry(), QRect(1200, 12, 1, 1));
    callItem(service, QStringLiteral("ContextMenu"), { 1180, 14 });
    EXPECT_EQ(backend.geometry(), QRect(1180, 14, 1, 1));
    callItem(service, QStringLiteral("SecondaryActivate"), { 1190, 10 });
    // A host that does not know where the item is says (0, 0): the last known place stays.
    callItem(service, QStringLiteral("Activate"), { 0, 0 });
    EXPECT_EQ(backend.geometry(), QRect(1190, 10, 1, 1));
    // Scrolling is no click.
    callItem(service, QStringLiteral("Scroll"), { 120, QStringLiteral("vertical") });
    // ContextMenu asks for the menu: no click, so no toggle whatever the click settings say.
    EXPECT_EQ(clicks, (std::vector<Qt::MouseButton> { Qt::LeftButton, Qt::MiddleButton, Qt::LeftButton }));
    EXPECT_EQ(menuRequests, 1);
}

TEST_F(StatusNotifierItemTest, APanelRestartRegistersTheItemAgain)
{
    auto watcher = std::make_unique<StandInStatusNotifierWatcher>(bus.address(), true);
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    std::vector<bool> changes;
    QObject::connect(&backend, &StatusNotifierItemBackend::availabilityChanged,
        [&](bool available) { changes.push_back(available); });
    ASSERT_TRUE(serveUntil([&] { return backend.isAvailable(); }));

    watcher.reset();
    ASSERT_TRUE(serveUntil([&] { return !backend.isAvailable(); }));

    watcher = std::make_unique<StandInStatusNotifierWatcher>(bus.address(), false);
    ASSERT_TRUE(
        serveUntil([&] { return watcher->registeredItems() == QStringList { backend.serviceName() }; }));
    // A watcher without a host is no place to be seen.
    settle(backend.serviceName());
    EXPECT_FALSE(backend.isAvailable());
    watcher->setHostRegistered(true);
    ASSERT_TRUE(serveUntil([&] { return backend.isAvailable(); }));
    EXPECT_EQ(changes, (std::vector<bool> { true, false, true }));
}

TEST_F(StatusNotifierItemTest, ThePanelIsLookedAtAgainWhenItsColourCanHaveChangedNotAtEachFigure)
{
    StandInStatusNotifierWatcher watcher(bus.address(), true);
    StatusNotifierItemBackend backend(item, { true, std::nullopt, false });
    platform::PanelSampler& sampler = backend.panelSampler();
    ASSERT_TRUE(serveUntil([&] { return backend.isAvailable(); }));
    EXPECT_FALSE(sampler.isPending()) << "nothing shown yet";

    backend.draw(titled(QStringLiteral("25m")));
    EXPECT_TRUE(sampler.isPending());
    sampler.lookNow();
    backend.draw(titled(QStringLiteral("26m")));
    EXPECT_FALSE(sampler.isPending()) << "the figure of the next minute";
    sampler.lookNow();

    emit platform::DesktopColourScheme::shared().changed();
    EXPECT_TRUE(sampler.isPending()) << "the desktop's colour scheme";
    sampler.lookNow();

    StatusItemAppearance tinted = titled(QStringLiteral("26m"));
    tinted.tint = platform::systemPinkColor();
    backend.draw(tinted);
    EXPECT_TRUE(sampler.isPending()) << "a reminder";
    sampler.lookNow();
    StatusItemAppearance dimmed = titled(QStringLiteral("26m"));
    dimmed.dimmed = true;
    backend.draw(dimmed);
    EXPECT_TRUE(sampler.isPending()) << "the user pausing";
    sampler.lookNow();

    // The host going and registering again: a panel restart, perhaps in other colours.
    watcher.setHostRegistered(false);
    ASSERT_TRUE(serveUntil([&] { return !backend.isAvailable(); }));
    watcher.setHostRegistered(true);
    EXPECT_TRUE(serveUntil([&] { return sampler.isPending(); })) << "a host registered";
    sampler.lookNow();
}

TEST_F(StatusNotifierItemTest, TheDesktopBackendFallsBackToXEmbedAndFollowsTheWatcher)
{
    platform::fake::FakeStatusItemBackend* fallback = nullptr;
    int fallbacksMade = 0;
    DesktopStatusItemBackend backend(item, { true, QColor(Qt::black), false }, [&] {
        auto made = std::make_unique<platform::fake::FakeStatusItemBackend>();
        fallback = made.get();
        ++fallbacksMade;
        return made;
    });
    std::vector<Qt::MouseButton> clicks;
    backend.setClickHandler([&](Qt::MouseButton button) { clicks.push_back(button); });

    // No watcher, once the bus has said so: the XEmbed tray draws the item.
    ASSERT_TRUE(serveUntil([&] { return fallback != nullptr; }));
    ASSERT_FALSE(backend.usesStatusNotifierItem());
    backend.draw(titled(QStringLiteral("5m")));
    EXPECT_EQ(fallback->lastDrawn().title, "5m");
    fallback->click(Qt::RightButton);
    EXPECT_EQ(clicks, std::vector<Qt::MouseButton> { Qt::RightButton });

    // A panel with a host comes up: the item moves there with what it shows, and leaves the tray.
    auto watcher = std::make_unique<StandInStatusNotifierWatcher>(bus.address(), true);
    ASSERT_TRUE(serveUntil([&] { return backend.usesStatusNotifierItem(); }));
    EXPECT_EQ(backend.fallback(), nullptr);
    const QString service = backend.statusNotifierItem().serviceName();
    EXPECT_EQ(property(service, QStringLiteral("XAyatanaLabel")).toString(), "5m");
    callItem(service, QStringLiteral("Activate"), { 10, 20 });
    EXPECT_EQ(clicks, (std::vector<Qt::MouseButton> { Qt::RightButton, Qt::LeftButton }));
    EXPECT_EQ(backend.geometry(), QRect(10, 20, 1, 1));

    // The panel goes: back to the tray, which draws the latest appearance.
    backend.draw(titled(QStringLiteral("6m")));
    watcher.reset();
    ASSERT_TRUE(serveUntil([&] { return !backend.usesStatusNotifierItem(); }));
    EXPECT_EQ(fallbacksMade, 2);
    EXPECT_EQ(fallback->lastDrawn().title, "6m");
}

TEST_F(StatusNotifierItemTest, WhereTheDisplayHasNoOtherTrayTheItemWaitsForAHost)
{
    // As on Wayland, which has no XEmbed tray.
    int fallbacksAsked = 0;
    DesktopStatusItemBackend backend(item, { true, QColor(Qt::black), false }, [&] {
        ++fallbacksAsked;
        return std::unique_ptr<platform::StatusItemBackend>();
    });
    ASSERT_TRUE(serveUntil([&] { return fallbacksAsked == 1; }));
    EXPECT_FALSE(backend.isAvailable());
    EXPECT_TRUE(backend.usesStatusNotifierItem());
    backend.draw(titled(QStringLiteral("5m")));

    // A panel with a host: the item shows there with what it shows now.
    auto watcher = std::make_unique<StandInStatusNotifierWatcher>(bus.address(), true);
    ASSERT_TRUE(serveUntil([&] { return backend.isAvailable(); }));
    const QString service = backend.statusNotifierItem().serviceName();
    EXPECT_EQ(property(service, QStringLiteral("XAyatanaLabel")).toString(), "5m");

    // It goes, and comes back: the item waits again, and shows again.
    watcher.reset();
    ASSERT_TRUE(serveUntil([&] { return !backend.isAvailable(); }));
    EXPECT_EQ(fallbacksAsked, 2);
    backend.draw(titled(QStringLiteral("6m")));
    watcher = std::make_unique<StandInStatusNotifierWatcher>(bus.address(), true);
    ASSERT_TRUE(serveUntil([&] { return backend.isAvailable(); }));
    EXPECT_EQ(
        property(backend.statusNotifierItem().serviceName(), QStringLiteral("XAyatanaLabel")).toString(),
        "6m");
}

TEST_F(StatusNotifierItemTest, AtStartAWatcherWithAHostIsChosen)
{
    {
        // No watcher: nothing to ask, and no place to be seen.
        StatusNotifierItemBackend alone(item, { true, QColor(Qt::black), false });
        ASSERT_TRUE(serveUntil([&] { return !alone.isAskingForHost(); }));
        EXPECT_FALSE(alone.isAvailable());
    }
    {
        StandInStatusNotifierWatcher hostless(bus.address(), false);
        StatusNotifierItemBackend unseen(item, { true, QColor(Qt::black), false });
        ASSERT_TRUE(serveUntil([&] { return !unseen.isAskingForHost(); }));
        EXPECT_FALSE(unseen.isAvailable());
    }
    StandInStatusNotifierWatcher watcher(bus.address(), true);
    int fallbacksMade = 0;
    DesktopStatusItemBackend backend(item, { true, QColor(Qt::black), false }, [&] {
        ++fallbacksMade;
        return std::make_unique<platform::fake::FakeStatusItemBackend>();
    });
    ASSERT_TRUE(serveUntil([&] { return backend.isAvailable(); }));
    EXPECT_TRUE(backend.usesStatusNotifierItem());
    EXPECT_EQ(fallbacksMade, 0);
}

TEST_F(StatusNotifierItemTest, AtStartTheHostIsAskedForWithoutWaitingAndTheChoiceWaitsForTheAnswer)
{
    for (const bool withHost : { true, false }) {
        SCOPED_TRACE(withHost ? "a host" : "no host");
        // A panel slow to answer: the calls are held until the test lets them through.
        HeldRepliesService watcher(bus.connect(withHost ? "slow-with-host" : "slow-without-host"),
            StatusNotifierItemBackend::watcherService, StatusNotifierItemBackend::watcherPath);
        ASSERT_TRUE(watcher.isServing());
        int fallbacksMade = 0;
        DesktopStatusItemBackend backend(item, { true, QColor(Qt::black), false }, [&] {
            ++fallbacksMade;
            return std::make_unique<platform::fake::FakeStatusItemBackend>();
        });
        EXPECT_FALSE(backend.isAvailable());
        ASSERT_TRUE(serveUntil([&] { return watcher.heldCalls().size() == 2; }));
        EXPECT_EQ(watcher.heldCalls()[0].member(), "RegisterStatusNotifierItem");
        EXPECT_EQ(watcher.heldCalls()[1].member(), "Get");
        // Neither the item nor the tray is chosen before the answer.
        EXPECT_FALSE(backend.isAvailable());
        EXPECT_EQ(fallbacksMade, 0);

        watcher.answerOldest({});
        watcher.answerOldestProperty(withHost);
        ASSERT_TRUE(serveUntil([&] { return !backend.statusNotifierItem().isAskingForHost(); }));
        EXPECT_EQ(backend.usesStatusNotifierItem(), withHost);
        EXPECT_EQ(fallbacksMade, withHost ? 0 : 1);
    }
}

TEST_F(StatusNotifierItemTest, AtStartTheBusItselfIsNotWaitedFor)
{
    StandInStatusNotifierWatcher watcher(bus.address(), true);
    ASSERT_TRUE(watcher.hasName());
    int fallbacksMade = 0;
    // A bus that cannot answer while the item is made: its name and the watcher's are asked for
    // then, and the answers come once the bus goes on.
    bus.pause();
    DesktopStatusItemBackend backend(item, { true, QColor(Qt::black), false }, [&] {
        ++fallbacksMade;
        return std::make_unique<platform::fake::FakeStatusItemBackend>();
    });
    const bool choseBeforeTheAnswer = backend.isAvailable() || fallbacksMade > 0;
    const bool askingBeforeTheAnswer = backend.statusNotifierItem().isAskingForHost();
    bus.resume();
    EXPECT_FALSE(choseBeforeTheAnswer);
    EXPECT_TRUE(askingBeforeTheAnswer);

    ASSERT_TRUE(serveUntil([&] { return backend.isAvailable(); }));
    EXPECT_TRUE(backend.usesStatusNotifierItem());
    EXPECT_EQ(fallbacksMade, 0);
    const QString service = backend.statusNotifierItem().serviceName();
    EXPECT_EQ(watcher.registeredItems(), QStringList { service });
    // The name the watcher was given is the item's.
    EXPECT_EQ(property(service, QStringLiteral("Category")).toString(), "ApplicationStatus");
}

TEST(StatusNotifierItemValues, LabelGuidesPixmapsAndLabelHosts)
{
    EXPECT_EQ(StatusNotifierItemBackend::labelGuide("5m"), "00m");
    EXPECT_EQ(StatusNotifierItemBackend::labelGuide("1h 5m"), "00h 00m");
    EXPECT_EQ(StatusNotifierItemBackend::labelGuide("123h"), "000h");
    EXPECT_EQ(StatusNotifierItemBackend::labelGuide(""), "");

    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0x11, 0x22, 0x33, 0x44));
    image.setPixel(1, 0, qRgba(0xff, 0x00, 0x80, 0xff));
    const StatusNotifierIconPixmap pixmap = StatusNotifierIconPixmap::fromImage(image);
    // ARGB in network byte order.
    EXPECT_EQ(pixmap.data.toHex(), "44112233ffff0080");
    EXPECT_EQ(pixmap.toImage(), image);

    EXPECT_TRUE(StatusNotifierItemBackend::hostShowsLabels("ubuntu:GNOME"));
    EXPECT_TRUE(StatusNotifierItemBackend::hostShowsLabels("Budgie:GNOME"));
    EXPECT_TRUE(StatusNotifierItemBackend::hostShowsLabels("X-Cinnamon"));
    EXPECT_FALSE(StatusNotifierItemBackend::hostShowsLabels("KDE"));
    EXPECT_FALSE(StatusNotifierItemBackend::hostShowsLabels(""));
}
