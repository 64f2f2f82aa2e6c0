#include "TestIsolation.h"

#include "platform/store/UserDefaults.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <string>

namespace {

// Real time, the only real wait of a test program, and only when a test has gone wrong.
constexpr int unansweredModalMilliseconds = 5000;

std::string describe(const QWidget& widget)
{
    std::string text = widget.metaObject()->className();
    if (!widget.objectName().isEmpty()) {
        text += " \"" + widget.objectName().toStdString() + "\"";
    }
    if (!widget.windowTitle().isEmpty()) {
        text += " titled \"" + widget.windowTitle().toStdString() + "\"";
    }
    return text;
}

void closeWindow(QWidget& window)
{
    if (auto* dialog = qobject_cast<QDialog*>(&window)) {
        dialog->reject();
    }
    window.close();
    window.hide();
}

} // namespace

TestIsolation::TestIsolation()
{
    qApp->installEventFilter(this);
}

TestIsolation::~TestIsolation()
{
    qApp->removeEventFilter(this);
}

void TestIsolation::OnTestStart(const ::testing::TestInfo&)
{
    if (!m_store) {
        m_store = platform::UserDefaults::standard();
    }
    platform::UserDefaults::setStandard(m_store);
    m_store->removeAll();
}

void TestIsolation::OnTestEnd(const ::testing::TestInfo&)
{
    // What the test queued (an alert to show, a window to delete later) happens now, while it is
    // still the test that answers for it.
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            ADD_FAILURE() << "the test left a window shown: " << describe(*window);
            closeWindow(*window);
        }
    }
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        ADD_FAILURE() << "the test left the mouse grabbed by " << describe(*grabber);
        grabber->releaseMouse();
    }
    if (QWidget* grabber = QWidget::keyboardGrabber()) {
        ADD_FAILURE() << "the test left the keyboard grabbed by " << describe(*grabber);
        grabber->releaseKeyboard();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The stores a test made for itself go with it.
    platform::UserDefaults::setStandard(m_store);
}

bool TestIsolation::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget->windowModality() != Qt::NonModal) {
            QTimer::singleShot(unansweredModalMilliseconds, this, [window = QPointer<QWidget>(widget)] {
                if (window && window->isVisible()) {
                    ADD_FAILURE() << "a modal window nobody answered: " << describe(*window);
                    closeWindow(*window);
                }
            });
        }
    }
    return QObject::eventFilter(watched, event);
}
