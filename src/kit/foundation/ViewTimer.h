#pragma once

#include <QObject>
#include <QTimer>
#include <optional>

namespace zk {

// Makes the views that listen to it redraw on a fixed beat: every interval it flips `value` and
// says so. It runs from construction to destruction; a given tolerance lets the system bunch the
// beats with other timers. Main-thread only.
class ViewTimer : public QObject {
    Q_OBJECT
public:
    explicit ViewTimer(double intervalSeconds, std::optional<double> toleranceSeconds = std::nullopt,
        QObject* parent = nullptr);

    bool value() const { return m_value; }

Q_SIGNALS:
    void changed();

private:
    QTimer m_timer;
    bool m_value = false;
};

} // namespace zk
