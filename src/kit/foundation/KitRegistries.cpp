#include "kit/foundation/KitRegistries.h"

#include <QGuiApplication>

namespace zk {

namespace {

std::vector<std::function<void()>>& completions()
{
    static std::vector<std::function<void()>> list;
    return list;
}

} // namespace

const std::vector<std::string>& NLLanguage::allCases()
{
    static const std::vector<std::string> languages { "am", "ar", "hy", "bn", "bg", "my", "ca", "chr", "hr",
        "cs", "da", "nl", "en", "fi", "fr", "ka", "de", "el", "gu", "he", "hi", "hu", "is", "id", "it", "ja",
        "kn", "km", "ko", "lo", "ms", "ml", "mr", "mn", "nb", "or", "fa", "pl", "pt", "pa", "ro", "ru",
        "zh-Hans", "si", "sk", "es", "sv", "ta", "te", "th", "bo", "zh-Hant", "tr", "uk", "ur", "vi" };
    return languages;
}

void LaunchCompletions::add(std::function<void()> completion)
{
    completions().push_back(std::move(completion));
}

void LaunchCompletions::runFinishedLaunchingCompletions()
{
    const std::size_t present = completions().size();
    for (std::size_t index = 0; index < present; ++index) {
        // A copy: the completion may store more, which moves the list.
        const std::function<void()> completion = completions()[index];
        if (completion) {
            completion();
        }
    }
    completions().clear();
}

std::size_t LaunchCompletions::count()
{
    return completions().size();
}

PasteboardObservable::PasteboardObservable(bool onlyWhenAppIsActive, QObject* parent)
    : QObject(parent)
    , m_pasteboard(QGuiApplication::clipboard())
    , m_onlyWhenAppIsActive(onlyWhenAppIsActive)
{
    connect(m_pasteboard, &QClipboard::dataChanged, this, [this] {
        if (!m_onlyWhenAppIsActive || QGuiApplication::applicationState() == Qt::ApplicationActive) {
            Q_EMIT pasteboardChanged();
        }
    });
}

} // namespace zk
