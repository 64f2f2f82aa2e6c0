#pragma once

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <QString>

#include <map>
#include <optional>
#include <string>

class QSocketNotifier;

namespace platform {

// The colours of sway's own bars (swaybar), as sway names them over its IPC socket ($SWAYSOCK).
//
// On Wayland an application cannot read the screen, and swaybar draws the tray's items on the
// bar's own background, black unless configured: the bars' configurations (get_bar_config) say
// which colour that is, and sway's barconfig_update events follow a change made while it runs
// (`swaymsg bar … colors …`). The socket is read without waiting; a reply larger than any bar's
// configuration ends the connection.
//
// Main-thread only.
class SwayBarColours final : public QObject {
    Q_OBJECT
public:
    ~SwayBarColours() override;

    // The colours a bar's tray sits on: its background and its status line's text.
    struct Colours {
        std::optional<QColor> background;
        std::optional<QColor> foreground;

        friend bool operator==(const Colours& a, const Colours& b)
        {
            return a.background == b.background && a.foreground == b.foreground;
        }
    };

    // Sway's, where SWAYSOCK names its socket; one that knows nothing elsewhere.
    static SwayBarColours& shared();
    // Asks the sway whose IPC socket this is; an empty path asks nothing.
    explicit SwayBarColours(const QString& socketPath, QObject* parent = nullptr);

    // What the bars that show the tray have in common; nothing while sway has not answered, where
    // no bar shows a tray, or where their backgrounds differ in shade or let the desktop show
    // through.
    Colours colours() const { return m_colours; }

    // The same from bar configurations (get_bar_config's JSON objects, by bar id). A background is
    // named only where every tray's bar, on the focused output and the others, is opaque and of
    // one shade (dark or light); the status line's colour only where it reads on each of them.
    static Colours coloursOf(const std::map<std::string, std::string>& configurations);
    // A colour as sway writes it: #RRGGBB or #RRGGBBAA.
    static std::optional<QColor> colourFrom(const std::string& text);

signals:
    void changed();

private:
    void send(quint32 type, const QByteArray& payload);
    void writePending();
    void readMessages();
    void received(quint32 type, const QByteArray& payload);
    // Sway has gone, or said something that is no message: nothing more is read.
    void lose();
    void update();

    int m_socket = -1;
    QSocketNotifier* m_readable = nullptr;
    QSocketNotifier* m_writable = nullptr;
    QByteArray m_unsent;
    QByteArray m_buffer;
    // The configurations sway has sent, by bar id.
    std::map<std::string, std::string> m_configurations;
    // Bar configurations asked for and not yet answered.
    int m_awaited = 0;
    bool m_listed = false;
    Colours m_colours;
};

} // namespace platform
