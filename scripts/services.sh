# Sourced by scripts/test and scripts/run. Starts the services the program and its suites need
# on a machine without a desktop: a virtual display (Xvfb), a window manager (openbox) and a
# private PulseAudio server with a null sink as the default output. Each is stopped by its PID.
#
#   mdl_start_display [WIDTHxHEIGHTxDEPTH]   sets DISPLAY
#   mdl_start_window_manager
#   mdl_start_sound                          sets XDG_RUNTIME_DIR, PULSE_SERVER
#   mdl_start_pipewire                       PipeWire's pulse server beside it, with its own
#                                            null sink; sets MDL_PIPEWIRE_PULSE_SERVER
#   mdl_stop_services

MDL_SERVICE_PIDS=()
MDL_RUNTIME_DIR=""
MDL_PIPEWIRE_DIR=""

mdl_free_display_number() {
    local n
    for n in $(seq 99 160); do
        if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
            echo "$n"
            return 0
        fi
    done
    return 1
}

mdl_start_display() {
    local geometry="${1:-1920x1080x24}" n i
    n=$(mdl_free_display_number) || { echo "no free display number" >&2; return 1; }
    Xvfb ":$n" -screen 0 "$geometry" -noreset -nolisten tcp >/dev/null 2>&1 &
    MDL_SERVICE_PIDS+=($!)
    export DISPLAY=":$n"
    for i in $(seq 1 100); do
        if xdpyinfo >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    echo "Xvfb did not start on :$n" >&2
    return 1
}

mdl_start_window_manager() {
    openbox --sm-disable >/dev/null 2>&1 &
    MDL_SERVICE_PIDS+=($!)
    local i
    for i in $(seq 1 50); do
        if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then return 0; fi
        sleep 0.1
    done
    echo "openbox did not start" >&2
    return 1
}

mdl_start_sound() {
    MDL_RUNTIME_DIR=$(mktemp -d /tmp/marrowdale-pulse.XXXXXX)
    chmod 700 "$MDL_RUNTIME_DIR"
    export XDG_RUNTIME_DIR="$MDL_RUNTIME_DIR"
    export PULSE_RUNTIME_PATH="$MDL_RUNTIME_DIR/pulse"
    export PULSE_STATE_PATH="$MDL_RUNTIME_DIR/state"
    export PULSE_SERVER="unix:$MDL_RUNTIME_DIR/pulse/native"
    pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit=false -n \
        --load="module-native-protocol-unix socket=$MDL_RUNTIME_DIR/pulse/native auth-anonymous=1" \
        --load="module-null-sink sink_name=marrowdale_null sink_properties=device.description=MarrowdaleNull" \
        --load="module-always-sink" >"$MDL_RUNTIME_DIR/pulse.log" 2>&1 &
    MDL_SERVICE_PIDS+=($!)
    local i
    for i in $(seq 1 100); do
        if pactl info >/dev/null 2>&1; then
            pactl set-default-sink marrowdale_null >/dev/null 2>&1
            pactl set-default-source marrowdale_null.monitor >/dev/null 2>&1
            return 0
        fi
        sleep 0.1
    done
    echo "PulseAudio did not start:" >&2
    cat "$MDL_RUNTIME_DIR/pulse.log" >&2
    return 1
}

# PipeWire with WirePlumber and its PulseAudio server, without systemd: a private runtime
# folder and session bus. Its clients reach it with PULSE_SERVER=$MDL_PIPEWIRE_PULSE_SERVER.
# Unlike PulseAudio's null sink, the monitor of its null sink delivers silence when nothing
# plays.
mdl_start_pipewire() {
    MDL_PIPEWIRE_DIR=$(mktemp -d /tmp/marrowdale-pipewire.XXXXXX)
    chmod 700 "$MDL_PIPEWIRE_DIR"
    local run="env -u PULSE_SERVER -u PULSE_RUNTIME_PATH -u PULSE_STATE_PATH XDG_RUNTIME_DIR=$MDL_PIPEWIRE_DIR DBUS_SESSION_BUS_ADDRESS=unix:path=$MDL_PIPEWIRE_DIR/bus PIPEWIRE_RUNTIME_DIR=$MDL_PIPEWIRE_DIR"
    $run dbus-daemon --session --address="unix:path=$MDL_PIPEWIRE_DIR/bus" --nofork --nopidfile \
        >"$MDL_PIPEWIRE_DIR/dbus.log" 2>&1 &
    MDL_SERVICE_PIDS+=($!)
    local i
    for i in $(seq 1 50); do [ -S "$MDL_PIPEWIRE_DIR/bus" ] && break; sleep 0.1; done
    $run pipewire >"$MDL_PIPEWIRE_DIR/pipewire.log" 2>&1 &
    MDL_SERVICE_PIDS+=($!)
    for i in $(seq 1 50); do [ -S "$MDL_PIPEWIRE_DIR/pipewire-0" ] && break; sleep 0.1; done
    $run wireplumber >"$MDL_PIPEWIRE_DIR/wireplumber.log" 2>&1 &
    MDL_SERVICE_PIDS+=($!)
    $run pipewire-pulse >"$MDL_PIPEWIRE_DIR/pipewire-pulse.log" 2>&1 &
    MDL_SERVICE_PIDS+=($!)
    export MDL_PIPEWIRE_PULSE_SERVER="unix:$MDL_PIPEWIRE_DIR/pulse/native"
    for i in $(seq 1 100); do
        if PULSE_SERVER=$MDL_PIPEWIRE_PULSE_SERVER pactl info >/dev/null 2>&1; then
            PULSE_SERVER=$MDL_PIPEWIRE_PULSE_SERVER pactl load-module module-null-sink \
                sink_name=marrowdale_null sink_properties=device.description=MarrowdaleNull \
                >/dev/null 2>&1
            local j
            for j in $(seq 1 50); do
                if PULSE_SERVER=$MDL_PIPEWIRE_PULSE_SERVER pactl list short sinks 2>/dev/null |
                    grep -q marrowdale_null; then
                    PULSE_SERVER=$MDL_PIPEWIRE_PULSE_SERVER pactl set-default-sink marrowdale_null
                    PULSE_SERVER=$MDL_PIPEWIRE_PULSE_SERVER pactl set-default-source \
                        marrowdale_null.monitor
                    return 0
                fi
                sleep 0.1
            done
            break
        fi
        sleep 0.1
    done
    echo "PipeWire's pulse server did not start:" >&2
    cat "$MDL_PIPEWIRE_DIR"/*.log >&2
    return 1
}

mdl_stop_services() {
    local i pid
    for ((i = ${#MDL_SERVICE_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${MDL_SERVICE_PIDS[$i]}
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${MDL_SERVICE_PIDS[@]}"; do
        for i in $(seq 1 30); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    done
    MDL_SERVICE_PIDS=()
    if [ -n "$MDL_RUNTIME_DIR" ]; then rm -rf "$MDL_RUNTIME_DIR"; MDL_RUNTIME_DIR=""; fi
    if [ -n "$MDL_PIPEWIRE_DIR" ]; then rm -rf "$MDL_PIPEWIRE_DIR"; MDL_PIPEWIRE_DIR=""; fi
}

# A headless Wayland desktop with the screen-cast portal, for the Wayland suites
# (scripts/wayland/desktop says what it runs). Only MDL_WAYLAND_ENV is exported, the file of
# exports its clients need, so that the other suites keep recording the X display.
#
#   mdl_start_wayland [WIDTHxHEIGHT]   sets MDL_WAYLAND_ENV
#   mdl_stop_wayland                   stops every process of the desktop by PID

MDL_WAYLAND_DIR=""
MDL_WAYLAND_SCRIPT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wayland/desktop"

mdl_start_wayland() {
    MDL_WAYLAND_DIR=$(mktemp -d /tmp/marrowdale-wayland.XXXXXX)
    "$MDL_WAYLAND_SCRIPT" start "$MDL_WAYLAND_DIR" "${1:-1280x720}" ||
        return 1
    export MDL_WAYLAND_ENV="$MDL_WAYLAND_DIR/env"
}

mdl_stop_wayland() {
    [ -n "$MDL_WAYLAND_DIR" ] || return 0
    "$MDL_WAYLAND_SCRIPT" stop "$MDL_WAYLAND_DIR"
    MDL_WAYLAND_DIR=""
    unset MDL_WAYLAND_ENV
}
