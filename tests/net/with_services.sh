#!/usr/bin/env bash
# Runs one test command with the local services the HTTP client tests talk to:
# tolvane-sim, and tinyproxy as an HTTP proxy that demands Basic credentials,
# each on a free port of 127.0.0.1. Both are stopped afterwards, whatever
# happens to the command.
#
#   with_services.sh SIM_BINARY COMMAND [ARGS...]
#
# The command sees KOVUN_SIM_PORT, KOVUN_PROXY_PORT, KOVUN_PROXY_USER and
# KOVUN_PROXY_PASSWORD. SIM_BINARY is a Linux program even when COMMAND runs
# a Windows test program under Wine (the windows preset uses the one of the
# linux build tree, so build the linux preset first).
set -uo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 SIM_BINARY COMMAND [ARGS...]" >&2
  exit 2
fi
sim=$1
shift
if [ ! -x "$sim" ]; then
  echo "with_services.sh: no tolvane-sim at $sim (build the linux preset first)" >&2
  exit 1
fi
proxy_bin=${KOVUN_TINYPROXY:-/usr/bin/tinyproxy}
if [ ! -x "$proxy_bin" ]; then
  echo "with_services.sh: no tinyproxy at $proxy_bin (Debian package tinyproxy-bin)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kovun-services.XXXXXX")
sim_pid=
proxy_pid=
stop_services() {
  local pid
  for pid in $proxy_pid $sim_pid; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap stop_services EXIT
trap 'exit 130' INT TERM HUP

show_logs() {
  echo "---- tolvane-sim" >&2
  cat "$work/sim.out" "$work/sim.err" >&2 2>/dev/null
  echo "---- tinyproxy" >&2
  tail -n 40 "$work/proxy.log" "$work/proxy.out" >&2 2>/dev/null
}

# True when something accepts connections on the loopback port.
listening() { (exec 3<> "/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# tolvane-sim picks its own port and prints "port=N".
"$sim" --port 0 < /dev/null > "$work/sim.out" 2> "$work/sim.err" &
sim_pid=$!
sim_port=
for _ in $(seq 100); do
  sim_port=$(sed -n 's/^port=\([0-9][0-9]*\)$/\1/p' "$work/sim.out")
  [ -n "$sim_port" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$sim_port" ]; then
  echo "with_services.sh: tolvane-sim did not start" >&2
  show_logs
  exit 1
fi

# tinyproxy can't pick a port itself: try free-looking ones until one binds.
proxy_user=kovun
proxy_password=tolvane-test
proxy_port=
for _ in $(seq 20); do
  port=$((20000 + RANDOM % 40000))
  [ "$port" = "$sim_port" ] && continue
  listening "$port" && continue
  cat > "$work/tinyproxy.conf" <<EOF
Port $port
Listen 127.0.0.1
Timeout 30
MaxClients 20
Allow 127.0.0.1
BasicAuth $proxy_user $proxy_password
LogFile "$work/proxy.log"
LogLevel Info
EOF
  "$proxy_bin" -d -c "$work/tinyproxy.conf" < /dev/null > "$work/proxy.out" 2>&1 &
  proxy_pid=$!
  for _ in $(seq 50); do
    kill -0 "$proxy_pid" 2>/dev/null || break
    if listening "$port"; then
      proxy_port=$port
      break
    fi
    sleep 0.1
  done
  [ -n "$proxy_port" ] && break
  kill "$proxy_pid" 2>/dev/null && wait "$proxy_pid" 2>/dev/null
  proxy_pid=
done
if [ -z "$proxy_port" ]; then
  echo "with_services.sh: tinyproxy did not start" >&2
  show_logs
  exit 1
fi

export KOVUN_SIM_PORT=$sim_port
export KOVUN_PROXY_PORT=$proxy_port
export KOVUN_PROXY_USER=$proxy_user
export KOVUN_PROXY_PASSWORD=$proxy_password
# A client that took its proxy from the environment would send every direct
# request to this dead port and fail: only the configured proxy may be used.
export http_proxy=http://127.0.0.1:9/ HTTP_PROXY=http://127.0.0.1:9/
export all_proxy=http://127.0.0.1:9/ ALL_PROXY=http://127.0.0.1:9/
unset no_proxy NO_PROXY

"$@"
status=$?
[ "$status" -eq 0 ] || show_logs
exit "$status"
