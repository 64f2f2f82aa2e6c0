# shellcheck shell=bash
# What the smoke scripts share before they start the application: the tools they need, the
# executable, and a private set of XDG folders for its run. Sourced; bash.

# Skips the test (exit 77) unless every named tool is on PATH.
require_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool is not installed"
            exit 77
        fi
    done
}

# Fails the test unless $1 is an executable.
require_executable() {
    if [[ ! -x "$1" ]]; then
        echo "FAIL: $1 is not an executable"
        exit 1
    fi
}

# Makes $work, a temporary folder named after $1 that is removed on exit, holding empty data,
# state, config and cache folders and a private runtime folder for the application.
make_private_folders() {
    work="$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/data" "$work/state" "$work/runtime" "$work/config" "$work/cache"
    chmod 700 "$work/runtime"
}
