#include "platform/async/ThreadContext.h"

#include "platform/Logger.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <memory>

namespace platform::async {

QObject* ThreadContext::current()
{
    auto* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        return app;
    }
    thread_local std::unique_ptr<QObject> context = std::make_unique<QObject>();
    return context.get();
}

void ThreadContext::post(QObject* context, std::function<void()> work)
{
    if (!context) {
        log(LogLevel::Error, lcCore(), "No thread context to resume on; the work was dropped.");
        return;
    }
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

} // namespace platform::async
