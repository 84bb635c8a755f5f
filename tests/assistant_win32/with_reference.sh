#!/usr/bin/env bash
# Prepares what the tests of Zoneroll.exe compare with, then runs the test
# command. Runs inside tests/net/with_services.sh, which has started
# tolvane-sim on KOVUN_SIM_PORT.
#
#   with_reference.sh SIM_BINARY ZONEROLL_BINARY COMMAND [ARGS...]
#
# - holds the sim's clock still, so that every run sees the same map lists;
# - writes the sim's TolMap.ini into a reference folder and runs the Linux
#   zoneroll there against the sim (Path=maps/, Name=.ini, TolMap.ini in the
#   working directory), which leaves the per-world files in maps/;
# - forgets the requests zoneroll made, and runs COMMAND with
#   KOVUN_ZONEROLL_REFERENCE naming the reference folder.
# The folder is removed afterwards, whatever happens to the command.
set -uo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 SIM_BINARY ZONEROLL_BINARY COMMAND [ARGS...]" >&2
  exit 2
fi
sim=$1
zoneroll=$2
shift 2
if [ -z "${KOVUN_SIM_PORT:-}" ]; then
  echo "with_reference.sh: no KOVUN_SIM_PORT (run inside with_services.sh)" >&2
  exit 1
fi
if [ ! -x "$zoneroll" ]; then
  echo "with_reference.sh: no zoneroll at $zoneroll (build the linux preset first)" >&2
  exit 1
fi

ref=$(mktemp -d "${TMPDIR:-/tmp}/kovun-zoneroll-ref.XXXXXX")
trap 'rm -rf "$ref"' EXIT
trap 'exit 130' INT TERM HUP

# One control call of the sim; fails unless it answers 200.
control() {
  local answer
  answer=$(exec 3<> "/dev/tcp/127.0.0.1/$KOVUN_SIM_PORT" &&
    printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$1" >&3 &&
    cat <&3) || return 1
  case "$answer" in
    "HTTP/1.1 200"*) return 0 ;;
    *) echo "with_reference.sh: $1 answered: ${answer%%$'\r'*}" >&2; return 1 ;;
  esac
}

control "/_sim/clock?set=$(date +%s)" || exit 1
"$sim" --write-tolmap "$ref/TolMap.ini" || exit 1
mkdir "$ref/maps"
printf '[Zoneroll.exe]\r\nPath=maps/\r\nName=.ini\r\nTolMap=\r\nHost=127.0.0.1:%s\r\n' \
  "$KOVUN_SIM_PORT" > "$ref/Zoneroll.ini"
if ! (cd "$ref" && "$zoneroll") > "$ref/zoneroll.log" 2>&1; then
  echo "with_reference.sh: zoneroll failed:" >&2
  cat "$ref/zoneroll.log" >&2
  exit 1
fi
control "/_sim/reset" || exit 1

export KOVUN_ZONEROLL_REFERENCE=$ref
"$@"
