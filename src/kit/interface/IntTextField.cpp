#include "kit/interface/IntTextField.h"

#include "kit/interface/Shake.h"

#include <QKeyEvent>

#include <charconv>
#include <limits>

namespace zk {

namespace {

// value + step without leaving the 64-bit range: it stops at the end of the range.
std::int64_t saturatingAdd(std::int64_t value, std::int64_t step)
{
    constexpr auto largest = std::numeric_limits<std::int64_t>::max();
    constexpr auto smallest = std::numeric_limits<std::int64_t>::min();
    if (step > 0 && value > largest - step) {
        return largest;
    }
    if (step < 0 && value < smallest - step) {
        return smallest;
    }
    return value + step;
}

} // namespace

IntTextField::IntTextField(QWidget* parent)
    : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, &IntTextField::textDidChange);
    connect(this, &QLineEdit::editingFinished, this, &IntTextField::editingDidEnd);
}

std::int64_t IntTextField::integerValue() const
{
    const QByteArray text = this->text().trimmed().toLatin1();
    const char* begin = text.constData();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    std::int64_t value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) {
        return 0;
    }
    return value;
}

bool IntTextField::isOutOfRange(std::int64_t value) const
{
    return minMax && (value < minMax->first || value > minMax->second);
}

void IntTextField::keyPressEvent(QKeyEvent* event)
{
    const bool isStep = event->key() == Qt::Key_Up || event->key() == Qt::Key_Down;
    if (!isStep || !hasFocus()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    std::int64_t size = modifiers == Qt::AltModifier ? alternativeDelta : delta;
    if (event->key() == Qt::Key_Down) {
        size = size == std::numeric_limits<std::int64_t>::min() ? std::numeric_limits<std::int64_t>::max()
                                                                : -size;
    }
    setText(QString::number(saturatingAdd(integerValue(), size)));
    validateAndNotify();
    event->accept();
}

void IntTextField::validateAndNotify()
{
    const std::int64_t value = integerValue();
    shakeIfOutOfRange(value);
    if (onValueChange) {
        onValueChange(value);
    }
}

void IntTextField::textDidChange()
{
    const std::int64_t value = integerValue();
    // While typing, a positive number below the upper bound may still grow into the range.
    const bool tolerated = isOutOfRange(value) && value > 0 && value <= minMax->second;
    if (text().isEmpty() || tolerated) {
        return;
    }
    validateAndNotify();
}

void IntTextField::editingDidEnd()
{
    const std::int64_t value = integerValue();
    shakeIfOutOfRange(value);
    if (onBlur) {
        onBlur(value);
    }
}

void IntTextField::shakeIfOutOfRange(std::int64_t value)
{
    if (!isOutOfRange(value)) {
        return;
    }
    ++m_shakeCount;
    shake(*this, 0.3, 5.0, false);
}

} // namespace zk
