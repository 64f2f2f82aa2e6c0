// A panel for benchmarks: a StatusNotifierWatcher with a registered host on the session bus, that
// prints each item service registering with it, one a line. Runs until it is ended.
#include "support/StandInStatusNotifierWatcher.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        std::fprintf(stderr, "sni_host: no session bus\n");
        return 1;
    }
    StandInStatusNotifierWatcher watcher(address, true);
    if (!watcher.hasName()) {
        std::fprintf(stderr, "sni_host: another watcher runs on this bus\n");
        return 1;
    }
    qsizetype told = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QStringList items = watcher.registeredItems();
        for (; told < items.size(); ++told) {
            std::printf("%s\n", qPrintable(items[told]));
            std::fflush(stdout);
        }
    });
    poll.start(20);
    return QCoreApplication::exec();
}
