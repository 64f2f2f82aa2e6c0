#include "kit/interface/OpenPanel.h"

#include "kit/foundation/ErrorPresentation.h"
#include "kit/interface/OpenPanelDelegate.h"

#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace zk {

namespace {

class DelegateProxyModel : public QSortFilterProxyModel {
public:
    DelegateProxyModel(const OpenPanel& panel, QObject* parent)
        : QSortFilterProxyModel(parent)
        , m_panel(panel)
    {
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files || !m_panel.delegate()) {
            return flags;
        }
        const QString path = files->filePath(mapToSource(index));
        if (!m_panel.delegate()->shouldEnableUrl(QUrl::fromLocalFile(path))) {
            flags &= ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        }
        return flags;
    }

private:
    const OpenPanel& m_panel;
};

} // namespace

OpenPanel::OpenPanel(QWidget* parent)
    : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setProxyModel(new DelegateProxyModel(*this, this));
}

OpenPanel::~OpenPanel() = default;

void OpenPanel::setDelegate(std::shared_ptr<const OpenPanelDelegate> delegate)
{
    m_delegate = std::move(delegate);
}

bool OpenPanel::validateSelection()
{
    if (!m_delegate) {
        return true;
    }
    for (const QUrl& url : selectedUrls()) {
        if (ErrorPtr error = m_delegate->validateUrl(url)) {
            presentErrorAsSheet(std::move(error), this, [] {});
            return false;
        }
    }
    return true;
}

void OpenPanel::accept()
{
    if (validateSelection()) {
        QFileDialog::accept();
    }
}

} // namespace zk
