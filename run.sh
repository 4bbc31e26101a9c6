#!/usr/bin/env bash
# Installs what is missing to build and run, builds, and compiles the default
# example with uldoc into out/, printing its report. ./run.sh --gui starts the
# GUI on the example table instead.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
uldo_install_deps "${ULDO_PACKAGES[@]}"
# The tests and benchmarks are test.sh's; a build that has them keeps them.
dir="${ULDO_BUILD_DIR:-build}"
if [ -f "$dir/CMakeCache.txt" ] && grep -q '^ULDO_TESTS:BOOL=ON' "$dir/CMakeCache.txt"; then
  uldo_build
else
  uldo_build -DULDO_TESTS=OFF
fi
dir="$(cd "$dir" && pwd)"
if [ "${1:-}" = "--gui" ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
    echo "No display. Run the GUI under a virtual X server, for example:"
    echo "  xvfb-run -s '-screen 0 1280x1024x24' $dir/app/uldo examples/mixed.kvt"
    exit 0
  fi
  exec "$dir/app/uldo" examples/mixed.kvt
fi
mkdir -p out
cd out
exec "$dir/cli/uldoc" ../examples/mixed.json --setup ../examples/default.json
