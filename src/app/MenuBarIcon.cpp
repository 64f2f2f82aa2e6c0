#include "app/MenuBarIcon.h"

#include "platform/Logger.h"
#include "platform/MaterialDesignIcons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>

#include <cmath>

namespace kiruvo {

std::string_view rawValue(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::heart:
        return "heart";
    case MenuBarIcon::heartCircle:
        return "heartCircle";
    case MenuBarIcon::leaf:
        return "leaf";
    case MenuBarIcon::flower:
        return "flower";
    case MenuBarIcon::bell:
        return "bell";
    case MenuBarIcon::clock:
        return "clock";
    case MenuBarIcon::deskClock:
        return "deskClock";
    case MenuBarIcon::alarm:
        return "alarm";
    case MenuBarIcon::stopwatch:
        return "stopwatch";
    case MenuBarIcon::hourglass:
        return "hourglass";
    case MenuBarIcon::circle:
        return "circle";
    case MenuBarIcon::diamond:
        return "diamond";
    case MenuBarIcon::capsule:
        return "capsule";
    case MenuBarIcon::hexagonCircle:
        return "hexagonCircle";
    case MenuBarIcon::seal:
        return "seal";
    case MenuBarIcon::star:
        return "star";
    case MenuBarIcon::burst:
        return "burst";
    case MenuBarIcon::sparkles:
        return "sparkles";
    case MenuBarIcon::faceSmiling:
        return "faceSmiling";
    case MenuBarIcon::crown:
        return "crown";
    case MenuBarIcon::hare:
        return "hare";
    case MenuBarIcon::tortoise:
        return "tortoise";
    case MenuBarIcon::kitten1:
        return "kitten1";
    case MenuBarIcon::kitten2:
        return "kitten2";
    case MenuBarIcon::kitten3:
        return "kitten3";
    case MenuBarIcon::kitten4:
        return "kitten4";
    case MenuBarIcon::pawprint:
        return "pawprint";
    case MenuBarIcon::eyes:
        return "eyes";
    case MenuBarIcon::mustache:
        return "mustache";
    }
    return "heart";
}

std::string_view title(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::heart:
        return "Heart";
    case MenuBarIcon::heartCircle:
        return "Heart in circle";
    case MenuBarIcon::leaf:
        return "Leaf";
    case MenuBarIcon::flower:
        return "Flower";
    case MenuBarIcon::bell:
        return "Bell";
    case MenuBarIcon::clock:
        return "Clock";
    case MenuBarIcon::deskClock:
        return "Desk clock";
    case MenuBarIcon::alarm:
        return "Alarm";
    case MenuBarIcon::stopwatch:
        return "Stopwatch";
    case MenuBarIcon::hourglass:
        return "Hourglass";
    case MenuBarIcon::circle:
        return "Circle";
    case MenuBarIcon::diamond:
        return "Diamond";
    case MenuBarIcon::capsule:
        return "Capsule";
    case MenuBarIcon::hexagonCircle:
        return "Hexagon circle";
    case MenuBarIcon::seal:
        return "Seal";
    case MenuBarIcon::star:
        return "Star";
    case MenuBarIcon::burst:
        return "Burst";
    case MenuBarIcon::sparkles:
        return "Sparkles";
    case MenuBarIcon::faceSmiling:
        return "Smile";
    case MenuBarIcon::crown:
        return "Crown";
    case MenuBarIcon::hare:
        return "Hare";
    case MenuBarIcon::tortoise:
        return "Tortoise";
    case MenuBarIcon::kitten1:
        return "Kitten 1";
    case MenuBarIcon::kitten2:
        return "Kitten 2";
    case MenuBarIcon::kitten3:
        return "Kitten 3";
    case MenuBarIcon::kitten4:
        return "Kitten 4";
    case MenuBarIcon::pawprint:
        return "Pawprint";
    case MenuBarIcon::eyes:
        return "Eyes";
    case MenuBarIcon::mustache:
        return "Mustache";
    }
    return "Heart";
}

std::string_view systemImageName(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::heart:
        return "heart.fill";
    case MenuBarIcon::heartCircle:
        return "heart.circle.fill";
    case MenuBarIcon::leaf:
        return "leaf.fill";
    case MenuBarIcon::flower:
        return "camera.macro";
    case MenuBarIcon::bell:
        return "bell.fill";
    case MenuBarIcon::clock:
        return "clock.fill";
    case MenuBarIcon::deskClock:
        return "deskclock.fill";
    case MenuBarIcon::alarm:
        return "alarm.fill";
    case MenuBarIcon::stopwatch:
        return "stopwatch.fill";
    case MenuBarIcon::hourglass:
        return "hourglass";
    case MenuBarIcon::circle:
        return "circle.fill";
    case MenuBarIcon::diamond:
        return "diamond.fill";
    case MenuBarIcon::capsule:
        return "capsule.fill";
    case MenuBarIcon::hexagonCircle:
        return "circle.hexagonpath.fill";
    case MenuBarIcon::seal:
        return "seal.fill";
    case MenuBarIcon::star:
        return "star.fill";
    case MenuBarIcon::burst:
        return "burst.fill";
    case MenuBarIcon::sparkles:
        return "sparkles";
    case MenuBarIcon::faceSmiling:
        return "face.smiling.fill";
    case MenuBarIcon::crown:
        return "crown.fill";
    case MenuBarIcon::hare:
        return "hare.fill";
    case MenuBarIcon::tortoise:
        return "tortoise.fill";
    case MenuBarIcon::kitten1:
        return "kitten1";
    case MenuBarIcon::kitten2:
        return "kitten2";
    case MenuBarIcon::kitten3:
        return "kitten3";
    case MenuBarIcon::kitten4:
        return "kitten4";
    case MenuBarIcon::pawprint:
        return "pawprint.fill";
    case MenuBarIcon::eyes:
        return "eyes.inverse";
    case MenuBarIcon::mustache:
        return "mustache.fill";
    }
    return "heart.fill";
}

std::optional<int> applicationImageSize(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::kitten1:
        return 16;
    case MenuBarIcon::kitten2:
        return 22;
    case MenuBarIcon::kitten3:
        return 20;
    case MenuBarIcon::kitten4:
        return 18;
    default:
        return std::nullopt;
    }
}

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
        platform::log(
            platform::LogLevel::Error, "Icons", "The picture " + path.toStdString() + " is missing.");
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
