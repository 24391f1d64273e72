#!/usr/bin/env bash
# Builds the Debian package from a fresh clone: installs what is missing (apt-get,
# only packages not yet installed), builds with Debian's hardening flags in
# build-pkg/, runs `cpack -G DEB` and checks the result with dpkg-deb and lintian.
#   ./package.sh            -> build-pkg/orvex-datalogger_<version>_<arch>.deb
#   ./package.sh --no-check -> the same without the lintian run
set -euo pipefail
DL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$DL_ROOT/scripts/setup.sh"
# Packaging only: dpkg-shlibdeps (dpkg-dev) computes Depends, lintian checks.
PACKAGES+=(dpkg-dev file lintian)
dl_install_packages

check=1
[ "${1:-}" = "--no-check" ] && check=0

dir="$DL_ROOT/build-pkg"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$DL_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None \
  -DDL_BUILD_TESTS=OFF -DDL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && rm -f ./*.deb && cpack -G DEB)
deb="$(ls "$dir"/*.deb)"
echo "== $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
if [ "$check" = 1 ]; then
  echo "== lintian"
  # Run as root in CI: lintian refuses that unless told it is fine.
  lintian --allow-root --info --display-info "$deb"
fi
echo "Package: $deb"
