#include "platform/desktop/MaterialDesignIcons.h"

#include "platform/Logger.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>
#include <set>

namespace platform {

namespace {

struct State {
    QString fontPath = QString::fromUtf8(MaterialDesignIcons::defaultFontPath);
    QString styleSheetPath = QString::fromUtf8(MaterialDesignIcons::defaultStyleSheetPath);

    bool fontTried = false;
    std::optional<QString> family;
    // Whether the style sheet names any icon, once it has been read.
    std::optional<bool> styleSheetNamesIcons;
    // The names asked for so far and their glyphs: a handful, where the sheet names thousands.
    std::map<std::string, std::optional<char32_t>, std::less<>> askedGlyphs;

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
        log(LogLevel::Warning, lcTray(),
            "The Material Design Icons font could not be loaded from " + s.fontPath.toStdString()
                + " (package fonts-materialdesignicons-webfont); the status item uses its own heart "
                  "instead.");
    }
    return s.family;
}

// Every glyph the style sheet names; read when needed and not kept.
std::map<std::string, char32_t, std::less<>> readGlyphs()
{
    State& s = state();
    std::map<std::string, char32_t, std::less<>> glyphs;
    QFile file(s.styleSheetPath);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll();
        glyphs = MaterialDesignIcons::parseStyleSheet(std::string_view(text.constData(), text.size()));
    }
    s.styleSheetNamesIcons = !glyphs.empty();
    if (glyphs.empty() && !s.toldStyleSheet) {
        s.toldStyleSheet = true;
        log(LogLevel::Warning, lcTray(),
            "The Material Design Icons style sheet " + s.styleSheetPath.toStdString()
                + " could not be read or names no icons; the status item uses its own heart instead.");
    }
    return glyphs;
}

bool styleSheetNamesIcons()
{
    State& s = state();
    if (!s.styleSheetNamesIcons) {
        readGlyphs();
    }
    return *s.styleSheetNamesIcons;
}

// A cursor over a style sheet's text.
struct StyleSheetReader {
    std::string_view text;
    std::size_t position = 0;

    char next() { return position < text.size() ? text[position++] : '\0'; }

    bool take(std::string_view expected)
    {
        if (text.substr(position, expected.size()) != expected) {
            return false;
        }
        position += expected.size();
        return true;
    }

    void skipSpace()
    {
        const auto isSpace = [](char c) {
            return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
        };
        while (position < text.size() && isSpace(text[position])) {
            ++position;
        }
    }

    // Lowercase letters and digits in words joined by single hyphens ("timer-10").
    std::string_view iconName()
    {
        const auto isWordCharacter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
        const std::size_t start = position;
        std::size_t end = position;
        while (true) {
            std::size_t word = end;
            while (word < text.size() && isWordCharacter(text[word])) {
                ++word;
            }
            if (word == end) {
                break;
            }
            end = word;
            if (end + 1 < text.size() && text[end] == '-' && isWordCharacter(text[end + 1])) {
                ++end;
                continue;
            }
            break;
        }
        position = end;
        return text.substr(start, end - start);
    }

    // One to `maximumDigits` hexadecimal digits.
    std::optional<char32_t> hexNumber(int maximumDigits)
    {
        char32_t value = 0;
        int digits = 0;
        for (; digits < maximumDigits && position < text.size(); ++digits, ++position) {
            const char c = text[position];
            int digit = 0;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else {
                break;
            }
            value = value * 16 + static_cast<char32_t>(digit);
        }
        return digits > 0 ? std::optional(value) : std::nullopt;
    }
};

void tellMissingOnce(std::string_view name, std::string_view why)
{
    State& s = state();
    if (s.toldNames.find(name) != s.toldNames.end()) {
        return;
    }
    s.toldNames.emplace(name);
    log(LogLevel::Warning, lcTray(), "The icon \"" + std::string(name) + "\" " + std::string(why) + ".");
}

} // namespace

std::map<std::string, char32_t, std::less<>> MaterialDesignIcons::parseStyleSheet(std::string_view text)
{
    // .mdi-heart:before {
    //   content: "\F2D1";
    // }
    // Read with a plain scan: the sheet is read once, and a regular expression would bring its
    // engine's code and compiled pattern into memory for the rest of the process's life.
    std::map<std::string, char32_t, std::less<>> result;
    constexpr std::string_view prefix = ".mdi-";
    for (std::size_t found = text.find(prefix); found != std::string_view::npos;
         found = text.find(prefix, found + 1)) {
        StyleSheetReader reader { text, found + prefix.size() };
        const std::string_view name = reader.iconName();
        if (name.empty() || !reader.take(":before")) {
            continue;
        }
        reader.skipSpace();
        if (!reader.take("{")) {
            continue;
        }
        reader.skipSpace();
        if (!reader.take("content:")) {
            continue;
        }
        reader.skipSpace();
        const char quote = reader.next();
        if ((quote != '"' && quote != '\'') || !reader.take("\\")) {
            continue;
        }
        const std::optional<char32_t> value = reader.hexNumber(6);
        if (!value || reader.next() != quote) {
            continue;
        }
        reader.skipSpace();
        reader.take(";");
        reader.skipSpace();
        if (!reader.take("}")) {
            continue;
        }
        const bool scalar = *value <= 0x10FFFF && (*value < 0xD800 || *value > 0xDFFF) && *value != 0;
        if (scalar) {
            result.emplace(std::string(name), *value);
        }
    }
    return result;
}

std::optional<char32_t> MaterialDesignIcons::codePoint(std::string_view name)
{
    State& s = state();
    if (const auto asked = s.askedGlyphs.find(name); asked != s.askedGlyphs.end()) {
        return asked->second;
    }
    // A sheet that could not be read is not read again for every name.
    std::optional<char32_t> glyph;
    if (s.styleSheetNamesIcons.value_or(true)) {
        const auto glyphs = readGlyphs();
        if (const auto found = glyphs.find(name); found != glyphs.end()) {
            glyph = found->second;
        }
    }
    s.askedGlyphs.emplace(std::string(name), glyph);
    return glyph;
}

bool MaterialDesignIcons::isAvailable()
{
    return family().has_value() && styleSheetNamesIcons();
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
