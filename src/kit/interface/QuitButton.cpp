#include "kit/interface/QuitButton.h"

#include "kit/foundation/ZKApp.h"
#include "kit/interface/StandardMenuItems.h"

namespace zk::Buttons {

Quit::Quit(QWidget* parent)
    : QPushButton(quitItemTitle(QString::fromStdString(ZKApp::name())), parent)
{
    setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(this, &QPushButton::clicked, this, [] { ZKApp::quitOnMainQueue(); });
}

} // namespace zk::Buttons
