#include "kit/interface/WelcomePopover.h"

#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/Once.h"
#include "kit/interface/Tooltip.h"
#include "platform/async/ResumeOnce.h"
#include "platform/async/Sleep.h"
#include "platform/desktop/StatusItem.h"

#include <QPointer>

#include <coroutine>

namespace zk {

namespace {

constexpr double firstDelay = 0.1;
constexpr double dismissDelay = 5.0;

// One showing of the tip. The item's click interceptor and the timer hold it; the tip itself
// holds it weakly, so that it ends once neither path can come any more.
struct Presentation {
    QPointer<platform::StatusItem> item;
    QPointer<Tooltip> tip;
    std::weak_ptr<Timer> timer;
    platform::combine::Scheduler* scheduler = nullptr;
    Once once;
    std::function<void()> completion;

    ~Presentation()
    {
        if (tip) {
            tip->deleteLater();
        }
    }

    bool isComplete() { return once.hasRun(); }

    void complete()
    {
        once.run([this] {
            if (completion) {
                completion();
            }
        });
    }

    void removeInterceptor() const
    {
        if (item) {
            item->setClickInterceptor({});
        }
    }
};

void present(platform::StatusItem& statusItem, const TimerSource& source, std::function<void()> completion)
{
    auto presentation = std::make_shared<Presentation>();
    presentation->item = &statusItem;
    presentation->scheduler = source.scheduler;
    presentation->completion = std::move(completion);

    // A click on the tip, which has closed itself already.
    auto onTipClick = [weak = std::weak_ptr(presentation)] {
        const auto self = weak.lock();
        if (!self || self->isComplete()) {
            return;
        }
        self->removeInterceptor();
        Timer::invalidate(self->timer.lock());
        self->scheduler->post([self] { self->complete(); });
    };
    auto* tip = new Tooltip(QStringLiteral("Hello, I'm ") + QString::fromStdString(ZKApp::name()), true,
        QMargins(15, 15, 15, 15), 1000, std::move(onTipClick), QString::fromLatin1(welcomePopoverIdentifier),
        false);
    tip->setAttribute(Qt::WA_DeleteOnClose, false);
    presentation->tip = tip;

    // A primary click on the item while the tip is up (or the menu request a panel sends for it)
    // closes the tip first and then goes on to do what it does: a menu opened with the tip still
    // up would hang from the tip, on Wayland within its window. The other buttons are not taken:
    // they act on the item as ever and leave the tip up. The timer keeps running and finds the
    // work done.
    statusItem.setClickInterceptor([presentation](const std::function<void()>& passOn) {
        if (presentation->isComplete()) {
            return;
        }
        if (presentation->tip) {
            presentation->tip->close();
        }
        presentation->removeInterceptor();
        presentation->scheduler->post([presentation, passOn] {
            passOn();
            presentation->complete();
        });
    });

    tip->showInInvisibleWindow(statusItem);
    statusItem.shake(0.3, 2.0, true);

    presentation->timer = Timer::scheduledInCommonModes(
        dismissDelay, false,
        [presentation](Timer&) {
            if (presentation->isComplete()) {
                return;
            }
            presentation->removeInterceptor();
            if (presentation->tip) {
                presentation->tip->close();
            }
            presentation->complete();
        },
        source);
}

} // namespace

QCoro::Task<void> showWelcomePopover(platform::StatusItem* statusItem)
{
    return showWelcomePopover(statusItem, TimerSource::main());
}

QCoro::Task<void> showWelcomePopover(platform::StatusItem* statusItem, const TimerSource& sourceArgument)
{
    // Copied before the first suspension: the caller's source may be a temporary.
    const TimerSource source = sourceArgument;
    const QPointer<platform::StatusItem> item(statusItem);
    co_await platform::async::sleepFor(firstDelay, {}, *source.scheduler);

    auto waiter = std::make_shared<platform::async::ResumeOnce>();
    source.scheduler->post([item, source, waiter] {
        if (!item) {
            waiter->wake();
            return;
        }
        present(*item, source, [waiter] { waiter->wake(); });
    });
    co_await waiter->wait();
}

} // namespace zk
