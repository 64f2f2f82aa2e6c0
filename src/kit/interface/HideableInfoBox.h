#pragma once

#include "libraries/defaults/Keys.h"

#include <QString>
#include <QWidget>

#include <optional>
#include <string>

class QLabel;
class QToolButton;

namespace zk {

class PersistentlyHideableView;

// A tinted, rounded box with a message, an optional title and a close button. Closing it hides every
// box with the same identifier for good, remembered under "ZK__HideableInfoBox__" + identifier.
// Main-thread only.
class HideableInfoBox : public QWidget {
    Q_OBJECT
public:
    struct Options {
        std::optional<QString> title;
        bool centeredTitle = false;
        // Without a title: the close button centred vertically rather than at the top.
        bool verticallyCenterCloseButton = false;
        // Without a title: the box takes the full width.
        bool fillHorizontally = false;
        bool animated = false;
    };

    HideableInfoBox(std::string id, const QString& message, Options options, QWidget* parent = nullptr);

    static std::string hiddenKeyName(const std::string& id);
    // The key of a box's hidden flag (default false), made afresh.
    static Defaults::Key<bool> hiddenKey(const std::string& id);

    const std::string& id() const { return m_id; }
    QString message() const;
    QToolButton* closeButton() const { return m_closeButton; }
    PersistentlyHideableView* hideableView() const { return m_hideable; }
    // Whether the box is hidden for good.
    bool isClosed() const;

    // What the close button does.
    void close();

private:
    std::string m_id;
    Options m_options;
    PersistentlyHideableView* m_hideable = nullptr;
    QToolButton* m_closeButton = nullptr;
    QLabel* m_message = nullptr;
};

} // namespace zk
