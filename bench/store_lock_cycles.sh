#!/usr/bin/env bash
# Ends the application by kill -9 (and now and then by SIGTERM, as a logout does) over and over
# while another program — the sqlite3 tool — takes and lets go of its settings database at random,
# with about one start in four under an exclusive lock that keeps even readers out past the
# opening's wait. That program also adds sessions of its own to the stored history and deletes
# stored ones, between runs, now and then while it holds the file during one, and during runs
# without holding it (a commit of its own, as a sync tool or a user at the prompt makes, between
# the application's writes). The application's
# clock runs 600 times fast (faketime), so a session long enough to be stored takes a fraction of a
# second; "NewSession" over D-Bus stores the running one, and "GetSessions" tells which the
# application holds. The break threshold is set far beyond any run: the pointer moves once a cycle,
# and the default 10 minutes of the fast clock are one real second after it. Takes about ten
# minutes; not part of the test suite.
#
# At the end one more start, with the file free, must hold every session the application reported
# and every one the other program added, each once, and none the other program deleted; no copy of
# the history may have been set aside, and no pending file may be left. Now and then a second
# instance, in a session bus of its own, is started over the same database through a symbolic link
# to its folder or a hard link to the file while the first runs: none may run (answer on its bus);
# each must end by itself.
# With --mixed, one run of the given seconds instead (90 by default): the application stores a
# session every second or two while the other program, without holding the file, adds 30 sessions
# and deletes 10 at random moments; the same check follows.
# Usage: bench/store_lock_cycles.sh <kiruvo executable> [cycles, 200 by default | --mixed [seconds]]
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="${1:?usage: store_lock_cycles.sh <kiruvo executable> [cycles]}"
    for tool in xvfb-run dbus-run-session sqlite3 gdbus xdotool; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed" >&2; exit 77; }
    done
    if [[ "${2:-}" == "--mixed" ]]; then
        set -- "$1" mixed "${3:-90}"
    fi
    exec xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- \
        bash "$0" --inside "$(realpath "$executable")" "${2:-200}" "${3:-}"
fi

executable="$2"
cycles="$3"
mixed_seconds="$4"
source "$(dirname "$0")/measure_lib.sh"
start_scratch lock-cycles
mkdir -p "$work/data/kiruvo" "$work/state" "$work/config" "$work/cache" "$work/runtime"
chmod 700 "$work/runtime"
db="$work/data/kiruvo/defaults.sqlite3"
: >"$work/acknowledged"
: >"$work/added"
: >"$work/deleted"
: >"$work/edits"
: >"$work/seconds"
# Read at the first start; stored as the settings pane stores it.
(umask 077 && sqlite3 "$db" "PRAGMA journal_mode=WAL;
    CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,
        PRIMARY KEY(suite, key));
    INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'idleDurationBeforeStop', '\"1000000\"')" \
    >/dev/null)
faketime_library="$(dpkg -L libfaketime 2>/dev/null | grep '/libfaketimeMT\.so' | head -n 1)"
[[ -n "$faketime_library" ]] || { echo "libfaketime's library was not found" >&2; exit 77; }

random_between() { # low high, in milliseconds; prints seconds
    local ms=$(($1 + RANDOM % ($2 - $1 + 1)))
    printf '%d.%03d' $((ms / 1000)) $((ms % 1000))
}

# Holds the file, readers kept out too, for the given seconds (the tool ends with its input).
hold_for() {
    { printf 'PRAGMA busy_timeout=20000;\nPRAGMA locking_mode=EXCLUSIVE;\nBEGIN EXCLUSIVE;\n'; sleep "$1"; } \
        | sqlite3 "$db" >/dev/null 2>&1
}

# Holds the file, readers kept out too, for the given seconds, and changes the history meanwhile:
# deletes a stored session or adds one of its own. What it committed goes to "$work/edits".
hold_and_edit() {
    local id text now sql marker
    if ((RANDOM % 2 == 0)); then
        id="$(sqlite3 -readonly -cmd '.timeout 3000' "$db" "SELECT json_extract(j.value, '\$.id')
            FROM defaults, json_each(defaults.value) AS j WHERE defaults.key = 'sessions'
            ORDER BY random() LIMIT 1" 2>/dev/null)"
        [[ -n "$id" ]] || { hold_for "$1"; return; }
        sql="UPDATE defaults SET value = (SELECT json_group_array(j.value) FROM json_each(defaults.value) AS j
            WHERE json_extract(j.value, '\$.id') IS NOT '$id') WHERE key = 'sessions';"
        marker="deleted ${id,,}"
    else
        id="$(tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid)"
        now=$(($(date +%s) - 978307200 - RANDOM % 80000))
        text="{\"id\":\"$id\",\"dateRange\":[$((now - 1800)).0,$now.0],\"timeZone\":{\"identifier\":\"UTC\"}}"
        sql="INSERT INTO defaults VALUES('com.zelvantorium.Kiruvo', 'sessions', json_array('$text'))
            ON CONFLICT(suite, key) DO UPDATE SET value = json_insert(value, '\$[#]', '$text');"
        marker="added ${id,,}"
    fi
    # Committed at once, and told only once committed (the tool stops at the first error); the
    # exclusive locking mode keeps the file held after the commit until the tool ends.
    { printf '.bail on\nPRAGMA busy_timeout=20000;\nPRAGMA locking_mode=EXCLUSIVE;\nBEGIN EXCLUSIVE;\n%s\n' "$sql"
        printf 'COMMIT;\n.print %s\nBEGIN EXCLUSIVE;\n' "$marker"
        sleep "$1"; } | sqlite3 "$db" 2>/dev/null | grep -E '^(added|deleted) ' >>"$work/edits"
}

# Changes the history without holding the file beyond its own commit, while the application runs
# and writes: adds a session of its own, or (with "delete") deletes a stored one at random, in one
# transaction that picks and deletes it. What it committed goes to "$work/edits".
edit_unlocked() {
    local id text now
    if [[ "$1" == delete ]]; then
        printf '%s\n' '.bail on' 'PRAGMA busy_timeout=20000;' 'BEGIN IMMEDIATE;' \
            "CREATE TEMP TABLE pick AS SELECT json_extract(j.value, '\$.id') AS id FROM defaults,
                json_each(defaults.value) AS j WHERE defaults.key = 'sessions' ORDER BY random() LIMIT 1;" \
            "UPDATE defaults SET value = (SELECT json_group_array(j.value) FROM json_each(defaults.value) AS j
                WHERE json_extract(j.value, '\$.id') IS NOT (SELECT id FROM pick)) WHERE key = 'sessions';" \
            'COMMIT;' "SELECT 'deleted ' || lower(id) FROM pick;" |
            sqlite3 "$db" 2>/dev/null | grep -E '^deleted ' >>"$work/edits"
    else
        id="$(tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid)"
        now=$(($(date +%s) - 978307200 - RANDOM % 80000))
        text="{\"id\":\"$id\",\"dateRange\":[$((now - 1800)).0,$now.0],\"timeZone\":{\"identifier\":\"UTC\"}}"
        printf '%s\n' '.bail on' 'PRAGMA busy_timeout=20000;' 'BEGIN IMMEDIATE;' \
            "INSERT INTO defaults VALUES('com.zelvantorium.Kiruvo', 'sessions', json_array('$text'))
                ON CONFLICT(suite, key) DO UPDATE SET value = json_insert(value, '\$[#]', '$text');" \
            'COMMIT;' ".print added ${id,,}" |
            sqlite3 "$db" 2>/dev/null | grep -E '^added ' >>"$work/edits"
    fi
}

# Takes and lets go of the file at random until "$work/stop" appears, changing the history now
# and then, with the file held or with a commit of its own alone; it is waited for, so that no
# edit is cut short.
toggle_lock() {
    while [[ ! -e "$work/stop" ]]; do
        sleep "$(random_between 50 1200)"
        case $((RANDOM % 6)) in
        0 | 1) hold_and_edit "$(random_between 100 2500)" ;;
        2) edit_unlocked "$( ((RANDOM % 3 == 0)) && echo delete || echo add)" ;;
        *) hold_for "$(random_between 100 2500)" ;;
        esac
    done
}

# The other program's own change to the history, made while it holds the file.
edit_history() {
    local count index id text now
    count="$(sqlite3 -cmd '.timeout 20000' "$db" \
        "SELECT json_array_length(value) FROM defaults WHERE key = 'sessions'" 2>/dev/null)"
    count="${count:-0}"
    if ((count > 3 && RANDOM % 2 == 0)); then
        index=$((RANDOM % count))
        id="$(sqlite3 -cmd '.timeout 20000' "$db" "SELECT json_extract(json_extract(value, '\$[$index]'), '\$.id')
            FROM defaults WHERE key = 'sessions'")"
        sqlite3 -cmd '.timeout 20000' "$db" "UPDATE defaults SET value = json_remove(value, '\$[$index]')
            WHERE key = 'sessions'" && echo "${id,,}" >>"$work/deleted"
    else
        id="$(tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid)"
        now=$(($(date +%s) - 978307200 - RANDOM % 80000))
        text="{\"id\":\"$id\",\"dateRange\":[$((now - 1800)).0,$now.0],\"timeZone\":{\"identifier\":\"UTC\"}}"
        sqlite3 -cmd '.timeout 20000' "$db" "INSERT INTO defaults VALUES('com.zelvantorium.Kiruvo', 'sessions',
                json_array('$text'))
            ON CONFLICT(suite, key) DO UPDATE SET value = json_insert(value, '\$[#]', '$text')" \
            && echo "${id,,}" >>"$work/added"
    fi
}

intent() {
    timeout 20 gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
        --method "com.zelvantorium.Kiruvo.Intents.$1" 2>/dev/null
}

session_ids() {
    grep -o "'identifier': <'[^']*'>" | sed "s/.*<'\(.*\)'>/\1/" | tr '[:upper:]' '[:lower:]'
}

start_app() {
    XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" \
        XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" KIRUVO_DEFAULTS_PATH="$db" \
        LD_PRELOAD="$faketime_library" FAKETIME="+0 x600" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
        "$executable" >>"$work/app.log" 2>&1 &
    app=$!
    echo "$app" >>"$work/pids"
    for _ in $(seq 1 200); do
        intent GetEnabledState >/dev/null && return 0
        kill -0 "$app" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# The other program's 30 additions and 10 deletions, in a random order over the given seconds.
outside_writer() {
    local gap=$(($1 * 1000 / 41)) edit
    for edit in $({ yes add | head -n 30; yes delete | head -n 10; } | shuf); do
        sleep "$(random_between $((gap / 2)) $((gap * 3 / 2)))"
        edit_unlocked "$edit"
    done
}

# A second instance, on a session bus of its own (as from another login), over the running one's
# database reached by another path. It ran when it answered on its bus as the application (it is
# then stopped); otherwise it must end by itself, having handed over (which waits up to 5 s for the
# running one to answer on this bus, where it never does). "$work/seconds" gets "<outcome> <seconds>".
second_through_link() {
    local path="$work/linked/defaults.sqlite3"
    if ((RANDOM % 2 == 0)); then
        path="$work/elsewhere/kiruvo.sqlite3"
        ln -f "$db" "$path" 2>/dev/null || return 1
    fi
    XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" \
        XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" KIRUVO_DEFAULTS_PATH="$path" \
        dbus-run-session -- bash -c '
            started=$(date +%s%N)
            "$1" &
            second=$!
            outcome=starting
            for _ in $(seq 1 300); do
                if ! kill -0 "$second" 2>/dev/null; then
                    wait "$second"
                    outcome="ended($?)"
                    break
                fi
                if gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
                    --method com.zelvantorium.Kiruvo.Intents.GetEnabledState >/dev/null 2>&1; then
                    outcome=ran
                    break
                fi
                sleep 0.1
            done
            echo "$outcome $(( ($(date +%s%N) - started) / 1000000 ))" >>"$2"
            kill -TERM "$second" 2>/dev/null
            for _ in $(seq 1 100); do kill -0 "$second" 2>/dev/null || break; sleep 0.05; done
            kill -KILL "$second" 2>/dev/null
            [[ "$outcome" == ran ]]' _ "$executable" "$work/seconds" >>"$work/second.log" 2>&1
}
mkdir -p "$work/elsewhere"
ln -s "$work/data/kiruvo" "$work/linked"

kills=0 terms=0 edits_before_runs=0 locked_starts=0 edits=0 failed_starts=0 second_starts=0 seconds_that_ran=0
started_at=$(date +%s)
if [[ "$cycles" == mixed ]]; then
    # A history to delete from, stored by the other program in the file a first start made.
    start_app && stop "$app"
    wait "$app" 2>/dev/null
    for _ in $(seq 1 20); do edit_unlocked add; done
    edits=20
    edits_before_runs=$(wc -l <"$work/edits")
    start_app || failed_starts=1
    outside_writer "$mixed_seconds" &
    writer=$!
    ends_at=$(($(date +%s) + mixed_seconds))
    while (($(date +%s) < ends_at)); do
        sleep "$(random_between 800 2000)"
        intent NewSession >/dev/null
        intent GetSessions | session_ids >>"$work/acknowledged"
    done
    wait "$writer"
    intent NewSession >/dev/null
    intent GetSessions | session_ids >>"$work/acknowledged"
    stop "$app"
    terms=1
    wait "$app" 2>/dev/null
    cycles=0
fi
for cycle in $(seq 1 "$cycles"); do
    if ((RANDOM % 2 == 0)); then
        edit_history
        edits=$((edits + 1))
    fi
    if ((RANDOM % 4 == 0)); then
        # Longer than the opening waits (5 s), so that the store starts without the file.
        hold_for "$(random_between 5500 8000)" &
        locked_starts=$((locked_starts + 1))
        sleep 0.2
    fi
    toggle_lock &
    toggler=$!
    xdotool mousemove $((RANDOM % 1200)) $((RANDOM % 700)) 2>/dev/null
    if ! start_app; then
        failed_starts=$((failed_starts + 1))
    elif ((RANDOM % 4 == 0)); then
        second_starts=$((second_starts + 1))
        second_through_link && seconds_that_ran=$((seconds_that_ran + 1))
    fi
    for _ in $(seq 0 $((RANDOM % 3))); do
        sleep "$(random_between 350 900)"
        intent NewSession >/dev/null
    done
    intent GetSessions | session_ids >>"$work/acknowledged"
    sleep "$(random_between 0 800)"
    if ((RANDOM % 5 == 0)); then
        kill -TERM "$app" 2>/dev/null
        for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$app" 2>/dev/null && terms=$((terms + 1)) || terms=$((terms + 1))
    else
        kill -KILL "$app" 2>/dev/null
        kills=$((kills + 1))
    fi
    wait "$app" 2>/dev/null
    touch "$work/stop"
    wait "$toggler" 2>/dev/null
    rm -f "$work/stop"
    ((cycle % 20 == 0)) && echo "cycle $cycle: $(sort -u "$work/acknowledged" | wc -l) sessions reported so far"
done
# Every holder lets go by itself within seconds (those of a killed toggler too).
wait
sleep 3
grep '^added ' "$work/edits" | cut -d' ' -f2 >>"$work/added"
grep '^deleted ' "$work/edits" | cut -d' ' -f2 >>"$work/deleted"

start_app || echo "the last start did not answer"
final="$(intent GetSessions | session_ids | sort)"
sleep 1
stop "$app"
wait "$app" 2>/dev/null
stored="$(sqlite3 "$db" "SELECT json_extract(j.value, '\$.id') FROM defaults, json_each(defaults.value) AS j
    WHERE defaults.key = 'sessions'" | tr '[:upper:]' '[:lower:]' | sort)"
set_aside="$(sqlite3 "$db" "SELECT count(*) FROM defaults WHERE key LIKE 'sessions.unreadable-%'")"

expected="$(sort -u "$work/acknowledged" "$work/added" | comm -23 - <(sort -u "$work/deleted"))"
lost="$(comm -23 <(echo "$expected" | sed '/^$/d') <(echo "$stored" | sort -u) | wc -l)"
duplicated="$(echo "$stored" | sed '/^$/d' | uniq -d | wc -l)"
resurrected="$(comm -12 <(sort -u "$work/deleted") <(echo "$stored" | sort -u) | wc -l)"
# Each lost session with where it came from, to tell a lost end of a session from a lost addition.
comm -23 <(echo "$expected" | sed '/^$/d') <(echo "$stored" | sort -u) | while read -r id; do
    echo "lost $id:$(grep -qx "$id" "$work/acknowledged" && echo ' reported by the application')$(grep -qx "$id" "$work/added" && echo ' added by the other program')"
done
[[ "$lost" == 0 ]] || grep -E '^kiruvo\.(store|engine) ' "$work/app.log" | cut -c1-200 | sort | uniq -c
answered_not_stored="$(comm -23 <(echo "$final" | sed '/^$/d' | sort -u) <(echo "$stored" | sort -u) | wc -l)"
echo "cycles: $cycles ($kills kill -9, $terms SIGTERM), starts under an exclusive lock: $locked_starts," \
    "starts that never answered: $failed_starts, edits by the other program between runs: $edits," \
    "during runs: $(($(wc -l <"$work/edits") - edits_before_runs))," \
    "in $(($(date +%s) - started_at)) s"
echo "sessions reported by the application: $(sort -u "$work/acknowledged" | wc -l)" \
    "(its own: $(sort -u "$work/acknowledged" | comm -23 - <(sort -u "$work/added") | wc -l))," \
    "added by the other program: $(sort -u "$work/added" | wc -l)," \
    "deleted by it: $(sort -u "$work/deleted" | wc -l), stored at the end: $(echo "$stored" | sed '/^$/d' | wc -l)"
echo "lost: $lost, duplicated: $duplicated, resurrected: $resurrected, histories set aside: $set_aside," \
    "pending file left: $([[ -e "$db.pending" ]] && echo yes || echo no)," \
    "answered at the last start but not stored: $answered_not_stored"
longest_hand_over="$(grep '^ended' "$work/seconds" | sort -k2n | tail -n 1 | cut -d' ' -f2)"
echo "second instances through another path: $second_starts, of which ran: $seconds_that_ran," \
    "ended by themselves: $(grep -c '^ended' "$work/seconds") (with status 0: $(grep -c '^ended(0)' "$work/seconds")," \
    "the longest after ${longest_hand_over:-0} ms), still starting after 30 s: $(grep -c '^starting' "$work/seconds")"
[[ "$seconds_that_ran" == 0 && "$(grep -vc '^ended' "$work/seconds")" == 0 && "$lost" == 0 && "$answered_not_stored" == 0 && "$duplicated" == 0 && "$resurrected" == 0 && "$set_aside" == 0 && ! -e "$db.pending" ]]
