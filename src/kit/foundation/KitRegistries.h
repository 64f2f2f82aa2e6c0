#pragma once

#include <QClipboard>
#include <QObject>

#include <functional>
#include <string>
#include <vector>

namespace zk {

// The languages the kit can name, as BCP 47 tags, in the alphabetical order of their English
// names; 56 of them, without an "undetermined" entry. Built once; safe from any thread.
namespace NLLanguage {
const std::vector<std::string>& allCases();
} // namespace NLLanguage

// Work that is to run once the application has finished launching. Main-thread only.
class LaunchCompletions {
public:
    LaunchCompletions() = delete;

    static void add(std::function<void()> completion);
    // Runs every completion stored when it starts, in the order they were stored, then empties the
    // list; a completion stored during the run is dropped without running.
    static void runFinishedLaunchingCompletions();
    static std::size_t count();
};

// The clipboard for widgets that show what it holds: `pasteboardChanged` after each change, or only
// while the application is active when `onlyWhenAppIsActive`. Main-thread only.
class PasteboardObservable : public QObject {
    Q_OBJECT
public:
    explicit PasteboardObservable(bool onlyWhenAppIsActive = false, QObject* parent = nullptr);

    QClipboard* pasteboard() const { return m_pasteboard; }
    bool onlyWhenAppIsActive() const { return m_onlyWhenAppIsActive; }

Q_SIGNALS:
    void pasteboardChanged();

private:
    QClipboard* m_pasteboard = nullptr;
    bool m_onlyWhenAppIsActive = false;
};

} // namespace zk
