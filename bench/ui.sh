#!/usr/bin/env bash
# The viewer's list of a big archive over HTTP on loopback, in each display type: time from
# Open to the last row shown and to the list in its sort order, the longest event-loop pause
# while listing, the slowest of three column sorts and the longest pause during them, the
# slowest filter keystroke (and the rows it leaves), the longest pause after
# switching to the next display type (table → large → small → list → table), peak memory.
# Usage: bench/ui.sh [BUILD_DIR] [ENTRIES...]   (defaults: build, 65535)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
shift || true
counts=("${@:-65535}")
cmake --build "$build" --target mg_ui_bench > /dev/null
bench="$build/tests/ui/mg_ui_bench"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} NO_PROXY=127.0.0.1 no_proxy=127.0.0.1
printf "%-6s | %9s | %8s | %8s | %8s | %8s | %8s | %9s | %8s | %8s | %6s\n" display entries \
  "open ms" "sorted" "pause ms" "sort ms" "pause" "filter ms" "filtered" "switch" "MiB"
printf -- "-%.0s" {1..117}; echo
for count in "${counts[@]}"; do
  for display in table large small list; do
    "$bench" "$count" "$display" 2>/dev/null | tail -1
  done
done
