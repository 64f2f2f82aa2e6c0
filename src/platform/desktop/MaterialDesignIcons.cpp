#include "platform/desktop/MaterialDesignIcons.h"

#include "platform/Logger.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QRegularExpression>

#include <cmath>
#include <set>

namespace platform {

namespace {

struct State {
    QString fontPath = QString::fromUtf8(MaterialDesignIcons::defaultFontPath);
    QString styleSheetPath = QString::fromUtf8(MaterialDesignIcons::defaultStyleSheetPath);

    bool fontTried = false;
    std::optional<QString> family;
    bool styleSheetTried = false;
    std::map<std::string, char32_t, std::less<>> glyphs;

    bool toldFont = false;
    bool toldStyleSheet = false;
    std::set<std::string, std::less<>> toldNames;
};

State& state()
{
    static State instance;
    return instance;
}

const std::optional<QString>& family()
{
    State& s = state();
    if (!s.fontTried) {
        s.fontTried = true;
        const int id = QFontDatabase::addApplicationFont(s.fontPath);
        const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty()) {
            s.family = families.front();
        }
    }
    if (!s.family && !s.toldFont) {
        s.toldFont = true;
        log(LogLevel::Warning, "Icons",
            "The Material Design Icons font could not be loaded from " + s.fontPath.toStdString()
                + " (package fonts-materialdesignicons-webfont); the status item uses its own heart "
                  "instead.");
    }
    return s.family;
}

const std::map<std::string, char32_t, std::less<>>& glyphs()
{
    State& s = state();
    if (!s.styleSheetTried) {
        s.styleSheetTried = true;
        QFile file(s.styleSheetPath);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray text = file.readAll();
            s.glyphs = MaterialDesignIcons::parseStyleSheet(std::string_view(text.constData(), text.size()));
        }
        if (s.glyphs.empty() && !s.toldStyleSheet) {
            s.toldStyleSheet = true;
            log(LogLevel::Warning, "Icons",
                "The Material Design Icons style sheet " + s.styleSheetPath.toStdString()
                    + " could not be read or names no icons; the status item uses its own heart instead.");
        }
    }
    return s.glyphs;
}

void tellMissingOnce(std::string_view name, std::string_view why)
{
    State& s = state();
    if (s.toldNames.find(name) != s.toldNames.end()) {
        return;
    }
    s.toldNames.emplace(name);
    log(LogLevel::Warning, "Icons", "The icon \"" + std::string(name) + "\" " + std::string(why) + ".");
}

} // namespace

std::map<std::string, char32_t, std::less<>> MaterialDesignIcons::parseStyleSheet(std::string_view text)
{
    // .mdi-heart:before {
    //   content: "\F2D1";
    // }
    static const QRegularExpression rule(QStringLiteral(
        R"(\.mdi-([a-z0-9]+(?:-[a-z0-9]+)*):before\s*\{\s*content:\s*(["'])\\([0-9A-Fa-f]{1,6})\2\s*;?\s*\})"));
    std::map<std::string, char32_t, std::less<>> result;
    const QString sheet = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    for (auto match = rule.globalMatch(sheet); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        bool ok = false;
        const uint value = found.captured(3).toUInt(&ok, 16);
        const bool scalar = ok && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF) && value != 0;
        if (scalar) {
            result.emplace(found.captured(1).toStdString(), static_cast<char32_t>(value));
        }
    }
    return result;
}

std::optional<char32_t> MaterialDesignIcons::codePoint(std::string_view name)
{
    const auto& table = glyphs();
    if (const auto found = table.find(name); found != table.end()) {
        return found->second;
    }
    return std::nullopt;
}

bool MaterialDesignIcons::isAvailable()
{
    return family().has_value() && !glyphs().empty();
}

QImage MaterialDesignIcons::render(
    std::string_view name, int pixelSize, qreal devicePixelRatio, const QColor& color)
{
    const auto& fontFamily = family();
    if (!fontFamily) {
        return {};
    }
    const auto glyph = codePoint(name);
    if (!glyph) {
        tellMissingOnce(name, "is not in the Material Design Icons style sheet");
        return {};
    }
    if (pixelSize <= 0 || !std::isfinite(devicePixelRatio) || devicePixelRatio <= 0) {
        return {};
    }

    QFont font(*fontFamily);
    font.setPixelSize(pixelSize);
    // Another font's glyph for a missing one would be some random picture.
    font.setStyleStrategy(QFont::NoFontMerging);
    if (!QFontMetricsF(font).inFontUcs4(*glyph)) {
        tellMissingOnce(name, "has no glyph in the Material Design Icons font");
        return {};
    }

    const int side = static_cast<int>(std::ceil(pixelSize * devicePixelRatio));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(color);
    const char32_t text[] = { *glyph };
    painter.drawText(QRectF(0, 0, pixelSize, pixelSize), Qt::AlignCenter, QString::fromUcs4(text, 1));
    return image;
}

void MaterialDesignIcons::setPathsForTesting(const QString& fontPath, const QString& styleSheetPath)
{
    State& s = state();
    s = State {};
    if (!fontPath.isEmpty()) {
        s.fontPath = fontPath;
    }
    if (!styleSheetPath.isEmpty()) {
        s.styleSheetPath = styleSheetPath;
    }
}

} // namespace platform
