#!/usr/bin/env bash
# kovun.exe's window round trips under Wine with alerts, the history file and
# the history window on, polling every 2 s against tolvane-sim (see
# kovun_responsiveness.cpp). Builds what it needs; extra arguments go to the
# program (seconds, --no-history-window, --no-alerts, --no-history-file,
# --no-flap).
#
#   bench/kovun_responsiveness.sh [SECONDS] [OPTIONS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --build --preset linux --target tolvane-sim >/dev/null
cmake --build --preset windows --target kovun kovun_responsiveness >/dev/null
cmake/wine-test.sh setup build/windows >/dev/null
exec tests/net/with_services.sh build/linux/tools/tolvane-sim/tolvane-sim \
  cmake/wine-test.sh run build/windows build/windows/bench/kovun_responsiveness.exe \
  "$root/build/windows/src/monitor/win32/kovun.exe" "$@"
