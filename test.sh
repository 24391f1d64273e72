#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#
#   ./test.sh                 the normal build (build/) and its tests
#   ./test.sh --sanitize      also a second build (build-asan/) under AddressSanitizer and
#                             UndefinedBehaviorSanitizer with leak detection, and its tests
#   ./test.sh --no-sanitize   only the normal build, also under CI
#   ./test.sh --fuzz[=SECS]   also every fuzz target for SECS seconds each (default 60)
#
# DL_SANITIZE=1|0 and DL_FUZZ_SECONDS=N do the same from the environment;
# DL_TIDY_FOLDERS narrows the source folders clang-tidy checks (see below). Under CI
# (CI=true) the sanitizer build and a 20-second fuzz run per target are on by default.
set -euo pipefail
DL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

in_ci=0
[ "${CI:-}" = "true" ] && in_ci=1
sanitize="${DL_SANITIZE:-$in_ci}"
fuzz_seconds="${DL_FUZZ_SECONDS:-}"
[ -z "$fuzz_seconds" ] && [ "$in_ci" = 1 ] && fuzz_seconds=20
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    --no-sanitize) sanitize=0 ;;
    --fuzz) fuzz_seconds=60 ;;
    --fuzz=*) fuzz_seconds="${arg#--fuzz=}" ;;
    --no-fuzz) fuzz_seconds="" ;;
    *) echo "usage: $0 [--sanitize|--no-sanitize] [--fuzz[=SECONDS]|--no-fuzz]" >&2; exit 2 ;;
  esac
done

source "$DL_ROOT/scripts/setup.sh"
dl_install_packages
dl_ensure_de_locale
"$DL_ROOT/scripts/check-format.sh"

stage() { echo "=== $1 ($(date -u +%H:%M:%S))"; }
started=$SECONDS

# Warnings fail the build under CI; a local build only shows them. CI builds carry no
# debug information in the normal build and line tables only in the sanitizer build
# (its reports name file and line): a third less compile time on two cores.
werror=OFF
normal_flags=()
asan_flags=()
if [ "$in_ci" = 1 ]; then
  werror=ON
  normal_flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g0 -DNDEBUG")
  asan_flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
fi

stage "normal build"
dl_build "$DL_ROOT/build" -DDL_BUILD_TESTS=ON -DDL_BUILD_BENCH=ON -DDL_SANITIZE=OFF \
  -DDL_WERROR="$werror" "${normal_flags[@]}"
stage "normal tests"
(cd "$DL_ROOT/build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 600)

# clang-tidy (checks in .clang-tidy) over every folder of our sources; a finding fails
# the run. DL_TIDY_FOLDERS narrows it, DL_TIDY_EXCLUDE leaves files out.
DL_TIDY_FOLDERS="${DL_TIDY_FOLDERS:-base data graph link sim shell ui app tools publish}"
DL_TIDY_EXCLUDE="${DL_TIDY_EXCLUDE-}"
stage "clang-tidy"
DL_TIDY_FOLDERS="$DL_TIDY_FOLDERS" DL_TIDY_EXCLUDE="$DL_TIDY_EXCLUDE" \
  "$DL_ROOT/scripts/tidy.sh" "$DL_ROOT/build"

if [ "$sanitize" = 1 ]; then
  # Set for the build too: test discovery runs every test binary.
  export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0:detect_stack_use_after_return=0:strict_init_order=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$DL_ROOT/scripts/lsan.supp:print_suppressions=0"
  stage "sanitizer build"
  dl_build "$DL_ROOT/build-asan" -DDL_BUILD_TESTS=ON -DDL_BUILD_BENCH=OFF -DDL_SANITIZE=ON \
    -DDL_WERROR=OFF "${asan_flags[@]}"
  stage "sanitizer tests"
  (cd "$DL_ROOT/build-asan" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 900)
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
fi

if [ -n "$fuzz_seconds" ]; then
  stage "fuzz smoke, ${fuzz_seconds} s per target"
  "$DL_ROOT/fuzz.sh" "$fuzz_seconds"
fi
stage "done in $((SECONDS - started)) s"
