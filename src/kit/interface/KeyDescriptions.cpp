#include "kit/interface/KeyDescriptions.h"

namespace zk {

std::string modifierDescription(Qt::KeyboardModifiers modifiers)
{
    std::string text;
    if (modifiers.testFlag(Qt::ControlModifier)) {
        text += "\u2303";
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        text += "\u2325";
    }
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        text += "\u21E7";
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        text += "\u2318";
    }
    return text;
}

const std::set<Qt::Key>& functionKeys()
{
    static const std::set<Qt::Key> keys = [] {
        std::set<Qt::Key> result;
        for (int key = Qt::Key_F1; key <= Qt::Key_F35; ++key) {
            result.insert(static_cast<Qt::Key>(key));
        }
        return result;
    }();
    return keys;
}

std::string formatKeyValueLines(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::string text;
    for (const auto& [key, value] : pairs) {
        if (!text.empty() || &key != &pairs.front().first) {
            text += '\n';
        }
        text += key + ": " + value;
    }
    return text;
}

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
        return true;
    default:
        return false;
    }
}

} // namespace zk
