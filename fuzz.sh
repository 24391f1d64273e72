#!/usr/bin/env bash
# Builds every fuzz target with clang (build-fuzz/) and runs each for SECONDS
# (default 60), starting from its committed seeds; the corpus grows in
# build-fuzz/corpus/. Prints runs, coverage and findings per target and fails when a
# target found something (the input is kept in build-fuzz/artifacts/).
#
#   ./fuzz.sh [SECONDS]
set -euo pipefail
DL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

source "$DL_ROOT/scripts/setup.sh"
dl_install_packages

build="$DL_ROOT/build-fuzz"
cmake -S "$DL_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DDL_BUILD_FUZZ=ON -DDL_BUILD_TESTS=OFF -DDL_BUILD_BENCH=OFF \
  -DDL_SANITIZE=OFF -DDL_WERROR=OFF >/dev/null
cmake --build "$build" --target fuzzers -j "$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$DL_ROOT/scripts/lsan.supp:print_suppressions=0"
export TZ=Europe/Berlin
mkdir -p "$build/artifacts" "$build/logs"
failed=()
summary=()
while IFS=$'\t' read -r name exe seeds dict; do
  [ -n "$name" ] || continue
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  args=(-max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048
        -artifact_prefix="$build/artifacts/$name-")
  [ -n "$dict" ] && args+=(-dict="$dict")
  log="$build/logs/$name.log"
  echo "--- $name: ${seconds} s"
  rc=0
  "$exe" "${args[@]}" "$corpus" "$seeds" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  files=$(find "$corpus" -type f | wc -l)
  if [ "$rc" -ne 0 ]; then
    failed+=("$name")
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -20 || true
    finding="FOUND (see $log)"
  else
    finding="none"
  fi
  summary+=("$(printf '%-20s runs %-10s cov %-6s ft %-6s corpus %-6s findings %s' \
    "$name" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$files" "$finding")")
done <"$build/fuzz-targets.txt"

echo "=== fuzz summary (${seconds} s per target)"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
