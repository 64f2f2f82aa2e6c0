#!/usr/bin/env bash
# Popovers and the menu at swaybar's tray on sway 1.7, as a new user meets them: the Welcome window's
# greeting from the status item comes while another application's window has the focus, and it
# takes neither a tile nor the focus (no window of the application comes on the workspace, the
# other window keeps the focus) while it is seen below the bar; a click on the tray item during the
# greeting opens the menu, and the menu opens again afterwards. The Settings window floats at its
# own size rather than filling a tile. Sway and swaybar refuse root: run by root they run as nobody,
# on a session bus that lets both users in, since swaybar's tray and the application must meet on
# it. With KIRUVO_TEST_SHOTS naming a folder, the screen is saved there as PNG at each step.
# Usage: wayland_popover.sh <path of the kiruvo executable>
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="${1:?usage: wayland_popover.sh <kiruvo executable>}"
    # shellcheck source-path=SCRIPTDIR source=private_session.sh
    source "$(dirname "$0")/private_session.sh"
    require_tools sway swaybar swaymsg grim wtype weston-terminal dbus-daemon gdbus python3 setsid
    require_executable "$executable"
    make_private_folders kiruvo-wayland-popover
    in_private_sway_session bash "$0" --inside "$executable" "$work"
    exit $?
fi

executable="$2"
work="$3"
# shellcheck source-path=SCRIPTDIR source=private_session.sh
source "$(dirname "$0")/private_session.sh"
runtime=""
bus=""
desktop=""
app=""
other=""
stop_all() {
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
    echo "--- windows"
    windows
    echo "--- application"
    cat "$work/app.log" 2>/dev/null
    echo "--- sway"
    tail -n 40 "$work/sway.log" 2>/dev/null
    exit 1
}

windows() { sway_windows; }
app_window() { windows | grep "^$app " | head -n 1; }
app_has_window() { [[ -n "$(app_window)" ]]; }
app_has_no_window() { ! app_has_window; }
other_focused() { windows | grep -q "^$other .* focused "; }
screen() { WAYLAND_DISPLAY="$runtime/$wayland" grim -t ppm "$work/screen.ppm" 2>/dev/null; }
shot() {
    if [[ -n "${KIRUVO_TEST_SHOTS:-}" ]]; then
        WAYLAND_DISPLAY="$runtime/$wayland" grim "${KIRUVO_TEST_SHOTS}/$1.png" 2>/dev/null
    fi
}

# What the screen shows under the bar at its right end, where a popover of the tray item hangs, and
# where the tray item is: "<pixels unlike the wallpaper below the bar> <item x> <item y>".
look() {
    screen || return 1
    screen_python - "$work/screen.ppm" <<'PY'
import sys
from screen_pixels import Screen, near
screen = Screen(sys.argv[1])
width, height, at = screen.width, screen.height, screen.at
bar = at(width - 1, 0)
rows = screen.bar_rows(bar)
# The item: the pixels unlike the bar in its right 64 columns.
item = [(x, y) for y in range(rows) for x in range(width - 64, width) if not near(at(x, y), bar)]
cx = (min(p[0] for p in item) + max(p[0] for p in item)) // 2 if item else -1
cy = (min(p[1] for p in item) + max(p[1] for p in item)) // 2 if item else -1
# Below the bar, the right 400 columns and 120 rows: what differs from the wallpaper's colour there.
wallpaper = at(width - 1, height - 1)
popover = sum(1 for y in range(rows, min(height, rows + 120)) for x in range(width - 400, width)
              if not near(at(x, y), wallpaper))
print(popover, cx, cy)
PY
}
popover_seen() { read -r seen _ _ <<<"$(look)" && ((seen > 200)); }
popover_gone() { read -r seen _ _ <<<"$(look)" && ((seen < 20)); }
item_seen() { read -r _ item_x item_y <<<"$(look)" && ((item_x >= 0)); }

start_sway_with_bar "$(printf 'output HEADLESS-1 resolution 1280x800\noutput * bg #336699 solid_color\nbar {\n  position top\n}\n')" \
    "$work/sway.log" || fail "sway and its bar's tray did not start"
export WAYLAND_DISPLAY="$runtime/$wayland"

# Another application's window, which has the focus: the user types there.
weston-terminal --shell=/bin/cat >"$work/other.log" 2>&1 &
other=$!
other_shown() { windows | grep -q "^$other "; }
within 30 other_shown || fail "the other window did not come"
# Small, in the bottom left corner, so that the wallpaper shows under the bar where popovers hang.
swaymsg "[pid=$other] floating enable, resize set 300 200, move position 20 500" >/dev/null \
    || fail "the other window could not be moved"

# A first launch: the Welcome window, whose "Get Started" sends the greeting to the status item.
QT_QPA_PLATFORM=wayland "$executable" >"$work/app.log" 2>&1 &
app=$!
within 60 app_has_window || fail "no Welcome window came"
within 30 item_seen || fail "the status item did not come into swaybar's tray"
sleep 1
# Tab to "Continue", Space for the last page, Return for "Get Started".
wtype -s 300 -k Tab -s 300 -k space -s 800 -k Return || fail "wtype failed"
within 20 app_has_no_window || fail "the Welcome window stayed"
within 10 popover_seen || fail "no greeting was seen below the bar"
shot greeting
# Looked at over a second of the greeting's five: never a window, never the focus.
for _ in 1 2 3 4 5; do
    app_has_no_window || fail "the greeting is a window on the workspace: $(app_window)"
    other_focused || fail "the greeting took the focus from the other window"
    sleep 0.2
done
echo "ok: the greeting shows below the bar, as no window, and the other window keeps the focus"

# A click on the item while the greeting shows, as swaybar tells it for an item that is a menu
# (the headless seat has no pointer to click with): the greeting goes and the menu opens.
read -r _ item_x item_y <<<"$(look)"
item="$(gdbus introspect --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --only-properties | grep -o "org.kde.StatusNotifierItem-$app-[0-9]*" | head -n 1)"
[[ -n "$item" ]] || fail "the status item is not registered with swaybar"
timeout 10 gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
    --method org.kde.StatusNotifierItem.ContextMenu "$item_x" "$item_y" >/dev/null || fail "ContextMenu failed"
within 10 app_has_window || fail "the click on the item during the greeting opened no menu"
within 10 popover_gone || fail "the greeting stayed after the click on the item"
shot menu-after-click
read -r _ kind _ _ width height _ _ <<<"$(app_window)"
[[ "$kind" == floating ]] || fail "the menu is $kind"
echo "ok: a click on the item during the greeting closes it and opens the menu (${width}x$height)"
wtype -s 300 -k Escape || fail "wtype failed"
within 10 app_has_no_window || fail "Escape left the menu open"
# Past the greeting's five seconds, the menu still opens.
sleep 5
timeout 10 gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
    --method com.zelvantorium.Kiruvo.Application.OpenMenu >/dev/null || fail "OpenMenu failed"
within 10 app_has_window || fail "after the greeting the menu no longer opens"
echo "ok: after the greeting the menu opens again"
wtype -s 300 -k Escape || fail "wtype failed"
within 10 app_has_no_window || fail "Escape left the menu open"

# Settings, chosen from the menu by its key, float at their own size.
timeout 10 gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
    --method com.zelvantorium.Kiruvo.Application.OpenMenu >/dev/null || fail "OpenMenu failed"
within 10 app_has_window || fail "the menu did not open"
wtype -s 300 -M ctrl -k comma -m ctrl || fail "wtype failed"
settings_shown() { read -r _ _ _ _ width _ _ _ <<<"$(app_window)" && ((width > 300)); }
within 20 settings_shown || fail "Settings did not open"
sleep 1
shot settings
read -r _ kind _ _ width height _ _ <<<"$(app_window)"
[[ "$kind" == floating ]] || fail "Settings are $kind (${width}x$height), not floating at their own size"
((width < 1000 && height < 700)) || fail "Settings are ${width}x$height"
echo "ok: Settings float at their own size (${width}x$height)"

kill -TERM "$app"
within 10 app_has_no_window || true
app_ended() { ! kill -0 "$app" 2>/dev/null; }
within 10 app_ended || fail "the application was still running 10 s after SIGTERM"
app=""
echo "Wayland popover test on sway passed"
