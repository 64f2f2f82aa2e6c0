#!/usr/bin/env bash
# Measures how long the application takes from its start until its icon sits in the tray, and how
# much memory it holds after a minute of doing nothing, under a private display with a tray host
# and a private session bus, with empty data folders.
# Usage: bench/startup.sh <kiruvo executable> [runs (default 5)] [idle seconds (default 60)]
# With SLOW_IDLE_SERVICE_MS set, an org.freedesktop.ScreenSaver on the bench's bus answers that many
# milliseconds late, as a desktop busy at login does (the stand-in is bench/screensaver_service
# beside the executable's build, or SCREENSAVER_SERVICE).
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="$(realpath "${1:?usage: startup.sh <kiruvo executable> [runs] [idle seconds]}")"
    runs="${2:-5}"
    idle="${3:-60}"
    exec xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$0" --inside "$executable" "$runs" "$idle"
fi
executable="$2"
runs="$3"
idle="$4"

trayer --edge top --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
tray=$!
service=
if [[ -n "${SLOW_IDLE_SERVICE_MS:-}" ]]; then
    program="${SCREENSAVER_SERVICE:-$(dirname "$(dirname "$executable")")/bench/screensaver_service}"
    "$program" 0 "$SLOW_IDLE_SERVICE_MS" &
    service=$!
fi
trap 'kill "$tray" $service 2>/dev/null' EXIT
sleep 1

icon_shown() {
    xwininfo -root -tree 2>/dev/null | grep -A8 '"panel"' | grep -q '("kiruvo" "Kiruvo")'
}

times=()
for run in $(seq 1 "$runs"); do
    work="$(mktemp -d)"
    start=$(date +%s%N)
    XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" \
        "$executable" >"$work/log" 2>&1 &
    app=$!
    until icon_shown; do
        if ! kill -0 "$app" 2>/dev/null; then
            echo "the application ended before its icon was shown:"
            cat "$work/log"
            exit 1
        fi
        sleep 0.005
    done
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
    if [[ $run -eq $runs ]]; then
        sleep "$idle"
        rss_kib=$(awk '/^VmRSS/ { print $2 }' "/proc/$app/status")
    fi
    kill -TERM "$app"
    wait "$app"
    rm -rf "$work"
    # The tray takes the next icon only once this one is gone.
    while icon_shown; do sleep 0.01; done
done

sorted=($(printf '%s\n' "${times[@]}" | sort -n))
[[ -n "$service" ]] && echo "org.freedesktop.ScreenSaver answering ${SLOW_IDLE_SERVICE_MS} ms late"
echo "start-up to the icon in the tray, ms: ${times[*]} (median ${sorted[$((runs / 2))]})"
echo "resident memory after ${idle} s idle: $((rss_kib / 1024)) MiB (${rss_kib} KiB)"
