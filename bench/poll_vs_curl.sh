#!/usr/bin/env bash
# Times one whole poll of the terminal monitor (`kovun --once`: start-up, the
# three requests of a poll, the close-time save) against its floor: the same
# three requests (GET status.txt, GET loadtime.txt, HEAD status.txt) made by
# one bare curl process over one connection, against the same tolvane-sim in
# the same run. Prints both and their ratio, for wall time and for CPU time.
#
#   bench/poll_vs_curl.sh [BUILD_DIR] [ROUNDS]     (default build/linux, 50)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
rounds=${2:-50}
kovun=$build/src/monitor/term/kovun
sim=$build/tools/tolvane-sim/tolvane-sim
for program in "$kovun" "$sim"; do
  [ -x "$program" ] || { echo "missing $program: build the linux preset first" >&2; exit 1; }
done
command -v curl >/dev/null || { echo "curl is needed" >&2; exit 1; }

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$sim" --port 0 > "$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^port=' "$work/sim.out" 2>/dev/null && break
  sleep 0.05
done
port=$(sed -n 's/^port=//p' "$work/sim.out")
[ -n "$port" ] || { echo "tolvane-sim did not start" >&2; exit 1; }
base=http://127.0.0.1:$port/status/arvel
printf '[Server]\r\nURL=http://127.0.0.1:%s/status/\r\n[Option]\r\nMultiApp=1\r\n' "$port" \
  > "$work/kovun.ini"

# Wall and CPU (user + system) seconds of `rounds` runs of the command, as
# "wall cpu". The CPU time of finished children comes from the shell's
# `times`, which must run in this shell, not in a command substitution.
measure() {
  local start end
  times > "$work/times.before"
  start=$(date +%s%N)
  for _ in $(seq "$rounds"); do "$@" > /dev/null 2>&1; done
  end=$(date +%s%N)
  times > "$work/times.after"
  awk -v s="$start" -v e="$end" -v a="$(children_cpu "$work/times.before")" \
    -v b="$(children_cpu "$work/times.after")" 'BEGIN { printf "%.6f %.6f\n", (e - s) / 1e9, b - a }'
}
# The second line of `times` output: user and system time of the children,
# as "0m1.234s 0m0.567s".
children_cpu() {
  awk 'NR == 2 { gsub(/[ms]/, " "); print $1 * 60 + $2 + $3 * 60 + $4 }' "$1"
}

poll() { "$kovun" --once --ini "$work/kovun.ini"; }
three_curls() {
  curl -s -o /dev/null "$base/status.txt" -o /dev/null "$base/loadtime.txt" \
    --next -s -I -o /dev/null "$base/status.txt"
}

poll > /dev/null; three_curls  # warm the caches
measure poll > "$work/kovun.times"
measure three_curls > "$work/curl.times"
read -r kovun_wall kovun_cpu < "$work/kovun.times"
read -r curl_wall curl_cpu < "$work/curl.times"
awk -v r="$rounds" -v kw="$kovun_wall" -v kc="$kovun_cpu" -v cw="$curl_wall" -v cc="$curl_cpu" 'BEGIN {
  printf "rounds: %d\n", r
  printf "kovun --once     wall %7.2f ms  cpu %7.2f ms per run\n", kw * 1000 / r, kc * 1000 / r
  printf "3 curl requests  wall %7.2f ms  cpu %7.2f ms per run\n", cw * 1000 / r, cc * 1000 / r
  printf "ratio            wall %7.2f     cpu %7.2f\n", kw / cw, (cc > 0 ? kc / cc : 0)
}'
