#!/usr/bin/env bash
# What the running application costs on a real panel while the user is idle and a session runs:
# CPU a minute and wake-ups a second, thread by thread, side by side for one or more builds, with
# each tray host: trayer (an XEmbed tray) and xfce4-panel (its systray plugin hosts
# StatusNotifierItems, and shows the exported D-Bus menu). The running figure changes once a
# minute, and the panel reads the item again each time: that is the cost measured here, and what
# idle_sources.sh leaves out. With --calls, the D-Bus calls the panel made to the application in
# that time (from dbus-monitor on the private bus) are counted too.
#
# With --welcome the application starts for the first time and its Welcome window, whose heart beats
# while it is on screen, is left open as a user may leave it all day: measured first on the
# workspace shown, then again with the window manager showing another workspace, where nothing may
# wake the application for it.
#
# Usage: bench/tray_hosts.sh [--idle S] [--hosts "trayer xfce"] [--display :N] [--calls] [--welcome]
#            name=<kiruvo executable> [name=<kiruvo executable> ...]
#   --idle S   seconds measured per build and host (default 180), after 40 s of start-up
set -uo pipefail

idle=180
hosts="trayer xfce"
display=":24"
calls=0
welcome=0
builds=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --idle) idle="$2"; shift 2 ;;
    --hosts) hosts="$2"; shift 2 ;;
    --display) display="$2"; shift 2 ;;
    --calls) calls=1; shift ;;
    --welcome) welcome=1; shift ;;
    *=*) builds+=("$1"); shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
if [[ ${#builds[@]} -eq 0 ]]; then
    echo "usage: $0 [--idle S] [--hosts LIST] [--display :N] [--calls] [--welcome] name=/path/to/kiruvo ..." >&2
    exit 2
fi

# shellcheck source=measure_lib.sh
source "$(dirname "$(realpath "$0")")/measure_lib.sh"
start_scratch tray-hosts

xfconfd=""
for path in /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd /usr/lib/xfce4/xfconf/xfconfd /usr/libexec/xfconfd; do
    [[ -x "$path" ]] && xfconfd="$path" && break
done

# A panel across the top with a tray at its right end.
xfce_panel_configuration() {
    cat <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="28"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/><value type="int" value="2"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
XML
}

# Prints what the application `app` cost since the cpu_ns and switches lines given, over the idle
# time, in total and by thread.
print_idle_figures() {
    local label="$1" app="$2" cpu_before="$3" switches_before="$4" cpu wakeups
    cpu=$(printf '%.1f' "$(counted_since "$cpu_before" "$(cpu_ns "$app")" "$((idle * 1000000 / 60))")")
    wakeups=$(printf '%.2f' "$(counted_since "$switches_before" "$(switches "$app")" "$idle")")
    echo "$label: CPU ${cpu} ms a minute, ${wakeups} wake-ups a second"
    print_thread_wakeups "$switches_before" "$app" "$idle"
}

# Runs one build under one host on a desktop of its own (X display, bus, window manager, panel);
# prints its figures.
measure() {
    local host="$1" name="$2" executable="$3" folder="$4"
    mkdir -p "$folder/data/kiruvo" "$folder/config/xfce4/xfconf/xfce-perchannel-xml" "$folder/state" \
        "$folder/cache" "$folder/runtime"
    chmod 700 "$folder/runtime"
    local started=()
    Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    started+=($!)
    for _ in $(seq 1 50); do DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile >"$folder/bus" 2>/dev/null
    local address
    address="$(sed -n 1p "$folder/bus")"
    started+=("$(sed -n 2p "$folder/bus")")
    printf '%s\n' "${started[@]}" >>"$work/pids"
    (
        export DISPLAY="$display" DBUS_SESSION_BUS_ADDRESS="$address" XDG_CONFIG_HOME="$folder/config" \
            XDG_DATA_HOME="$folder/data" XDG_CACHE_HOME="$folder/cache" XDG_STATE_HOME="$folder/state" \
            XDG_RUNTIME_DIR="$folder/runtime"
        unset XDG_CURRENT_DESKTOP SESSION_MANAGER WAYLAND_DISPLAY
        openbox --sm-disable >/dev/null 2>&1 &
        echo $! >>"$work/pids"
        sleep 1
        if [[ "$host" == xfce ]]; then
            xfce_panel_configuration >"$folder/config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
            "$xfconfd" >/dev/null 2>&1 &
            echo $! >>"$work/pids"
            sleep 1
            xfce4-panel --disable-wm-check >"$folder/panel.log" 2>&1 &
        else
            trayer --edge top --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
        fi
        echo $! >>"$work/pids"
        sleep 3
        # Not the first launch, unless the Welcome window is what is measured.
        [[ $welcome -eq 1 ]] || mark_launched_before "$folder/data/kiruvo/defaults.sqlite3"
        KIRUVO_DEFAULTS_PATH="$folder/data/kiruvo/defaults.sqlite3" XDG_SESSION_TYPE=x11 QT_QPA_PLATFORM=xcb \
            "$executable" >"$folder/log" 2>&1 &
        local app=$!
        echo "$app" >>"$work/pids"
        # Start-up, the panel's first reading of the item and the first look at its colours are
        # not idle time.
        sleep 40
        local monitor=""
        if [[ $calls -eq 1 ]]; then
            dbus-monitor --address "$address" >"$folder/monitor" 2>/dev/null &
            monitor=$!
            echo "$monitor" >>"$work/pids"
        fi
        local cpu_before switches_before
        cpu_before=$(cpu_ns "$app")
        switches_before=$(switches "$app")
        sleep "$idle"
        if ! kill -0 "$app" 2>/dev/null; then
            echo "[$name] $host: the application ended; its log:" && cat "$folder/log"
            exit 0
        fi
        local shown=""
        [[ $welcome -eq 1 ]] && shown=", Welcome window shown"
        print_idle_figures "[$name] $host$shown" "$app" "$cpu_before" "$switches_before"
        if [[ $welcome -eq 1 ]]; then
            # The window manager unmaps the windows of the workspace it leaves.
            xdotool set_num_desktops 2 && sleep 0.5 && xdotool set_desktop 1 && sleep 2
            cpu_before=$(cpu_ns "$app")
            switches_before=$(switches "$app")
            sleep "$idle"
            print_idle_figures "[$name] $host, Welcome window on another workspace" "$app" "$cpu_before" \
                "$switches_before"
        fi
        if [[ -n "$monitor" ]]; then
            kill "$monitor" 2>/dev/null
            wait "$monitor" 2>/dev/null
            local bus_name
            bus_name=$(grep -m1 -oE "sender=:[0-9.]+ -> destination=\(null destination\) serial=[0-9]+ path=/StatusNotifierItem" \
                "$folder/monitor" | sed 's/sender=\([^ ]*\).*/\1/')
            echo "    D-Bus calls to the application a minute:"
            grep "^method call" "$folder/monitor" | grep "destination=${bus_name:-none} " \
                | sed 's/.*interface=\([^;]*\); member=\([^ ]*\).*/\1.\2/' | sort | uniq -c \
                | awk -v idle="$idle" '{ printf "      %5.1f %s\n", $1 * 60 / idle, $2 }'
            echo "    signals from the application a minute:"
            grep "^signal" "$folder/monitor" | grep "sender=${bus_name:-none} " \
                | sed 's/.*interface=\([^;]*\); member=\([^ ]*\).*/\1.\2/' | sort | uniq -c \
                | awk -v idle="$idle" '{ printf "      %5.1f %s\n", $1 * 60 / idle, $2 }'
        fi
    )
    # The desktop goes with the build.
    while read -r pid; do kill "$pid" 2>/dev/null; done <"$work/pids"
    : >"$work/pids"
    sleep 2
}

for host in $hosts; do
    if [[ "$host" == xfce && -z "$xfconfd" ]]; then
        echo "xfce: xfconfd is not installed" >&2
        continue
    fi
    for build in "${builds[@]}"; do
        name="${build%%=*}"
        measure "$host" "$name" "$(realpath "${build#*=}")" "$work/$host-$name"
    done
done
