// A heads-up reminder window that stays on every screen until the program is stopped: what
// reminder_footprint.sh measures while one is on screen, apart from its building and its fades.
#include "app/reminders/HeadsUpWindow.h"
#include "app/startup/AppMain.h"
#include "kit/foundation/core/Duration.h"

#include <QApplication>

int main(int argc, char** argv)
{
    kiruvo::AppMain::prepareToolkit();
    QApplication app(argc, argv);
    kiruvo::HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(1800));
    return QApplication::exec();
}
