#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
CF="${CLANG_FORMAT:-clang-format}"
if ! command -v "$CF" >/dev/null; then
  echo "check-format: $CF not found" >&2
  exit 1
fi
bad=()
while IFS= read -r f; do
  [ -f "$f" ] || continue
  if ! "$CF" --dry-run --Werror "$f" >/dev/null 2>&1; then
    bad+=("$f")
  fi
done < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
if [ ${#bad[@]} -gt 0 ]; then
  echo "These files are not formatted (run: clang-format -i FILE):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: every C++ file is formatted"
