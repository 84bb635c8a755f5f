# Sourced by the two top-level scripts: installs the Debian packages that are
# missing, and nothing when all are there.
kovun_install() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

KOVUN_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config googletest libbenchmark-dev
  libcurl4-openssl-dev libcpp-httplib-dev nlohmann-json3-dev libcli11-dev libncurses-dev
  ca-certificates)
KOVUN_TEST_PACKAGES=(clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix wine wine64
  xvfb xauth fonts-ipafont-gothic tinyproxy-bin python3 git openssl chromium wrk nginx-light)
# scripts/package: what it needs, and the tools whose versions BUILDINFO.txt
# records (the compiler, binutils, the mingw-w64 runtime, CMake and Ninja,
# Python and the zlib its zipfile packs with).
KOVUN_PACKAGE_PACKAGES=(cmake ninja-build git python3 g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev libcpp-httplib-dev nlohmann-json3-dev)
KOVUN_PACKAGE_RECORDED=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev mingw-w64-common cmake ninja-build
  python3 zlib1g)

# cpp-httplib's one full header for the MinGW build. Debian's
# libcpp-httplib-dev splits it (declarations in /usr/include/httplib.h, the
# code in a Linux library), so the Windows build takes the header from the
# same version's Debian source package, once per machine, into
# KOVUN_HTTPLIB_DIR (cmake/Kovun.cmake looks there).
KOVUN_HTTPLIB_DIR=/usr/local/share/kovun/cpp-httplib
kovun_httplib_header() {
  local version
  version=$(dpkg-query -W -f='${Version}' libcpp-httplib-dev 2>/dev/null) || return 1
  if [ -f "$KOVUN_HTTPLIB_DIR/httplib.h" ] && [ "$(cat "$KOVUN_HTTPLIB_DIR/VERSION" 2>/dev/null)" = "$version" ]; then
    return 0
  fi
  kovun_install dpkg-dev
  local src=/etc/apt/sources.list.d/kovun-src.sources
  if ! apt-get source --print-uris "cpp-httplib=$version" >/dev/null 2>&1; then
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' > "$src"
    apt-get update -qq || return 1
  fi
  local work
  work=$(mktemp -d) || return 1
  (cd "$work" && apt-get source -qq "cpp-httplib=$version" >/dev/null 2>&1) &&
    mkdir -p "$KOVUN_HTTPLIB_DIR" &&
    cp "$work"/cpp-httplib-*/httplib.h "$work"/cpp-httplib-*/LICENSE "$KOVUN_HTTPLIB_DIR/" &&
    echo "$version" > "$KOVUN_HTTPLIB_DIR/VERSION"
  local rc=$?
  rm -rf "$work"
  [ $rc -eq 0 ] || echo "== could not unpack cpp-httplib $version's source" >&2
  return $rc
}
