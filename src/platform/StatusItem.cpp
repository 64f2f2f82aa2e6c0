#include "platform/StatusItem.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace platform {

namespace {

std::optional<QPoint> systemCursorPosition()
{
    const QPoint position = QCursor::pos();
    if (QGuiApplication::screenAt(position) == nullptr) {
        return std::nullopt;
    }
    return position;
}

} // namespace

StatusItem::StatusItem(std::unique_ptr<StatusItemBackend> backend, QObject* parent)
    : QObject(parent)
    , m_backend(std::move(backend))
    , m_cursorPosition(systemCursorPosition)
    , m_modifiers([] { return QGuiApplication::queryKeyboardModifiers(); })
{
    m_backend->setClickHandler([this](Qt::MouseButton button) { emit clicked(button, m_modifiers()); });
    redraw();
}

StatusItem::~StatusItem()
{
    m_backend->setClickHandler({});
}

void StatusItem::setAppearance(const StatusItemAppearance& appearance)
{
    if (appearance == m_appearance) {
        return;
    }
    m_appearance = appearance;
    redraw();
}

void StatusItem::setImage(const QImage& image)
{
    StatusItemAppearance changed = m_appearance;
    changed.image = image;
    setAppearance(changed);
}

void StatusItem::setTitle(const QString& title)
{
    StatusItemAppearance changed = m_appearance;
    changed.title = title;
    setAppearance(changed);
}

void StatusItem::setDimmed(bool dimmed)
{
    StatusItemAppearance changed = m_appearance;
    changed.dimmed = dimmed;
    setAppearance(changed);
}

void StatusItem::setTint(std::optional<QColor> tint)
{
    StatusItemAppearance changed = m_appearance;
    changed.tint = tint;
    setAppearance(changed);
}

void StatusItem::setVisible(bool visible)
{
    StatusItemAppearance changed = m_appearance;
    changed.visible = visible;
    setAppearance(changed);
}

bool StatusItem::isShownOnScreen() const
{
    return m_appearance.visible && m_backend->isAvailable();
}

QRect StatusItem::anchorRect() const
{
    if (const auto geometry = m_backend->geometry();
        geometry && geometry->isValid() && !geometry->isEmpty()) {
        return *geometry;
    }
    if (const auto cursor = m_cursorPosition ? m_cursorPosition() : std::nullopt) {
        return QRect(*cursor, QSize(1, 1));
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        return QRect(QPoint(area.right(), area.top()), QSize(1, 1));
    }
    return QRect(0, 0, 1, 1);
}

void StatusItem::setCursorPositionSource(std::function<std::optional<QPoint>()> source)
{
    m_cursorPosition = std::move(source);
}

void StatusItem::setModifierSource(std::function<Qt::KeyboardModifiers()> source)
{
    m_modifiers = source ? std::move(source) : [] { return QGuiApplication::queryKeyboardModifiers(); };
}

void StatusItem::redraw()
{
    m_backend->draw(m_appearance);
}

} // namespace platform
