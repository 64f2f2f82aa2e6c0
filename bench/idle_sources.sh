#!/usr/bin/env bash
# What the running application costs while the user is idle, with each idle source, side by side
# for one or more builds: CPU a minute and wake-ups a second, and the source the application says
# it uses.
#
# Sources: x11 (the private X display's IDLETIME alarms, or MIT-SCREEN-SAVER where it lacks them),
# mutter (a headless Mutter's IdleMonitor on the instance's bus, in a Wayland session), kwin (a virtual kwin_wayland's ext-idle-notify-v1),
# sway (a headless sway 1.7's org_kde_kwin_idle, run as nobody when the bench runs as root),
# screensaver (a stand-in org.freedesktop.ScreenSaver whose idle time grows from 0: the user is
# present), screensaver-away (the same, past the threshold: the user is away, and the service is
# asked every second, once a second question, a moment after the first, has shown whether it
# counts in seconds or milliseconds) and screensaver-locked (away, with the screen saver or lock
# on, which changes nothing of that). The application's X display is a private Xvfb in every case, with no tray
# host: what the status item costs to draw in a tray is footprint.sh's to measure, and would drown
# the idle source's share here.
#
# Usage: bench/idle_sources.sh [--idle S] [--sources "x11 mutter ..."] [--display :N]
#            [--service PATH] [--settle S] [--threads] name=<kiruvo executable> [name=<kiruvo executable> ...]
#   --settle S      seconds left to start-up before the idle time is measured (default 20: past the
#                   notice of a missing tray, given 15 s for a tray to appear)
#   --threads       also the wake-ups of each of the application's threads, by name
#   --service PATH  the stand-in screen saver service (default: bench/screensaver_service in the
#                   build folder of the first build, <build>/src/kiruvo)
set -uo pipefail

idle=60
sources="x11 mutter kwin sway screensaver screensaver-away screensaver-locked"
display=":23"
service=""
by_thread=0
settle=20
builds=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --idle) idle="$2"; shift 2 ;;
    --sources) sources="$2"; shift 2 ;;
    --display) display="$2"; shift 2 ;;
    --service) service="$(realpath "$2")"; shift 2 ;;
    --threads) by_thread=1; shift ;;
    --settle) settle="$2"; shift 2 ;;
    *=*) builds+=("$1"); shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
if [[ ${#builds[@]} -eq 0 ]]; then
    echo "usage: $0 [--idle S] [--sources LIST] [--display :N] [--service PATH] name=/path/to/kiruvo ..." >&2
    exit 2
fi
if [[ -z "$service" ]]; then
    first="${builds[0]#*=}"
    service="$(dirname "$(dirname "$(realpath "$first")")")/bench/screensaver_service"
fi

# shellcheck source=measure_lib.sh
source "$(dirname "$(realpath "$0")")/measure_lib.sh"
start_scratch idle-sources

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
echo $! >>"$work/pids"
export DISPLAY="$display"
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done


# Starts the source's desktop side and then a build, in a folder of its own with a private bus;
# prints the application's pid.
launch_with_source() {
    local source="$1" executable="$2" folder="$3"
    mkdir -p "$folder/data/kiruvo" "$folder/config" "$folder/state" "$folder/cache" "$folder/runtime"
    chmod 700 "$folder/runtime"
    dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile >"$folder/bus" 2>/dev/null
    local address
    address="$(sed -n 1p "$folder/bus")"
    sed -n 2p "$folder/bus" >>"$work/pids"
    # Not the first launch: the Welcome window and its animation are not idle time.
    mark_launched_before "$folder/data/kiruvo/defaults.sqlite3"
    local session=wayland wayland=""
    case "$source" in
    x11) session=x11 ;;
    mutter)
        DBUS_SESSION_BUS_ADDRESS="$address" XDG_RUNTIME_DIR="$folder/runtime" \
            mutter --headless --virtual-monitor 640x480 --wayland --no-x11 --wayland-display kiruvo-mutter \
            >"$folder/desktop.log" 2>&1 &
        echo $! >>"$work/pids"
        for _ in $(seq 1 200); do
            DBUS_SESSION_BUS_ADDRESS="$address" dbus-send --session --print-reply \
                --dest=org.gnome.Mutter.IdleMonitor /org/gnome/Mutter/IdleMonitor/Core \
                org.gnome.Mutter.IdleMonitor.GetIdletime >/dev/null 2>&1 && break
            sleep 0.1
        done
        ;;
    kwin)
        # Through the dynamic loader: Debian's file capability would stop it in a container.
        DBUS_SESSION_BUS_ADDRESS="$address" XDG_RUNTIME_DIR="$folder/runtime" KWIN_FORCE_OWN_QPA=1 \
            KWIN_COMPOSE=Q /lib64/ld-linux-x86-64.so.2 "$(command -v kwin_wayland)" --virtual \
            --socket kiruvo-kwin --no-lockscreen --no-global-shortcuts >"$folder/desktop.log" 2>&1 &
        echo $! >>"$work/pids"
        wayland=kiruvo-kwin
        for _ in $(seq 1 200); do [[ -S "$folder/runtime/kiruvo-kwin" ]] && break; sleep 0.1; done
        sleep 2
        ;;
    sway)
        # Sway refuses root; its runtime folder is its user's, where that user can reach it (not
        # in the private scratch folder), and the application reaches its socket by path.
        local sway_runtime as_user=()
        sway_runtime="$(mktemp -d /tmp/kiruvo-sway.XXXXXX)"
        echo "$sway_runtime" >>"$work/sway-runtimes"
        printf 'xwayland disable\n' >"$sway_runtime/config"
        if [[ "$(id -u)" -eq 0 ]]; then
            chown -R 65534:65534 "$sway_runtime"
            as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
        fi
        XDG_RUNTIME_DIR="$sway_runtime" HOME="$sway_runtime" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
            WLR_RENDERER=pixman "${as_user[@]}" sway -c "$sway_runtime/config" >"$folder/desktop.log" 2>&1 &
        echo $! >>"$work/pids"
        for _ in $(seq 1 200); do
            wayland="$(find "$sway_runtime" -maxdepth 1 -type s -name 'wayland-*' | head -1)"
            [[ -n "$wayland" ]] && break
            sleep 0.1
        done
        ;;
    screensaver | screensaver-away | screensaver-locked)
        local offset=0 lock=""
        [[ "$source" != screensaver ]] && offset=100000
        [[ "$source" == screensaver-locked ]] && lock=locked
        DBUS_SESSION_BUS_ADDRESS="$address" "$service" "$offset" 0 ${lock:+"$lock"} >"$folder/desktop.log" 2>&1 &
        echo $! >>"$work/pids"
        for _ in $(seq 1 100); do
            DBUS_SESSION_BUS_ADDRESS="$address" dbus-send --session --print-reply \
                --dest=org.freedesktop.ScreenSaver /org/freedesktop/ScreenSaver \
                org.freedesktop.ScreenSaver.GetSessionIdleTime >/dev/null 2>&1 && break
            sleep 0.1
        done
        ;;
    esac
    env -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS="$address" XDG_DATA_HOME="$folder/data" \
        XDG_CONFIG_HOME="$folder/config" XDG_STATE_HOME="$folder/state" XDG_CACHE_HOME="$folder/cache" \
        XDG_RUNTIME_DIR="$folder/runtime" KIRUVO_DEFAULTS_PATH="$folder/data/kiruvo/defaults.sqlite3" \
        XDG_SESSION_TYPE="$session" ${wayland:+WAYLAND_DISPLAY=$wayland} QT_QPA_PLATFORM=xcb \
        "$executable" >"$folder/log" 2>&1 &
    local app=$!
    echo "$app" >>"$work/pids"
    echo "$app"
}

for source in $sources; do
    declare -A app_of=() cpu_before=() switches_before=()
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        app_of[$name]=$(launch_with_source "$source" "${build#*=}" "$work/$source-$name")
    done
    # Start-up, the first session, the compositor's first frames and the notice that no tray came
    # are not idle time.
    sleep "$settle"
    for name in "${!app_of[@]}"; do
        cpu_before[$name]=$(cpu_ns "${app_of[$name]}")
        switches_before[$name]=$(switches "${app_of[$name]}")
    done
    sleep "$idle"
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        app="${app_of[$name]}"
        if ! kill -0 "$app" 2>/dev/null; then
            echo "[$name] $source: the application ended; its log:" && cat "$work/$source-$name/log"
            continue
        fi
        cpu=$(printf '%.1f' "$(counted_since "${cpu_before[$name]}" "$(cpu_ns "$app")" "$((idle * 1000000 / 60))")")
        wakeups=$(printf '%.2f' "$(counted_since "${switches_before[$name]}" "$(switches "$app")" "$idle")")
        used=$(grep -o "Idle time comes from [^(]*" "$work/$source-$name/log" | head -1 | sed 's/Idle time comes from //; s/[ .]*$//')
        [[ -z "$used" ]] && used=$(grep -o "Idle time comes from .*" "$work/$source-$name/log" | head -1)
        echo "[$name] $source: CPU ${cpu} ms a minute, ${wakeups} wake-ups a second; idle time from: ${used:-?}"
        if [[ $by_thread -eq 1 ]]; then
            print_thread_wakeups "${switches_before[$name]}" "$app" "$idle"
        fi
        kill -TERM "$app" 2>/dev/null
    done
    # Each source's desktop goes with its instances.
    xvfb="$(sed -n 1p "$work/pids")"
    while read -r pid; do
        [[ "$pid" == "$xvfb" ]] || kill "$pid" 2>/dev/null
    done <"$work/pids"
    sleep 2
    if [[ -f "$work/sway-runtimes" ]]; then
        xargs rm -rf <"$work/sway-runtimes"
        rm -f "$work/sway-runtimes"
    fi
    unset app_of cpu_before switches_before
done
