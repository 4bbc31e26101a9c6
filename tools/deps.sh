#!/usr/bin/env bash
# The Debian packages that building, running and testing ULDO need, in two
# lists. Sourced by run.sh (ULDO_PACKAGES) and test.sh (both lists); only
# what is missing is installed, quietly.

# Run time and build: the programs, their libraries and the compiler.
ULDO_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqcustomplot-dev libfftw3-dev nlohmann-json3-dev
  liblxi-dev                      # VXI-11 LAN instruments: a maintained ONC-RPC/VXI-11 client
)

# Tests only. Add a package the tests need on a line of its own here.
ULDO_TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  python3-pyftpdlib vsftpd        # FTP transfer tests; vsftpd's own service is left stopped and disabled
  python3-jsonschema              # uldoc schema checked against the examples; SigMF metadata against its schema
  python3-numpy                   # SigMF recordings read back as numpy reads them
  clang libclang-rt-14-dev        # fuzz targets: libFuzzer and the sanitizer runtimes of Debian's clang
)

# Packages with a system service that the tests start on their own, on a
# loopback port: installing them must not leave the daemon running.
ULDO_QUIET_SERVICES=(vsftpd)

# A busy package manager (an unattended upgrade, another install) is waited
# for instead of failing at once.
ULDO_APT_OPTIONS=(-o DPkg::Lock::Timeout=600)

# uldo_install_deps [PACKAGE...]: both lists when none is named.
uldo_install_deps() {
  [ $# -eq 0 ] && set -- "${ULDO_PACKAGES[@]}" "${ULDO_TEST_PACKAGES[@]}"
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  # Services are not started by the install (invoke-rc.d asks policy-rc.d)...
  local policy=/usr/sbin/policy-rc.d made_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null && $sudo chmod 755 "$policy" && made_policy=1
  fi
  local status=0
  $sudo apt-get "${ULDO_APT_OPTIONS[@]}" update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "${ULDO_APT_OPTIONS[@]}" install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null || status=$?
  [ -n "$made_policy" ] && $sudo rm -f "$policy"
  # ...and stay disabled afterwards, so that they do not start at the next boot either.
  local s
  for s in "${ULDO_QUIET_SERVICES[@]}"; do
    printf '%s\n' "${missing[@]}" | grep -qx "$s" || continue
    if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
      $sudo systemctl disable --now "$s" >/dev/null 2>&1 || true
    elif command -v update-rc.d >/dev/null; then
      $sudo update-rc.d "$s" disable >/dev/null 2>&1 || true
      $sudo invoke-rc.d "$s" stop >/dev/null 2>&1 || true
    fi
  done
  return $status
}

# uldo_build [CMAKE OPTIONS...]: configure and build into ULDO_BUILD_DIR (build/).
uldo_build() {
  local dir="${ULDO_BUILD_DIR:-build}"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${ULDO_BUILD_TYPE:-Release}" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
