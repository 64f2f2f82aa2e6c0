# Shared by the bench scripts that run the application and read what its threads count: sourced,
# then `start_scratch NAME` makes the run's scratch folder `work` (every started process goes into
# "$work/pids", or into the array `pids`), which is emptied and removed with those processes at exit.

start_scratch() {
    work="$(mktemp -d "/tmp/kiruvo-$1.XXXXXX")"
    pids=()
    trap scratch_cleanup EXIT
}

scratch_cleanup() {
    # Started in subshells too: every process is listed in the "pids" file.
    [[ -f "$work/pids" ]] && while read -r pid; do kill "$pid" 2>/dev/null; done <"$work/pids"
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}

# Starts a build in a folder of its own with a private session bus; prints "<pid> <bus address>".
launch() {
    local executable="$1" folder="$2"
    mkdir -p "$folder/data/kiruvo" "$folder/config" "$folder/state" "$folder/cache" "$folder/runtime"
    chmod 700 "$folder/runtime"
    dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile >"$folder/bus" 2>/dev/null
    local address bus_pid
    address="$(sed -n 1p "$folder/bus")"
    bus_pid="$(sed -n 2p "$folder/bus")"
    echo "$bus_pid" >>"$work/pids"
    # The start-up is timed from here: the private bus is not the application's own.
    date +%s%N >"$folder/started"
    DBUS_SESSION_BUS_ADDRESS="$address" XDG_DATA_HOME="$folder/data" XDG_CONFIG_HOME="$folder/config" \
        XDG_STATE_HOME="$folder/state" XDG_CACHE_HOME="$folder/cache" XDG_RUNTIME_DIR="$folder/runtime" \
        KIRUVO_DEFAULTS_PATH="$folder/data/kiruvo/defaults.sqlite3" \
        "$executable" >"$folder/log" 2>&1 &
    local app=$!
    echo "$app" >>"$work/pids"
    echo "$app $address"
}

call() {
    local address="$1" method="$2"
    DBUS_SESSION_BUS_ADDRESS="$address" dbus-send --session --print-reply --reply-timeout=20000 \
        --dest=com.zelvantorium.Kiruvo /com/zelvantorium/Kiruvo "com.zelvantorium.Kiruvo.Intents.$method"
}

stop() {
    local app="$1"
    kill -TERM "$app" 2>/dev/null
    for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$app" 2>/dev/null
}

# Per thread of a process, as "<thread id> <count>" pairs on one line: its CPU time (ns), and how
# often it went to sleep and was woken (voluntary context switches; involuntary ones are
# preemptions by other work on the machine, not wake-ups).
cpu_ns() {
    local task
    for task in /proc/"$1"/task/*; do
        read -r ns _ <"$task/schedstat" 2>/dev/null && printf '%s %s ' "${task##*/}" "$ns"
    done
}
switches() {
    local task
    for task in /proc/"$1"/task/*; do
        awk -v tid="${task##*/}" '/^voluntary_ctxt_switches/ { printf "%s %s ", tid, $2 }' "$task/status" 2>/dev/null
    done
}
# The threads' names, as "<thread id> <name>" pairs on one line (spaces in a name become "_").
thread_names() {
    local task name
    for task in /proc/"$1"/task/*; do
        read -r name <"$task/comm" 2>/dev/null && printf '%s %s ' "${task##*/}" "${name// /_}"
    done
}
# What the threads of a process counted since an earlier cpu_ns or switches line: thread by thread,
# so that a thread that ended meanwhile (a pool's worker after its idle time) takes away nothing
# (what it counted after the earlier line is lost with it). `scale` divides the sum.
counted_since() {
    local before="$1" after="$2" scale="$3"
    awk -v before="$before" -v after="$after" -v scale="$scale" 'BEGIN {
        n = split(before, b, " "); for (i = 1; i < n; i += 2) was[b[i]] = b[i + 1]
        n = split(after, a, " "); for (i = 1; i < n; i += 2) sum += a[i + 1] - ((a[i] in was) ? was[a[i]] : 0)
        printf "%.3f", sum / scale }'
}

# Marks a settings database as that of an application launched before: the Welcome window and its
# animation are not what the benches measure.
mark_launched_before() {
    python3 - "$1" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("PRAGMA journal_mode=WAL")
db.execute("CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL, "
           "PRIMARY KEY(suite, key))")
db.execute("INSERT OR REPLACE INTO defaults(suite, key, value) VALUES(?, ?, ?)",
           ("com.zelvantorium.Kiruvo", "ZK_launchCount", "1"))
db.commit()
db.close()
PY
}

# Prints, a line each, the wake-ups a second of each thread of process `pid` that woke since the
# `switches` line `before`, over `seconds`, by the thread's name.
print_thread_wakeups() {
    local before="$1" pid="$2" seconds="$3"
    awk -v before="$before" -v after="$(switches "$pid")" -v seconds="$seconds" \
        -v names="$(thread_names "$pid")" 'BEGIN {
        n = split(before, b, " "); for (i = 1; i < n; i += 2) was[b[i]] = b[i + 1]
        n = split(names, m, " "); for (i = 1; i < n; i += 2) named[m[i]] = m[i + 1]
        n = split(after, a, " ")
        for (i = 1; i < n; i += 2) {
            d = a[i + 1] - ((a[i] in was) ? was[a[i]] : 0)
            if (d > 0) printf "    %-16s %.3f\n", named[a[i]], d / seconds
        } }'
}
