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
