// The floor of bench/footprint.sh: a Qt Widgets program that shows one QSystemTrayIcon and does
// nothing else, started and measured the same way as the application.
#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap picture(22, 22);
    picture.fill(QColor(0x30, 0x80, 0xd0));
    QSystemTrayIcon icon { QIcon(picture) };
    icon.show();
    return QApplication::exec();
}
