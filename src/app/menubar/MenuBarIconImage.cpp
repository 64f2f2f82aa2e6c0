#include "app/menubar/MenuBarIconImage.h"

#include "platform/Logger.h"
#include "platform/desktop/MaterialDesignIcons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>

#include <cmath>

namespace kiruvo {

std::optional<std::string_view> materialDesignIconName(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::heart:
        return "heart";
    case MenuBarIcon::leaf:
        return "leaf";
    case MenuBarIcon::flower:
        return "flower";
    case MenuBarIcon::bell:
        return "bell";
    case MenuBarIcon::clock:
        return "clock";
    case MenuBarIcon::alarm:
        return "alarm";
    case MenuBarIcon::stopwatch:
        return "timer";
    case MenuBarIcon::hourglass:
        return "timer-sand";
    case MenuBarIcon::circle:
        return "checkbox-blank-circle";
    case MenuBarIcon::hexagonCircle:
        return "hexagon";
    case MenuBarIcon::seal:
        return "seal";
    case MenuBarIcon::star:
        return "star";
    case MenuBarIcon::faceSmiling:
        return "emoticon";
    case MenuBarIcon::crown:
        return "crown";
    case MenuBarIcon::pawprint:
        return "paw";
    case MenuBarIcon::eyes:
        return "eye";
    // The font has no heart in a circle, no desk clock, only a gem for the diamond, a tilted pill
    // for the capsule, and no burst, sparkles, hare, tortoise or mustache: these are drawn as our
    // own pictures, as are the kittens.
    case MenuBarIcon::heartCircle:
    case MenuBarIcon::deskClock:
    case MenuBarIcon::diamond:
    case MenuBarIcon::capsule:
    case MenuBarIcon::burst:
    case MenuBarIcon::sparkles:
    case MenuBarIcon::hare:
    case MenuBarIcon::tortoise:
    case MenuBarIcon::mustache:
    case MenuBarIcon::kitten1:
    case MenuBarIcon::kitten2:
    case MenuBarIcon::kitten3:
    case MenuBarIcon::kitten4:
        return std::nullopt;
    }
    return std::nullopt;
}

QString imageResourcePath(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::heartCircle:
        return QStringLiteral(":/images/heart-circle.svg");
    case MenuBarIcon::deskClock:
        return QStringLiteral(":/images/deskclock.svg");
    case MenuBarIcon::diamond:
        return QStringLiteral(":/images/diamond.svg");
    case MenuBarIcon::capsule:
        return QStringLiteral(":/images/capsule.svg");
    case MenuBarIcon::burst:
        return QStringLiteral(":/images/burst.svg");
    case MenuBarIcon::sparkles:
        return QStringLiteral(":/images/sparkles.svg");
    case MenuBarIcon::hare:
        return QStringLiteral(":/images/hare.svg");
    case MenuBarIcon::tortoise:
        return QStringLiteral(":/images/tortoise.svg");
    case MenuBarIcon::mustache:
        return QStringLiteral(":/images/mustache.svg");
    case MenuBarIcon::kitten1:
    case MenuBarIcon::kitten2:
    case MenuBarIcon::kitten3:
    case MenuBarIcon::kitten4:
        return QStringLiteral(":/images/%1.svg").arg(QString::fromUtf8(systemImageName(value).data()));
    default:
        return {};
    }
}

namespace {

constexpr const char* heartResource = ":/images/heart.svg";

qreal primaryScreenRatio()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen != nullptr ? screen->devicePixelRatio() : 1.0;
    return std::isfinite(ratio) && ratio > 0 ? ratio : 1.0;
}

QImage blankSquare(int side, qreal ratio)
{
    const int pixels = static_cast<int>(std::ceil(side * ratio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

// A picture of ours in a square of `side` points. A picture that cannot be read is a build fault;
// a plain dot stands in so that the status item never goes blank.
QImage renderPicture(const QString& path, int side, qreal ratio)
{
    QImage image = blankSquare(side, ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QSvgRenderer renderer(path);
    if (renderer.isValid()) {
        renderer.render(&painter, QRectF(0, 0, side, side));
        return image;
    }
    static bool told = false;
    if (!told) {
        told = true;
        platform::log(platform::LogLevel::Error, platform::lcTray(),
            "The picture " + path.toStdString() + " is missing.");
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(side * 0.2, side * 0.2, side * 0.6, side * 0.6));
    return image;
}

} // namespace

QImage image(MenuBarIcon value)
{
    const qreal ratio = primaryScreenRatio();
    if (const auto side = applicationImageSize(value)) {
        return renderPicture(imageResourcePath(value), *side, ratio);
    }
    if (const auto glyph = materialDesignIconName(value)) {
        QImage drawn = platform::MaterialDesignIcons::render(*glyph, symbolImageSize, ratio, Qt::black);
        if (!drawn.isNull()) {
            return drawn;
        }
        return renderPicture(QString::fromUtf8(heartResource), symbolImageSize, ratio);
    }
    return renderPicture(imageResourcePath(value), symbolImageSize, ratio);
}

} // namespace kiruvo
