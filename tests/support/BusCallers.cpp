#include "support/BusCallers.h"

#include "support/PrivateSessionBus.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>

namespace {

constexpr const char* python = "/usr/bin/python3";

// Beside the test programs, where the build copies it.
QString script()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("bus_callers.py"));
}

} // namespace

BusCallers::BusCallers(
    const QString& busAddress, const Call& call, int callers, int callsEach, double seconds, Reads reads)
{
    QStringList arguments { script(), busAddress, call.destination, call.path, call.interface, call.method,
        QStringLiteral("--callers"), QString::number(callers), QStringLiteral("--calls"),
        QString::number(callsEach), QStringLiteral("--seconds"), QString::number(seconds) };
    for (const int argument : call.arguments) {
        arguments << QStringLiteral("--int") << QString::number(argument);
    }
    for (const QString& argument : call.strings) {
        arguments << QStringLiteral("--string") << argument;
    }
    if (call.noReply) {
        arguments << QStringLiteral("--no-reply");
    }
    if (!call.thenLeaveMethod.isEmpty()) {
        arguments << QStringLiteral("--then-leave") << call.thenLeaveInterface << call.thenLeaveMethod;
    }
    arguments << (reads == Reads::never ? QStringLiteral("--bare") : QStringLiteral("--read-on-input"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QString::fromLatin1(python), arguments);
}

BusCallers::~BusCallers()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool BusCallers::available()
{
    QProcess probe;
    probe.start(QString::fromLatin1(python), { QStringLiteral("-c"), QStringLiteral("import dbus") });
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit
        && probe.exitCode() == 0;
}

namespace {

const QRegularExpression& sentLine()
{
    static const QRegularExpression sent(QStringLiteral("SENT (\\d+)"));
    return sent;
}

} // namespace

int BusCallers::waitUntilSent(int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    QRegularExpressionMatch match;
    while (!(match = sentLine().match(m_output)).hasMatch() && m_process.state() != QProcess::NotRunning
        && waited.elapsed() < timeoutMs) {
        m_process.waitForReadyRead(100);
        m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
    }
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

int BusCallers::serveUntilSent(int timeoutMs)
{
    const QRegularExpression& sent = sentLine();
    QRegularExpressionMatch match;
    PrivateSessionBus::serveUntil(
        [&] {
            m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
            match = sent.match(m_output);
            return match.hasMatch() || m_process.state() == QProcess::NotRunning;
        },
        timeoutMs);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

void BusCallers::startReading()
{
    m_process.write("read\n");
    m_process.waitForBytesWritten(5000);
}
