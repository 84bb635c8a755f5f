#!/usr/bin/env bash
# The players' release, checked as a player and a packager would:
#   1. scripts/package in two fresh clones of HEAD, in folders of different
#      names, gives byte-identical zips;
#   2. the programs in the zip are the ones the Windows suites tested
#      (build/windows), static single files importing only system DLLs, with
#      no build folder or host name inside;
#   3. the zip unpacks into one folder kovun-<version>/ with exactly the
#      programs, the empty Zoneroll folder, the sample, the read-me and the
#      licence notices (code page 932, CR LF, ASCII names), and
#      BUILDINFO.txt beside it names the tools as the package manager does;
#   3b. the notices in the zip are the ones the link maps of the tested
#      programs call for (tests/package/notices_check.sh checks the maps);
#   4. the sample, renamed to kovun.ini with the service's address, starts
#      the terminal monitor exactly as a kovun.ini holding only the address;
#   5. unpacked into a folder whose name holds a blank and Japanese
#      characters, kovun.exe and Zoneroll.exe run there under Wine against
#      tolvane-sim (tests/package/package_test.cpp);
#   6. an inherited SOURCE_DATE_EPOCH leaves the zip as it is, and
#      scripts/package --source-date-epoch dates the entries with it.
# Prints one "package: ok|FAILED <check>" line per check and exits non-zero
# when any failed. Needs the linux and windows builds (build/linux,
# build/windows) of the same commit.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
linux=$root/build/linux
windows=$root/build/windows
version=$(head -n 1 VERSION)
zip_name="kovun-$version-win64.zip"
work=$(mktemp -d "${TMPDIR:-/tmp}/kovun-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
check() {  # check NAME COMMAND...: runs the command, reports it
  local name=$1
  shift
  if "$@"; then
    echo "package: ok $name"
  else
    echo "package: FAILED $name"
    failed=$((failed + 1))
  fi
}

# 1. Two clones, two builds, one zip.
build_in() {  # build_in FOLDER: clone HEAD there and package it
  git clone -q --no-hardlinks "$root" "$1" &&
    (cd "$1" && ./scripts/package > "$work/package-$(basename "$1").log" 2>&1) ||
    { tail -30 "$work/package-$(basename "$1").log"; return 1; }
}
reproducible() {
  build_in "$work/one/kovun" && build_in "$work/two/another clone" &&
    cmp "$work/one/kovun/dist/$zip_name" "$work/two/another clone/dist/$zip_name" &&
    (cd "$work/one/kovun/dist" && sha256sum -c --quiet SHA256SUMS) &&
    cmp "$work/one/kovun/dist/BUILDINFO.txt" "$work/two/another clone/dist/BUILDINFO.txt"
}
check "two clones give the same zip" reproducible
zip=$work/one/kovun/dist/$zip_name
[ -f "$zip" ] || { echo "package: no zip, nothing more to check"; exit 1; }
ls -l "$zip" "$work/one/kovun/build/package/src/monitor/win32/kovun.exe" \
  "$work/one/kovun/build/package/src/assistant/win32/Zoneroll.exe"

# 3. The zip's layout and texts.
unpacked="$work/展開先 テスト"
unpack() {
  python3 - "$zip" "$unpacked" "$version" <<'PY'
import sys, zipfile
zip_path, out, version = sys.argv[1:]
root = f"kovun-{version}/"
texts = [root + "kovun.ini.sample", root + "README-ja.txt", root + "THIRD-PARTY-NOTICES.txt"]
expected = sorted([root, root + "Zoneroll/", root + "kovun.exe", root + "Zoneroll.exe"] + texts)
with zipfile.ZipFile(zip_path) as z:
    names = z.namelist()
    if names != expected:
        sys.exit(f"entries {names}, expected {expected}")
    if z.read(root + "README-ja.txt").decode("cp932").split("\r\n")[0] != \
            "はじめにお読みください（Kovun と Kovun Zoneroll Assistant）":
        sys.exit("README-ja.txt: the first line is not its Japanese title")
    for name in texts:
        data = z.read(name)
        text = data.decode("cp932")  # fails on anything else
        if data.replace(b"\r\n", b"").count(b"\n") or data.replace(b"\r\n", b"").count(b"\r"):
            sys.exit(f"{name}: lines not ended by CR LF")
        if not data.endswith(b"\r\n"):
            sys.exit(f"{name}: last line without CR LF")
    z.extractall(out)
PY
}
check "layout and texts" unpack
folder="$unpacked/kovun-$version"

buildinfo() {
  local info=$work/one/kovun/dist/BUILDINFO.txt pkg line
  . "$root/scripts/deps.sh"
  grep -q "^commit: $(git -C "$root" rev-parse HEAD)\$" "$info" || { echo "BUILDINFO.txt: no commit"; return 1; }
  for pkg in "${KOVUN_PACKAGE_RECORDED[@]}"; do
    line=$(dpkg-query -W -f='${Package} ${Version}' "$pkg")
    grep -qxF "$line" "$info" || { echo "BUILDINFO.txt lacks '$line'"; return 1; }
  done
}
check "BUILDINFO.txt names the tools" buildinfo
notices_as_linked() {
  "$root/tests/package/notices_check.sh" "$windows" &&
    python3 "$root/scripts/third_party_notices.py" --build "$windows" --out "$work/notices.txt" \
      "$windows/src/monitor/win32/kovun.map" "$windows/src/assistant/win32/Zoneroll.map" &&
    python3 - "$work/notices.txt" "$folder/THIRD-PARTY-NOTICES.txt" <<'PY'
import sys
expected = open(sys.argv[1], encoding="utf-8").read().replace("\n", "\r\n").encode("cp932")
if open(sys.argv[2], "rb").read() != expected:
    sys.exit("THIRD-PARTY-NOTICES.txt is not what the tested programs' link maps call for")
PY
}
check "the notices cover what the programs link" notices_as_linked

# 2. What the programs are.
same_as_tested() {
  cmp "$folder/kovun.exe" "$windows/src/monitor/win32/kovun.exe" &&
    cmp "$folder/Zoneroll.exe" "$windows/src/assistant/win32/Zoneroll.exe" ||
    { echo "differ from build/windows (uncommitted changes, or a build of another commit?)"; return 1; }
}
check "the programs are the tested ones" same_as_tested
system_imports() {
  local exe dlls bad=0
  for exe in "$folder/kovun.exe" "$folder/Zoneroll.exe"; do
    dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -f)
    echo "$(basename "$exe") imports:" $dlls
    for dll in $dlls; do
      case "${dll,,}" in
        kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|shell32.dll|ole32.dll|uxtheme.dll|\
        version.dll|winhttp.dll|ws2_32.dll|msvcrt.dll|advapi32.dll|shlwapi.dll|comdlg32.dll) ;;
        *) echo "not a system DLL: $dll"; bad=1 ;;
      esac
    done
  done
  return $bad
}
check "imports only system DLLs" system_imports
nothing_of_the_build() {
  local exe found=0
  for exe in "$folder/kovun.exe" "$folder/Zoneroll.exe"; do
    for text in "$work" "$root" /build/ /tmp/; do
      if strings -a "$exe" | grep -qF -- "$text"; then
        echo "$(basename "$exe") holds '$text'"
        found=1
      fi
    done
    # The host name as a word of its own: a short one ("vm") is part of
    # many a symbol name ("__vmi_class_type_info").
    if strings -a "$exe" | grep -qwF -- "$(uname -n)"; then
      echo "$(basename "$exe") holds the host name '$(uname -n)'"
      found=1
    fi
  done
  return $found
}
check "no build folder or host name inside" nothing_of_the_build

# 4. The sample starts the monitor as no settings do.
sim_out=$work/sim.out
"$linux/tools/tolvane-sim/tolvane-sim" --port 0 > "$sim_out" 2> "$work/sim.err" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; rm -rf "$work"' EXIT
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^port=//p' "$sim_out")
  [ -n "$port" ] && break
  sleep 0.1
done
sample_as_no_file() {
  [ -n "$port" ] || return 1
  # The sim's texts held still: both runs see the same status.
  python3 -c "import sys, urllib.request; urllib.request.urlopen(sys.argv[1]).read()" \
    "http://127.0.0.1:$port/_sim/clock?set=$(date +%s)" || return 1
  mkdir -p "$work/sample" "$work/bare"
  sed "s|^URL=http://status.tolvane.example/status/\r\$|URL=http://127.0.0.1:$port/status/\r|" \
    "$folder/kovun.ini.sample" > "$work/sample/kovun.ini"
  grep -q "127.0.0.1:$port" "$work/sample/kovun.ini" || { echo "no URL line in the sample"; return 1; }
  printf '[Server]\r\nURL=http://127.0.0.1:%s/status/\r\n' "$port" > "$work/bare/kovun.ini"
  "$linux/src/monitor/term/kovun" --ini "$work/sample/kovun.ini" --once --json > "$work/sample.json"
  "$linux/src/monitor/term/kovun" --ini "$work/bare/kovun.ini" --once --json > "$work/bare.json"
  diff "$work/sample.json" "$work/bare.json" || return 1
  # The keys the close writes (all the bare file holds but the URL) hold
  # the same values.
  local keys saved_sample saved_bare
  keys=$(tr -d '\r' < "$work/bare/kovun.ini" | sed -n 's/^\([A-Za-z0-9]*\)=.*/\1/p' | grep -vx URL | paste -sd'|')
  [ -n "$keys" ] || { echo "the close wrote nothing"; return 1; }
  saved_sample=$(tr -d '\r' < "$work/sample/kovun.ini" | grep -v '^;' | grep -E "^($keys)=" | sort)
  saved_bare=$(tr -d '\r' < "$work/bare/kovun.ini" | grep -E "^($keys)=" | sort)
  [ "$saved_sample" = "$saved_bare" ] || { diff <(echo "$saved_sample") <(echo "$saved_bare"); return 1; }
}
check "the sample starts the monitor as no file does" sample_as_no_file
kill $sim_pid 2>/dev/null
wait $sim_pid 2>/dev/null

# 5. The programs in their unpacked folder under Wine.
run_under_wine() {
  local wine_run=$root/cmake/wine-test.sh status
  "$wine_run" setup "$windows" > "$work/wine-setup.log" 2>&1 || { cat "$work/wine-setup.log"; return 1; }
  KOVUN_PACKAGE_ROOT="$work" "$root/tests/net/with_services.sh" \
    "$linux/tools/tolvane-sim/tolvane-sim" \
    "$wine_run" run "$windows" "$windows/tests/package_tests.exe"
  status=$?
  "$wine_run" cleanup "$windows" > /dev/null 2>&1
  return $status
}
check "the unpacked programs run under Wine" run_under_wine

# 6. SOURCE_DATE_EPOCH dates the entries only when asked to (the build is
# done: these runs only pack again).
source_date_epoch() {
  local clone=$work/one/kovun
  cp "$clone/dist/$zip_name" "$work/first.zip"
  (cd "$clone" && SOURCE_DATE_EPOCH=315532800 ./scripts/package > "$work/sde.log" 2>&1) &&
    cmp "$clone/dist/$zip_name" "$work/first.zip" ||
    { echo "an inherited SOURCE_DATE_EPOCH changed the zip"; return 1; }
  (cd "$clone" && SOURCE_DATE_EPOCH=315532800 ./scripts/package --source-date-epoch > "$work/sde.log" 2>&1) ||
    { tail -5 "$work/sde.log"; return 1; }
  python3 - "$clone/dist/$zip_name" <<'PY'
import sys, zipfile
stamps = {info.date_time for info in zipfile.ZipFile(sys.argv[1]).infolist()}
if stamps != {(1980, 1, 1, 0, 0, 0)}:
    sys.exit(f"--source-date-epoch: entries dated {stamps}")
PY
}
check "SOURCE_DATE_EPOCH only on request" source_date_epoch

echo "package: $failed failed"
[ "$failed" -eq 0 ]
