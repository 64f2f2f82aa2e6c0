#include "platform/linux/DesktopEntry.h"

#include <algorithm>

namespace platform::xdg {

namespace {

const QString mainGroup = QStringLiteral("[Desktop Entry]");

// The string-level escapes of a desktop entry value.
QString unescapeString(const QString& value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype index = 0; index < value.size(); ++index) {
        const QChar character = value[index];
        if (character != u'\\' || index + 1 == value.size()) {
            result += character;
            continue;
        }
        const QChar next = value[++index];
        switch (next.unicode()) {
        case u's':
            result += u' ';
            break;
        case u'n':
            result += u'\n';
            break;
        case u't':
            result += u'\t';
            break;
        case u'r':
            result += u'\r';
            break;
        default:
            result += next;
            break;
        }
    }
    return result;
}

QString escapeString(const QString& value)
{
    QString result;
    result.reserve(value.size());
    for (const QChar character : value) {
        switch (character.unicode()) {
        case u'\\':
            result += QStringLiteral("\\\\");
            break;
        case u'\n':
            result += QStringLiteral("\\n");
            break;
        case u'\t':
            result += QStringLiteral("\\t");
            break;
        case u'\r':
            result += QStringLiteral("\\r");
            break;
        default:
            result += character;
            break;
        }
    }
    return result;
}

} // namespace

std::optional<DesktopEntry> DesktopEntry::parse(const QString& text)
{
    DesktopEntry entry;
    bool inMainGroup = false;
    bool sawMainGroup = false;
    const QStringList lines = text.split(u'\n');
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        if (line.startsWith(u'[')) {
            inMainGroup = line == mainGroup;
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup) {
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0) {
            continue;
        }
        entry.setValue(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    if (!sawMainGroup) {
        return std::nullopt;
    }
    return entry;
}

std::optional<QString> DesktopEntry::value(const QString& key) const
{
    const auto found = std::find_if(
        m_entries.begin(), m_entries.end(), [&key](const auto& entry) { return entry.first == key; });
    if (found == m_entries.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<bool> DesktopEntry::boolValue(const QString& key) const
{
    const std::optional<QString> text = value(key);
    if (!text) {
        return std::nullopt;
    }
    const QString trimmed = text->trimmed();
    if (trimmed == QLatin1String("true")) {
        return true;
    }
    if (trimmed == QLatin1String("false")) {
        return false;
    }
    return std::nullopt;
}

void DesktopEntry::setValue(const QString& key, const QString& value)
{
    for (auto& entry : m_entries) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    m_entries.emplace_back(key, value);
}

void DesktopEntry::remove(const QString& key)
{
    std::erase_if(m_entries, [&key](const auto& entry) { return entry.first == key; });
}

QString DesktopEntry::toText() const
{
    QString text = mainGroup + u'\n';
    for (const auto& [key, value] : m_entries) {
        text += key + u'=' + value + u'\n';
    }
    return text;
}

std::optional<QStringList> DesktopEntry::execArguments(const QString& exec)
{
    const QString command = unescapeString(exec);
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype index = 0; index < command.size(); ++index) {
        const QChar character = command[index];
        if (quoted) {
            if (character == u'"') {
                quoted = false;
            } else if (character == u'\\' && index + 1 < command.size()) {
                current += command[++index];
            } else {
                current += character;
            }
            continue;
        }
        if (character == u'"') {
            quoted = true;
            inArgument = true;
        } else if (character == u' ' || character == u'\t') {
            if (inArgument) {
                arguments.append(current);
                current.clear();
                inArgument = false;
            }
        } else {
            current += character;
            inArgument = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inArgument) {
        arguments.append(current);
    }
    for (QString& argument : arguments) {
        argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
    }
    return arguments;
}

QString DesktopEntry::execArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes = argument.isEmpty()
        || std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    QString result;
    if (needsQuotes) {
        result += u'"';
        for (const QChar character : argument) {
            if (character == u'"' || character == u'`' || character == u'$' || character == u'\\') {
                result += u'\\';
            }
            result += character;
        }
        result += u'"';
    } else {
        result = argument;
    }
    result.replace(u'%', QStringLiteral("%%"));
    return escapeString(result);
}

} // namespace platform::xdg
