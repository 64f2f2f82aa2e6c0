#include "platform/linux/SwayBarColours.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using platform::SwayBarColours;

namespace {

std::string bar(const std::string& id, const std::string& colours, const std::string& more = {})
{
    return R"({"id": ")" + id + R"(", "mode": "dock", "colors": {)" + colours + "}" + more + "}";
}

const std::string swayDefaults = R"("background": "#000000ff", "statusline": "#ffffffff",
    "focused_background": "#000000ff", "focused_statusline": "#ffffffff")";

} // namespace

TEST(SwayBarColoursTest, TheBarsThatShowTheTrayNameItsColoursWhereTheyAgree)
{
    using Colours = SwayBarColours::Colours;
    // swaybar as it comes: black, with white text.
    EXPECT_EQ(SwayBarColours::coloursOf({ { "bar-0", bar("bar-0", swayDefaults) } }),
        (Colours { QColor(Qt::black), QColor(Qt::white) }));
    // A light bar whose own text is too faint to read on it: the shade alone is known.
    const std::string light = R"("background": "#eeeeee", "statusline": "#dddddd",
        "focused_background": "#f4f4f4ff", "focused_statusline": "#ccccccff")";
    EXPECT_EQ(SwayBarColours::coloursOf({ { "bar-0", bar("bar-0", light) } }),
        (Colours { QColor(0xee, 0xee, 0xee), std::nullopt }));
    // A dark bar beside a light one, or a dark bar light on the focused output: no one colour.
    EXPECT_EQ(
        SwayBarColours::coloursOf({ { "a", bar("a", swayDefaults) }, { "b", bar("b", light) } }), Colours {});
    EXPECT_EQ(SwayBarColours::coloursOf(
                  { { "a", bar("a", R"("background": "#000000ff", "focused_background": "#ffffffff")") } }),
        Colours {});
    // A see-through bar shows whatever lies under it.
    EXPECT_EQ(SwayBarColours::coloursOf(
                  { { "a", bar("a", R"("background": "#00000060", "focused_background": "#00000060")") } }),
        Colours {});
    // Bars without a tray, or never shown, do not count; no bar at all tells nothing.
    EXPECT_EQ(SwayBarColours::coloursOf({ { "a", bar("a", swayDefaults) },
                  { "b", bar("b", light, R"(, "tray_outputs": ["none"])") },
                  { "c", R"({"id": "c", "mode": "invisible", "colors": {"background": "#ffffff"}})" } }),
        (Colours { QColor(Qt::black), QColor(Qt::white) }));
    EXPECT_EQ(SwayBarColours::coloursOf({}), Colours {});
    EXPECT_EQ(SwayBarColours::coloursOf({ { "a", "not JSON" } }), Colours {});
    EXPECT_EQ(SwayBarColours::coloursOf({ { "a", bar("a", R"("background": "black")") } }), Colours {});

    EXPECT_EQ(SwayBarColours::colourFrom("#285577"), QColor(0x28, 0x55, 0x77));
    EXPECT_EQ(SwayBarColours::colourFrom("#28557780"), QColor(0x28, 0x55, 0x77, 0x80));
    for (const char* bad : { "", "#", "285577", "#2855", "#28557g", "#2855778" }) {
        EXPECT_EQ(SwayBarColours::colourFrom(bad), std::nullopt) << bad;
    }
}

namespace {

// Debian's sway, headless, with the bar this test configures; run as an unprivileged user when
// the test runs as root, which sway refuses. Its IPC socket is the one the application reads.
class HeadlessSway {
public:
    static constexpr uid_t unprivileged = 65534;

    explicit HeadlessSway(const QString& configuration)
    {
        m_process.setChildProcessModifier([] {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::setpgid(0, 0);
        });
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // Under /tmp, where the unprivileged user reaches it.
        QFile config(m_runtime.filePath(QStringLiteral("config")));
        if (!m_runtime.isValid() || !config.open(QIODevice::WriteOnly)) {
            return;
        }
        config.write(configuration.toUtf8());
        config.close();
        config.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        environment.insert(QStringLiteral("HOME"), m_runtime.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        m_process.setProcessEnvironment(environment);
        const QStringList arguments { QStringLiteral("-c"), config.fileName() };
        if (::geteuid() == 0) {
            if (::chown(m_runtime.path().toLocal8Bit().constData(), unprivileged, unprivileged) != 0) {
                return;
            }
            const QString id = QString::number(unprivileged);
            m_process.start(QStringLiteral("setpriv"),
                QStringList { QStringLiteral("--reuid=") + id, QStringLiteral("--regid=") + id,
                    QStringLiteral("--clear-groups"), QStringLiteral("sway") }
                    + arguments);
        } else {
            m_process.start(QStringLiteral("sway"), arguments);
        }
        static_cast<void>(QTest::qWaitFor(
            [&] {
                const QStringList sockets
                    = QDir(m_runtime.path()).entryList({ QStringLiteral("sway-ipc.*.sock") }, QDir::System);
                if (!sockets.isEmpty()) {
                    m_socket = m_runtime.filePath(sockets.front());
                }
                return !m_socket.isEmpty() || m_process.state() == QProcess::NotRunning;
            },
            20000));
    }
    ~HeadlessSway() { stop(); }

    // Empty when sway did not start.
    const QString& socket() const { return m_socket; }
    std::string output() { return m_process.readAll().toStdString(); }

    // What `swaymsg` answers to these arguments.
    bool message(const QStringList& arguments)
    {
        QProcess swaymsg;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SWAYSOCK"), m_socket);
        swaymsg.setProcessEnvironment(environment);
        swaymsg.start(QStringLiteral("swaymsg"), arguments);
        return swaymsg.waitForFinished(10000) && swaymsg.exitCode() == 0;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning) {
            return;
        }
        const auto group = static_cast<pid_t>(m_process.processId());
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            ::kill(-group, SIGKILL);
            m_process.waitForFinished(5000);
        }
        ::kill(-group, SIGKILL);
    }

private:
    QTemporaryDir m_runtime { QStringLiteral("/tmp/kiruvo-sway-XXXXXX") };
    QProcess m_process;
    QString m_socket;
};

} // namespace

TEST(SwayBarColoursTest, ARealSwayNamesItsBarsColoursAndTellsTheirChanges)
{
    if (QStandardPaths::findExecutable(QStringLiteral("sway")).isEmpty()) {
        GTEST_SKIP() << "sway is not installed (Debian package sway)";
    }
    // No swaybar runs: the bars' configuration is sway's, whichever program draws them.
    HeadlessSway sway(QStringLiteral("bar {\n  id bar-0\n  swaybar_command true\n  colors {\n"
                                     "    background #f0f0f0\n    statusline #303030\n  }\n}\n"));
    ASSERT_FALSE(sway.socket().isEmpty()) << sway.output();

    SwayBarColours colours(sway.socket());
    QSignalSpy changed(&colours, &SwayBarColours::changed);
    ASSERT_TRUE(changed.wait(10000)) << sway.output();
    EXPECT_EQ(colours.colours().background, QColor(0xf0, 0xf0, 0xf0));
    EXPECT_EQ(colours.colours().foreground, QColor(0x30, 0x30, 0x30));

    // Changed while sway runs, as `swaymsg bar … colors …` does.
    changed.clear();
    ASSERT_TRUE(sway.message({ QStringLiteral("bar bar-0 colors background #1a1a1a") }));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return colours.colours().background == QColor(0x1a, 0x1a, 0x1a); }, 10000));
    // Its dark text no longer reads there: the shade is what counts.
    EXPECT_EQ(colours.colours().foreground, std::nullopt);

    // A sway that has gone tells nothing more.
    sway.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !colours.colours().background; }, 10000));
}
