#include "kit/interface/CallbackMenuItem.h"

#include <QKeySequence>

namespace zk {

namespace {

CallbackMenuItem::ValidationHook& validationHook()
{
    static CallbackMenuItem::ValidationHook hook;
    return hook;
}

} // namespace

void CallbackMenuItem::setValidationHook(ValidationHook hook)
{
    validationHook() = std::move(hook);
}

bool CallbackMenuItem::validateMenuItem() const
{
    return validationHook() ? validationHook()(*this) : true;
}

CallbackMenuItem::CallbackMenuItem(const QString& title, const QString& keyEquivalent,
    std::optional<Qt::KeyboardModifiers> keyEquivalentModifiers, bool isEnabled, bool isChecked,
    bool isHidden, std::function<void()> callback, QObject* parent)
    : QAction(title, parent)
    , m_callback(std::move(callback))
    , m_isChecked(isChecked)
{
    setEnabled(isEnabled);
    setCheckable(isChecked);
    setChecked(isChecked);
    setVisible(!isHidden);
    if (!keyEquivalent.isEmpty()) {
        const QKeySequence key(keyEquivalent.toUpper());
        if (key.count() == 1) {
            const Qt::KeyboardModifiers modifiers = keyEquivalentModifiers.value_or(Qt::ControlModifier);
            setShortcut(QKeySequence(QKeyCombination(modifiers, key[0].key())));
        }
    }
    connect(this, &QAction::triggered, this, [this] {
        if (this->isCheckable() && this->isChecked() != m_isChecked) {
            setChecked(m_isChecked);
        }
        if (m_callback && validateMenuItem()) {
            m_callback();
        }
    });
}

CallbackMenuItem::CallbackMenuItem(const QString& title, std::function<void()> callback, QObject* parent)
    : CallbackMenuItem(title, {}, std::nullopt, true, false, false, std::move(callback), parent)
{
}

} // namespace zk
