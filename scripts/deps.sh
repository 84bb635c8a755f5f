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
  xvfb xauth fonts-ipafont-gothic tinyproxy-bin python3 git openssl)
# scripts/package: what it needs, and the tools whose versions BUILDINFO.txt
# records (the compiler, binutils, the mingw-w64 runtime, CMake and Ninja,
# Python and the zlib its zipfile packs with).
KOVUN_PACKAGE_PACKAGES=(cmake ninja-build git python3 g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev)
KOVUN_PACKAGE_RECORDED=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev mingw-w64-common cmake ninja-build
  python3 zlib1g)
