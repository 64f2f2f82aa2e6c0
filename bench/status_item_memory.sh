#!/usr/bin/env bash
# Compares the resident memory of the application after a stretch of doing nothing with its status
# item in the XEmbed tray and as a StatusNotifierItem, in the same run: under a private display
# with a tray host and a private session bus, with empty data folders each time. Fails when the two
# are more than 1 MiB apart.
# Usage: bench/status_item_memory.sh <kiruvo executable> <sni_host executable> [idle seconds (default 60)]
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="$(realpath "${1:?usage: status_item_memory.sh <kiruvo> <sni_host> [idle seconds]}")"
    host="$(realpath "${2:?usage: status_item_memory.sh <kiruvo> <sni_host> [idle seconds]}")"
    idle="${3:-60}"
    exec xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$0" --inside "$executable" "$host" "$idle"
fi
executable="$2"
host="$3"
idle="$4"

trayer --edge top --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
tray=$!
panel=""
trap 'kill $tray $panel 2>/dev/null' EXIT
sleep 1

# Runs the application until it has been idle for the given time; prints its resident KiB.
# $1: a command that succeeds once the status item is shown.
measure() {
    local shown="$1" work app rss
    work="$(mktemp -d)"
    XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" \
        "$executable" >"$work/log" 2>&1 &
    app=$!
    until $shown; do
        if ! kill -0 "$app" 2>/dev/null; then
            echo "the application ended before its item was shown:" >&2
            cat "$work/log" >&2
            exit 1
        fi
        sleep 0.01
    done
    sleep "$idle"
    rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$app/status")
    kill -TERM "$app"
    wait "$app"
    rm -rf "$work"
    echo "$rss"
}

in_tray() { xwininfo -root -tree 2>/dev/null | grep -A8 '"panel"' | grep -q '("kiruvo" "Kiruvo")'; }
xembed=$(measure in_tray) || exit 1
while in_tray; do sleep 0.01; done

registered="$(mktemp)"
"$host" >"$registered" &
panel=$!
sleep 0.5
as_item() { [[ -s "$registered" ]]; }
sni=$(measure as_item) || exit 1
if in_tray; then
    echo "the item was shown twice: also in the XEmbed tray" >&2
    exit 1
fi
rm -f "$registered"

difference=$((sni > xembed ? sni - xembed : xembed - sni))
echo "resident memory after ${idle} s idle: XEmbed tray ${xembed} KiB, StatusNotifierItem ${sni} KiB, apart ${difference} KiB"
if ((difference > 1024)); then
    echo "more than 1 MiB apart" >&2
    exit 1
fi
