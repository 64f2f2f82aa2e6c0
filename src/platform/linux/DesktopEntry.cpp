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
    const auto found = m_positions.find(key);
    if (found == m_positions.end()) {
        return std::nullopt;
    }
    return m_entries[found->second].second;
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
    const auto [found, added] = m_positions.try_emplace(key, m_entries.size());
    if (!added) {
        m_entries[found->second].second = value;
        return;
    }
    m_entries.emplace_back(key, value);
}

void DesktopEntry::remove(const QString& key)
{
    const auto found = m_positions.find(key);
    if (found == m_positions.end()) {
        return;
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(found->second));
    m_positions.clear();
    for (std::size_t index = 0; index < m_entries.size(); ++index) {
        m_positions.emplace(m_entries[index].first, index);
    }
}

std::optional<QString> DesktopEntry::withKeysSet(
    const QString& text, const std::vector<std::pair<QString, std::optional<QString>>>& keys)
{
    const QStringList lines = text.split(u'\n');
    QStringList result;
    result.reserve(lines.size() + static_cast<qsizetype>(keys.size()));
    std::vector<bool> written(keys.size(), false);
    bool inMainGroup = false;
    bool sawMainGroup = false;
    // Where the main group's last key line stands, so that added keys follow it rather than the
    // blank lines and comments before the next group.
    qsizetype insertAt = -1;
    const auto addMissing = [&] {
        for (std::size_t index = 0; index < keys.size(); ++index) {
            if (!written[index] && keys[index].second) {
                result.insert(++insertAt, keys[index].first + u'=' + *keys[index].second);
                written[index] = true;
            }
        }
    };
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(u'[')) {
            if (inMainGroup) {
                addMissing();
            }
            inMainGroup = line == mainGroup;
            sawMainGroup = sawMainGroup || inMainGroup;
            result.append(rawLine);
            if (inMainGroup) {
                insertAt = result.size() - 1;
            }
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || line.startsWith(u'#') || equals <= 0) {
            result.append(rawLine);
            continue;
        }
        const QString key = line.left(equals).trimmed();
        const auto wanted
            = std::find_if(keys.begin(), keys.end(), [&key](const auto& pair) { return pair.first == key; });
        if (wanted == keys.end()) {
            result.append(rawLine);
            insertAt = result.size() - 1;
            continue;
        }
        const auto index = static_cast<std::size_t>(wanted - keys.begin());
        // A key given twice: the first line takes the value, the others go.
        if (wanted->second && !written[index]) {
            result.append(key + u'=' + *wanted->second);
            insertAt = result.size() - 1;
        }
        written[index] = true;
    }
    if (!sawMainGroup) {
        return std::nullopt;
    }
    if (inMainGroup) {
        addMissing();
    }
    return result.join(u'\n');
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
