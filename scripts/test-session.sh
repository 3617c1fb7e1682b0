#!/usr/bin/env bash
# Runs a command inside a private desktop: an Xvfb display with the openbox
# window manager and the trayer tray host, and a PulseAudio server whose only
# sink is a null sink, recorded by a low-latency parec on its monitor.
# Everything started here is stopped again by PID when the command ends.
#
# Usage: scripts/test-session.sh COMMAND [ARG...]
# The command sees DISPLAY, PULSE_SERVER, VORN_TEST_SESSION (the session's
# folder) and VORN_TEST_RECORDING (raw s16le mono 8000 Hz of the null sink).
set -euo pipefail

session=$(mktemp -d "${TMPDIR:-/tmp}/vorn-session.XXXXXX")
chmod 700 "$session"
pids=()

stop_all() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    rm -rf "$session"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

wait_for() { # seconds, description, test command...
    local limit=$1 what=$2; shift 2
    for _ in $(seq $((limit * 10))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "test-session: $what did not come up" >&2
    return 1
}

# Keep stray session buses from outliving the run; Qt then uses XEmbed for the tray.
export DBUS_SESSION_BUS_ADDRESS=disabled:
export NO_AT_BRIDGE=1

# Display: the first free number from 90 on.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp -noreset >"$session/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
wait_for 10 "Xvfb" xdpyinfo

# A valid configuration that leaves every setting at openbox's built-in
# default: an unreadable one makes it show an error box of its own, which
# catches clicks and shows in screenshots.
cat >"$session/openbox-rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"/>
XML
openbox --config-file "$session/openbox-rc.xml" >"$session/openbox.log" 2>&1 &
pids+=($!)
wait_for 10 "openbox" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 24 \
    --SetDockType true --transparent false >"$session/trayer.log" 2>&1 &
pids+=($!)
wait_for 10 "trayer" sh -c "xprop -root -notype | grep -q _NET_SYSTEM_TRAY_S0 || xprop -notype -name panel >/dev/null"

# Sound server with a null sink only, on a private socket.
mkdir -p "$session/pulse"
export PULSE_RUNTIME_PATH="$session/pulse" PULSE_STATE_PATH="$session/pulse" PULSE_CONFIG_PATH="$session/pulse"
export PULSE_SERVER="unix:$session/pulse/native"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no --disable-shm=yes \
    --log-target=file:"$session/pulse.log" \
    -L "module-null-sink sink_name=null rate=44100" \
    -L "module-native-protocol-unix socket=$session/pulse/native auth-anonymous=1" \
    -L "module-always-sink" >"$session/pulse.out" 2>&1 &
pids+=($!)
wait_for 10 "pulseaudio" pactl info
pactl set-default-sink null

mkdir -m 700 "$session/runtime"
export XDG_RUNTIME_DIR="$session/runtime"
export VORN_TEST_SESSION="$session"
export VORN_TEST_RECORDING="$session/null-monitor.raw"
parec --device=null.monitor --latency-msec=10 --raw --format=s16le --rate=8000 --channels=1 \
    >"$VORN_TEST_RECORDING" 2>"$session/parec.log" &
pids+=($!)
# The idle null sink renders in 2-second blocks until the recorder's low
# latency takes hold; sounds started before then are late.
wait_for 10 "parec" test -s "$VORN_TEST_RECORDING"

status=0
"$@" || status=$?
exit "$status"
