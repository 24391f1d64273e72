#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
DL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$DL_ROOT/scripts/setup.sh"
dl_install_packages
dl_ensure_de_locale
"$DL_ROOT/scripts/check-format.sh"
dl_build "$DL_ROOT/build" -DDL_BUILD_TESTS=ON -DDL_BUILD_BENCH=ON
cd "$DL_ROOT/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 600
