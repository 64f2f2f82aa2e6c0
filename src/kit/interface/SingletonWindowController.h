#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <typeindex>

namespace zk {

// The base of a controller whose window exists at most once: `shared<T>()` gives the one live T,
// building it (with T's default constructor, which builds the window) when there is none; closing
// the window ends the controller and the window, so the next show builds both anew.
//
// A subclass builds its window in its default constructor and hands it to this constructor, which
// takes ownership. Windows are shown only through show<T>().
//
// Main-thread only.
class SingletonWindowController : public QObject {
    Q_OBJECT
public:
    explicit SingletonWindowController(QWidget* window);
    ~SingletonWindowController() override;

    QWidget* window() const { return m_window; }

    // Whether showing the window also asks the desktop to make it the active window.
    bool shouldActivateWindowWhenAppIsAccessory = true;

    template <class T> static T& shared()
    {
        static_assert(std::is_base_of_v<SingletonWindowController, T>);
        if (auto* existing = find(typeid(T))) {
            return static_cast<T&>(*existing);
        }
        auto created = std::make_unique<T>();
        T& result = *created;
        insert(typeid(T), std::move(created));
        return result;
    }

    // Brings the one window of T forward on the next turn of the event loop, fading it in when
    // `animated` (0.5 s).
    template <class T> static void show(bool animated) { showController(shared<T>(), animated); }

    // Whether a T is live.
    template <class T> static bool exists() { return find(typeid(T)) != nullptr; }

    // Closed windows end their controller: for the registry and for tests.
    static std::size_t liveCount();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static SingletonWindowController* find(std::type_index type);
    static void insert(std::type_index type, std::unique_ptr<SingletonWindowController> controller);
    static void showController(SingletonWindowController& controller, bool animated);
    void windowDidClose();

    QPointer<QWidget> m_window;
    bool m_forwardingClose = false;
};

} // namespace zk
