#!/usr/bin/env bash
# Benchmarks of the engine over HTTP against nginx on loopback. Prints a table: requests and
# body bytes served (from nginx's access log), wall time, peak memory (max RSS).
# Usage: bench/run.sh [BUILD_DIR] [LARGE_ENTRY_MiB]   (defaults: build, 256)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
mib=${2:-256}
cli="$build/cli/marrowglen-cli"
[[ -x $cli ]] || { echo "build marrowglen-cli first ($cli)"; exit 1; }

work=${BENCH_DIR:-/tmp/marrowglen-bench}
mkdir -p "$work/www" "$work/out"
/usr/bin/python3 "$root/bench/make_bench_archives.py" "$work/www" "$mib"
port=$("$root/scripts/serve.sh" "$work/www" "$work/nginx")
trap 'kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true' EXIT
export NO_PROXY=127.0.0.1 no_proxy=127.0.0.1
base="http://127.0.0.1:$port"
log="$work/nginx/access.log"

# Runs a command; prints "requests | bytes | seconds | MiB" for it.
measure() {
  : > "$log"
  local t0 t1 rss
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work/rss" "$@" > /dev/null
  t1=$(date +%s.%N)
  rss=$(tail -1 "$work/rss")
  sleep 0.2 # nginx writes its log line after the response
  awk -v t0="$t0" -v t1="$t1" -v rss="$rss" '
    { n++; b += $10 }
    END { printf "%8d | %14d | %8.3f | %8.1f\n", n, b, t1 - t0, rss / 1024 }' "$log"
}

row() { printf "%-44s | %s" "$1" "$(shift; measure "$@")"; echo; }

size_many=$(stat -c %s "$work/www/many.zip")
size_large=$(stat -c %s "$work/www/large.zip")
printf "%-44s | %8s | %14s | %8s | %8s\n" "task" "requests" "bytes served" "seconds" "peak MiB"
printf -- "-%.0s" {1..96}; echo
row "list 65,535 entries ($size_many B archive)" "$cli" list -q "$base/many.zip"
row "extract 1 entry of the 65,535" "$cli" extract -q -o "$base/many.zip" d042/file42000.txt -d "$work/out"
row "list large archive ($size_large B)" "$cli" list -q "$base/large.zip"
row "extract ${mib} MiB entry over HTTP" "$cli" extract -q -o "$base/large.zip" large.txt -d "$work/out"
row "cat ${mib} MiB entry (to /dev/null)" "$cli" cat "$base/large.zip" large.txt
row "save the large archive" "$cli" save -q "$base/large.zip" "$work/out/saved.zip"
cmp -s "$work/out/saved.zip" "$work/www/large.zip" || echo "!! saved archive differs"
if [[ ${BENCH_ZIP64:-1} != 0 ]]; then
  # ZIP64: written sparse (zeros), so they cost no disk space and seconds to make.
  make_large="$root/tests/support/make_large_archive.py"
  [[ -f $work/www/million.zip ]] ||
    /usr/bin/python3 "$make_large" "$work/www/million.zip" --big 0 --pad 0 --small 1000000 >/dev/null
  [[ -f $work/www/zip64.zip ]] ||
    /usr/bin/python3 "$make_large" "$work/www/zip64.zip" --small 70000 >/dev/null
  [[ -f $work/www/deflated5g.zip ]] ||
    /usr/bin/python3 "$make_large" "$work/www/deflated5g.zip" --pad 0 --small 0 --deflate-big >/dev/null
  row "list 1,000,000 entries (ZIP64)" "$cli" list -q "$base/million.zip"
  row "list 6 GiB archive, 70,002 entries" "$cli" list -q "$base/zip64.zip"
  row "test 5 GiB stored entry" "$cli" test -q "$base/zip64.zip" big.bin
  row "test 5 GiB deflated entry" "$cli" test -q "$base/deflated5g.zip" big.bin
  row "extract 5 GiB stored entry" "$cli" extract -q -o "$base/zip64.zip" big.bin -d "$work/out"
  rm -f "$work/out/big.bin"
  if [[ -x $build/bench/list_bench ]]; then
    echo
    QT_QPA_PLATFORM=offscreen "$build/bench/list_bench" "$base/million.zip"
  fi
fi
echo
# Inflate throughput: the same entry from a local copy with Info-ZIP, in the same run.
t0=$(date +%s.%N); unzip -p "$work/www/large.zip" large.txt > /dev/null; t1=$(date +%s.%N)
t2=$(date +%s.%N); "$cli" cat "$base/large.zip" large.txt > /dev/null; t3=$(date +%s.%N)
awk -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" -v mib="$mib" 'BEGIN {
  printf "inflate %d MiB: unzip -p (local file) %.3f s = %.0f MiB/s; marrowglen-cli cat (HTTP) %.3f s = %.0f MiB/s\n",
    mib, b - a, mib / (b - a), d - c, mib / (d - c) }'
