#!/usr/bin/env bash
# Load on the local status endpoint, on loopback only and bounded in time:
#  1. wrk against /status.json of a running `kovun --watch` ([Serve] Port),
#     64 connections for KOVUN_BENCH_SECONDS (10) seconds, and in the same run
#     against nginx serving the same bytes as a static file: requests per
#     second, p99 latency, and the ratio of the two rates;
#  2. the same while 32 event streams (/events) are connected and the
#     monitor polls every couple of seconds: the rate, and the poll events
#     each stream received.
# Needs wrk and nginx (Debian: wrk, nginx-light) and curl, and the linux
# build's kovun and tolvane-sim:
#   bench/serve_load.sh [BUILD_DIR]      (default build/linux)
# With --wine, the windows build's kovun.exe serves instead, under Wine in
# the build's own prefix (figures of Wine's sockets, not of Windows'):
#   bench/serve_load.sh [BUILD_DIR] --wine [WINDOWS_BUILD_DIR]   (build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
wine_build=
if [ "${2:-}" = --wine ]; then wine_build=$(cd "${3:-build/windows}" && pwd); fi
seconds=${KOVUN_BENCH_SECONDS:-10}
for tool in wrk nginx curl; do
  command -v "$tool" > /dev/null || { echo "serve_load: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  if [ -n "$wine_build" ]; then
    pkill -f "$work/exe/kovun.exe" 2> /dev/null || true
    cmake/wine-test.sh cleanup "$wine_build" > /dev/null 2>&1 || true
  fi
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The sim rewrites every 2 s, so the monitor polls about that often.
"$build/tools/tolvane-sim/tolvane-sim" --port 0 --period 2 > "$work/sim.out" &
pids+=($!)
for _ in $(seq 50); do grep -q '^port=' "$work/sim.out" 2> /dev/null && break; sleep 0.1; done
sim_port=$(sed -n 's/^port=//p' "$work/sim.out")

port=$(free_port)
settings() {
  printf '[Server]\r\nURL=http://127.0.0.1:%s/status/\r\n[Option]\r\nMultiApp=1\r\n[Alert]\r\nEnabled=1\r\n[Serve]\r\nPort=%s\r\n' \
    "$sim_port" "$port" > "$1"
}
if [ -n "$wine_build" ]; then
  # kovun.exe reads kovun.ini beside itself.
  mkdir -p "$work/exe"
  cp "$wine_build/src/monitor/win32/kovun.exe" "$work/exe/"
  settings "$work/exe/kovun.ini"
  cmake/wine-test.sh setup "$wine_build" > /dev/null
  cmake/wine-test.sh run "$wine_build" "$work/exe/kovun.exe" > /dev/null 2>&1 &
else
  settings "$work/kovun.ini"
  "$build/src/monitor/term/kovun" --watch --ini "$work/kovun.ini" > /dev/null &
fi
pids+=($!)
url=http://127.0.0.1:$port/status.json
for _ in $(seq 300); do curl -sf "$url" 2> /dev/null | grep -q '"panels"' && break; sleep 0.1; done

# nginx with the same bytes as a static file.
mkdir -p "$work/www" "$work/logs"
curl -sf "$url" > "$work/www/status.json"
# nginx's workers run as another user: they must be able to read the file.
chmod a+rx "$work" "$work/www" && chmod a+r "$work/www/status.json"
nginx_port=$(free_port)
cat > "$work/nginx.conf" << EOF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/logs/error.log;
daemon off;
events { worker_connections 1024; }
http {
  access_log off;
  types { application/json json; }
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    location / { add_header Cache-Control no-store; }
  }
}
EOF
nginx -p "$work" -e "$work/logs/error.log" -c "$work/nginx.conf" &
pids+=($!)
for _ in $(seq 50); do curl -sf "http://127.0.0.1:$nginx_port/status.json" > /dev/null 2>&1 && break; sleep 0.1; done

# One wrk run: "requests/s p99" (p99 in ms); non-2xx answers fail the run.
# wrk names the host without its port, which the endpoint refuses (421) as
# it would any other name: the Host header is given as a browser sends it.
load() {
  local out hostport=${1#http://}
  hostport=${hostport%%/*}
  out=$(wrk -t2 -c64 -d"${seconds}s" --latency -H "Host: $hostport" "$1")
  if grep -q 'Non-2xx' <<< "$out"; then echo "serve_load: error answers from $1" >&2; echo "$out" >&2; exit 1; fi
  local rate p99
  rate=$(awk '/^Requests\/sec:/ {print $2}' <<< "$out")
  p99=$(awk '$1 == "99%" {v = $2; if (v ~ /us$/) {sub(/us$/, "", v); v /= 1000} else if (v ~ /ms$/) {sub(/ms$/, "", v)} else if (v ~ /s$/) {sub(/s$/, "", v); v *= 1000}; print v}' <<< "$out")
  echo "$rate $p99"
}

read -r kovun_rate kovun_p99 < <(load "$url")
read -r nginx_rate nginx_p99 < <(load "http://127.0.0.1:$nginx_port/status.json")
printf 'status.json, 64 connections, %ss:\n' "$seconds"
name=kovun
[ -z "$wine_build" ] || name="kovun.exe under Wine"
printf '  %s  %10.0f req/s  p99 %7.2f ms\n' "$name" "$kovun_rate" "$kovun_p99"
printf '  nginx  %10.0f req/s  p99 %7.2f ms\n' "$nginx_rate" "$nginx_p99"
goal="(goal >= 0.50)"
[ -z "$wine_build" ] || goal="(Wine's sockets: no goal)"
awk -v k="$kovun_rate" -v n="$nginx_rate" -v g="$goal" 'BEGIN {printf "  ratio  %10.2f %s\n", k / n, g}'

# 32 event streams while the monitor polls.
for i in $(seq 32); do
  curl -sN "http://127.0.0.1:$port/events" > "$work/events.$i" &
  pids+=($!)
done
sleep 1
read -r busy_rate busy_p99 < <(load "$url")
sleep 1
counts=$(for i in $(seq 32); do grep -c '^event: poll' "$work/events.$i" || true; done | sort -n)
printf 'status.json with 32 event streams connected:\n'
printf '  %s  %10.0f req/s  p99 %7.2f ms\n' "$name" "$busy_rate" "$busy_p99"
printf '  poll events per stream over the run: min %s, max %s\n' \
  "$(head -n 1 <<< "$counts")" "$(tail -n 1 <<< "$counts")"
