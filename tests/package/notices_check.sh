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

if python3 "$root/scripts/third_party_notices.py" --out "$work/notices.txt" "${maps[@]}"; then
  # Each notice the copyright files hold for what is linked, by its holder.
  for holder in "Lucent Technologies" "Keith Marshall" "mingw-w64 project" \
      "GCC RUNTIME LIBRARY EXCEPTION" "Lockless Inc."; do
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
[ "$failed" -eq 0 ] && echo "notices: ok"
exit $failed
