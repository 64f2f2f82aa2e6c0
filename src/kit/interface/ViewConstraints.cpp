#include "kit/interface/ViewConstraints.h"

#include <QEvent>
#include <QPointer>

namespace zk {

namespace {

// Lives as a child of the constrained view, so that it ends with it; watches the other widget.
class EdgeConstraint final : public QObject {
public:
    EdgeConstraint(QWidget& view, QWidget& other, const QMargins& insets)
        : QObject(&view)
        , m_view(&view)
        , m_other(&other)
        , m_insets(insets)
    {
        other.installEventFilter(this);
        view.installEventFilter(this);
        apply();
    }

    ~EdgeConstraint() override
    {
        if (m_other) {
            m_other->removeEventFilter(this);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move:
            if (watched == m_other) {
                apply();
            }
            break;
        case QEvent::ParentChange:
            apply();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void apply()
    {
        if (!m_view || !m_other) {
            return;
        }
        QRect area;
        QWidget* parent = m_view->parentWidget();
        if (m_other == parent) {
            area = m_other->rect();
        } else if (m_other->parentWidget() == parent) {
            area = m_other->geometry();
        } else if (parent) {
            area = QRect(parent->mapFromGlobal(m_other->mapToGlobal(QPoint(0, 0))), m_other->size());
        } else {
            area = QRect(m_other->mapToGlobal(QPoint(0, 0)), m_other->size());
        }
        m_view->setGeometry(area.marginsRemoved(m_insets));
    }

    QPointer<QWidget> m_view;
    QPointer<QWidget> m_other;
    QMargins m_insets;
};

} // namespace

void constrainEdges(QWidget& view, QWidget& other, const QMargins& insets)
{
    new EdgeConstraint(view, other, insets);
}

void constrain(QWidget& view, int width, int height)
{
    view.setFixedSize(width, height);
}

} // namespace zk
