#pragma once

#include <QWidget>

#include <functional>

namespace zk {

// A view that builds its content only once it has been shown: until then it is an empty,
// transparent placeholder that takes the space offered; on the main-queue turn after it first
// appears it calls `build` once and shows the result, filling the view. `build` is never called
// again, whether the view is hidden and shown again or not.
//
// Main-thread only.
class LazyOnAppearView : public QWidget {
    Q_OBJECT
public:
    using Build = std::function<QWidget*()>;

    explicit LazyOnAppearView(Build build, QWidget* parent = nullptr);

    // Null until built.
    QWidget* content() const { return m_content; }

signals:
    void contentBuilt(QWidget* content);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildContent();

    Build m_build;
    QWidget* m_content = nullptr;
    bool m_requested = false;
};

} // namespace zk
