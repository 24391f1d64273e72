#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the app need (those that
# are missing only), then configures and builds. Sourced by run.sh and test.sh.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6serialport6-dev
  libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libqcustomplot-dev
  zlib1g-dev python3 tzdata locales xvfb xauth fonts-dejavu-core fonts-liberation clang-format git
  # The linter test.sh runs over our sources (scripts/tidy.sh).
  clang-tidy
  # The heavy face behind "Arial Black" (Roboto Black).
  fonts-roboto-unhinted
  # Manual pages and icons made at build time, and the desktop tools the tests
  # validate the launcher, metainfo and MIME type with.
  scdoc librsvg2-bin gzip man-db desktop-file-utils appstream shared-mime-info xdg-utils
  libfile-mimeinfo-perl
  # The fuzzers are built with clang.
  clang libclang-rt-14-dev
  # The print tests read PDF pages back as text and images.
  poppler-utils
  # The MQTT publisher's client library; the broker and its tools its tests run.
  libmosquitto-dev mosquitto mosquitto-clients openssl
)

dl_install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The report must come out the same under a German locale; make one available.
dl_ensure_de_locale() {
  if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    return 0
  fi
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  if [ -f /etc/locale.gen ]; then
    $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null || echo "warning: could not generate de_DE.UTF-8" >&2
  fi
}

dl_build() {
  local dir="$1"; shift
  cmake -S "$DL_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j "$(nproc)"
}
