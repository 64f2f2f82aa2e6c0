#!/usr/bin/env bash
# Starts the application as a Wayland client of a real compositor, as a user's Wayland session
# would: no X display at all, only the compositor's socket, with a private runtime folder, session
# bus and empty data folders. Checks that it keeps running, answers scripting on the bus, takes its
# idle time from the compositor, logs nothing untrue of Wayland (with no panel, the status item waits
# for a StatusNotifierItem host: there is no XEmbed tray), and ends cleanly on SIGTERM. Sway (Debian 12's 1.7, which offers only
# KDE's older idle protocol) runs Xwayland, whose display the session names as well: the idle time
# comes from the compositor all the same.
# Usage: wayland_client.sh mutter|kwin|sway <path of the kiruvo executable>
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    compositor="${1:?usage: wayland_client.sh mutter|kwin|sway <kiruvo executable>}"
    executable="${2:?usage: wayland_client.sh mutter|kwin|sway <kiruvo executable>}"
    case "$compositor" in
    mutter) program=mutter package=mutter ;;
    kwin) program=kwin_wayland package=kwin-wayland ;;
    sway) program=sway package=sway ;;
    *) echo "FAIL: unknown compositor $compositor" && exit 1 ;;
    esac
    if ! command -v "$program" >/dev/null 2>&1; then
        echo "SKIP: $program is not installed (Debian package $package)"
        exit 77
    fi
    # shellcheck source-path=SCRIPTDIR source=private_session.sh
    source "$(dirname "$0")/private_session.sh"
    require_tools dbus-run-session gdbus
    require_executable "$executable"
    make_private_folders kiruvo-wayland
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
sway_runtime=""
# Nothing started here outlives the test, whatever ends it.
stop_all() {
    [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
    stop_compositor
    wait 2>/dev/null
}
trap stop_all EXIT
fail() {
    echo "FAIL: $*"
    echo "--- application"
    cat "$work/app.log" 2>/dev/null
    echo "--- $compositor"
    tail -n 40 "$work/compositor.log" 2>/dev/null
    exit 1
}
desktop_running() { kill -0 "$desktop" 2>/dev/null; }

start_compositor "$compositor" "$socket" "$work/compositor.log" \
    || fail "$compositor made no Wayland socket"
case "$compositor" in
mutter)
    # Its idle monitor is on the bus a moment after the socket: the application looks once.
    within 30 on_bus org.gnome.Mutter.IdleMonitor || fail "mutter's IdleMonitor is not on the bus"
    expected_source="GNOME Mutter IdleMonitor"
    ;;
kwin)
    expected_source="Wayland ext-idle-notify"
    ;;
sway)
    expected_source="Wayland org_kde_kwin_idle"
    # Xwayland sees only the input that goes to X windows: it is never asked.
    DISPLAY="$(cat "$XDG_RUNTIME_DIR/xwayland-display")"
    export DISPLAY
    ;;
esac
desktop_running || fail "$compositor ended at start-up"

# As a Wayland session starts it: the compositor's socket and no X display but Xwayland's (sway),
# so that Qt runs as a Wayland client.
WAYLAND_DISPLAY="$socket" "$executable" >"$work/app.log" 2>&1 &
app=$!

app_ended() { ! kill -0 "$app" 2>/dev/null; }
on_bus_or_ended() { app_ended || on_bus com.zelvantorium.Kiruvo; }
within 60 on_bus_or_ended
app_ended && fail "the application ended at start-up"
on_bus com.zelvantorium.Kiruvo || fail "the application's scripting interface did not come on the bus"
echo "ok: the application runs as a Wayland client of $compositor"

reply="$(timeout 10 gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
    --method com.zelvantorium.Kiruvo.Intents.GetEnabledState 2>&1)"
# The response code "success" (4), then the enabled state: enabled at launch by default.
[[ "$reply" == "(4, true)" ]] || fail "GetEnabledState answered: $reply"
echo "ok: GetEnabledState answered $reply"

source_line() { grep -o "Idle time comes from [^(]*" "$work/app.log" | head -n 1 | sed "s/ *$//"; }
within 30 bash -c "grep -q 'Idle time comes from' '$work/app.log'" || fail "the application did not say where its idle time comes from"
[[ "$(source_line)" == "Idle time comes from $expected_source"* ]] \
    || fail "the idle time should come from $expected_source; the application said: $(source_line)"
echo "ok: $(source_line)"

# The log tells the truth of a Wayland desktop: no XEmbed tray, no window opacity, no X11 tray signals.
# The Welcome window of this first launch fades in within its first second or two; nothing tells when.
sleep 2
for untrue in "XEmbed" "does not support setting window opacity" "systemTrayWindowChanged"; do
    grep -q "$untrue" "$work/app.log" && fail "the log says what is not so on Wayland: $(grep -m 1 "$untrue" "$work/app.log")"
done
echo "ok: the log names no XEmbed tray, window opacity or X11 tray signal"

desktop_running || fail "$compositor ended while the application ran"
kill -TERM "$app"
within 10 app_ended || fail "the application was still running 10 s after SIGTERM"
wait "$app"
status=$?
app=""
[[ $status -eq 0 ]] || fail "the application exited with status $status after SIGTERM"
echo "ok: the application ended with status 0 after SIGTERM"
if grep -q "Could not find the Qt platform plugin\|Could not load the Qt platform plugin" "$work/app.log"; then
    fail "Qt could not load a platform plugin"
fi
echo "Wayland client test passed"
