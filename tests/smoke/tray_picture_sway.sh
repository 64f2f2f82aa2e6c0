#!/usr/bin/env bash
# The status item's picture in swaybar's tray, as sway 1.7 shows it: on sway's own black bar the
# picture is light, and on a bar configured light it is dark, as sway's bar configuration says. The
# screen is read back with grim. Sway and swaybar refuse root: run by root they run as nobody, on a
# session bus that lets both users in, since swaybar's tray and the application must meet on it.
# Usage: tray_picture_sway.sh <path of the kiruvo executable>
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="${1:?usage: tray_picture_sway.sh <kiruvo executable>}"
    # shellcheck source-path=SCRIPTDIR source=private_session.sh
    source "$(dirname "$0")/private_session.sh"
    require_tools sway swaybar grim dbus-daemon gdbus python3 sqlite3 setsid
    require_executable "$executable"
    make_private_folders kiruvo-tray-picture
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
stop_all() {
    [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
    [[ -n "$desktop" ]] && kill -KILL -- "-$desktop" 2>/dev/null
    [[ -n "$bus" ]] && kill -KILL "$bus" 2>/dev/null
    wait 2>/dev/null
    [[ -n "$runtime" ]] && rm -rf "$runtime"
    app="" desktop="" bus="" runtime=""
    # A sway started with SWAYSOCK set takes it for its own socket's path.
    unset SWAYSOCK DBUS_SESSION_BUS_ADDRESS
}
trap stop_all EXIT
fail() {
    echo "FAIL: $*"
    echo "--- application"
    cat "$work/app.log" 2>/dev/null
    echo "--- sway"
    tail -n 40 "$work/sway.log" 2>/dev/null
    exit 1
}

# The pixels of the tray's end of the bar (its right 64 columns, the bar's rows) in grim's picture of
# the screen that are not the bar's own colour, as "<near white> <near black> <rimmed>": how many are
# near white and near black, and whether the near-black ones lie within the near-white ones (a dark
# figure with a light rim, not a light figure on a dark plate).
tray_pixels() {
    WAYLAND_DISPLAY="$runtime/$wayland" grim -t ppm "$work/screen.ppm" 2>/dev/null || return 1
    screen_python - "$work/screen.ppm" "$1" <<'PY'
import sys
from screen_pixels import Screen, near
screen = Screen(sys.argv[1])
width, height, at = screen.width, screen.height, screen.at
bar = tuple(int(sys.argv[2][i:i + 2], 16) for i in (1, 3, 5))
# The bar's rows: from the top, as long as its right end has the bar's colour.
rows = screen.bar_rows(bar)
lights, darks = [], []
for y in range(0, rows):
    for x in range(width - 64, width):
        pixel = at(x, y)
        if near(pixel, bar):
            continue
        if min(pixel) > 200:
            lights.append((x, y))
        if max(pixel) < 80:
            darks.append((x, y))
def box(points):
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return min(xs), min(ys), max(xs), max(ys)
rimmed = 0
if lights and darks:
    outer, inner = box(lights), box(darks)
    rimmed = int(outer[0] < inner[0] and outer[1] < inner[1] and outer[2] > inner[2] and outer[3] > inner[3])
print(len(lights), len(darks), rimmed)
PY
}

# Runs sway as the bar's user with a bar of these colour lines, then the application, and checks the
# tray's pixels: "light" on a dark bar, "dark" on a light one.
run_case() {
    local name="$1" bar_colour="$2" colours="$3" expected="$4"
    start_sway_with_bar "$(printf 'output HEADLESS-1 resolution 800x600\nbar {\n  position top\n  font monospace 13\n%s\n}\n' \
        "$colours")" "$work/sway.log" || fail "sway and its bar's tray did not start"

    mkdir -p "$work/data/kiruvo"
    (umask 077 && sqlite3 "$work/data/kiruvo/defaults.sqlite3" "PRAGMA journal_mode=WAL;
        CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,
            PRIMARY KEY(suite, key));
        INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'ZK_launchCount', '1')" \
        >/dev/null) || fail "the store could not be prepared"
    WAYLAND_DISPLAY="$runtime/$wayland" QT_QPA_PLATFORM=wayland "$executable" >"$work/app.log" 2>&1 &
    app=$!
    shows() {
        local counts
        counts="$(tray_pixels "$bar_colour")" || return 1
        read -r light dark rimmed <<<"$counts"
        # A light figure, not a dark one in a light rim; a dark figure, not the light one on a dark
        # plate drawn while the bar's colour is unknown.
        if [[ "$expected" == light ]]; then ((light >= 20 && rimmed == 0)); else ((dark >= 20 && rimmed == 1)); fi
    }
    # The picture is drawn at once, and again as soon as sway has named its bar's colours.
    within 60 shows || fail "on the $name bar the tray shows $(tray_pixels "$bar_colour") near-white and near-black pixels and rim, not a $expected picture"
    echo "ok: on the $name bar the picture is $expected ($(tray_pixels "$bar_colour") near-white and near-black pixels and rim)"
    stop_all
}

run_case "default black" "#000000" "" light
run_case "light" "#e0e0e0" "  colors {
    background #e0e0e0
    statusline #202020
  }" dark
echo "Tray picture test on sway passed"
