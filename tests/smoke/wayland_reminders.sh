#!/usr/bin/env bash
# Reminders on sway 1.7 with swaybar while the user works in another application's window. A click
# on the reminder popover with a pointer that joins the seat while the popover is up closes it. The
# heads-up reminder appears in the middle of the screen, clear of the bar, as no window of the
# workspace, and takes no key the user types into the other window. The reminders are driven by the
# settings store as another program would write it. On this 1280 × 720 screen Settings stay on it
# when a taller pane is shown. Sway and swaybar refuse root: run by root they
# run as nobody. With KIRUVO_TEST_SHOTS naming a folder, the screen is saved there as PNG at each step.
# Usage: wayland_reminders.sh <kiruvo executable> <virtual_pointer executable>
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="${1:?usage: wayland_reminders.sh <kiruvo executable> <virtual_pointer executable>}"
    pointer="${2:?usage: wayland_reminders.sh <kiruvo executable> <virtual_pointer executable>}"
    # shellcheck source-path=SCRIPTDIR source=private_session.sh
    source "$(dirname "$0")/private_session.sh"
    require_tools sway swaybar swaymsg grim wtype weston-terminal dbus-daemon gdbus python3 setsid sqlite3
    require_executable "$executable"
    require_executable "$pointer"
    make_private_folders kiruvo-wayland-reminders
    in_private_sway_session bash "$0" --inside "$executable" "$pointer" "$work"
    exit $?
fi

executable="$2"
pointer="$3"
work="$4"
# shellcheck source-path=SCRIPTDIR source=private_session.sh
source "$(dirname "$0")/private_session.sh"
runtime=""
bus=""
desktop=""
app=""
other=""
typist=""
stop_all() {
    [[ -n "$typist" ]] && kill -KILL "$typist" 2>/dev/null
    [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
    [[ -n "$other" ]] && kill -KILL "$other" 2>/dev/null
    [[ -n "$desktop" ]] && kill -KILL -- "-$desktop" 2>/dev/null
    [[ -n "$bus" ]] && kill -KILL "$bus" 2>/dev/null
    wait 2>/dev/null
    [[ -n "$runtime" ]] && rm -rf "$runtime"
}
trap 'stop_all; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    shot failure
    echo "--- windows"
    sway_windows
    echo "--- application"
    cat "$work/app.log" 2>/dev/null
    echo "--- sway"
    tail -n 40 "$work/sway.log" 2>/dev/null
    exit 1
}

width=1280
height=720
app_window() { sway_windows | grep "^$app " | head -n 1; }
app_has_no_window() { [[ -z "$(app_window)" ]]; }
other_focused() { sway_windows | grep -q "^$other .* focused "; }
shot() {
    if [[ -n "${KIRUVO_TEST_SHOTS:-}" ]]; then
        WAYLAND_DISPLAY="$runtime/$wayland" grim "${KIRUVO_TEST_SHOTS}/$1.png" 2>/dev/null
    fi
}
store() {
    sqlite3 "$work/data/kiruvo/defaults.sqlite3" ".timeout 5000" "$1" >/dev/null
}

# What the screen shows below the bar, unlike the wallpaper: "<bar rows> <pixels> <left> <top>
# <right> <bottom>" of what differs in the right 400 columns under the bar (where a popover of the
# tray item hangs) with $1 = corner, or in the middle 400 × 400 below the bar with $1 = middle.
look() {
    WAYLAND_DISPLAY="$runtime/$wayland" grim -t ppm "$work/screen.ppm" 2>/dev/null || return 1
    screen_python - "$work/screen.ppm" "$1" <<'PY'
import sys
from screen_pixels import Screen, near
screen = Screen(sys.argv[1])
width, height, at = screen.width, screen.height, screen.at
bar = at(width - 1, 0)
rows = screen.bar_rows(bar)
wallpaper = at(width - 1, height - 1)
if sys.argv[2] == "corner":
    xs, ys = range(width - 400, width), range(rows, min(height, rows + 160))
else:
    xs, ys = range(width // 2 - 200, width // 2 + 200), range(rows, min(height, rows + 400))
seen = [(x, y) for y in ys for x in xs if not near(at(x, y), wallpaper)]
if seen:
    print(rows, len(seen), min(p[0] for p in seen), min(p[1] for p in seen),
          max(p[0] for p in seen), max(p[1] for p in seen))
else:
    print(rows, 0, -1, -1, -1, -1)
PY
}
# How many pixels differ there; fails when the screen could not be read.
differing() {
    local seen
    read -r _ seen _ <<<"$(look "$1")"
    [[ -n "$seen" ]] && echo "$seen"
}
popover_seen() { local seen; seen="$(differing corner)" && ((seen > 200)); }
popover_gone() { local seen; seen="$(differing corner)" && ((seen < 20)); }
heads_up_seen() { local seen; seen="$(differing middle)" && ((seen > 20000)); }

start_sway_with_bar "$(printf 'output HEADLESS-1 resolution %sx%s\noutput * bg #336699 solid_color\nbar {\n  position top\n}\n' \
    "$width" "$height")" "$work/sway.log" || fail "sway and its bar's tray did not start"
export WAYLAND_DISPLAY="$runtime/$wayland"

# Another application's window, where the user types: each key reaches the file as it is typed.
printf '#!/bin/sh\nstty -icanon -echo min 1\nexec cat > %s\n' "$work/typed" >"$work/typing-shell"
chmod +x "$work/typing-shell"
weston-terminal --shell="$work/typing-shell" >"$work/other.log" 2>&1 &
other=$!
other_shown() { sway_windows | grep -q "^$other "; }
within 30 other_shown || fail "the other window did not come"
# Small, in the bottom left corner: the wallpaper shows where the reminders come.
swaymsg "[pid=$other] floating enable, resize set 300 200, move position 20 560" >/dev/null \
    || fail "the other window could not be moved"
within 10 other_focused || fail "the other window has no focus"

# Not the first launch; popover reminders, none due yet.
mkdir -p "$work/data/kiruvo"
(umask 077 && sqlite3 "$work/data/kiruvo/defaults.sqlite3" "PRAGMA journal_mode=WAL;
    CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,
        PRIMARY KEY(suite, key));
    INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'ZK_launchCount', '1');
    INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'idleDurationBeforeStop', '\"1000000\"');
    INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'notificationType', '\"popover\"')" \
    >/dev/null) || fail "the store could not be prepared"
QT_QPA_PLATFORM=wayland "$executable" >"$work/app.log" 2>&1 &
app=$!
within 60 on_bus com.zelvantorium.Kiruvo || fail "the application did not come on the bus"

# The user types into the other window, three keys a second, throughout: a session runs only while
# someone is there.
text="$(printf '%s' abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 | cut -c1-66)"
# A first space, then a second's pause: a client may miss the first key of a keyboard that has
# just joined the seat, before its keymap is read.
wtype -k space -s 1000 -d 330 "$text" &
typist=$!

# A reminder in 4 s, the popover 2.4 s later; the next is no longer due once it shows.
suite="'com.zelvantorium.Kiruvo'"
store "INSERT OR REPLACE INTO defaults VALUES($suite, 'notifyInterval', '\"4\"')" || fail "the store could not be written"
within 20 popover_seen || fail "no reminder popover was seen below the bar"
store "DELETE FROM defaults WHERE suite = $suite AND key = 'notifyInterval'" || fail "the store could not be written"
shot reminder-popover
read -r _ _ left top right bottom <<<"$(look corner)"
# The pointer joins the seat now, while the popover is up, moves onto it and clicks.
"$pointer" "${width}x$height" move:10,400 wait:300 "move:$(((left + right) / 2)),$(((top + bottom) / 2))" \
    wait:300 click wait:200 >"$work/pointer.log" 2>&1 || fail "the pointer failed: $(cat "$work/pointer.log")"
clicked_at="$(date +%s%N)"
within 20 popover_gone || fail "the reminder popover never closed"
# The popover shows 8 s when nothing closes it.
closed_after=$((($(date +%s%N) - clicked_at) / 1000000))
((closed_after < 3000)) || fail "a click on the reminder popover did not close it: it went ${closed_after} ms later"
echo "ok: a click with a pointer that came while the popover showed closes it (seen gone ${closed_after} ms later)"
other_focused || fail "the popover took the focus from the other window"

# Heads-up reminders every 2 s.
store "INSERT OR REPLACE INTO defaults VALUES($suite, 'notificationType', '\"hud\"');
    INSERT OR REPLACE INTO defaults VALUES($suite, 'notifyInterval', '\"2\"')" || fail "the store could not be written"
within 10 heads_up_seen || fail "no heads-up reminder was seen in the middle of the screen"
shot heads-up
read -r bar _ left top right bottom <<<"$(look middle)"
app_has_no_window || fail "the heads-up reminder is a window on the workspace: $(app_window)"
other_focused || fail "the heads-up reminder took the focus from the other window"
# Centred in the area the bar leaves, raised by 12 % of its height.
free=$((height - bar))
expected_top=$(python3 -c "print(round($bar + ($free - 220) / 2 - $free * 0.12))")
((left >= width / 2 - 112 && right <= width / 2 + 111)) || fail "the heads-up spans x $left to $right"
((top >= expected_top - 3 && top <= expected_top + 3 && bottom <= expected_top + 222)) \
    || fail "the heads-up spans y $top to $bottom, not from $expected_top"
# Through more reminders, until the typing ends.
wait "$typist"
typist=""
store "DELETE FROM defaults WHERE suite = $suite AND key = 'notifyInterval'" || fail "the store could not be written"
typed_all() {
    local typed
    typed="$(cat "$work/typed" 2>/dev/null)"
    [[ "${typed# }" == "$text" ]]
}
within 5 typed_all || fail "of the keys typed, the other window got \"$(cat "$work/typed")\""
echo "ok: heads-up reminders show in the middle ($left,$top to $right,$bottom) and every key typed reaches the other window"

# Settings, from the menu by its key, then their Notifications pane, taller than General.
timeout 10 gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
    --method com.zelvantorium.Kiruvo.Application.OpenMenu >/dev/null || fail "OpenMenu failed"
menu_shown() { [[ -n "$(app_window)" ]]; }
within 10 menu_shown || fail "the menu did not open"
wtype -s 300 -M ctrl -k comma -m ctrl || fail "wtype failed"
settings_shown() { read -r _ _ _ _ shown_width _ _ _ <<<"$(app_window)" && ((shown_width > 300)); }
within 20 settings_shown || fail "Settings did not open"
sleep 1
read -r _ _ _ _ _ general_height _ _ <<<"$(app_window)"
wtype -s 300 -k Tab -s 300 -k Right -s 300 -k Right || fail "wtype failed"
grown() { read -r _ _ _ _ _ shown_height _ _ <<<"$(app_window)" && ((shown_height > general_height)); }
within 10 grown || fail "the Notifications pane did not make Settings taller than General ($(app_window))"
sleep 1
shot settings-notifications
read -r _ kind _ y _ shown_height _ _ <<<"$(app_window)"
[[ "$kind" == floating ]] || fail "Settings are $kind"
((y >= 0 && y + shown_height <= height)) \
    || fail "the Notifications pane runs from y $y to $((y + shown_height)), off the screen's $height"
echo "ok: Settings grown to the Notifications pane stay on the screen (y $y to $((y + shown_height)))"

kill -TERM "$app"
app_ended() { ! kill -0 "$app" 2>/dev/null; }
within 10 app_ended || fail "the application was still running 10 s after SIGTERM"
app=""
echo "Wayland reminders test on sway passed"
