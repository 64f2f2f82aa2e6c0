#pragma once

#include <QObject>

namespace zk {

// The progress of a piece of work that others can follow: how much of it is done (0 to 1), and
// whether it finished or was cancelled. Each change is announced.
//
// Main-thread only.
class Progress : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    double fractionCompleted() const { return m_fractionCompleted; }
    bool isFinished() const { return m_isFinished; }
    bool isCancelled() const { return m_isCancelled; }

    // Clamped to 0...1; reaching 1 does not finish the work by itself.
    void setFractionCompleted(double fraction);
    void finish();
    void cancel();

signals:
    void fractionCompletedChanged(double fraction);
    void finishedChanged(bool finished);
    void cancelledChanged(bool cancelled);

private:
    double m_fractionCompleted = 0;
    bool m_isFinished = false;
    bool m_isCancelled = false;
};

} // namespace zk
