#!/usr/bin/env bash
# What programs on the session bus that never read their answers cost each build, on a private bus
# and display:
#   - answers nobody reads: CALLERS callers each send 63 GetSessions calls (SESSIONS stored) and never
#     read the answers; for SECONDS the application's resident memory is sampled and a script's
#     GetEnabledState timed every few seconds;
#   - OpenMenu without answers: one caller sends OpenMenu calls that want no answer for 2 s and for
#     20 s, then the application gets SIGTERM: how long it takes to end, and its memory by then.
# With --answered-by-the-bus-layer, instead: one caller sends Introspect, Properties.GetAll and
# Peer.Ping calls that want no answer, for 5 s and for 20 s each; the application's largest memory
# meanwhile, and how long a SIGTERM sent as the last call is sent takes to be acted on (the
# application logs it) and to end the process.
# With --calls-per-second, instead: one caller sends CALLS GetEnabledState calls, each after the
# answer to the one before and then 32 at a time, reading every answer; the calls a second, and the
# CPU time per call of the application and of the bus daemon. The builds take turns, ROUNDS times.
# With --one-caller-never-reading, instead: one caller sends, for SECONDS (default 30), GetSessions
# (SESSIONS stored), Introspect of the application's object, or the status item's Properties.GetAll
# (with --sni-host, the stand-in panel of bench/tools that makes the status item a StatusNotifierItem)
# without pause and never reads a byte; a script's GetEnabledState is timed every 3 s meanwhile and
# twice after, with the CPU the application and the bus daemon took meanwhile, and what the daemon
# counts for the application's connection then.
# With --stand-in BYTES besides, the same flood of a service that is not Kiruvo (bench/tools/bus_stand_in.c,
# built here with cc and libdbus), which answers each caller's first call with BYTES bytes and drops the
# rest unanswered: the bus daemon's own work, beside Kiruvo's figures.
# Needs python3-dbus (tests/support/bus_callers.py), Xvfb and dbus-daemon.
# Usage: bench/bus_callers.sh [--callers N] [--sessions N] [--seconds S] [--display :N]
#        [--answered-by-the-bus-layer | --calls-per-second [--calls N] [--rounds N]
#         | --one-caller-never-reading [--sni-host PATH] [--stand-in BYTES]] name=/path/to/kiruvo ...
set -uo pipefail
cd "$(dirname "$0")/.."
source bench/measure_lib.sh

callers=150
sessions=1500
seconds=60
display=":93"
bus_layer=false
per_second=false
never_reading=false
sni_host=""
stand_in=""
calls=2000
rounds=3
builds=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --callers) callers="$2"; shift 2 ;;
    --sessions) sessions="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --display) display="$2"; shift 2 ;;
    --answered-by-the-bus-layer) bus_layer=true; shift ;;
    --calls-per-second) per_second=true; shift ;;
    --one-caller-never-reading) never_reading=true; seconds=30; shift ;;
    --sni-host) sni_host="$(realpath "$2")"; shift 2 ;;
    --stand-in) stand_in="$2"; shift 2 ;;
    --calls) calls="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    *=*) builds+=("$1"); shift ;;
    *) echo "usage: $0 [--callers N] [--sessions N] [--seconds S] [--display :N] name=/path/to/kiruvo ..." >&2; exit 2 ;;
    esac
done
[[ ${#builds[@]} -gt 0 ]] || { echo "name at least one build: name=/path/to/kiruvo" >&2; exit 2; }

start_scratch bus-callers
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

rss_mib() { awk '/^VmRSS/ { printf "%d", $2 / 1024 }' "/proc/$1/status" 2>/dev/null || echo 0; }

# Stored sessions, 20 minutes each, and a launch before this one.
write_history() {
    python3 - "$1" "$2" <<'EOF'
import json, sqlite3, sys, time, uuid
path, count = sys.argv[1], int(sys.argv[2])
now = time.time() - 978307200.0
entries = []
for i in range(count):
    start = now - 3600 - i * 7000
    entries.append(json.dumps({"id": str(uuid.uuid4()).upper(), "dateRange": [start, start + 1200],
                               "timeZone": {"identifier": "Europe/Oslo"}}, separators=(",", ":")))
db = sqlite3.connect(path)
db.execute("PRAGMA journal_mode=WAL")
db.execute("CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL, "
           "PRIMARY KEY(suite, key))")
for key, value in {"sessions": json.dumps(entries), "ZK_launchCount": "1"}.items():
    db.execute("INSERT OR REPLACE INTO defaults(suite, key, value) VALUES(?, ?, ?)",
               ("com.zelvantorium.Kiruvo", key, value))
db.commit()
EOF
}

# Launches the build once in its folder, so that it is not a first launch, and stores SESSIONS sessions.
prepare_history() {
    local executable="$1" folder="$2" app address
    read -r app address < <(launch "$executable" "$folder")
    until call "$address" GetEnabledState >/dev/null 2>&1; do sleep 0.05; done
    stop "$app" || true
    write_history "$folder/data/kiruvo/defaults.sqlite3" "$sessions"
}

# Starts the build on its history; prints "<pid> <bus address>" once it answers.
start_app() {
    local executable="$1" folder="$2" app address
    read -r app address < <(launch "$executable" "$folder")
    until call "$address" GetEnabledState >/dev/null 2>&1; do
        kill -0 "$app" 2>/dev/null || { echo "$executable did not start:" >&2; cat "$folder/log" >&2; exit 1; }
        sleep 0.05
    done
    echo "$app $address"
}

# Milliseconds a script's GetEnabledState takes (25 s at most).
question_ms() {
    local address="$1" begin end
    begin=$(date +%s%N)
    if DBUS_SESSION_BUS_ADDRESS="$address" timeout 30 dbus-send --session --print-reply --reply-timeout=25000 \
        --dest=com.zelvantorium.Kiruvo /com/zelvantorium/Kiruvo com.zelvantorium.Kiruvo.Intents.GetEnabledState \
        >/dev/null 2>&1; then
        end=$(date +%s%N)
        echo $(((end - begin) / 1000000))
    else
        echo "none"
    fi
}

# Milliseconds from SIGTERM to the process's end (60 s at most).
termination_ms() {
    local app="$1" begin end
    begin=$(date +%s%N)
    kill -TERM "$app"
    for _ in $(seq 1 6000); do kill -0 "$app" 2>/dev/null || break; sleep 0.01; done
    end=$(date +%s%N)
    kill -0 "$app" 2>/dev/null && { kill -KILL "$app"; echo "over 60000"; return; }
    echo $(((end - begin) / 1000000))
}

# Milliseconds from SIGTERM to the application's word that it quits (the session is stored then), and
# to the process's end (60 s at most).
termination_logged_ms() {
    local app="$1" log="$2" begin acted=""
    begin=$(date +%s%N)
    kill -TERM "$app"
    for _ in $(seq 1 6000); do
        [[ -z "$acted" ]] && grep -q "Received SIGTERM" "$log" && acted=$((($(date +%s%N) - begin) / 1000000))
        kill -0 "$app" 2>/dev/null || break
        sleep 0.01
    done
    kill -0 "$app" 2>/dev/null && { kill -KILL "$app"; echo "acted on after ${acted:-over 60000} ms, not ended within 60000 ms"; return; }
    [[ -z "$acted" ]] && grep -q "Received SIGTERM" "$log" && acted=$((($(date +%s%N) - begin) / 1000000))
    echo "acted on after ${acted:-never} ms, the end after $((($(date +%s%N) - begin) / 1000000)) ms"
}

# Calls the bus layer answers without the application's objects: each kind, for 5 s and for 20 s.
bus_layer_floods() {
    local name="$1" executable="$2" folder="$3" flood kind app address callers_pid rss rss_most
    for flood in 5 20; do
        for kind in "org.freedesktop.DBus.Introspectable Introspect" \
            "org.freedesktop.DBus.Properties GetAll --string com.zelvantorium.Kiruvo.Intents" \
            "org.freedesktop.DBus.Peer Ping"; do
            read -r app address < <(start_app "$executable" "$folder")
            # shellcheck disable=SC2086 # the interface, method and arguments are words
            /usr/bin/python3 tests/support/bus_callers.py "$address" com.zelvantorium.Kiruvo /com/zelvantorium/Kiruvo \
                $kind --calls 0 --seconds "$flood" --no-reply >"$folder/callers" &
            callers_pid=$!
            echo "$callers_pid" >>"$work/pids"
            rss_most=0
            until grep -q SENT "$folder/callers"; do
                kill -0 "$callers_pid" 2>/dev/null || { echo "the callers ended" >&2; exit 1; }
                rss=$(rss_mib "$app")
                ((rss > rss_most)) && rss_most=$rss
                sleep 0.1
            done
            rss=$(rss_mib "$app")
            ((rss > rss_most)) && rss_most=$rss
            echo "[$name] $(cut -d' ' -f2 "$folder/callers") ${kind%% --*} calls without answers in ${flood} s: RSS at most ${rss_most} MiB; SIGTERM right then $(termination_logged_ms "$app" "$folder/log")"
            kill "$callers_pid" 2>/dev/null || true
            wait "$callers_pid" 2>/dev/null || true
        done
    done
}

# Clock ticks of CPU time a process has used.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }

# One caller's GetEnabledState calls: "<calls a second> <application's CPU µs a call> <daemon's CPU µs a
# call>", sent each after the answer to the one before ("sequential") or 32 at a time ("pipelined").
calls_per_second() {
    local app="$1" address="$2" bus_pid="$3" how="$4" app_before bus_before rate tick
    tick=$(getconf CLK_TCK)
    app_before=$(cpu_ticks "$app")
    bus_before=$(cpu_ticks "$bus_pid")
    rate=$(/usr/bin/python3 - "$address" "$calls" "$how" <<'EOF'
import sys, time
import dbus, dbus.lowlevel
address, count, how = sys.argv[1], int(sys.argv[2]), sys.argv[3]
bus = dbus.bus.BusConnection(address)
def call():
    return dbus.lowlevel.MethodCallMessage("com.zelvantorium.Kiruvo", "/com/zelvantorium/Kiruvo",
                                           "com.zelvantorium.Kiruvo.Intents", "GetEnabledState")
begin = time.monotonic()
if how == "sequential":
    for _ in range(count):
        bus.send_message_with_reply_and_block(call(), 25.0)
else:
    # In batches that fit among the calls one caller may have waiting: every call is answered.
    for first in range(0, count, 32):
        pending = [bus.send_message_with_reply(call(), lambda reply: None, 60.0)
                   for _ in range(min(32, count - first))]
        for each in pending:
            each.block()
print("%.0f" % (count / (time.monotonic() - begin)))
EOF
)
    awk -v rate="$rate" -v app=$(($(cpu_ticks "$app") - app_before)) -v bus=$(($(cpu_ticks "$bus_pid") - bus_before)) \
        -v calls="$calls" -v tick="$tick" 'BEGIN { printf "%s %.0f %.0f", rate, app * 1e6 / tick / calls, bus * 1e6 / tick / calls }'
}

if "$per_second"; then
    echo "Kiruvo and one caller that reads: $calls GetEnabledState calls, $rounds rounds; $(nproc) cores"
    echo "[build] sequential: calls/s app-µs/call bus-µs/call | pipelined: calls/s app-µs/call bus-µs/call"
    for round in $(seq 1 "$rounds"); do
        for build in "${builds[@]}"; do
            name="${build%%=*}"
            folder="$work/$name"
            read -r app address < <(start_app "${build#*=}" "$folder")
            bus_pid="$(sed -n 2p "$folder/bus")"
            # Warm: the first calls load what the handlers need.
            calls_per_second "$app" "$address" "$bus_pid" sequential >/dev/null
            echo "[$name] round $round sequential: $(calls_per_second "$app" "$address" "$bus_pid" sequential) | pipelined: $(calls_per_second "$app" "$address" "$bus_pid" pipelined)"
            stop "$app" || true
        done
    done
    exit 0
fi

# What the daemon counts for a connection: "name=value" for the keys asked.
daemon_counts() {
    local address="$1" name="$2"
    DBUS_SESSION_BUS_ADDRESS="$address" timeout 30 gdbus call --session --dest org.freedesktop.DBus \
        --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.Debug.Stats.GetConnectionStats "$name" \
        2>/dev/null | grep -o "'\(IncomingMessages\|IncomingBytes\|OutgoingMessages\|OutgoingBytes\)': <[^>]*>" \
        | sed "s/'\([A-Za-z]*\)': <\(uint32 \)\?\([0-9]*\)>/\1=\3/" | tr '\n' ' '
}

# One caller that never reads a byte, sending one kind of call for SECONDS.
never_reading_flood() {
    local name="$1" executable="$2" folder="$3" label="$4" kind="$5" app address bus_pid callers_pid \
        host_pid="" path="/com/zelvantorium/Kiruvo" dest=com.zelvantorium.Kiruvo waits=() app_cpu bus_cpu end
    read -r app address < <(start_app "$executable" "$folder")
    bus_pid="$(sed -n 2p "$folder/bus")"
    if [[ "$label" == "status item GetAll" ]]; then
        # The panel comes after the application: its item registers once the watcher is there.
        DBUS_SESSION_BUS_ADDRESS="$address" "$sni_host" >"$folder/items" &
        host_pid=$!
        echo "$host_pid" >>"$work/pids"
        for _ in $(seq 1 100); do [[ -s "$folder/items" ]] && break; sleep 0.1; done
        dest="$(head -1 "$folder/items")"
        dest="${dest%%/*}"
        path=/StatusNotifierItem
        [[ -n "$dest" ]] || { echo "[$name] $label: the status item did not register" >&2; kill "$host_pid"; stop "$app"; return; }
    fi
    app_cpu=$(cpu_ticks "$app")
    bus_cpu=$(cpu_ticks "$bus_pid")
    # shellcheck disable=SC2086 # the interface, method and arguments are words
    /usr/bin/python3 tests/support/bus_callers.py "$address" "$dest" "$path" $kind --calls 0 --seconds "$seconds" \
        --bare >"$folder/callers" &
    callers_pid=$!
    echo "$callers_pid" >>"$work/pids"
    end=$((SECONDS + seconds))
    while ((SECONDS < end)); do
        waits+=("$(question_ms "$address")")
        sleep 3
    done
    app_cpu=$(($(cpu_ticks "$app") - app_cpu))
    bus_cpu=$(($(cpu_ticks "$bus_pid") - bus_cpu))
    local counts after
    counts="$(daemon_counts "$address" "$(DBUS_SESSION_BUS_ADDRESS="$address" gdbus call --session --dest org.freedesktop.DBus \
        --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.GetNameOwner com.zelvantorium.Kiruvo 2>/dev/null \
        | grep -o ':[0-9.]*')")"
    after="$(question_ms "$address") $(question_ms "$address")"
    kill "$callers_pid" 2>/dev/null || true
    wait "$callers_pid" 2>/dev/null || true
    echo "[$name] $label for ${seconds} s, never read: GetEnabledState ms: ${waits[*]}; still there after: $after; after it left: $(question_ms "$address"); CPU s meanwhile: application $(awk -v t="$app_cpu" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", t / hz }'), bus daemon $(awk -v t="$bus_cpu" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", t / hz }'); the daemon then: $counts"
    [[ -n "$host_pid" ]] && kill "$host_pid" 2>/dev/null
    stop "$app" || true
}

# The same flood of the stand-in service, whose first answer to each caller is BYTES bytes.
stand_in_flood() {
    local bytes="$1" folder="$work/stand-in" address bus_pid service callers_pid waits=() bus_cpu end begin
    mkdir -p "$folder"
    cc -O2 -o "$folder/bus_stand_in" bench/tools/bus_stand_in.c $(pkg-config --cflags --libs dbus-1) || return
    dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile >"$folder/bus" 2>/dev/null
    address="$(sed -n 1p "$folder/bus")"
    bus_pid="$(sed -n 2p "$folder/bus")"
    echo "$bus_pid" >>"$work/pids"
    DBUS_SESSION_BUS_ADDRESS="$address" "$folder/bus_stand_in" "$bytes" >"$folder/service" &
    service=$!
    echo "$service" >>"$work/pids"
    until grep -q READY "$folder/service"; do sleep 0.05; done
    ping_ms() {
        begin=$(date +%s%N)
        if DBUS_SESSION_BUS_ADDRESS="$address" timeout 30 dbus-send --session --print-reply --reply-timeout=25000 \
            --dest=com.zelvantorium.StandIn / com.zelvantorium.StandIn.Ping >/dev/null 2>&1; then
            echo $((($(date +%s%N) - begin) / 1000000))
        else
            echo "none"
        fi
    }
    bus_cpu=$(cpu_ticks "$bus_pid")
    /usr/bin/python3 tests/support/bus_callers.py "$address" com.zelvantorium.StandIn / com.zelvantorium.StandIn Big \
        --calls 0 --seconds "$seconds" --bare >"$folder/callers" &
    callers_pid=$!
    echo "$callers_pid" >>"$work/pids"
    end=$((SECONDS + seconds))
    while ((SECONDS < end)); do
        waits+=("$(ping_ms)")
        sleep 3
    done
    bus_cpu=$(($(cpu_ticks "$bus_pid") - bus_cpu))
    local after
    after="$(ping_ms) $(ping_ms)"
    kill "$callers_pid" 2>/dev/null || true
    wait "$callers_pid" 2>/dev/null || true
    echo "[stand-in] Big ($bytes bytes, once per caller) for ${seconds} s, never read: Ping ms: ${waits[*]}; still there after: $after; after it left: $(ping_ms); bus daemon CPU s meanwhile: $(awk -v t="$bus_cpu" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", t / hz }')"
    kill "$service" 2>/dev/null
}

if "$never_reading"; then
    echo "Kiruvo and one caller that never reads a byte: ${seconds} s ($sessions sessions); $(nproc) cores"
    [[ -n "$stand_in" ]] && stand_in_flood "$stand_in"
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        executable="${build#*=}"
        folder="$work/$name"
        prepare_history "$executable" "$folder"
        never_reading_flood "$name" "$executable" "$folder" "GetSessions" "com.zelvantorium.Kiruvo.Intents GetSessions"
        never_reading_flood "$name" "$executable" "$folder" "Introspect" "org.freedesktop.DBus.Introspectable Introspect"
        if [[ -n "$sni_host" ]]; then
            never_reading_flood "$name" "$executable" "$folder" "status item GetAll" \
                "org.freedesktop.DBus.Properties GetAll --string org.kde.StatusNotifierItem"
        fi
    done
    exit 0
fi

if "$bus_layer"; then
    echo "Kiruvo and calls the bus layer answers, that want no answer; $(nproc) cores"
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        bus_layer_floods "$name" "${build#*=}" "$work/$name"
    done
    exit 0
fi

echo "Kiruvo and callers that never read: $callers callers x 63 GetSessions ($sessions sessions), ${seconds} s; $(nproc) cores"
for build in "${builds[@]}"; do
    name="${build%%=*}"
    executable="${build#*=}"
    folder="$work/$name"
    prepare_history "$executable" "$folder"

    read -r app address < <(start_app "$executable" "$folder")
    bus_pid="$(sed -n 2p "$folder/bus")"
    rss_start=$(rss_mib "$app")
    /usr/bin/python3 tests/support/bus_callers.py "$address" com.zelvantorium.Kiruvo /com/zelvantorium/Kiruvo \
        com.zelvantorium.Kiruvo.Intents GetSessions --callers "$callers" --calls 63 >"$folder/callers" &
    callers_pid=$!
    echo "$callers_pid" >>"$work/pids"
    rss_most=$rss_start
    bus_most=0
    waits=()
    end=$((SECONDS + seconds))
    # A shared machine: past 3 GiB in the application or the bus the run stops there.
    while ((SECONDS < end && rss_most < 3072 && bus_most < 3072)); do
        waits+=("$(question_ms "$address")")
        for _ in 1 2 3; do
            rss=$(rss_mib "$app")
            ((rss > rss_most)) && rss_most=$rss
            bus=$(rss_mib "$bus_pid")
            ((bus > bus_most)) && bus_most=$bus
            sleep 1
        done
    done
    echo "[$name] answers nobody reads: RSS ${rss_start} MiB at the start, at most ${rss_most} MiB after $((seconds - end + SECONDS)) s (bus daemon at most ${bus_most} MiB); GetEnabledState, ms: ${waits[*]}; the daemon holds of the application's: $(daemon_counts "$address" "$(DBUS_SESSION_BUS_ADDRESS="$address" gdbus call --session --dest org.freedesktop.DBus \
        --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.GetNameOwner com.zelvantorium.Kiruvo 2>/dev/null \
        | grep -o ':[0-9.]*')" | grep -o 'IncomingBytes=[0-9]*')"
    kill "$callers_pid" 2>/dev/null || true
    wait "$callers_pid" 2>/dev/null || true
    stop "$app" || true

    for flood in 2 20; do
        read -r app address < <(start_app "$executable" "$folder")
        /usr/bin/python3 tests/support/bus_callers.py "$address" com.zelvantorium.Kiruvo /com/zelvantorium/Kiruvo \
            com.zelvantorium.Kiruvo.Application OpenMenu --calls 0 --seconds "$flood" --no-reply >"$folder/callers" &
        callers_pid=$!
        echo "$callers_pid" >>"$work/pids"
        until grep -q SENT "$folder/callers"; do
            kill -0 "$callers_pid" 2>/dev/null || { echo "the callers ended" >&2; exit 1; }
            sleep 0.05
        done
        rss=$(rss_mib "$app")
        echo "[$name] $(cut -d' ' -f2 "$folder/callers") OpenMenu calls without answers in ${flood} s: RSS ${rss} MiB, SIGTERM to the end $(termination_ms "$app") ms"
        kill "$callers_pid" 2>/dev/null || true
        wait "$callers_pid" 2>/dev/null || true
    done
done
