#pragma once

#include <QObject>
#include <QTimer>
#include <optional>

namespace zk {

// Makes the views that listen to it redraw on a fixed beat: every interval it flips `value` and
// says so. The beat starts when the first listener connects to `changed` (not at construction,
// when nobody would hear it) and stops when the last one disconnects; a given tolerance lets the
// system bunch the beats with other timers. Main-thread only.
class ViewTimer : public QObject {
    Q_OBJECT
public:
    explicit ViewTimer(double intervalSeconds, std::optional<double> toleranceSeconds = std::nullopt,
        QObject* parent = nullptr);

    bool value() const { return m_value; }
    bool isRunning() const { return m_timer.isActive(); }

Q_SIGNALS:
    void changed();

protected:
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

private:
    QTimer m_timer;
    bool m_value = false;
    int m_listeners = 0;
};

} // namespace zk
