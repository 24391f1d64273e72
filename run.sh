#!/usr/bin/env bash
# Installs what is missing, builds and starts the application. With no logger
# attached, the logger simulator is started and served as port 1.
set -euo pipefail
DL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$DL_ROOT/scripts/setup.sh"
dl_install_packages
dl_build "$DL_ROOT/build" -DDL_BUILD_TESTS=OFF

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MSG'
No display found: the application needs a graphical session.
  - On a desktop, run ./run.sh from a terminal inside that session.
  - Over SSH, connect with "ssh -X" (X11 forwarding).
  - Without any screen, start a virtual one:  xvfb-run -a ./run.sh
MSG
  exit 2
fi

BIN="$DL_ROOT/build"
args=()
sim_pid=""
logger_attached() {
  local d
  for d in /dev/ttyUSB* /dev/ttyACM*; do [ -e "$d" ] && return 0; done
  return 1
}
if [ -z "${DATALOGGER_PORTS:-}" ] && ! logger_attached && [ -x "$BIN/tools/orvex-logger-sim" ]; then
  fifo="$(mktemp -u)"; mkfifo "$fifo"
  "$BIN/tools/orvex-logger-sim" >"$fifo" 2>/dev/null &
  sim_pid=$!
  read -r sim_device <"$fifo"; rm -f "$fifo"
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true' EXIT
  export DATALOGGER_PORTS="$sim_device"
  export DATALOGGER_SIMULATED=1
  echo "No logger attached: the simulated logger serves port 1 at $sim_device"
fi
"$BIN/app/orvex-datalogger" "${args[@]}" "$@"
