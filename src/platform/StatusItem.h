#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace platform {

// What the tray item shows.
struct StatusItemAppearance {
    QImage image;
    QString title;
    // Drawn at reduced opacity, as a disabled button is.
    bool dimmed = false;
    // The image recoloured in this colour (the reminder's highlight); none keeps its own colours.
    std::optional<QColor> tint;
    bool visible = true;

    friend bool operator==(const StatusItemAppearance& a, const StatusItemAppearance& b)
    {
        return a.image == b.image && a.title == b.title && a.dimmed == b.dimmed && a.tint == b.tint
            && a.visible == b.visible;
    }
};

// Draws a status item somewhere on the desktop and reports clicks on it. Main-thread only.
class StatusItemBackend {
public:
    using ClickHandler = std::function<void(Qt::MouseButton)>;

    virtual ~StatusItemBackend() = default;

    virtual void draw(const StatusItemAppearance& appearance) = 0;
    // The item's rectangle on screen, in global coordinates, when the desktop tells it.
    virtual std::optional<QRect> geometry() const = 0;
    // Whether the desktop has a place to show the item at all.
    virtual bool isAvailable() const = 0;

    // The status item installs this; the backend calls it for every click on the item.
    void setClickHandler(ClickHandler handler) { m_clickHandler = std::move(handler); }

protected:
    void reportClick(Qt::MouseButton button) const
    {
        if (m_clickHandler) {
            m_clickHandler(button);
        }
    }

private:
    ClickHandler m_clickHandler;
};

// The application's item in the tray ("menu bar"): the model of what it shows, where it is and
// the clicks on it. No menu is attached to the tray icon itself: whoever owns the item pops its
// menu up at anchorRect() when clicked, so that left and right clicks behave the same everywhere.
//
// Main-thread only.
class StatusItem : public QObject {
    Q_OBJECT
public:
    explicit StatusItem(std::unique_ptr<StatusItemBackend> backend, QObject* parent = nullptr);
    ~StatusItem() override;

    const StatusItemAppearance& appearance() const { return m_appearance; }
    // Each setter redraws only when the value changes.
    void setAppearance(const StatusItemAppearance& appearance);
    void setImage(const QImage& image);
    void setTitle(const QString& title);
    void setDimmed(bool dimmed);
    void setTint(std::optional<QColor> tint);
    void setVisible(bool visible);
    bool isVisible() const { return m_appearance.visible; }

    // Whether the item can be seen: it is visible and the desktop has a tray.
    bool isShownOnScreen() const;

    // Where popovers and the menu hang from, in global coordinates: the tray item's rectangle when
    // the desktop gives it, else a point-sized rectangle at the mouse pointer, else one at the top
    // right corner of the primary screen.
    QRect anchorRect() const;

    StatusItemBackend& backend() const { return *m_backend; }

    // Sources of the pointer position and the held modifiers, replaceable for tests. The pointer
    // source answers nothing when the pointer is on no screen.
    void setCursorPositionSource(std::function<std::optional<QPoint>()> source);
    void setModifierSource(std::function<Qt::KeyboardModifiers()> source);

signals:
    // A click on the item, with the keyboard modifiers held at that moment.
    void clicked(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);

private:
    void redraw();

    std::unique_ptr<StatusItemBackend> m_backend;
    StatusItemAppearance m_appearance;
    std::function<std::optional<QPoint>()> m_cursorPosition;
    std::function<Qt::KeyboardModifiers()> m_modifiers;
};

} // namespace platform
