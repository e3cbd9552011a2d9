#!/usr/bin/env bash
# The test bench, all of it inside the build tree and private to it: a Wine prefix, a virtual display
# and a PulseAudio daemon whose null sinks serve as virtual microphones. The machine's own sound
# server and Wine prefix are never touched.
#
#   bench.sh start BUILD_DIR   start everything; writes BUILD_DIR/bench/env.sh to source
#   bench.sh stop  BUILD_DIR   stop everything the start started
set -euo pipefail

cmd=${1:?start or stop}
build=$(realpath -m "${2:?build directory}")
bench="$build/bench"
envfile="$bench/env.sh"

stop() {
  [ -f "$envfile" ] || return 0
  # shellcheck disable=SC1090
  source "$envfile"
  wineserver -k 2>/dev/null || true
  pactl exit 2>/dev/null || true
  if [ -f "$bench/xvfb.pid" ]; then kill "$(cat "$bench/xvfb.pid")" 2>/dev/null || true; rm -f "$bench/xvfb.pid"; fi
  if [ -f "$bench/pulse.pid" ]; then kill "$(cat "$bench/pulse.pid")" 2>/dev/null || true; rm -f "$bench/pulse.pid"; fi
  rm -f "$envfile"
}

free_display() {
  local n
  for n in $(seq 90 199); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then echo "$n"; return; fi
  done
  echo "no free X display number" >&2; exit 1
}

wait_for() { # seconds, command...
  local limit=$1; shift
  for _ in $(seq 1 $((limit * 10))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "timed out waiting for: $*" >&2; return 1
}

start() {
  stop
  mkdir -p "$bench/runtime" "$bench/home"
  chmod 700 "$bench/runtime"

  local display; display=$(free_display)
  cat > "$envfile" <<ENV
export WINEPREFIX="$bench/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=:$display
export XDG_RUNTIME_DIR="$bench/runtime"
export PULSE_SERVER="unix:$bench/runtime/pulse.sock"
export PULSE_CLIENTCONFIG=/dev/null
export RECORDER_BENCH="$bench"
ENV
  # shellcheck disable=SC1090
  source "$envfile"

  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$bench/xvfb.log" 2>&1 &
  echo $! > "$bench/xvfb.pid"

  HOME="$bench/home" pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --use-pid-file=no --log-target=file:"$bench/pulse.log" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$bench/runtime/pulse.sock" \
    -L "module-null-sink sink_name=idle sink_properties=device.description=Idle" \
    -L module-always-sink >/dev/null 2>&1 &
  echo $! > "$bench/pulse.pid"

  wait_for 30 xdpyinfo -display ":$display" || { cat "$bench/xvfb.log" >&2; exit 1; }
  wait_for 30 pactl info || { cat "$bench/pulse.log" >&2; exit 1; }

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >"$bench/wineboot.log" 2>&1
    wineserver -w # a server that is still up refuses to become persistent
  fi
  # Wine keeps every sound device it has seen for good, and each costs every program's start: a
  # prefix used for many runs starts afresh with none.
  wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\MMDevices' /f >/dev/null 2>&1 || true
  wineserver -w
  # Keep one Wine server alive across test processes, so each starts in well under a second.
  wineserver -p </dev/null >/dev/null 2>&1 || echo "bench: the Wine server could not be made persistent" >&2
  wine cmd /c exit >/dev/null 2>&1 || true
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
