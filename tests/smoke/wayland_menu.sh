#!/usr/bin/env bash
# The menu the application opens itself on a real Wayland compositor, as OpenMenu on D-Bus (a second
# launch) opens it with none of its windows focused: it must come as a menu, not as a window on the
# workspace. On sway it floats (not tiled across the workspace), has no title bar, has the focus,
# and is closed by Escape and by the focus going to another window (a click elsewhere). On KWin it
# is of a fixed size, undecorated and active, and closed by the focus going elsewhere; KWin's
# scripting interface tells what it shows.
# Usage: wayland_menu.sh sway|kwin <path of the kiruvo executable>
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    compositor="${1:?usage: wayland_menu.sh sway|kwin <kiruvo executable>}"
    executable="${2:?usage: wayland_menu.sh sway|kwin <kiruvo executable>}"
    # shellcheck source-path=SCRIPTDIR source=private_session.sh
    source "$(dirname "$0")/private_session.sh"
    case "$compositor" in
    sway) require_tools sway swaymsg wtype weston-terminal python3 ;;
    kwin) require_tools kwin_wayland weston-terminal ;;
    *) echo "FAIL: unknown compositor $compositor" && exit 1 ;;
    esac
    require_tools dbus-run-session gdbus sqlite3
    require_executable "$executable"
    make_private_folders kiruvo-wayland-menu
    in_private_wayland_session bash "$0" --inside "$compositor" "$executable" "$work"
    exit $?
fi

compositor="$2"
executable="$3"
work="$4"
# shellcheck source-path=SCRIPTDIR source=private_session.sh
source "$(dirname "$0")/private_session.sh"
socket=kiruvo-$compositor
desktop=""
app=""
other=""
sway_runtime=""
stop_all() {
    [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
    [[ -n "$other" ]] && kill -KILL "$other" 2>/dev/null
    stop_compositor
    wait 2>/dev/null
}
trap stop_all EXIT
fail() {
    echo "FAIL: $*"
    echo "--- windows"
    windows
    echo "--- application"
    cat "$work/app.log" 2>/dev/null
    echo "--- $compositor"
    tail -n 40 "$work/compositor.log" 2>/dev/null
    exit 1
}

# The compositor's windows, one line each: "<pid> <kind> <x> <y> <width> <height> <focused> <frame>".
windows() {
    case "$compositor" in
    sway) sway_windows ;;
    kwin)
        local before
        before="$(wc -l <"$work/compositor.log")"
        kwin_script list-windows 'workspace.clientList().forEach(function (c) {
            var f = c.frameGeometry, b = c.bufferGeometry;
            // KWin floats every window; what other compositors float is a window of fixed size.
            var fixed = c.minSize.width == c.maxSize.width && c.minSize.height == c.maxSize.height;
            print("window " + c.pid + (fixed ? " floating " : " resizable ") + f.x + " " + f.y + " " + f.width + " " + f.height + " "
                + (c.active ? "focused" : "unfocused") + " "
                + (f.width > b.width || f.height > b.height ? "decorated" : "none"));
        });'
        for_up_to 5 bash -c "tail -n +$((before + 1)) '$work/compositor.log' | grep -q 'js: window'"
        tail -n +$((before + 1)) "$work/compositor.log" | grep -a -o 'js: window .*' | cut -d' ' -f3-
        ;;
    esac
}
# Runs the JavaScript $2 in KWin under the name $1.
kwin_script() {
    printf '%s\n' "$2" >"$work/$1.js"
    gdbus call --session --dest org.kde.KWin --object-path /Scripting \
        --method org.kde.kwin.Scripting.unloadScript "$1" >/dev/null 2>&1
    gdbus call --session --dest org.kde.KWin --object-path /Scripting \
        --method org.kde.kwin.Scripting.loadScript "$work/$1.js" "$1" >/dev/null || return 1
    gdbus call --session --dest org.kde.KWin --object-path /Scripting \
        --method org.kde.kwin.Scripting.start >/dev/null
}
menu_window() { windows | grep "^$app " | head -n 1; }
menu_shown() { [[ -n "$(menu_window)" ]]; }
menu_gone() { ! menu_shown; }
open_menu() {
    timeout 10 gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
        --method com.zelvantorium.Kiruvo.Application.OpenMenu >/dev/null || fail "OpenMenu failed"
    for_up_to 20 menu_shown || fail "no menu came after OpenMenu"
}
# Gives the focus to the other window, as a click on it does.
focus_other_window() {
    case "$compositor" in
    sway) swaymsg "[pid=$other] focus" >/dev/null ;;
    kwin) kwin_script focus-other "workspace.clientList().forEach(function (c) {
            if (c.pid == $other) workspace.activeClient = c; });" ;;
    esac
}

# KWin's scripts print into its log through its scripting category.
[[ "$compositor" == kwin ]] && export QT_LOGGING_RULES="kwin_scripting.debug=true"
start_compositor "$compositor" "$socket" "$work/compositor.log" || fail "$compositor made no Wayland socket"
unset QT_LOGGING_RULES
export WAYLAND_DISPLAY="$socket"
if [[ "$compositor" == sway ]]; then
    SWAYSOCK="$(find "$sway_runtime" -maxdepth 1 -type s -name 'sway-ipc.*' | head -n 1)"
    export SWAYSOCK
    # Xwayland's display is not the application's: it runs as a Wayland client.
fi

# Another application's window, which has the focus when the menu is asked for.
weston-terminal --shell=/bin/cat >"$work/other.log" 2>&1 &
other=$!
disown "$other"
other_shown() { windows | grep -q "^$other "; }
for_up_to 30 other_shown || fail "the other window did not come"

# Not the first launch, which opens the Welcome window: the menu has no window of its own to hang from.
mkdir -p "$work/data/kiruvo"
(umask 077 && sqlite3 "$work/data/kiruvo/defaults.sqlite3" "PRAGMA journal_mode=WAL;
    CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,
        PRIMARY KEY(suite, key));
    INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'ZK_launchCount', '1')" \
    >/dev/null) || fail "the store could not be prepared"
"$executable" >"$work/app.log" 2>&1 &
app=$!
app_ended() { ! kill -0 "$app" 2>/dev/null; }
on_bus_or_ended() { app_ended || on_bus com.zelvantorium.Kiruvo; }
within 60 on_bus_or_ended
app_ended && fail "the application ended at start-up"
menu_gone || fail "a window of the application is open at start-up"

open_menu
read -r _ kind _ _ width height focus frame <<<"$(menu_window)"
[[ "$kind" == floating ]] || fail "the menu is $kind, not floating"
[[ "$focus" == focused ]] || fail "the menu does not have the focus"
[[ "$frame" == none || "$frame" == csd ]] || fail "the menu is framed ($frame)"
# Menu-sized: far less than the screen (640x480 at least), with nothing beside its items.
((width > 40 && width < 400 && height > 100 && height < 600)) || fail "the menu is ${width}x$height"
echo "ok: the menu is a floating, focused, unframed ${width}x$height window"

if [[ "$compositor" == sway ]]; then
    # A moment after wtype's keyboard comes, as a user's keyboard is there before the menu.
    wtype -s 500 -k Escape || fail "wtype failed"
    for_up_to 10 menu_gone || fail "Escape left the menu open"
    echo "ok: Escape closes the menu"
    open_menu
fi
focus_other_window
for_up_to 10 menu_gone || fail "the menu stayed open when the other window took the focus"
echo "ok: the focus going to another window closes the menu"

kill -TERM "$app"
within 10 app_ended || fail "the application was still running 10 s after SIGTERM"
app=""
echo "Wayland menu test passed"
