#pragma once

#include <QLineEdit>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

namespace zk {

// A field for a whole number. While it is being edited, Up and Down step the value by `delta`
// (`alternativeDelta` with exactly Alt held). A value outside `minMax` makes the field shake, but is
// never clamped: it is still reported. `onValueChange` hears of each step and of typing (a positive
// number below the upper bound is let through silently while typing, since more digits may follow);
// `onBlur` hears the final value when editing ends. Main-thread only.
class IntTextField : public QLineEdit {
    Q_OBJECT
public:
    using Range = std::pair<std::int64_t, std::int64_t>;

    explicit IntTextField(QWidget* parent = nullptr);

    std::int64_t delta = 1;
    std::int64_t alternativeDelta = 10;
    std::function<void(std::int64_t)> onValueChange;
    std::function<void(std::int64_t)> onBlur;
    // Lower and upper bound, both allowed; nothing means no limit.
    std::optional<Range> minMax;

    // The text as a whole number: an optional sign and digits; anything else counts as 0.
    std::int64_t integerValue() const;
    bool isOutOfRange(std::int64_t value) const;

    // How many times it has shaken, for tests.
    int shakeCount() const { return m_shakeCount; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void validateAndNotify();
    void textDidChange();
    void editingDidEnd();
    void shakeIfOutOfRange(std::int64_t value);

    int m_shakeCount = 0;
};

} // namespace zk
