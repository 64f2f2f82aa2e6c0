#include "platform/desktop/KeyboardLayout.h"

#include "platform/linux/XkbKeyboardLayout.h"

#include <QGuiApplication>

#include <memory>

namespace platform {

namespace {
const KeyboardLayout* installedLayout = nullptr;
} // namespace

KeyboardLayout::~KeyboardLayout()
{
    if (installedLayout == this) {
        installedLayout = nullptr;
    }
}

const KeyboardLayout& KeyboardLayout::shared()
{
    if (installedLayout) {
        return *installedLayout;
    }
    static const std::unique_ptr<KeyboardLayout> layout = [] {
        std::unique_ptr<KeyboardLayout> result;
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            result = XkbKeyboardLayout::fromX11Server();
        }
        if (!result) {
            result = XkbKeyboardLayout::fromNames({});
        }
        if (!result) {
            result = std::make_unique<XkbKeyboardLayout>();
        }
        return result;
    }();
    return *layout;
}

void KeyboardLayout::setShared(const KeyboardLayout* layout)
{
    installedLayout = layout;
}

} // namespace platform
