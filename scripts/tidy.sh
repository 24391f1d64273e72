#!/usr/bin/env bash
# Runs clang-tidy (checks in the root .clang-tidy) over our sources in parallel and
# fails on any finding. The translation units come from the build's
# compile_commands.json; headers are checked where the folders' own sources include
# them.
#
#   scripts/tidy.sh [BUILD_DIR]        default: build/
#
# DL_TIDY_FOLDERS (space-separated) names the folders checked; test.sh sets it.
# DL_TIDY_EXCLUDE (an extended regex on paths from the source root) leaves files out.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
folders="${DL_TIDY_FOLDERS:-base data graph link sim shell ui app tools publish}"
exclude="${DL_TIDY_EXCLUDE:-}"
tidy="$(command -v clang-tidy || command -v clang-tidy-14)"

[ -f "$build/compile_commands.json" ] || { echo "tidy: no $build/compile_commands.json" >&2; exit 2; }

alternation="$(echo "$folders" | tr -s ' ' '|')"
# The sources of the folders, once each (a file may be compiled into two targets).
mapfile -t files < <(python3 - "$build/compile_commands.json" "$root" "$alternation" "$exclude" <<'PY'
import json, re, sys
db, root, alternation, exclude = sys.argv[1:5]
pattern = re.compile(r"^(%s)/" % alternation)
seen = set()
for entry in json.load(open(db)):
    path = entry["file"]
    if not path.startswith(root + "/"):
        continue
    rel = path[len(root) + 1:]
    if pattern.match(rel) and not (exclude and re.search(exclude, rel)) and rel not in seen:
        seen.add(rel)
        print(path)
PY
)
[ ${#files[@]} -gt 0 ] || { echo "tidy: no sources in: $folders" >&2; exit 2; }

out="$(mktemp)"
trap 'rm -f "$out"' EXIT
echo "clang-tidy over ${#files[@]} files in: $folders"
# A finding in a header of a folder not checked is not this run's business.
printf '%s\n' "${files[@]}" |
  xargs -P "$(nproc)" -n 4 "$tidy" -p "$build" --quiet \
    --header-filter="^$root/($alternation)/" >"$out" 2>/dev/null || true

# One line per finding (a header seen from two sources counts once), minus excluded files.
findings="$(grep -E '^/[^:]+:[0-9]+:[0-9]+: (warning|error):' "$out" | sort -u || true)"
if [ -n "$exclude" ] && [ -n "$findings" ]; then
  findings="$(echo "$findings" | grep -Ev "^$root/($exclude)" || true)"
fi
if [ -z "$findings" ]; then
  echo "clang-tidy: no finding"
  exit 0
fi
echo "$findings"
echo "clang-tidy findings per folder:"
for f in $folders; do
  n="$(echo "$findings" | grep -c "^$root/$f/" || true)"
  echo "  $f: $n"
done
exit 1
