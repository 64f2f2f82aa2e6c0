#include "kit/interface/Pasteboard.h"

#include "kit/foundation/ZKApp.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace zk {

void copyTextToPasteboard(const std::string& text)
{
    auto* data = new QMimeData;
    data->setText(QString::fromStdString(text));
    data->setData(
        QString::fromLatin1(pasteboardSourceType), QByteArray::fromStdString(ZKApp::bundleIdentifier()));
    // The clipboard takes the data over.
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace zk
