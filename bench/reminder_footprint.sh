#!/usr/bin/env bash
# What the running application costs while one of its animated windows is on screen, side by side
# for one or more builds in one run: CPU a minute, wake-ups a second and threads
# - welcome: while the Welcome window shows (a first launch);
# - headsUpOnScreen: while a heads-up reminder window is on screen (bench/tools/heads_up_window of
#   the same build, which shows one and keeps it: the beating heart without building or fading);
# - headsUpEvery5s: while heads-up reminders come every 5 s (each window stays 4 s, so a window is
#   built, fades in, beats and fades out, again and again, the whole minute);
# - idle: no window, for comparison.
#
# Every build runs under the same private X display (one 1280 × 800 screen) with a tray host
# (trayer), each instance with its own private session bus and its own empty data folders; the
# builds run at the same time, so that the machine's load reaches each alike.
#
# Usage: bench/reminder_footprint.sh [--seconds S] [--display :N|auto] [--scenarios "welcome ..."] \
#            <name>=<kiruvo executable>[:<heads_up_window executable>] ...
# (a build given without its heads_up_window is left out of headsUpOnScreen)
set -uo pipefail

seconds=60
display="auto"
scenarios="welcome headsUpOnScreen headsUpEvery5s idle"
builds=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --display) display="$2"; shift 2 ;;
    --scenarios) scenarios="$2"; shift 2 ;;
    *=*) builds+=("$1"); shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
if [[ ${#builds[@]} -eq 0 ]]; then
    echo "usage: $0 [--seconds S] [--display :N|auto] name=/path/to/kiruvo[:/path/to/heads_up_window] ..." >&2
    exit 2
fi

# shellcheck source=measure_lib.sh
source "$(dirname "$(realpath "$0")")/measure_lib.sh"
start_scratch reminder-footprint
threads() { awk '/^Threads/ { print $2 }' "/proc/$1/status"; }

# A display of our own: the one asked for, or with "auto" the first free one Xvfb finds, so that
# the measurement never lands on another program's display.
if [[ $display == auto ]]; then
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 1 50); do [[ -s "$work/display" ]] && break; sleep 0.1; done
    display=":$(cat "$work/display")"
else
    if [[ -e "/tmp/.X${display#:}-lock" ]]; then
        echo "display $display is in use" >&2
        exit 1
    fi
    Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
fi
export DISPLAY="$display"
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
trayer --edge top --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Writes settings straight into a settings database: "key=json value" pairs.
write_store() {
    local path="$1"
    shift
    python3 - "$path" "$@" <<'EOF'
import sqlite3, sys
path = sys.argv[1]
db = sqlite3.connect(path)
db.execute("PRAGMA journal_mode=WAL")
db.execute("CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL, "
           "PRIMARY KEY(suite, key))")
for pair in sys.argv[2:]:
    key, value = pair.split("=", 1)
    db.execute("INSERT OR REPLACE INTO defaults(suite, key, value) VALUES(?, ?, ?)",
               ("com.zelvantorium.Kiruvo", key, value))
db.commit()
db.close()
EOF
}




# Waits until the application answers on its bus.
await_start() {
    local app="$1" address="$2" folder="$3"
    until call "$address" GetEnabledState >/dev/null 2>&1; do
        kill -0 "$app" 2>/dev/null || { echo "the application did not start:" >&2; cat "$folder/log" >&2; exit 1; }
        sleep 0.05
    done
}


# Folders whose first launch is behind them (no Welcome window), with `settings` written.
prepare() {
    local executable="$1" folder="$2" app address
    shift 2
    rm -rf "$folder"
    read -r app address < <(launch "$executable" "$folder")
    await_start "$app" "$address" "$folder"
    sleep 1
    stop "$app"
    [[ $# -gt 0 ]] && write_store "$folder/data/kiruvo/defaults.sqlite3" "$@"
}

echo "Kiruvo while its windows show: $seconds s per scenario, $(nproc) cores, display $display (1280 × 800, one screen)"
for scenario in $scenarios; do
    declare -A app_of=() cpu_before=() switches_before=()
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        paths="${build#*=}"
        executable="$(realpath "${paths%%:*}")"
        tool=""
        [[ $paths == *:* ]] && tool="$(realpath "${paths#*:}")"
        folder="$work/$name-$scenario"
        case $scenario in
        welcome) rm -rf "$folder" ;;
        headsUpOnScreen)
            [[ -z $tool ]] && continue
            rm -rf "$folder"
            read -r app _ < <(launch "$tool" "$folder")
            app_of[$name]=$app
            continue
            ;;
        # A reminder every 5 s, shown as heads-up windows that stay 4 s.
        headsUpEvery5s) prepare "$executable" "$folder" 'notifyInterval="5"' 'notificationType="hud"' ;;
        idle) prepare "$executable" "$folder" ;;
        esac
        read -r app address < <(launch "$executable" "$folder")
        await_start "$app" "$address" "$folder"
        app_of[$name]=$app
    done
    # The user moves the pointer once, so that every instance tracks a session (Xvfb counts the
    # time since it started as idle time), then leaves the machine alone for the measurement.
    xdotool mousemove 200 200 mousemove 300 300 >/dev/null 2>&1
    sleep 5
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        [[ -z ${app_of[$name]:-} ]] && continue
        cpu_before[$name]=$(cpu_ns "${app_of[$name]}")
        switches_before[$name]=$(switches "${app_of[$name]}")
    done
    sleep "$seconds"
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        [[ -z ${app_of[$name]:-} ]] && continue
        app=${app_of[$name]}
        cpu=$(printf '%.1f' "$(counted_since "${cpu_before[$name]}" "$(cpu_ns "$app")" "$((seconds * 1000000 / 60))")")
        wakeups=$(printf '%.2f' "$(counted_since "${switches_before[$name]}" "$(switches "$app")" "$seconds")")
        echo "[$name] $scenario: CPU ${cpu} ms a minute, ${wakeups} wake-ups a second, $(threads "$app") threads"
        stop "$app"
    done
    unset app_of cpu_before switches_before
done
