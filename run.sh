#!/usr/bin/env bash
# Installs what is missing, builds, and starts ULDO on the embedded example table.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
uldo_install_deps
uldo_build
dir="${ULDO_BUILD_DIR:-build}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  echo "No display. Run the GUI under a virtual X server, for example:"
  echo "  xvfb-run -s '-screen 0 1280x1024x24' $dir/app/uldo examples/mixed.kvt"
  exit 0
fi
exec "$dir/app/uldo" examples/mixed.kvt
