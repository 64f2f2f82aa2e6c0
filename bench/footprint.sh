#!/usr/bin/env bash
# What the running application costs, side by side for one or more builds in one run: start-up to
# the first D-Bus answer (with no history and with a stored history), CPU a minute and wake-ups a
# second while idle in each "showInMenuBar" mode, resident memory after a minute, and one
# GetSessions call (its time and what it leaves in resident memory).
#
# Every build runs under the same private X display with a tray host (trayer), each instance with
# its own private session bus and its own empty data folders. The history is written straight into
# the settings database before the application starts.
#
# Usage: bench/footprint.sh [options] <name>=<kiruvo executable> [<name>=<kiruvo executable> ...]
#   --sessions N    stored sessions (default 6000)
#   --idle S        seconds of idle measurement per mode (default 60)
#   --runs N        start-ups measured per build and history (default 3)
#   --display :N    X display to use (default :19)
#   --startup-only  measure the start-ups only (every mode), not the idle minute nor GetSessions
#   --bare PATH     also run this bare tray icon program (bench/tools/bare_tray) through each idle
#                   minute, as the floor to compare with
#   --smaps DIR     keep /proc/<pid>/smaps of every instance at the end of its idle minute in DIR,
#                   and print where its resident memory is, per library and for anonymous memory
set -uo pipefail

sessions=6000
idle=60
runs=3
display=":19"
startup_only=0
bare=""
smaps=""
builds=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --sessions) sessions="$2"; shift 2 ;;
    --idle) idle="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --display) display="$2"; shift 2 ;;
    --startup-only) startup_only=1; shift ;;
    --bare) bare="$(realpath "$2")"; shift 2 ;;
    --smaps) smaps="$2"; mkdir -p "$smaps"; shift 2 ;;
    *=*) builds+=("$1"); shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
if [[ ${#builds[@]} -eq 0 ]]; then
    echo "usage: $0 [--sessions N] [--idle S] [--runs N] [--display :N] [--startup-only] [--bare PATH] [--smaps DIR] name=/path/to/kiruvo ..." >&2
    exit 2
fi

# shellcheck source=measure_lib.sh
source "$(dirname "$(realpath "$0")")/measure_lib.sh"
start_scratch footprint

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
trayer --edge top --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Adds to a settings database `count` sessions of 20 minutes over the last 120 days, newest first,
# and "showInMenuBar" set to `mode`.
write_store() {
    local path="$1" count="$2" mode="$3"
    python3 - "$path" "$count" "$mode" <<'EOF'
import json, sqlite3, sys, time, uuid
path, count, mode = sys.argv[1], int(sys.argv[2]), sys.argv[3]
reference = 978307200.0
now = time.time() - reference
suite = "com.zelvantorium.Kiruvo"
spacing = 120 * 86400 / max(count, 1)
entries = []
for i in range(count):
    start = now - 3600 - i * spacing
    entries.append(json.dumps({"id": str(uuid.uuid4()).upper(), "dateRange": [start, start + 1200],
                               "timeZone": {"identifier": "Europe/Oslo"}}, separators=(",", ":")))
db = sqlite3.connect(path)
db.execute("PRAGMA journal_mode=WAL")
db.execute("CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL, "
           "PRIMARY KEY(suite, key))")
values = {"sessions": json.dumps(entries), "showInMenuBar": json.dumps(mode)}
for key, value in values.items():
    db.execute("INSERT OR REPLACE INTO defaults(suite, key, value) VALUES(?, ?, ?)", (suite, key, value))
db.commit()
db.close()
EOF
}




rss_kib() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }
# Resident memory of an smaps file by mapping: the larger ones in KiB (Rss, Private), the rest summed.
# Anonymous memory is split into the heap, thread stacks and arenas ("anonymous"), and the rest.
smaps_summary() {
    awk '
        /^[0-9a-f]+-[0-9a-f]+ / { name = ($6 == "") ? "anonymous" : $6; for (i = 7; i <= NF; ++i) name = name " " $i;
                                  sub(/.*\//, "", name); next }
        /^Rss:/ { rss[name] += $2; total += $2 }
        /^Private_(Clean|Dirty):/ { private[name] += $2 }
        END {
            for (n in rss) if (rss[n] >= 200) printf "    %6d KiB resident, %6d private: %s\n", rss[n], private[n], n
            small = 0; for (n in rss) if (rss[n] < 200) small += rss[n]
            printf "    %6d KiB resident in smaller mappings\n    %6d KiB resident in all\n", small, total
        }' "$1" | sort -k1 -n -r
}
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# Data folders for a build with `count` stored sessions and `mode`: the build runs once on empty
# folders first, so that its first launch (and Welcome window) is behind it.
prepare() {
    local executable="$1" folder="$2" count="$3" mode="$4" app address
    rm -rf "$folder"
    read -r app address < <(launch "$executable" "$folder")
    until call "$address" GetEnabledState >/dev/null 2>&1; do
        kill -0 "$app" 2>/dev/null || { echo "$executable did not start:" >&2; cat "$folder/log" >&2; exit 1; }
        sleep 0.05
    done
    sleep 1
    stop "$app"
    write_store "$folder/data/kiruvo/defaults.sqlite3" "$count" "$mode"
}

# Start-up to the first answer of GetEnabledState, in ms.
startup_ms() {
    local executable="$1" count="$2" folder="$3" mode="$4"
    prepare "$executable" "$folder" "$count" "$mode"
    local start end app address
    read -r app address < <(launch "$executable" "$folder")
    start=$(cat "$folder/started")
    until call "$address" GetEnabledState >/dev/null 2>&1; do
        kill -0 "$app" 2>/dev/null || { echo "failed"; return; }
        sleep 0.002
    done
    end=$(date +%s%N)
    stop "$app"
    echo $(((end - start) / 1000000))
}

echo "Kiruvo footprint: $sessions sessions, $idle s idle per mode, $(nproc) cores, display $display"
# The builds take turns run by run, so that a change in the machine's load reaches each alike.
for mode in currentSessionDuration totalTodayDuration icon; do
    declare -A empty_of=() full_of=()
    for run in $(seq 1 "$runs"); do
        for build in "${builds[@]}"; do
            name="${build%%=*}"
            executable="$(realpath "${build#*=}")"
            empty_of[$name]+=" $(startup_ms "$executable" 0 "$work/$name-start" "$mode")"
            full_of[$name]+=" $(startup_ms "$executable" "$sessions" "$work/$name-start" "$mode")"
        done
    done
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        read -ra empty <<<"${empty_of[$name]}"
        read -ra full <<<"${full_of[$name]}"
        ratio=$(awk -v a="$(median "${full[@]}")" -v b="$(median "${empty[@]}")" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
        echo "[$name] $mode: start-up to the first D-Bus answer, ms: no history ${empty[*]} (median $(median "${empty[@]}")); $sessions sessions ${full[*]} (median $(median "${full[@]}")); ratio ${ratio}"
    done
    unset empty_of full_of
done

[[ $startup_only == 1 ]] && exit 0

# The idle minute, every build at the same time, one mode after the other.
for mode in totalTodayDuration currentSessionDuration icon; do
    declare -A app_of=() address_of=() cpu_before=() switches_before=()
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        executable="$(realpath "${build#*=}")"
        folder="$work/$name-$mode"
        prepare "$executable" "$folder" "$sessions" "$mode"
        read -r app address < <(launch "$executable" "$folder")
        app_of[$name]=$app
        address_of[$name]=$address
    done
    if [[ -n $bare ]]; then
        mkdir -p "$work/bare-$mode/data/kiruvo"
        read -r bare_app _ < <(launch "$bare" "$work/bare-$mode")
    fi
    # The user moves the pointer once, so that every instance tracks a session (Xvfb counts the
    # time since it started as idle time), then leaves the machine alone for the measurement.
    xdotool mousemove 200 200 mousemove 300 300 >/dev/null 2>&1
    sleep 5 # start-up done, the session running, the tray has the icon
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        cpu_before[$name]=$(cpu_ns "${app_of[$name]}")
        switches_before[$name]=$(switches "${app_of[$name]}")
    done
    sleep "$idle"
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        app=${app_of[$name]}
        cpu=$(counted_since "${cpu_before[$name]}" "$(cpu_ns "$app")" "$((idle * 1000000 / 60))")
        cpu=$(printf '%.1f' "$cpu")
        wakeups=$(counted_since "${switches_before[$name]}" "$(switches "$app")" "$idle")
        wakeups=$(printf '%.2f' "$wakeups")
        rss=$(rss_kib "$app")
        [[ -n $smaps ]] && cp "/proc/$app/smaps" "$smaps/$name-$mode.smaps"
        line="[$name] $mode: CPU ${cpu} ms a minute, ${wakeups} wake-ups a second, RSS $((rss / 1024)) MiB (${rss} KiB) after $((idle + 5)) s"
        if [[ $mode == totalTodayDuration ]]; then
            # The application's own CPU for the call, apart from dbus-send's reading of the answer.
            call_cpu=$(cpu_ns "$app")
            start=$(date +%s%N)
            call "${address_of[$name]}" GetSessions >"$work/answer"
            end=$(date +%s%N)
            call_cpu=$(printf '%.1f' "$(counted_since "$call_cpu" "$(cpu_ns "$app")" 1000000)")
            answer="$(grep -c '"identifier"' "$work/answer")"
            sleep 3
            after=$(rss_kib "$app")
            line+="; GetSessions $(((end - start) / 1000000)) ms for ${answer} sessions (${call_cpu} ms CPU in the application), RSS afterwards $((after / 1024)) MiB ($((after - rss)) KiB more)"
        fi
        echo "$line"
        [[ -n $smaps ]] && smaps_summary "$smaps/$name-$mode.smaps"
        stop "$app"
    done
    if [[ -n $bare ]]; then
        rss=$(rss_kib "$bare_app")
        echo "[bare tray icon] $mode: RSS $((rss / 1024)) MiB (${rss} KiB) after $((idle + 5)) s"
        if [[ -n $smaps ]]; then
            cp "/proc/$bare_app/smaps" "$smaps/bare-$mode.smaps"
            smaps_summary "$smaps/bare-$mode.smaps"
        fi
        stop "$bare_app"
    fi
    unset app_of address_of cpu_before switches_before
done
