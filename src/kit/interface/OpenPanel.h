#pragma once

#include <QFileDialog>

#include <memory>

namespace zk {

class OpenPanelDelegate;

// A file dialog that follows a delegate: the items the delegate does not enable are greyed out,
// and a chosen item the delegate refuses keeps the dialog open and shows why, on the dialog.
// Without a delegate it is a plain file dialog. Uses Qt's own dialog, the only one whose items can
// be greyed out one by one.
//
// Main-thread only.
class OpenPanel : public QFileDialog {
    Q_OBJECT
public:
    explicit OpenPanel(QWidget* parent = nullptr);
    ~OpenPanel() override;

    void setDelegate(std::shared_ptr<const OpenPanelDelegate> delegate);
    const std::shared_ptr<const OpenPanelDelegate>& delegate() const { return m_delegate; }

    // Whether the delegate lets the dialog close with the chosen items; shows its error when not.
    bool validateSelection();

public slots:
    void accept() override;

private:
    std::shared_ptr<const OpenPanelDelegate> m_delegate;
};

} // namespace zk
