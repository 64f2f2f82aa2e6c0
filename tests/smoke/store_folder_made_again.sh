#!/usr/bin/env bash
# Runs the application over a stored history, removes its data folder (rm -rf) and makes it again
# (mkdir) while it runs, as a user cleaning up or a sync tool does, and ends four sessions after
# that: every session ended since the folder came back is answered by GetSessions and is in the new
# file once SIGTERM ended the application, the running one too. The application's clock runs sixty
# times fast (faketime), so the sessions of several minutes take seconds.
# Usage: store_folder_made_again.sh <path of the kiruvo executable>
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="${1:?usage: store_folder_made_again.sh <kiruvo executable>}"
    # shellcheck source-path=SCRIPTDIR source=private_session.sh
    source "$(dirname "$0")/private_session.sh"
    require_tools xvfb-run dbus-run-session gdbus faketime sqlite3
    require_executable "$executable"
    make_private_folders kiruvo-folder-made-again
    in_private_session bash "$0" --inside "$executable" "$work"
    exit $?
fi

executable="$2"
work="$3"
# shellcheck source-path=SCRIPTDIR source=private_session.sh
source "$(dirname "$0")/private_session.sh"
app=""
stop_all() {
    [[ -n "$app" ]] && kill -KILL "$app" 2>/dev/null
    wait 2>/dev/null
}
trap stop_all EXIT
fail() {
    echo "FAIL: $*"
    echo "--- application"
    cat "$work/app.log" 2>/dev/null
    exit 1
}
store="$work/data/kiruvo/defaults.sqlite3"
call() {
    timeout 10 gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
        --method "com.zelvantorium.Kiruvo.Intents.$1" 2>&1
}
# The ids of the sessions GetSessions answers, one a line.
answered_ids() { call GetSessions | grep -oE '[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}' | tr a-f A-F | sort -u; }
stored_count() {
    sqlite3 "file:$store?mode=ro" "select json_array_length(value) from defaults where key = 'sessions'" 2>/dev/null
}

# Twelve sessions of the last days, and a long idle time, so that sessions run without input.
newest=$(($(date +%s) - 978307200 - 7200))
mkdir -p "$work/data/kiruvo"
chmod 700 "$work/data/kiruvo"
(umask 077 && sqlite3 "$store" "CREATE TABLE defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,
        PRIMARY KEY(suite, key));
    INSERT INTO defaults VALUES('com.zelvantorium.Kiruvo', 'idleDurationBeforeStop', '\"1000000\"');
    WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 11)
    INSERT INTO defaults SELECT 'com.zelvantorium.Kiruvo', 'sessions',
        json_group_array(json_object('id', printf('00000000-0000-4000-8000-%012d', i),
            'dateRange', json_array($newest.0 - i * 7200, $newest.0 + 1800 - i * 7200),
            'timeZone', json_object('identifier', 'Europe/Oslo')) || '') FROM n;" \
    >/dev/null) || fail "the store could not be prepared"

require_fast_clock
run_with_fast_clock "$executable" >"$work/app.log" 2>&1 &
app=$!
app_ended() { ! kill -0 "$app" 2>/dev/null; }
on_bus_or_ended() { app_ended || on_bus com.zelvantorium.Kiruvo; }
within 60 on_bus_or_ended
app_ended && fail "the application ended at start-up (status $(wait "$app"; echo $?))"
within 30 grep -q "Session enable" "$work/app.log" || fail "no session started"
[[ "$(answered_ids | wc -l)" -eq 12 ]] || fail "the stored history is not answered: $(call GetSessions)"

# About 200 s of the fast clock each.
gap=3.4
sleep "$gap"
call NewSession >/dev/null
rm -rf "$work/data/kiruvo"
mkdir "$work/data/kiruvo"
chmod 700 "$work/data/kiruvo"
before="$(answered_ids)"
for session in 1 2 3 4; do
    sleep "$gap"
    answer="$(call NewSession)"
    now="$(answered_ids)"
    added="$(comm -13 <(echo "$before") <(echo "$now") | grep -c .)"
    [[ "$added" -eq 1 ]] ||
        fail "NewSession $session after the folder came back answered $answer and added $added sessions to GetSessions"
    before="$now"
    echo "ok: session $session after the folder came back is answered ($answer), $(stored_count) in the file"
done

kill -TERM "$app"
within 30 app_ended || fail "the application was still running 30 s after SIGTERM"
wait "$app"
status=$?
app=""
[[ $status -eq 0 ]] || fail "the application ended with status $status after SIGTERM"
count="$(stored_count)"
# The session that ended before the removal, the four after it, and the running one.
[[ "$count" -ge 5 ]] || fail "the new file holds $count sessions after SIGTERM, not the 6 ended since the folder came back"
echo "ok: the new file holds $count sessions"
echo "folder made again test passed"
