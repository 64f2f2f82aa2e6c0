// The stored shortcut reader, with the recorder's rules as the property: whatever text a store
// holds under a shortcut name, a shortcut the reader gives is either one the recorder could have
// recorded (and its hot key is taken) or one that breaks a rule (and is never taken, with a reason).
#include "FuzzTarget.h"

#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "libraries/keyboard-shortcuts/RecorderRules.h"
#include "platform/fake/FakeGlobalHotKeys.h"
#include "platform/linux/XkbKeyboardLayout.h"
#include "platform/store/UserDefaults.h"

#include <QString>
#include <QStringDecoder>

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace KeyboardShortcuts;
    static const std::unique_ptr<platform::XkbKeyboardLayout> layout = [] {
        auto us = platform::XkbKeyboardLayout::fromNames({ "us", {}, {}, {} });
        platform::KeyboardLayout::setShared(us.get());
        return us;
    }();
    static_cast<void>(layout);

    const std::string text = fuzz::text(data, size);
    const Name name("fuzzed");
    const auto suite = platform::UserDefaults::standard();
    // Each input starts from nothing stored, so that what an earlier one left plays no part.
    suite->removeObject(name.userDefaultsKey());
    const bool accepted = suite->setObject(platform::PropertyList(text), name.userDefaultsKey());
    const std::optional<Shortcut> stored = getShortcut(name);
    // The store takes every text that is UTF-8 and refuses the rest, which then reads as nothing.
    QStringDecoder utf8(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString decoded = utf8.decode(QByteArrayView(data, static_cast<qsizetype>(size)));
    fuzz::require(accepted == !utf8.hasError(), "the store refuses only what is no UTF-8");
    if (!accepted) {
        fuzz::require(!stored, "a refused text leaves no shortcut stored");
        return 0;
    }
    fuzz::require(stored == Shortcut::fromJSONText(text), "the store gives what the reader reads");
    if (!stored) {
        return 0;
    }
    // What it reads is what it writes: a recorded shortcut survives the store.
    const std::optional<std::string> written = stored->jsonText();
    fuzz::require(written && Shortcut::fromJSONText(*written) == stored, "a shortcut survives its JSON text");

    const std::optional<ShortcutRuleBreak> ruleBreak = recorderRuleBrokenBy(*stored);
    if (!ruleBreak) {
        const RecorderDecision decision = decideRecorderEvent(keyPressOf(*stored), {});
        fuzz::require(decision.action == RecorderDecision::Action::record && decision.shortcut == stored,
            "a shortcut that breaks no rule is one the recorder records");
    } else {
        fuzz::require(!ruleBreakReason(*ruleBreak).empty(), "a broken rule has words for the user");
    }

    platform::fake::FakeGlobalHotKeys hotKeys;
    resetForTesting();
    addKeyDownHandler(name, [] {});
    if (ruleBreak) {
        fuzz::require(hotKeys.grabs().empty() && hotKeys.calls.empty(),
            "a shortcut that breaks a rule is never grabbed");
        fuzz::require(hotKeyProblem(name).has_value(), "a shortcut that is not taken says why");
    } else {
        fuzz::require(
            hotKeys.grabs().size() == 1 && !hotKeyProblem(name), "a shortcut within the rules is taken");
    }
    resetForTesting();
    return 0;
}
