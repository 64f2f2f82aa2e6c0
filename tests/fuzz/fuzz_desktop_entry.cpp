// The desktop entry reader over any text (an autostart entry anyone may have written): it never
// fails, what it reads it writes back so that it reads the same again, setting the switches in
// the text keeps every other key of the main group, and the input's key lines repeated under many
// distinct keys and written over again each read as they were last written. The work per input is
// bounded by its size; how long a large entry takes to read is measured in bench/, not here.
#include "FuzzTarget.h"

#include "platform/linux/DesktopEntry.h"

#include <QStringList>

#include <algorithm>

using platform::xdg::DesktopEntry;

namespace {

const QString hiddenKey = QStringLiteral("Hidden");

void checkRoundTrip(const DesktopEntry& entry, const QString& text)
{
    const auto again = DesktopEntry::parse(entry.toText());
    fuzz::require(again.has_value(), "a written entry reads again");
    const auto original = DesktopEntry::parse(text);
    for (const QString& line : entry.toText().split(u'\n').mid(1)) {
        const auto equals = line.indexOf(u'=');
        if (equals <= 0) {
            continue;
        }
        const QString key = line.left(equals);
        fuzz::require(again->value(key) == original->value(key), "every key reads back as it was read");
    }
    if (const auto exec = entry.value(QStringLiteral("Exec"))) {
        (void)DesktopEntry::execArguments(*exec);
    }
}

void checkSwitches(const DesktopEntry& entry, const QString& text)
{
    const auto switched = DesktopEntry::withKeysSet(text, { { hiddenKey, QStringLiteral("true") } });
    fuzz::require(switched.has_value(), "a text with a main group takes the switch");
    const auto reread = DesktopEntry::parse(*switched);
    fuzz::require(reread.has_value(), "the switched text still has its main group");
    fuzz::require(reread->value(hiddenKey) == QStringLiteral("true"), "the switch reads as it was set");
    for (const QString& line : entry.toText().split(u'\n').mid(1)) {
        const auto equals = line.indexOf(u'=');
        if (equals <= 0 || line.left(equals) == hiddenKey) {
            continue;
        }
        const QString key = line.left(equals);
        fuzz::require(reread->value(key) == entry.value(key), "setting a switch keeps every other key");
    }
}

void checkManyKeys(const QString& text)
{
    QStringList keyLines;
    for (const QString& line : text.split(u'\n')) {
        const auto equals = line.indexOf(u'=');
        const bool plain = std::none_of(line.begin(), line.end(), [](QChar c) { return c.unicode() < 0x20; });
        if (equals > 0 && plain && !line.trimmed().startsWith(u'[') && !line.trimmed().startsWith(u'#')
            && keyLines.size() < 64) {
            keyLines.append(line.left(equals).trimmed() + u'=' + line.mid(equals + 1));
        }
    }
    if (keyLines.isEmpty()) {
        keyLines.append(QStringLiteral("Key=value"));
    }
    // Every key twice: the second line is the one that counts.
    constexpr int keyCount = 256;
    QString many = QStringLiteral("[Desktop Entry]\n");
    for (int round = 0; round < 2; ++round) {
        for (int index = 0; index < keyCount; ++index) {
            const QString& line = keyLines[index % keyLines.size()];
            const auto equals = line.indexOf(u'=');
            many += line.left(equals) + QString::number(index) + line.mid(equals) + QString::number(round)
                + u'\n';
        }
    }
    const auto entry = DesktopEntry::parse(many);
    fuzz::require(entry.has_value(), "many keys read");
    const auto once = DesktopEntry::parse(entry->toText());
    fuzz::require(once.has_value(), "many keys written read again");
    for (int index = 0; index < keyCount; ++index) {
        const QString& line = keyLines[index % keyLines.size()];
        const auto equals = line.indexOf(u'=');
        const QString key = line.left(equals) + QString::number(index);
        const auto value = entry->value(key);
        fuzz::require(!value || value->endsWith(u'1'), "a key written twice reads as written last");
        fuzz::require(value == once->value(key), "each of many keys reads back as it was read");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto entry = DesktopEntry::parse(text)) {
        checkRoundTrip(*entry, text);
        checkSwitches(*entry, text);
    } else {
        fuzz::require(!DesktopEntry::withKeysSet(text, { { hiddenKey, QStringLiteral("true") } }),
            "a text without a main group is not switched");
    }
    checkManyKeys(text);
    return 0;
}
