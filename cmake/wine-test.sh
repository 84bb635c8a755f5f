#!/usr/bin/env bash
# Runs the Windows test programs under Wine inside a virtual X server.
#   wine-test.sh setup   BUILD_DIR        prepare the prefix (once per build tree), start Xvfb and wineserver
#   wine-test.sh run     BUILD_DIR EXE..  run one program there, passing its exit status on
#   wine-test.sh cleanup BUILD_DIR        stop wineserver and Xvfb
set -euo pipefail
cmd=$1
build=$(cd "$2" && pwd)
shift 2
state="$build/wine"
export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installers: the tests need neither, and there is no network.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$state"

# Starts a daemon with none of this script's descriptors beyond stdin, stdout,
# stderr and those named in KEEP_FDS: ctest waits for every holder of its
# output pipe to exit, so a daemon that kept one would hang the test run.
detach() {
  (
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      if [ "$fd" -gt 2 ] && [[ " ${KEEP_FDS:-} " != *" $fd "* ]]; then
        eval "exec $fd>&-" 2>/dev/null
      fi
    done
    exec setsid "$@"
  ) &
}

start_display() {
  if [ -f "$state/display" ] && kill -0 "$(cat "$state/xvfb.pid" 2>/dev/null)" 2>/dev/null; then
    return
  fi
  exec 3> "$state/display.tmp"
  KEEP_FDS=3 detach Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    < /dev/null > "$state/xvfb.log" 2>&1
  echo $! > "$state/xvfb.pid"
  exec 3>&-
  for _ in $(seq 100); do
    [ -s "$state/display.tmp" ] && break
    sleep 0.1
  done
  [ -s "$state/display.tmp" ] || { echo "Xvfb did not start" >&2; cat "$state/xvfb.log" >&2; exit 1; }
  echo ":$(cat "$state/display.tmp")" > "$state/display"
}

case "$cmd" in
  setup)
    start_display
    export DISPLAY=$(cat "$state/display")
    if [ ! -f "$state/prefix.ready" ]; then
      wineboot -i > "$state/wineboot.log" 2>&1 || true
      wineserver -w
      # Japanese UI fonts drawn with the IPA Gothic font.
      for font in "ＭＳ Ｐゴシック" "ＭＳ ゴシック" "MS UI Gothic" "MS Shell Dlg" "Tahoma"; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "IPAGothic" /f >/dev/null 2>&1 || true
      done
      wineserver -w
      touch "$state/prefix.ready"
    fi
    # One persistent wineserver for the whole test run.
    detach wineserver -p -f < /dev/null > /dev/null 2>&1
    # Start Wine's system processes now, away from ctest's output pipe.
    wine cmd /c exit < /dev/null > /dev/null 2>&1 || true
    ;;
  run)
    [ -f "$state/prefix.ready" ] || "$0" setup "$build"
    start_display
    export DISPLAY=$(cat "$state/display")
    # Wine starts its system processes (services, winedevice) on first use
    # and they outlive the program, keeping whatever stdout and stderr it had.
    # Give the program a file, not ctest's pipe, and pass the file on after.
    out=$(mktemp)
    status=0
    wine "$@" > "$out" 2>&1 < /dev/null || status=$?
    cat "$out"
    rm -f "$out"
    exit "$status"
    ;;
  cleanup)
    wineserver -k 2>/dev/null || true
    if [ -f "$state/xvfb.pid" ]; then
      kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
      rm -f "$state/xvfb.pid" "$state/display"
    fi
    ;;
  *)
    echo "usage: $0 setup|run|cleanup BUILD_DIR [EXE ARGS...]" >&2
    exit 2
    ;;
esac
