#!/usr/bin/env bash
# The licence notices against what the programs link: the link maps of a
# Windows build (BUILD) must name no third-party archive member or object
# without a notice (scripts/third_party_notices.py), and a map that names one
# (a member of the C library of another system) must be refused, naming it.
#
#   notices_check.sh BUILD
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
maps=("$build/src/monitor/win32/kovun.map" "$build/src/assistant/win32/Zoneroll.map")
work=$(mktemp -d "${TMPDIR:-/tmp}/kovun-notices.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

if python3 "$root/scripts/third_party_notices.py" --build "$build" --out "$work/notices.txt" \
    "${maps[@]}"; then
  # Each notice the copyright files hold for what is linked, by its holder;
  # the last two are header-only libraries compiled into kovun.exe.
  for holder in "Lucent Technologies" "Keith Marshall" "mingw-w64 project" \
      "GCC RUNTIME LIBRARY EXCEPTION" "Lockless Inc." "Niels Lohmann" "Yuji Hirose"; do
    grep -q "$holder" "$work/notices.txt" || { echo "no notice of $holder"; failed=1; }
  done
else
  echo "the link maps name linked code without a notice"
  failed=1
fi

# A member nothing covers: the check must fail and name it.
libc=$(realpath /usr/lib/x86_64-linux-gnu/libc.a)
printf 'Archive member included to satisfy reference by file (symbol)\n\n%s(printf.o)\n                              main.o (printf)\n' \
  "$libc" > "$work/foreign.map"
if python3 "$root/scripts/third_party_notices.py" "$work/foreign.map" 2> "$work/foreign.err"; then
  echo "a map naming libc.a(printf.o) passed"
  failed=1
elif ! grep -q "libc.a(printf.o)" "$work/foreign.err"; then
  cat "$work/foreign.err"
  echo "the refusal doesn't name libc.a(printf.o)"
  failed=1
fi
# An object of the build's own compiled from a header nothing covers: the
# check must fail and name the header.
own=$(sed -n 's|^\(src/monitor/libtol_monitor\.a\)(\(events\.cpp\.obj\)).*|\1(\2)|p' \
  "$build/src/monitor/win32/kovun.map" | head -1)
{ printf 'Archive member included to satisfy reference by file (symbol)\n\n%s\n' "$own"; } \
  > "$work/own.map"
printf 'src/monitor/CMakeFiles/tol_monitor.dir/events.cpp.obj: #deps 1, deps mtime 1 (VALID)\n    /usr/include/zlib.h\n\n' \
  > "$work/deps.txt"
if [ -z "$own" ]; then
  echo "kovun.map names no src/monitor/libtol_monitor.a(events.cpp.obj)"
  failed=1
elif KOVUN_NINJA_DEPS="$work/deps.txt" python3 "$root/scripts/third_party_notices.py" \
    --build "$build" "$work/own.map" 2> "$work/own.err"; then
  echo "an object compiled from zlib.h passed"
  failed=1
elif ! grep -q "zlib.h" "$work/own.err"; then
  cat "$work/own.err"
  echo "the refusal doesn't name zlib.h"
  failed=1
fi
[ "$failed" -eq 0 ] && echo "notices: ok"
exit $failed
