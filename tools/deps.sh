#!/usr/bin/env bash
# The one list of Debian packages that building, running and testing ULDO needs.
# Sourced by run.sh and test.sh: installs only what is missing, quietly.
ULDO_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqcustomplot-dev libfftw3-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  python3-pyftpdlib vsftpd
  clang libclang-rt-14-dev   # fuzz targets: libFuzzer and the sanitizer runtimes of Debian's clang
)

uldo_install_deps() {
  local missing=()
  local p
  for p in "${ULDO_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

uldo_build() {
  local dir="${ULDO_BUILD_DIR:-build}"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${ULDO_BUILD_TYPE:-Release}" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
