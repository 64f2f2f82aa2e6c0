#!/usr/bin/env bash
# The keys held while the application starts, pressed on a private display through XTest as the
# user's keyboard would: Shift+Ctrl+Alt on the first launch opens the support window in front of the
# Welcome window (openbox decides what is in front), without debug mode; Shift+Ctrl alone starts
# debug mode, whose debug lines the log then shows; no keys, neither.
# Usage: launch_gestures.sh <path of the kiruvo executable>
set -uo pipefail
# shellcheck source-path=SCRIPTDIR source=private_session.sh
source "$(dirname "$0")/private_session.sh"

if [[ "${1:-}" != "--inside" ]]; then
    executable="${1:?usage: launch_gestures.sh <kiruvo executable>}"
    require_tools xvfb-run dbus-run-session openbox trayer xdotool xprop
    require_executable "$executable"
    make_private_folders kiruvo-gestures
    in_private_session bash "$0" --inside "$executable" "$work"
    exit $?
fi

executable="$2"
work="$3"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

openbox >"$work/openbox.log" 2>&1 &
manager=$!
trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
    >"$work/trayer.log" 2>&1 &
tray=$!
running=""
trap 'kill $running "$tray" "$manager" 2>/dev/null; xdotool keyup shift ctrl alt 2>/dev/null' EXIT
sleep 1

# The first visible window whose title matches $1; nothing (and failure) when there is none.
visible_window() {
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 | grep .
}

# Starts the application with the named keys held (let go by let_go).
start_holding() {
    if [[ $# -gt 0 ]]; then
        xdotool keydown "$@"
    fi
    "$executable" >"$work/$run.log" 2>&1 &
    running=$!
}
let_go() {
    xdotool keyup shift ctrl alt
}
stop() {
    kill -TERM "$running" 2>/dev/null
    wait "$running" 2>/dev/null
    running=""
}

# First launch with Shift+Ctrl+Alt: the support window and the Welcome window, the former in front.
run=first
start_holding shift ctrl alt
support="$(within 6 visible_window ' — Debug$')"
welcome="$(within 6 visible_window '^Kiruvo$')"
let_go
sleep 1
if [[ -z "$support" ]]; then
    fail "Shift+Ctrl+Alt at the first launch opened no support window"
elif [[ -z "$welcome" ]]; then
    fail "the first launch showed no Welcome window"
else
    # Bottom to top, as the window manager stacks them.
    stacking="$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')"
    position() {
        local index=0 id
        for id in $stacking; do
            [[ $((id)) -eq $(($1)) ]] && echo "$index" && return
            index=$((index + 1))
        done
        echo -1
    }
    if [[ $(position "$support") -gt $(position "$welcome") ]]; then
        echo "ok: the support window is in front of the Welcome window"
    else
        fail "the support window is behind the Welcome window (stacking: $stacking)"
    fi
fi
if grep -q '^kiruvo\.[a-z]* debug:' "$work/first.log"; then
    fail "Shift+Ctrl+Alt started debug mode"
fi
stop

# Shift+Ctrl: debug mode, whose debug lines show whatever the logging rules say; no support window.
run=second
start_holding shift ctrl
sleep 3
let_go
sleep 1
if grep -q '^kiruvo\.[a-z]* debug:' "$work/second.log"; then
    echo "ok: Shift+Ctrl at launch starts debug mode"
else
    fail "Shift+Ctrl at launch did not start debug mode"
fi
if xdotool search --onlyvisible --name ' — Debug$' >/dev/null 2>&1; then
    fail "Shift+Ctrl at launch opened the support window"
fi
stop

# No keys: neither.
run=third
start_holding
sleep 3
if grep -q '^kiruvo\.[a-z]* debug:' "$work/third.log"; then
    fail "a launch with no keys held started debug mode"
else
    echo "ok: a launch with no keys held is no debug mode"
fi
stop

if [[ $failures -ne 0 ]]; then
    for log in first second third; do
        echo "--- $log"
        cat "$work/$log.log" 2>/dev/null
    done
    exit 1
fi
echo "launch gestures test passed"
