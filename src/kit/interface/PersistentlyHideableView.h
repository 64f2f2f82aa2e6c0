#pragma once

#include "libraries/defaults/Observable.h"

#include <QWidget>

namespace zk {

// Shows its content until a Bool setting says it is hidden; then it is hidden and takes no space.
// It follows the setting wherever it is changed. Main-thread only.
class PersistentlyHideableView : public QWidget {
    Q_OBJECT
public:
    // Takes ownership of `content`.
    PersistentlyHideableView(
        const Defaults::Key<bool>& isHidden, QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    bool isHiddenForGood() const { return m_observable->value(); }

    // Hides it for good: announces, then stores true under the key.
    void hide();

private:
    void refresh();

    Defaults::Observable<bool>* m_observable;
    QWidget* m_content;
};

} // namespace zk
