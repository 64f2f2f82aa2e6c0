# shellcheck shell=bash
# What the smoke scripts share: the tools they need, the executable, a private set of XDG folders
# for its run, the desktops it runs on and its fast clock. Sourced; bash.

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

# Runs "$@" with a session bus and a display (Xvfb, 1280x800) of its own and the folders of $work as
# the user's: nothing of the caller's bus, display, store or logging rules is seen or touched.
in_private_session() {
    env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY -u KIRUVO_DEFAULTS_PATH \
        -u KIRUVO_STATE_DIR -u QT_QPA_PLATFORM -u QT_LOGGING_RULES \
        XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime" \
        XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
        dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" "$@"
}

# Runs "$@" in a private session bus, as a Wayland session would run it: no X display, no Wayland
# display yet, the folders of $work as the user's, and none of the caller's store or logging rules.
in_private_wayland_session() {
    env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY -u KIRUVO_DEFAULTS_PATH \
        -u KIRUVO_STATE_DIR -u QT_QPA_PLATFORM -u XAUTHORITY -u QT_LOGGING_RULES \
        XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime" \
        XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_SESSION_TYPE=wayland \
        dbus-run-session -- "$@"
}

# Runs "$@" every tenth of a second until it succeeds, for at most $1 seconds.
within() {
    local tries=$(($1 * 10))
    shift
    for _ in $(seq 1 "$tries"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Runs "$@" until it succeeds, for at most $1 seconds however long each run takes.
for_up_to() {
    local end=$((SECONDS + $1))
    shift
    while ((SECONDS < end)); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}

# Runs python3 with "$@", where screen_pixels.py (grim's pictures read) can be imported, leaving no
# compiled copy of it in the checkout.
smoke_folder="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
screen_python() {
    PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$smoke_folder${PYTHONPATH:+:$PYTHONPATH}" python3 "$@"
}

# Whether the name $1 has an owner on the session bus.
on_bus() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}

# Starts the Wayland compositor $1 (mutter, kwin or sway) on the socket $2 in $XDG_RUNTIME_DIR, with
# its output in $3, and sets $desktop to its process; fails unless the socket appears within a minute.
# Sway runs with Xwayland, whose display it writes to $XDG_RUNTIME_DIR/xwayland-display; it refuses
# root, so run by root it runs as nobody in a runtime folder of that user's ($sway_runtime, the
# caller's to remove), whose socket is linked in place, as the leader of its own process group.
start_compositor() {
    case "$1" in
    sway)
        sway_runtime="$(mktemp -d /tmp/kiruvo-sway.XXXXXX)"
        printf 'xwayland force\nexec sh -c '"'"'echo "$DISPLAY" > %s/display'"'"'\n' "$sway_runtime" \
            >"$sway_runtime/config"
        local as_user=()
        if [[ "$(id -u)" -eq 0 ]]; then
            chown -R 65534:65534 "$sway_runtime"
            as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
        fi
        # A process group of its own, for the caller to end whole: sway forks a helper that waits
        # for Xwayland to be ready, which outlives a sway ended before that.
        XDG_RUNTIME_DIR="$sway_runtime" HOME="$sway_runtime" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
            WLR_RENDERER=pixman "${as_user[@]}" setsid sway -c "$sway_runtime/config" >"$3" 2>&1 &
        # shellcheck disable=SC2034 # the caller's
        desktop=$!
        within 60 test -s "$sway_runtime/display" || return 1
        local found
        found="$(find "$sway_runtime" -maxdepth 1 -type s -name 'wayland-*' | head -n 1)"
        [[ -n "$found" ]] || return 1
        ln -s "$found" "$XDG_RUNTIME_DIR/$2"
        cp "$sway_runtime/display" "$XDG_RUNTIME_DIR/xwayland-display"
        return 0
        ;;
    mutter)
        mutter --headless --virtual-monitor 640x480 --wayland --no-x11 --wayland-display "$2" >"$3" 2>&1 &
        ;;
    kwin)
        # Debian gives kwin_wayland a file capability that a container's bounding set may lack, and
        # then the kernel refuses to run it: the dynamic loader runs it without the capability.
        local loader=/lib64/ld-linux-x86-64.so.2
        [[ -x "$loader" ]] || loader=""
        KWIN_FORCE_OWN_QPA=1 KWIN_COMPOSE=Q $loader "$(command -v kwin_wayland)" --virtual --socket "$2" \
            --no-lockscreen --no-global-shortcuts --width 640 --height 480 >"$3" 2>&1 &
        ;;
    esac
    # shellcheck disable=SC2034 # the caller's
    desktop=$!
    within 60 test -S "$XDG_RUNTIME_DIR/$2"
}

# Ends the compositor that start_compositor started ($desktop), and with sway its whole process group
# and its runtime folder ($sway_runtime).
stop_compositor() {
    if [[ -n "$desktop" ]] && kill -0 "$desktop" 2>/dev/null; then
        kill -TERM "$desktop" 2>/dev/null
        for _ in $(seq 1 50); do kill -0 "$desktop" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$desktop" 2>/dev/null
    fi
    if [[ -n "$sway_runtime" ]]; then
        [[ -n "$desktop" ]] && kill -KILL -- "-$desktop" 2>/dev/null
        rm -rf "$sway_runtime"
    fi
}

# Sets $fast_clock_library to libfaketime's library, or skips the test (exit 77) without it.
require_fast_clock() {
    fast_clock_library="$(dpkg -L libfaketime 2>/dev/null | grep '/libfaketimeMT\.so' | head -n 1)"
    if [[ -z "$fast_clock_library" ]]; then
        echo "SKIP: libfaketime's library was not found"
        exit 77
    fi
}

# Runs "$@" with its clock sixty times fast (after require_fast_clock), in place of the shell that
# calls it, so that a caller in the background gets the program's own process id. The library is
# preloaded directly (the faketime command would stand between the caller and the program's
# signals), and a sanitizer build must not insist on coming first.
run_with_fast_clock() {
    LD_PRELOAD="$fast_clock_library" FAKETIME="+0 x60" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" exec "$@"
}

# Runs "$@" (bash "$0" --inside ...) with no bus, display or store of the caller's and the folders of
# $work as the user's, in a Wayland session: the caller starts sway with its bar there
# (start_sway_with_bar), since swaybar's tray and the application must meet on a bus of its own.
in_private_sway_session() {
    env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY -u SWAYSOCK -u KIRUVO_DEFAULTS_PATH \
        -u KIRUVO_STATE_DIR -u QT_QPA_PLATFORM -u XAUTHORITY -u QT_LOGGING_RULES -u XDG_CURRENT_DESKTOP \
        XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime" \
        XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_SESSION_TYPE=wayland "$@"
}

# Starts a session bus that lets every user in and sway on the configuration text $1, whose bar's
# tray comes on that bus; sway's output goes to $2. Sway and swaybar refuse root: run by root they
# run as nobody. Sets $runtime (sway's runtime folder, the caller's to remove), $bus and $desktop
# (processes, sway the leader of its own group), $wayland (the socket's name in $runtime) and exports
# DBUS_SESSION_BUS_ADDRESS and SWAYSOCK; fails (returns 1) unless all of it is up within a minute.
start_sway_with_bar() {
    runtime="$(mktemp -d /tmp/kiruvo-sway.XXXXXX)"
    local as_user=()
    if [[ "$(id -u)" -eq 0 ]]; then
        as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    fi
    cat >"$runtime/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$runtime/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
    printf '%s\n' "$1" >"$runtime/config"
    [[ "$(id -u)" -eq 0 ]] && chown -R 65534:65534 "$runtime"
    dbus-daemon --config-file="$runtime/bus.conf" --nofork >"$runtime/bus.log" 2>&1 &
    # shellcheck disable=SC2034 # the caller's
    bus=$!
    within 20 test -S "$runtime/bus" || return 1
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
    XDG_RUNTIME_DIR="$runtime" HOME="$runtime" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
        WLR_RENDERER=pixman "${as_user[@]}" setsid sway -c "$runtime/config" >"$2" 2>&1 &
    desktop=$!
    sway_ready() { compgen -G "$runtime/sway-ipc.*.sock" >/dev/null && compgen -G "$runtime/wayland-*" >/dev/null; }
    within 60 sway_ready || return 1
    SWAYSOCK="$(compgen -G "$runtime/sway-ipc.*.sock" | head -n 1)"
    export SWAYSOCK
    # shellcheck disable=SC2034 # the caller's
    wayland="$(basename "$(compgen -G "$runtime/wayland-[0-9]" | head -n 1)")"
    within 60 on_bus org.kde.StatusNotifierWatcher
}

# The windows on sway, one line each: "<pid> <floating|tiled> <x> <y> <width> <height> <focused> <border>".
sway_windows() {
    swaymsg -t get_tree 2>/dev/null | python3 -c '
import json, sys
def walk(node, floating):
    for child in node.get("nodes", []):
        walk(child, floating)
    for child in node.get("floating_nodes", []):
        walk(child, True)
    if node.get("pid"):
        r = node["rect"]
        print(node["pid"], "floating" if floating else "tiled", r["x"], r["y"], r["width"], r["height"],
            "focused" if node.get("focused") else "unfocused", node.get("border"))
walk(json.load(sys.stdin), False)'
}
