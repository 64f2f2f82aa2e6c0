#include "libraries/keyboard-shortcuts/Key.h"

#include <linux/input-event-codes.h>

#include <array>

namespace KeyboardShortcuts {

// clang-format off
const Key Key::a(0), Key::b(11), Key::c(8), Key::d(2), Key::e(14), Key::f(3), Key::g(5), Key::h(4),
    Key::i(34), Key::j(38), Key::k(40), Key::l(37), Key::m(46), Key::n(45), Key::o(31), Key::p(35),
    Key::q(12), Key::r(15), Key::s(1), Key::t(17), Key::u(32), Key::v(9), Key::w(13), Key::x(7),
    Key::y(16), Key::z(6);
const Key Key::zero(29), Key::one(18), Key::two(19), Key::three(20), Key::four(21), Key::five(23),
    Key::six(22), Key::seven(26), Key::eight(28), Key::nine(25);
const Key Key::capsLock(57), Key::shift(56), Key::function(63), Key::control(59), Key::option(58),
    Key::command(55), Key::rightCommand(54), Key::rightOption(61), Key::rightControl(62),
    Key::rightShift(60);
const Key Key::return_(36), Key::backslash(42), Key::backtick(50), Key::comma(43), Key::equal(24),
    Key::minus(27), Key::period(47), Key::quote(39), Key::semicolon(41), Key::slash(44), Key::space(49),
    Key::tab(48), Key::leftBracket(33), Key::rightBracket(30);
const Key Key::pageUp(116), Key::pageDown(121), Key::home(115), Key::end(119), Key::upArrow(126),
    Key::rightArrow(124), Key::downArrow(125), Key::leftArrow(123);
const Key Key::escape(53), Key::delete_(51), Key::deleteForward(117), Key::help(114);
const Key Key::mute(74), Key::volumeUp(72), Key::volumeDown(73);
const Key Key::f1(122), Key::f2(120), Key::f3(99), Key::f4(118), Key::f5(96), Key::f6(97), Key::f7(98),
    Key::f8(100), Key::f9(101), Key::f10(109), Key::f11(103), Key::f12(111), Key::f13(105), Key::f14(107),
    Key::f15(113), Key::f16(106), Key::f17(64), Key::f18(79), Key::f19(80), Key::f20(90);
const Key Key::keypad0(82), Key::keypad1(83), Key::keypad2(84), Key::keypad3(85), Key::keypad4(86),
    Key::keypad5(87), Key::keypad6(88), Key::keypad7(89), Key::keypad8(91), Key::keypad9(92);
const Key Key::keypadClear(71), Key::keypadDecimal(65), Key::keypadDivide(75), Key::keypadEnter(76),
    Key::keypadEquals(81), Key::keypadMinus(78), Key::keypadMultiply(67), Key::keypadPlus(69);
// clang-format on

namespace {

struct Row {
    int keyCode;
    int evdev;
    int qtKey; // 0: no Qt key of its own (keypad keys share theirs with the main block)
};

// The key at the same place on a PC keyboard: Help sits where Insert is, the keypad's Clear where
// Num Lock is, the extra ISO key (code 10) beside the left Shift.
constexpr std::array rows {
    Row { 0, KEY_A, Qt::Key_A },
    Row { 11, KEY_B, Qt::Key_B },
    Row { 8, KEY_C, Qt::Key_C },
    Row { 2, KEY_D, Qt::Key_D },
    Row { 14, KEY_E, Qt::Key_E },
    Row { 3, KEY_F, Qt::Key_F },
    Row { 5, KEY_G, Qt::Key_G },
    Row { 4, KEY_H, Qt::Key_H },
    Row { 34, KEY_I, Qt::Key_I },
    Row { 38, KEY_J, Qt::Key_J },
    Row { 40, KEY_K, Qt::Key_K },
    Row { 37, KEY_L, Qt::Key_L },
    Row { 46, KEY_M, Qt::Key_M },
    Row { 45, KEY_N, Qt::Key_N },
    Row { 31, KEY_O, Qt::Key_O },
    Row { 35, KEY_P, Qt::Key_P },
    Row { 12, KEY_Q, Qt::Key_Q },
    Row { 15, KEY_R, Qt::Key_R },
    Row { 1, KEY_S, Qt::Key_S },
    Row { 17, KEY_T, Qt::Key_T },
    Row { 32, KEY_U, Qt::Key_U },
    Row { 9, KEY_V, Qt::Key_V },
    Row { 13, KEY_W, Qt::Key_W },
    Row { 7, KEY_X, Qt::Key_X },
    Row { 16, KEY_Y, Qt::Key_Y },
    Row { 6, KEY_Z, Qt::Key_Z },
    Row { 29, KEY_0, Qt::Key_0 },
    Row { 18, KEY_1, Qt::Key_1 },
    Row { 19, KEY_2, Qt::Key_2 },
    Row { 20, KEY_3, Qt::Key_3 },
    Row { 21, KEY_4, Qt::Key_4 },
    Row { 23, KEY_5, Qt::Key_5 },
    Row { 22, KEY_6, Qt::Key_6 },
    Row { 26, KEY_7, Qt::Key_7 },
    Row { 28, KEY_8, Qt::Key_8 },
    Row { 25, KEY_9, Qt::Key_9 },
    Row { 57, KEY_CAPSLOCK, Qt::Key_CapsLock },
    Row { 56, KEY_LEFTSHIFT, Qt::Key_Shift },
    Row { 59, KEY_LEFTCTRL, Qt::Key_Control },
    Row { 58, KEY_LEFTALT, Qt::Key_Alt },
    Row { 55, KEY_LEFTMETA, Qt::Key_Meta },
    Row { 54, KEY_RIGHTMETA, 0 },
    Row { 61, KEY_RIGHTALT, 0 },
    Row { 62, KEY_RIGHTCTRL, 0 },
    Row { 60, KEY_RIGHTSHIFT, 0 },
    Row { 36, KEY_ENTER, Qt::Key_Return },
    Row { 42, KEY_BACKSLASH, Qt::Key_Backslash },
    Row { 50, KEY_GRAVE, Qt::Key_QuoteLeft },
    Row { 43, KEY_COMMA, Qt::Key_Comma },
    Row { 24, KEY_EQUAL, Qt::Key_Equal },
    Row { 27, KEY_MINUS, Qt::Key_Minus },
    Row { 47, KEY_DOT, Qt::Key_Period },
    Row { 39, KEY_APOSTROPHE, Qt::Key_Apostrophe },
    Row { 41, KEY_SEMICOLON, Qt::Key_Semicolon },
    Row { 44, KEY_SLASH, Qt::Key_Slash },
    Row { 49, KEY_SPACE, Qt::Key_Space },
    Row { 48, KEY_TAB, Qt::Key_Tab },
    Row { 33, KEY_LEFTBRACE, Qt::Key_BracketLeft },
    Row { 30, KEY_RIGHTBRACE, Qt::Key_BracketRight },
    Row { 10, KEY_102ND, Qt::Key_Less },
    Row { 116, KEY_PAGEUP, Qt::Key_PageUp },
    Row { 121, KEY_PAGEDOWN, Qt::Key_PageDown },
    Row { 115, KEY_HOME, Qt::Key_Home },
    Row { 119, KEY_END, Qt::Key_End },
    Row { 126, KEY_UP, Qt::Key_Up },
    Row { 124, KEY_RIGHT, Qt::Key_Right },
    Row { 125, KEY_DOWN, Qt::Key_Down },
    Row { 123, KEY_LEFT, Qt::Key_Left },
    Row { 53, KEY_ESC, Qt::Key_Escape },
    Row { 51, KEY_BACKSPACE, Qt::Key_Backspace },
    Row { 117, KEY_DELETE, Qt::Key_Delete },
    Row { 114, KEY_INSERT, Qt::Key_Insert },
    Row { 74, KEY_MUTE, Qt::Key_VolumeMute },
    Row { 72, KEY_VOLUMEUP, Qt::Key_VolumeUp },
    Row { 73, KEY_VOLUMEDOWN, Qt::Key_VolumeDown },
    Row { 122, KEY_F1, Qt::Key_F1 },
    Row { 120, KEY_F2, Qt::Key_F2 },
    Row { 99, KEY_F3, Qt::Key_F3 },
    Row { 118, KEY_F4, Qt::Key_F4 },
    Row { 96, KEY_F5, Qt::Key_F5 },
    Row { 97, KEY_F6, Qt::Key_F6 },
    Row { 98, KEY_F7, Qt::Key_F7 },
    Row { 100, KEY_F8, Qt::Key_F8 },
    Row { 101, KEY_F9, Qt::Key_F9 },
    Row { 109, KEY_F10, Qt::Key_F10 },
    Row { 103, KEY_F11, Qt::Key_F11 },
    Row { 111, KEY_F12, Qt::Key_F12 },
    Row { 105, KEY_F13, Qt::Key_F13 },
    Row { 107, KEY_F14, Qt::Key_F14 },
    Row { 113, KEY_F15, Qt::Key_F15 },
    Row { 106, KEY_F16, Qt::Key_F16 },
    Row { 64, KEY_F17, Qt::Key_F17 },
    Row { 79, KEY_F18, Qt::Key_F18 },
    Row { 80, KEY_F19, Qt::Key_F19 },
    Row { 90, KEY_F20, Qt::Key_F20 },
    Row { 82, KEY_KP0, 0 },
    Row { 83, KEY_KP1, 0 },
    Row { 84, KEY_KP2, 0 },
    Row { 85, KEY_KP3, 0 },
    Row { 86, KEY_KP4, 0 },
    Row { 87, KEY_KP5, 0 },
    Row { 88, KEY_KP6, 0 },
    Row { 89, KEY_KP7, 0 },
    Row { 91, KEY_KP8, 0 },
    Row { 92, KEY_KP9, 0 },
    Row { 71, KEY_NUMLOCK, Qt::Key_Clear },
    Row { 65, KEY_KPDOT, 0 },
    Row { 75, KEY_KPSLASH, 0 },
    Row { 76, KEY_KPENTER, Qt::Key_Enter },
    Row { 81, KEY_KPEQUAL, 0 },
    Row { 78, KEY_KPMINUS, 0 },
    Row { 67, KEY_KPASTERISK, 0 },
    Row { 69, KEY_KPPLUS, 0 },
};

constexpr std::uint32_t x11KeyCodeOffset = 8;

} // namespace

std::optional<std::uint32_t> Key::x11KeyCode() const
{
    for (const Row& row : rows) {
        if (row.keyCode == m_rawValue) {
            return static_cast<std::uint32_t>(row.evdev) + x11KeyCodeOffset;
        }
    }
    return std::nullopt;
}

std::optional<Key> Key::fromX11KeyCode(std::uint32_t keyCode)
{
    for (const Row& row : rows) {
        if (static_cast<std::uint32_t>(row.evdev) + x11KeyCodeOffset == keyCode) {
            return Key(row.keyCode);
        }
    }
    return std::nullopt;
}

std::optional<Qt::Key> Key::qtKey() const
{
    for (const Row& row : rows) {
        if (row.keyCode == m_rawValue && row.qtKey != 0) {
            return static_cast<Qt::Key>(row.qtKey);
        }
    }
    return std::nullopt;
}

std::optional<Key> Key::fromQtKey(int qtKey)
{
    if (qtKey == 0) {
        return std::nullopt;
    }
    for (const Row& row : rows) {
        if (row.qtKey == qtKey) {
            return Key(row.keyCode);
        }
    }
    return std::nullopt;
}

} // namespace KeyboardShortcuts
