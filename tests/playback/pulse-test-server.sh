#!/usr/bin/env bash
# A private PulseAudio daemon for tests: no system or user configuration, one anonymous
# socket in its own runtime folder, and null sinks instead of sound cards:
#   "eight"  8 channels, float32le 48 kHz, 7.1 map in WAVE order (the default sink)
#   "two"    2 channels, s16le 44.1 kHz
# Record what reaches a sink from "<sink>.monitor" (parec --no-remap).
#
#   pulse-test-server.sh DIR            runs the daemon in the foreground in DIR (exec, so the
#                                        caller's process id is the daemon's; it stops it)
#   pulse-test-server.sh -- CMD [ARG]…  starts a daemon in a fresh folder, runs CMD with
#                                        PULSE_SERVER pointing at it, then stops the daemon
#
# Runs as root too: pulseaudio only warns ("not intended to be run as root") as long as it
# is not asked for system mode (--system=no) and needs no D-Bus session.
set -euo pipefail

run_daemon() {
  local dir=$1
  mkdir -p "$dir/config" "$dir/state"
  # Everything the daemon looks up stays inside DIR.
  export HOME=$dir XDG_RUNTIME_DIR=$dir PULSE_RUNTIME_PATH=$dir PULSE_STATE_PATH=$dir/state \
    XDG_CONFIG_HOME=$dir/config
  unset PULSE_SERVER PULSE_SINK PULSE_SOURCE DBUS_SESSION_BUS_ADDRESS DISPLAY
  cat >"$dir/server.pa" <<PA
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
load-module module-null-sink sink_name=eight channels=8 rate=48000 format=float32le channel_map=front-left,front-right,front-center,lfe,rear-left,rear-right,side-left,side-right
load-module module-null-sink sink_name=two channels=2 rate=44100 format=s16le
set-default-sink eight
PA
  exec pulseaudio -n -F "$dir/server.pa" --daemonize=no --system=no --use-pid-file=no \
    --exit-idle-time=-1 --disallow-exit --realtime=no --high-priority=no --log-target=stderr
}

if [[ $# -eq 1 && $1 != -* ]]; then
  run_daemon "$1"
fi

if [[ $# -lt 2 || $1 != -- ]]; then
  echo "usage: $0 DIR | $0 -- COMMAND [ARG]..." >&2
  exit 2
fi
shift

dir=$(mktemp -d "${TMPDIR:-/tmp}/vaun-pulse.XXXXXX")
"$0" "$dir" 2>"$dir.log" &
pid=$!
cleanup() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$dir" "$dir.log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export PULSE_SERVER=unix:$dir/native
for _ in $(seq 100); do
  if timeout 5 pactl info >/dev/null 2>&1; then break; fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "pulse-test-server: the daemon did not start:" >&2
    cat "$dir.log" >&2
    exit 1
  fi
  sleep 0.1
done
timeout 5 pactl info >/dev/null 2>&1 || { echo "pulse-test-server: no answer from the daemon" >&2; exit 1; }

set +e
"$@"
status=$?
exit $status
