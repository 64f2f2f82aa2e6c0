#!/usr/bin/env bash
# Ends the display under the running application, as a logout or a crash of the desktop does, and
# checks that the running session (several minutes long: the application's clock runs sixty times
# fast through faketime) was stored, that the application ended without crashing, and that it left
# no crash marker behind.
#   x11          the X server (Xvfb, with openbox and trayer on it) is killed
#   x11-sigterm  SIGTERM and the X server's end come together, as at a real logout
#   kwin, mutter the Wayland compositor the application is a client of is killed
# Usage: display_end.sh x11|x11-sigterm|kwin|mutter <path of the kiruvo executable>
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    display="${1:?usage: display_end.sh x11|x11-sigterm|kwin|mutter <kiruvo executable>}"
    executable="${2:?usage: display_end.sh x11|x11-sigterm|kwin|mutter <kiruvo executable>}"
    # shellcheck source-path=SCRIPTDIR source=private_session.sh
    source "$(dirname "$0")/private_session.sh"
    case "$display" in
    x11 | x11-sigterm) require_tools Xvfb openbox trayer ;;
    kwin) require_tools kwin_wayland ;;
    mutter) require_tools mutter ;;
    *) echo "FAIL: unknown display $display" && exit 1 ;;
    esac
    require_tools dbus-run-session gdbus sqlite3 jq
    require_executable "$executable"
    make_private_folders kiruvo-display-end
    session_type=x11
    [[ "$display" == kwin || "$display" == mutter ]] && session_type=wayland
    env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY -u KIRUVO_DEFAULTS_PATH \
        -u KIRUVO_STATE_DIR -u QT_QPA_PLATFORM -u XAUTHORITY \
        XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime" \
        XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_SESSION_TYPE="$session_type" \
        dbus-run-session -- bash "$0" --inside "$display" "$executable" "$work"
    exit $?
fi

display="$2"
executable="$3"
work="$4"
# shellcheck source-path=SCRIPTDIR source=private_session.sh
source "$(dirname "$0")/private_session.sh"
server=""
app=""
# Nothing started here outlives the test, whatever ends it.
stop_all() {
    [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
    # shellcheck disable=SC2046 # process ids, one word each
    kill -KILL "$server" $(jobs -p) 2>/dev/null
    wait 2>/dev/null
}
trap stop_all EXIT
fail() {
    echo "FAIL: $*"
    echo "--- application"
    grep -v "does not support setting window opacity" "$work/app.log" 2>/dev/null
    echo "--- display"
    tail -n 20 "$work/display.log" 2>/dev/null
    exit 1
}

case "$display" in
x11 | x11-sigterm)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display-number" >"$work/display.log" 2>&1 &
    server=$!
    within 60 test -s "$work/display-number" || fail "Xvfb did not start"
    DISPLAY=":$(cat "$work/display-number")"
    export DISPLAY
    openbox >"$work/openbox.log" 2>&1 &
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        >"$work/trayer.log" 2>&1 &
    ;;
kwin | mutter)
    start_compositor "$display" "kiruvo-$display" "$work/display.log" || fail "$display made no Wayland socket"
    server=$desktop
    export WAYLAND_DISPLAY="kiruvo-$display"
    ;;
esac

# Nobody gives input here: with the default idle time (ten fast minutes, ten real seconds from the
# display's start) a slow start-up on a loaded machine could see a break before the display ends.
# A long idle time set in the store beforehand keeps the session running.
mkdir -p "$work/data/kiruvo"
(umask 077 && sqlite3 "$work/data/kiruvo/defaults.sqlite3" "PRAGMA journal_mode=WAL;
    CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,
        PRIMARY KEY(suite, key));
    INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'idleDurationBeforeStop', '\"1000000\"')" \
    >/dev/null) || fail "the store could not be prepared"
require_fast_clock
run_with_fast_clock "$executable" >"$work/app.log" 2>&1 &
app=$!
app_ended() { ! kill -0 "$app" 2>/dev/null; }
on_bus_or_ended() { app_ended || on_bus com.zelvantorium.Kiruvo; }
within 60 on_bus_or_ended
app_ended && fail "the application ended at start-up"
within 30 grep -q "Session enable" "$work/app.log" || fail "no session started"
echo "ok: the application runs on $display with a session"

# Five fast minutes of the session.
sleep 5
app_ended && fail "the application ended before its display did"
[[ "$display" == x11-sigterm ]] && kill -TERM "$app"
kill -KILL "$server"
within 30 app_ended || fail "the application was still running 30 s after its display ended"
wait "$app"
status=$?
app=""
# Qt's platform plugin ends the process with status 1; a status above 128 is a signal (a crash).
[[ $status -lt 128 ]] || fail "the application crashed when its display ended (status $status)"
echo "ok: the application ended with status $status when its display ended"

sessions="$(sqlite3 "$work/data/kiruvo/defaults.sqlite3" "select value from defaults where key = 'sessions'" 2>&1)"
longest="$(jq -r '[.[] | fromjson | .dateRange[1] - .dateRange[0]] | max // 0' <<<"$sessions" 2>&1)"
if [[ "$longest" =~ ^[0-9.]+$ ]] && awk -v d="$longest" 'BEGIN { exit !(d >= 180) }'; then
    echo "ok: the running session was stored when the display ended ($longest s)"
else
    fail "no session of 180 s or more was stored: $longest (sessions: ${sessions:0:300})"
fi
# The store was closed: its write-ahead log went into the file.
[[ -s "$work/data/kiruvo/defaults.sqlite3-wal" ]] && fail "the store was not closed: its write-ahead log is left"
[[ -e "$work/state/kiruvo/running" ]] && fail "the crash marker was left behind"
echo "display end test passed"
