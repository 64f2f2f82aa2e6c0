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
    require_tools dbus-run-session faketime sqlite3 jq
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
started=()
app=""
# Nothing started here outlives the test, whatever ends it.
stop_all() {
    [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
    local pid
    for pid in "${started[@]}"; do
        kill -KILL "$pid" 2>/dev/null
    done
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
# Runs "$@" every tenth of a second until it succeeds, for at most $1 seconds.
within() {
    local tries=$(($1 * 10))
    shift
    for _ in $(seq 1 "$tries"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
on_bus() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}
socket_made() { [[ -S "$XDG_RUNTIME_DIR/$1" ]]; }

case "$display" in
x11 | x11-sigterm)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display-number" >"$work/display.log" 2>&1 &
    server=$!
    started+=("$server")
    within 60 test -s "$work/display-number" || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$work/display-number")"
    openbox >"$work/openbox.log" 2>&1 &
    started+=($!)
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        >"$work/trayer.log" 2>&1 &
    started+=($!)
    ;;
kwin)
    # Debian gives kwin_wayland a file capability that a container's bounding set may lack, and
    # then the kernel refuses to run it: the dynamic loader runs it without the capability.
    loader=/lib64/ld-linux-x86-64.so.2
    [[ -x "$loader" ]] || loader=""
    KWIN_FORCE_OWN_QPA=1 KWIN_COMPOSE=Q $loader "$(command -v kwin_wayland)" --virtual --socket kiruvo-kwin \
        --no-lockscreen --no-global-shortcuts --width 640 --height 480 >"$work/display.log" 2>&1 &
    server=$!
    started+=("$server")
    within 60 socket_made kiruvo-kwin || fail "kwin_wayland made no Wayland socket"
    export WAYLAND_DISPLAY=kiruvo-kwin
    ;;
mutter)
    mutter --headless --virtual-monitor 640x480 --wayland --no-x11 --wayland-display kiruvo-mutter \
        >"$work/display.log" 2>&1 &
    server=$!
    started+=("$server")
    within 60 socket_made kiruvo-mutter || fail "mutter made no Wayland socket"
    export WAYLAND_DISPLAY=kiruvo-mutter
    ;;
esac

# The library is preloaded directly (the faketime command would stand between us and the
# application's signals). A sanitizer build must not insist on coming first.
faketime_library="$(dpkg -L libfaketime 2>/dev/null | grep '/libfaketimeMT\.so' | head -n 1)"
if [[ -z "$faketime_library" ]]; then
    echo "SKIP: libfaketime's library was not found"
    exit 77
fi
LD_PRELOAD="$faketime_library" FAKETIME="+0 x60" \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
    "$executable" >"$work/app.log" 2>&1 &
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
