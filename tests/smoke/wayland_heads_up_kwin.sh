#!/usr/bin/env bash
# The heads-up reminder on KWin 5.27 while the user types into another application's window: it
# shows in the middle of the screen, raised, as a surface KWin never makes active, the other window
# keeps the focus and gets every key, and it goes again by its time. The reminders are driven by the
# settings store as another program would write it; KWin's scripting interface tells what it shows.
# Usage: wayland_heads_up_kwin.sh <kiruvo executable> <kwin_typist executable>
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="${1:?usage: wayland_heads_up_kwin.sh <kiruvo executable> <kwin_typist executable>}"
    typist="${2:?usage: wayland_heads_up_kwin.sh <kiruvo executable> <kwin_typist executable>}"
    # shellcheck source-path=SCRIPTDIR source=private_session.sh
    source "$(dirname "$0")/private_session.sh"
    require_tools kwin_wayland weston-terminal dbus-run-session gdbus sqlite3
    require_executable "$executable"
    require_executable "$typist"
    make_private_folders kiruvo-wayland-heads-up
    in_private_wayland_session bash "$0" --inside "$executable" "$typist" "$work"
    exit $?
fi

executable="$2"
typist="$3"
work="$4"
# shellcheck source-path=SCRIPTDIR source=private_session.sh
source "$(dirname "$0")/private_session.sh"
desktop=""
app=""
other=""
typing=""
sway_runtime=""
stop_all() {
    [[ -n "$typing" ]] && kill -KILL "$typing" 2>/dev/null
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
    echo "--- typist: $(cat "$work/typist.log" 2>/dev/null) typed $(wc -c <"$work/typed" 2>/dev/null)"
    echo "--- application"
    cat "$work/app.log" 2>/dev/null
    echo "--- kwin"
    tail -n 40 "$work/compositor.log" 2>/dev/null
    exit 1
}

# KWin's windows and overlay surfaces, one line each: "<pid> <x> <y> <width> <height> <active>".
windows() {
    local before
    before="$(wc -l <"$work/compositor.log")"
    printf '%s\n' 'workspace.clientList().forEach(function (c) { var f = c.frameGeometry;
        print("window " + c.pid + " " + f.x + " " + f.y + " " + f.width + " " + f.height + " "
            + (c.active ? "active" : "inactive")); });' >"$work/list.js"
    gdbus call --session --dest org.kde.KWin --object-path /Scripting \
        --method org.kde.kwin.Scripting.unloadScript list >/dev/null 2>&1
    gdbus call --session --dest org.kde.KWin --object-path /Scripting \
        --method org.kde.kwin.Scripting.loadScript "$work/list.js" list >/dev/null || return 1
    gdbus call --session --dest org.kde.KWin --object-path /Scripting \
        --method org.kde.kwin.Scripting.start >/dev/null
    for_up_to 5 bash -c "tail -n +$((before + 1)) '$work/compositor.log' | grep -q 'js: window'"
    tail -n +$((before + 1)) "$work/compositor.log" | grep -a -o 'js: window .*' | cut -d' ' -f3-
}
store() {
    sqlite3 "$work/data/kiruvo/defaults.sqlite3" ".timeout 5000" "$1" >/dev/null
}

# KWin's scripts print into its log through its scripting category; its fake input serves every
# client, the typist too.
export QT_LOGGING_RULES="kwin_scripting.debug=true" KWIN_WAYLAND_NO_PERMISSION_CHECKS=1
start_compositor kwin kiruvo-kwin "$work/compositor.log" || fail "KWin made no Wayland socket"
unset QT_LOGGING_RULES KWIN_WAYLAND_NO_PERMISSION_CHECKS
export WAYLAND_DISPLAY=kiruvo-kwin

# Another application's window, where the user types: each key reaches the file as it is typed.
printf '#!/bin/sh\nstty -icanon -echo min 1\nexec cat > %s\n' "$work/typed" >"$work/typing-shell"
chmod +x "$work/typing-shell"
weston-terminal --shell="$work/typing-shell" >"$work/other.log" 2>&1 &
other=$!
other_active() { windows | grep -q "^$other .* active$"; }
for_up_to 30 other_active || fail "the other window did not come active"

# Not the first launch; heads-up reminders, none due yet.
mkdir -p "$work/data/kiruvo"
(umask 077 && sqlite3 "$work/data/kiruvo/defaults.sqlite3" "PRAGMA journal_mode=WAL;
    CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,
        PRIMARY KEY(suite, key));
    INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'ZK_launchCount', '1');
    INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'notificationType', '\"hud\"')" \
    >/dev/null) || fail "the store could not be prepared"
QT_QPA_PLATFORM=wayland "$executable" >"$work/app.log" 2>&1 &
app=$!
within 60 on_bus com.zelvantorium.Kiruvo || fail "the application did not come on the bus"

# The user types into the other window, three keys a second: a session runs only while someone is
# there. A reminder every 3 s meanwhile.
"$typist" 16 330 >"$work/typist.log" 2>&1 &
typing=$!
suite="'com.zelvantorium.Kiruvo'"
store "INSERT OR REPLACE INTO defaults VALUES($suite, 'notifyInterval', '\"3\"')" || fail "the store could not be written"
heads_up() { windows | grep "^$app " | head -n 1; }
heads_up_seen() { [[ -n "$(heads_up)" ]]; }
for_up_to 15 heads_up_seen || fail "no heads-up reminder came"
read -r _ x y width height active <<<"$(heads_up)"
[[ "$active" == inactive ]] || fail "the heads-up reminder is the active window"
other_active || fail "the other window lost the focus to the heads-up reminder"
# In the middle of the 640 × 480 screen, which has no panel, raised by 12 % of its height.
((width == 220 && height == 220 && x == 210 && y >= 71 && y <= 73)) \
    || fail "the heads-up reminder is ${width}x$height at $x,$y, not 220x220 at 210,72"
wait "$typing"
typing=""
store "DELETE FROM defaults WHERE suite = $suite AND key = 'notifyInterval'" || fail "the store could not be written"
typed_all() { [[ "$(cat "$work/typed" 2>/dev/null)" == "$(printf 'a%.0s' $(seq 1 16))" ]]; }
for_up_to 5 typed_all || fail "of 16 keys typed, the other window got $(wc -c <"$work/typed")"
echo "ok: the heads-up reminder shows at $x,$y, never active, and the other window gets every key"
heads_up_gone() { ! heads_up_seen; }
for_up_to 8 heads_up_gone || fail "the heads-up reminder stayed"
echo "ok: the heads-up reminder goes by its time"

kill -TERM "$app"
app_ended() { ! kill -0 "$app" 2>/dev/null; }
within 10 app_ended || fail "the application was still running 10 s after SIGTERM"
app=""
echo "Wayland heads-up test on KWin passed"
