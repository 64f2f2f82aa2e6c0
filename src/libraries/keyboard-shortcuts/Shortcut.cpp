#include "libraries/keyboard-shortcuts/Shortcut.h"

#include "libraries/keyboard-shortcuts/KeyDisplay.h"
#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "platform/store/JsonWriter.h"

#include <QKeyEvent>
#include <QString>

namespace KeyboardShortcuts {

namespace CarbonModifiers {

int fromQt(Qt::KeyboardModifiers modifiers)
{
    int result = 0;
    if (modifiers.testFlag(Qt::ControlModifier)) {
        result |= control;
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        result |= option;
    }
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        result |= shift;
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        result |= command;
    }
    return result;
}

Qt::KeyboardModifiers toQt(std::int64_t carbonModifiers)
{
    Qt::KeyboardModifiers result;
    if (carbonModifiers & control) {
        result |= Qt::ControlModifier;
    }
    if (carbonModifiers & option) {
        result |= Qt::AltModifier;
    }
    if (carbonModifiers & shift) {
        result |= Qt::ShiftModifier;
    }
    if (carbonModifiers & command) {
        result |= Qt::MetaModifier;
    }
    return result;
}

} // namespace CarbonModifiers

namespace {

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_unknown:
        return true;
    default:
        return false;
    }
}

} // namespace

Shortcut::Shortcut(Key key, Qt::KeyboardModifiers modifiers)
    : m_carbonKeyCode(key.rawValue())
    , m_carbonModifiers(CarbonModifiers::fromQt(modifiers))
{
}

Shortcut Shortcut::fromCarbon(std::int64_t carbonKeyCode, std::int64_t carbonModifiers)
{
    Shortcut shortcut;
    shortcut.m_carbonKeyCode = carbonKeyCode;
    shortcut.m_carbonModifiers = carbonModifiers;
    return shortcut;
}

std::optional<Shortcut> Shortcut::fromEvent(const QEvent* event)
{
    if (event == nullptr || (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)) {
        return std::nullopt;
    }
    const auto* keyEvent = static_cast<const QKeyEvent*>(event);
    if (isModifierKey(keyEvent->key())) {
        return std::nullopt;
    }
    // The key code names the physical key whatever the layout and the modifiers make it write.
    std::optional<Key> key;
    if (keyEvent->nativeScanCode() != 0) {
        key = Key::fromX11KeyCode(keyEvent->nativeScanCode());
    }
    if (!key) {
        key = Key::fromQtKey(keyEvent->key());
    }
    if (!key) {
        return std::nullopt;
    }
    return Shortcut(*key, keyEvent->modifiers());
}

std::optional<Shortcut> Shortcut::fromName(const Name& name)
{
    return getShortcut(name);
}

std::optional<std::string> Shortcut::jsonText() const
{
    platform::JsonValue object = platform::JsonValue::object();
    object[CodingKeys::carbonKeyCode] = m_carbonKeyCode;
    object[CodingKeys::carbonModifiers] = m_carbonModifiers;
    return platform::JsonWriter::write(object);
}

std::optional<Shortcut> Shortcut::fromJSONText(const std::string& text)
{
    const std::optional<platform::JsonValue> value = platform::JsonReader::parse(text);
    if (!value || !value->is_object()) {
        return std::nullopt;
    }
    const auto keyCode = value->find(CodingKeys::carbonKeyCode);
    const auto modifiers = value->find(CodingKeys::carbonModifiers);
    if (keyCode == value->end() || modifiers == value->end() || !keyCode->is_number_integer()
        || !modifiers->is_number_integer()) {
        return std::nullopt;
    }
    // An unsigned number beyond the signed range is no stored integer either.
    if ((keyCode->is_number_unsigned() && keyCode->get<std::uint64_t>() > INT64_MAX)
        || (modifiers->is_number_unsigned() && modifiers->get<std::uint64_t>() > INT64_MAX)) {
        return std::nullopt;
    }
    return fromCarbon(keyCode->get<std::int64_t>(), modifiers->get<std::int64_t>());
}

std::string Shortcut::description() const
{
    // As the desktop's own menus and settings write shortcuts ("Ctrl+Alt+K"), in its language; the
    // logo key by the name Linux desktops and keyboards give it, Super, where Qt writes Meta.
    const auto named = [this](QString text) {
        if (modifiers().testFlag(Qt::MetaModifier)) {
            QString meta = QKeySequence(QKeyCombination(Qt::MetaModifier, Qt::Key_A))
                               .toString(QKeySequence::NativeText);
            meta.chop(1);
            if (const auto at = text.indexOf(meta); !meta.isEmpty() && at >= 0) {
                text.replace(at, meta.size(), QStringLiteral("Super+"));
            }
        }
        return text.toStdString();
    };
    const QKeySequence sequence = keySequence();
    if (!sequence.isEmpty()) {
        return named(sequence.toString(QKeySequence::NativeText));
    }
    // A key with no name: the modifiers written the same way, before the replacement character.
    QString modifierText;
    if (modifiers() != Qt::NoModifier) {
        modifierText
            = QKeySequence(QKeyCombination(modifiers(), Qt::Key_A)).toString(QKeySequence::NativeText);
        modifierText.chop(1);
    }
    return named(modifierText) + "\uFFFD";
}

std::string Shortcut::keyEquivalent() const
{
    const std::string text = keyCodeToCharacter(m_carbonKeyCode).value_or(std::string());
    // More than one character (a function key's "F5", the help symbol) has no menu key of its own
    // text; the function keys have their private-use characters.
    if (QString::fromStdString(text).toUcs4().size() > 1) {
        const auto found = functionKeyEquivalents().find(m_carbonKeyCode);
        return found == functionKeyEquivalents().end() ? std::string() : found->second;
    }
    return text;
}

QKeySequence Shortcut::keySequence() const
{
    // A special key is the same key on every layout; a character key is the one the layout writes.
    std::optional<Qt::Key> qtKey;
    if (!specialKeySymbols().contains(m_carbonKeyCode)) {
        const QString text
            = QString::fromStdString(keyCodeToCharacter(m_carbonKeyCode).value_or(std::string()));
        const QKeySequence fromText = QKeySequence::fromString(text.toUpper(), QKeySequence::PortableText);
        if (text.size() == 1 && fromText.count() == 1) {
            qtKey = fromText[0].key();
        }
    }
    if (!qtKey && m_carbonKeyCode >= 0 && m_carbonKeyCode <= INT32_MAX) {
        qtKey = key().qtKey();
    }
    if (!qtKey) {
        return {};
    }
    return QKeySequence(QKeyCombination(modifiers(), *qtKey));
}

} // namespace KeyboardShortcuts
