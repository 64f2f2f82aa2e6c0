#pragma once

#include <QColor>
#include <QPushButton>

class QShortcut;

#include <functional>
#include <optional>

namespace zk {

// A push button configured as a whole: its title (plain, or in a colour of its own), the key that
// presses it (Escape or Return), whether it is destructive (its title in a paler red), whether it
// may stretch, its bezel style, its control size and its action. update() applies a configuration; the button
// keeps what was applied last. Main-thread only.
class CocoaButton : public QPushButton {
    Q_OBJECT
public:
    enum class KeyEquivalent { escape, return_ };
    enum class ControlSize { mini, small, regular, large };
    // How the button is drawn: the ordinary raised push button, a flat one that shows its frame
    // only under the pointer, or the small round help button with its question mark.
    enum class BezelStyle { rounded, flat, helpButton };

    struct AttributedTitle {
        QString text;
        QColor color;
    };

    struct Configuration {
        std::optional<QString> title;
        std::optional<AttributedTitle> attributedTitle;
        std::optional<KeyEquivalent> keyEquivalent;
        BezelStyle bezelStyle = BezelStyle::rounded;
        bool hasDestructiveAction = false;
        bool isResizable = false;
        std::optional<ControlSize> controlSize;
        std::function<void()> action;
    };

    // The key as text: "\x1b" or "\r".
    static QString rawValue(KeyEquivalent key);
    static std::optional<KeyEquivalent> keyEquivalentFromRawValue(const QString& raw);
    // The system red with 30 % less saturation.
    static QColor destructiveColor();

    explicit CocoaButton(QWidget* parent = nullptr);
    explicit CocoaButton(const Configuration& configuration, QWidget* parent = nullptr);

    void update(const Configuration& configuration);

    // The title's colour: invalid for the palette's own.
    QColor titleColor() const { return m_titleColor; }
    std::optional<KeyEquivalent> keyEquivalent() const { return m_keyEquivalent; }
    BezelStyle bezelStyle() const { return m_bezelStyle; }

private:
    void setBezelStyle(BezelStyle style);
    void setTitleColor(const QColor& color);

    std::function<void()> m_action;
    std::optional<KeyEquivalent> m_keyEquivalent;
    BezelStyle m_bezelStyle = BezelStyle::rounded;
    QColor m_titleColor;
    QShortcut* m_shortcut = nullptr;
};

} // namespace zk
