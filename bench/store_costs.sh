#!/usr/bin/env bash
# What the settings store costs the application and the programs beside it, measured on the real
# application under a private display with a tray host and a private session bus:
# - start-up over a stored history of 6,000 sessions: milliseconds from the start until the icon sits
#   in the tray (median of the runs), and the fsync and fdatasync calls made until then;
# - a stop (NewSession over D-Bus: the running session ended and stored) over 18,150 stored sessions:
#   its fsync and fdatasync calls and the bytes the application wrote for it (to the disk and in all),
#   the application's clock a hundred times fast so that the session is long enough to be stored;
# - another program's commit (Python's sqlite3 changing one small setting) while the application
#   runs over 6,000 sessions, and with no application, for comparison: median milliseconds of 20, and
#   that program's fsync and fdatasync calls per commit (the times here follow the disk's sync
#   latency, the counts do not).
# The application's calls are counted by strace in runs of their own, its times taken without it;
# the other program runs under strace stopping at its syncs alone (seccomp).
# Usage: bench/store_costs.sh <kiruvo executable> [runs (default 5)]
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="$(realpath "${1:?usage: store_costs.sh <kiruvo executable> [runs]}")"
    for tool in xvfb-run dbus-run-session trayer xwininfo sqlite3 gdbus strace python3; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed" >&2; exit 77; }
    done
    exec xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$0" --inside "$executable" "${2:-5}"
fi
executable="$2"
runs="$3"

trayer --edge top --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
tray=$!
app=""
scratch="$(mktemp -d /tmp/kiruvo-store-costs.XXXXXX)"
chmod 700 "$scratch"
cleanup() {
    [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
    kill "$tray" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
sleep 1

icon_shown() {
    xwininfo -root -tree 2>/dev/null | grep -A8 '"panel"' | grep -q '("kiruvo" "Kiruvo")'
}
call() {
    timeout 60 gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
        --method "com.zelvantorium.Kiruvo.Intents.$1" >/dev/null 2>&1
}
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# A data folder under $work holding `count` sessions of the last 120 days, the newest two hours
# ago, each stored as its JSON text, and a long idle time, so that a session runs without input.
prepare() {
    local count="$1" newest spacing
    work="$(mktemp -d "$scratch/run.XXXXXX")"
    mkdir -p "$work/data/kiruvo" "$work/state" "$work/config" "$work/runtime"
    chmod 700 "$work/data/kiruvo" "$work/runtime"
    newest=$(($(date +%s) - 978307200 - 7200))
    spacing=$((120 * 86400 / count))
    sqlite3 "$work/data/kiruvo/defaults.sqlite3" "CREATE TABLE defaults(suite TEXT NOT NULL, key TEXT NOT NULL,
            value TEXT NOT NULL, PRIMARY KEY(suite, key));
        INSERT INTO defaults VALUES('com.zelvantorium.Kiruvo', 'idleDurationBeforeStop', '\"1000000\"');
        WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < $count - 1)
        INSERT INTO defaults SELECT 'com.zelvantorium.Kiruvo', 'sessions',
            json_group_array(json_object('id', printf('00000000-0000-4000-8000-%012d', i),
                'dateRange', json_array($newest.0 - i * $spacing, $newest.0 + $spacing / 2 - i * $spacing),
                'timeZone', json_object('identifier', 'Europe/Oslo')) || '') FROM n;" || exit 1
}
# Starts the application over $work's folders, under "$@" (strace) when given; sets $app.
launch() {
    XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" \
        XDG_RUNTIME_DIR="$work/runtime" "$@" "$executable" >"$work/log" 2>&1 &
    app=$!
}
wait_for_icon() {
    until icon_shown; do
        if ! kill -0 "$app" 2>/dev/null; then
            echo "the application ended before its icon was shown:"
            cat "$work/log"
            exit 1
        fi
        sleep 0.005
    done
}
stop_app() {
    # Under strace, the application itself: strace would let go of it and leave it running.
    if [[ "$(cat "/proc/$app/comm" 2>/dev/null)" == strace ]]; then
        kill -TERM "$(pgrep -P "$app" -n)"
    else
        kill -TERM "$app"
    fi
    wait "$app"
    app=""
    while icon_shown; do sleep 0.01; done
}
syncs() { grep -cE 'fsync|fdatasync' "$work/strace" 2>/dev/null || echo 0; }
# Those of the settings file and its companions (journal, pending file).
store_syncs() { grep -E 'fsync|fdatasync' "$work/strace" 2>/dev/null | grep -c 'defaults\.sqlite3' || echo 0; }
# The process strace started (the application), for its I/O counts.
traced() { pgrep -P "$app" -n; }
io() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/io"; }

times=()
for _ in $(seq 1 "$runs"); do
    prepare 6000
    start=$(date +%s%N)
    launch
    wait_for_icon
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
    stop_app
done
prepare 6000
launch strace -f -qq -y -e trace=fsync,fdatasync -o "$work/strace"
wait_for_icon
startup_syncs="$(syncs) ($(store_syncs) of the settings files)"
stop_app
echo "start-up over 6,000 sessions to the icon in the tray, ms: ${times[*]} (median $(median "${times[@]}"))"
echo "fsync + fdatasync calls until the icon: $startup_syncs"

# The session the application starts must last the shortest one stored (three minutes) for the stop
# to store it: the application's clock runs a hundred times fast (faketime) for this run.
fast_clock="$(dpkg -L libfaketime 2>/dev/null | grep '/libfaketimeMT\.so' | head -n 1)"
[[ -n "$fast_clock" ]] || { echo "libfaketime is not installed" >&2; exit 77; }
prepare 18150
launch strace -f -qq -y -e trace=fsync,fdatasync -o "$work/strace" env LD_PRELOAD="$fast_clock" FAKETIME="+0 x100"
wait_for_icon
sleep 3
pid=$(traced)
before=$(syncs)
store_before=$(store_syncs)
written_before=$(io "$pid" write_bytes)
wchar_before=$(io "$pid" wchar)
call NewSession
sleep 1
echo "a stop over 18,150 sessions: $(($(syncs) - before)) fsync + fdatasync calls" \
    "($(($(store_syncs) - store_before)) of the settings files)," \
    "$((($(io "$pid" write_bytes) - written_before) / 1024)) KiB to the disk," \
    "$((($(io "$pid" wchar) - wchar_before) / 1024)) KiB written in all"
stop_app

commit_times() {
    strace -f --seccomp-bpf -qq -c -e trace=fsync,fdatasync -o "$work/other.strace" python3 - "$1" <<'EOF'
import sqlite3, statistics, sys, time
db = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=10)
times = []
for index in range(20):
    started = time.perf_counter()
    db.execute('BEGIN IMMEDIATE')
    db.execute("INSERT INTO defaults VALUES('com.zelvantorium.Kiruvo', 'benchOtherProgram', ?) "
               "ON CONFLICT(suite, key) DO UPDATE SET value = excluded.value", ('"%d"' % index,))
    db.execute('COMMIT')
    times.append((time.perf_counter() - started) * 1000)
    time.sleep(0.3)
print('%.1f' % statistics.median(times))
EOF
}
prepare 6000
other_syncs() { awk '$NF == "fsync" || $NF == "fdatasync" { calls += $4 } END { printf "%.1f", calls / 20 }' "$work/other.strace"; }
alone=$(commit_times "$work/data/kiruvo/defaults.sqlite3")
alone_syncs=$(other_syncs)
launch
wait_for_icon
sleep 1
beside=$(commit_times "$work/data/kiruvo/defaults.sqlite3")
beside_syncs=$(other_syncs)
stop_app
echo "another program's commit over 6,000 sessions, median ms: $beside with the application running, $alone without;" \
    "its fsync + fdatasync calls per commit: $beside_syncs and $alone_syncs"
