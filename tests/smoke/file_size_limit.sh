#!/usr/bin/env bash
# Runs the application under a limit on the size of the files it writes (RLIMIT_FSIZE, as a user's
# or a session manager's limit sets it), over a history too long to be written under it, and checks
# that the write of a finished session fails as on a full disk (the history is kept in memory and
# the failure is told) rather than ending the application by SIGXFSZ, and that SIGTERM still ends
# it cleanly. The application's clock runs sixty times fast (faketime), so a session of several
# minutes takes seconds.
# Usage: file_size_limit.sh <path of the kiruvo executable>
set -uo pipefail

if [[ "${1:-}" != "--inside" ]]; then
    executable="${1:?usage: file_size_limit.sh <kiruvo executable>}"
    # shellcheck source-path=SCRIPTDIR source=private_session.sh
    source "$(dirname "$0")/private_session.sh"
    require_tools xvfb-run dbus-run-session gdbus faketime sqlite3 prlimit
    require_executable "$executable"
    make_private_folders kiruvo-file-size-limit
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

# A history of 600 sessions of the last fifty days (about 100 kB), each stored as its JSON text, and
# a long idle time, so that the session runs without input; the limit is far below what one write
# of that history needs.
limit=$((48 * 1024))
newest=$(($(date +%s) - 978307200 - 7200))
mkdir -p "$work/data/kiruvo"
(umask 077 && sqlite3 "$work/data/kiruvo/defaults.sqlite3" "PRAGMA journal_mode=WAL;
    CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,
        PRIMARY KEY(suite, key));
    INSERT OR REPLACE INTO defaults VALUES('com.zelvantorium.Kiruvo', 'idleDurationBeforeStop', '\"1000000\"');
    WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 599)
    INSERT OR REPLACE INTO defaults SELECT 'com.zelvantorium.Kiruvo', 'sessions',
        json_group_array(json_object('id', printf('00000000-0000-4000-8000-%012d', i),
            'dateRange', json_array($newest.0 - i * 7200, $newest.0 + 1800 - i * 7200),
            'timeZone', json_object('identifier', 'Europe/Oslo')) || '') FROM n;" \
    >/dev/null) || fail "the store could not be prepared"
stored_before="$(sqlite3 "$work/data/kiruvo/defaults.sqlite3" \
    "select json_array_length(value) from defaults where key = 'sessions'")"
[[ "$stored_before" == 600 ]] || fail "the history was not prepared: $stored_before"

require_fast_clock
# The limit is the application's own from its start; nothing here ignores SIGXFSZ for it.
run_with_fast_clock prlimit --fsize="$limit" "$executable" >"$work/app.log" 2>&1 &
app=$!
app_ended() { ! kill -0 "$app" 2>/dev/null; }
on_bus_or_ended() { app_ended || on_bus com.zelvantorium.Kiruvo; }
within 60 on_bus_or_ended
app_ended && fail "the application ended at start-up (status $(wait "$app"; echo $?))"
within 30 grep -q "Session enable" "$work/app.log" || fail "no session started"
echo "ok: the application runs with a session under a limit of $limit bytes per file"

# Five fast minutes of the session, then a new session: the finished one is written with the
# whole history, which the limit refuses.
sleep 5
timeout 10 gdbus call --session --dest com.zelvantorium.Kiruvo --object-path /com/zelvantorium/Kiruvo \
    --method com.zelvantorium.Kiruvo.Intents.NewSession >/dev/null 2>&1
within 30 grep -q "The session history could not be stored" "$work/app.log" ||
    app_ended || fail "the history's write did not fail under the limit"
sleep 1
if app_ended; then
    wait "$app"
    status=$?
    app=""
    fail "the application ended when its write met the limit (status $status)"
fi
echo "ok: the write that met the limit failed as on a full disk, and the application runs on"

kill -TERM "$app"
within 30 app_ended || fail "the application was still running 30 s after SIGTERM"
wait "$app"
status=$?
app=""
[[ $status -eq 0 ]] || fail "the application ended with status $status after SIGTERM"
echo "ok: SIGTERM ended the application with status 0"
[[ -e "$work/state/kiruvo/running" ]] && fail "the crash marker was left behind"
echo "file size limit test passed"
