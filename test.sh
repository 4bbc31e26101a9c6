#!/usr/bin/env bash
# Installs what is missing to build and test, builds everything and runs the
# whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
uldo_install_deps "${ULDO_PACKAGES[@]}" "${ULDO_TEST_PACKAGES[@]}"
uldo_build -DULDO_TESTS=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${ULDO_BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
