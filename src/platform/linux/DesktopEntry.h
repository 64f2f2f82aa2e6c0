#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform::xdg {

// The main group ("[Desktop Entry]") of a desktop entry file: its keys in file order, each value as
// written in the file (string escapes included). Other groups, comments and blank lines are not
// kept. A value type. Reading takes time in proportion to the text, however many keys it holds.
class DesktopEntry {
public:
    // Nothing when the text has no "[Desktop Entry]" group.
    static std::optional<DesktopEntry> parse(const QString& text);

    bool contains(const QString& key) const { return value(key).has_value(); }
    std::optional<QString> value(const QString& key) const;
    // "true" or "false" (surrounding blanks ignored); nothing for any other text or no key.
    std::optional<bool> boolValue(const QString& key) const;
    // Replaces the value in place, or appends the key.
    void setValue(const QString& key, const QString& value);
    void remove(const QString& key);

    // The group header and one "key=value" line per key, each ending in a line feed.
    QString toText() const;

    // The text with the keys of the main group set as given (nothing removes a key), every other
    // line (comments, other keys, other groups) kept as it was: a key's line is replaced where it
    // stands, one not there is added at the end of the group. Nothing when the text has no main
    // group.
    static std::optional<QString> withKeysSet(
        const QString& text, const std::vector<std::pair<QString, std::optional<QString>>>& keys);

    // The arguments of an Exec value: string escapes undone, then split at blanks outside double
    // quotes, with the quotes' backslash escapes undone. Nothing for an unterminated quote.
    static std::optional<QStringList> execArguments(const QString& exec);
    // One argument as an Exec value holds it: quoted when it has a reserved character, with "%"
    // doubled and string escapes applied.
    static QString execArgument(const QString& argument);

private:
    std::vector<std::pair<QString, QString>> m_entries;
    // Where each key stands in m_entries.
    std::unordered_map<QString, std::size_t> m_positions;
};

} // namespace platform::xdg
