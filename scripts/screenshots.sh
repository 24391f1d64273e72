#!/usr/bin/env bash
# Screenshots of the application under Xvfb and openbox at several scale
# factors, to look at what a user sees on ordinary and high-resolution screens.
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR] [FILE.stdata]
# For each of QT_SCALE_FACTOR 1, 1.5 and 2 on a screen that gives the same
# logical size (1600 x 900): the welcome screen, the graph of FILE (a simulated
# download when none is given), the About box and the Download dialog.
set -euo pipefail
DL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$DL_ROOT/scripts/setup.sh"
PACKAGES=(xvfb xauth openbox xdotool imagemagick)
dl_install_packages
build="$(realpath "${1:-$DL_ROOT/build}")"
out="${2:-$DL_ROOT/build/screenshots}"
file="${3:-}"
mkdir -p "$out"
app="$build/app/orvex-datalogger"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

if [ -z "$file" ]; then
  file="$out/simulated.stdata"
  "$build/tools/orvex-logger-sim" --samples 3000 --tr-every 500 >"$out/sim.out" 2>/dev/null &
  sim=$!
  pids+=("$sim")
  for _ in $(seq 50); do [ -s "$out/sim.out" ] && break; sleep 0.1; done
  "$build/tools/orvex-dl" download --port "$(head -n 1 "$out/sim.out")" -o "$file" 2>/dev/null
  kill "$sim"
fi

export DATALOGGER_DIR="$out/settings"
display=77
for scale in 1 1.5 2; do
  w=$(awk "BEGIN{print int(1600*$scale)}")
  h=$(awk "BEGIN{print int(900*$scale)}")
  Xvfb ":$display" -screen 0 "${w}x${h}x24" -nolisten tcp &
  xvfb=$!
  pids+=("$xvfb")
  sleep 1
  DISPLAY=":$display" openbox &
  wm=$!
  pids+=("$wm")
  sleep 1
  shoot() { DISPLAY=":$display" import -window root "$out/$1-scale$scale.png"; }
  run_app() {
    DISPLAY=":$display" QT_SCALE_FACTOR="$scale" "$app" --nosplash "$@" &
    app_pid=$!
    pids+=("$app_pid")
    sleep 3
  }
  run_app
  shoot welcome
  DISPLAY=":$display" xdotool key alt+h && sleep 0.5 && DISPLAY=":$display" xdotool key a && sleep 1
  shoot about
  DISPLAY=":$display" xdotool key Escape && sleep 0.5
  kill "$app_pid"; sleep 0.5
  run_app "$file"
  shoot graph
  DISPLAY=":$display" xdotool key alt+i && sleep 0.5 && DISPLAY=":$display" xdotool key d && sleep 2
  shoot download
  DISPLAY=":$display" xdotool key Escape && sleep 0.5
  kill "$app_pid" "$wm" "$xvfb" 2>/dev/null || true
  sleep 1
  display=$((display + 1))
done
ls "$out"/*.png
