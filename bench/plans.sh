#!/usr/bin/env bash
# Bulk work through read plans: marrowglen-cli of two builds (BEFORE, e.g. a build of an
# earlier commit, and AFTER) against nginx on loopback, directly and through a relay that
# adds 50 ms per round trip, beside curl -o (+ unzip) of the same archive. Prints one table:
# requests and body bytes (from nginx's access log), seconds, peak resident memory.
# Usage: bench/plans.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR
#   RATE (default 64m): nginx's limit_rate per connection for the "limited" rows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
before="$(cd "$1" && pwd)/cli/marrowglen-cli"
after="$(cd "$2" && pwd)/cli/marrowglen-cli"
rate=${RATE:-64m}
py=/usr/bin/python3
for cli in "$before" "$after"; do [[ -x $cli ]] || { echo "missing $cli"; exit 1; }; done

work=${BENCH_DIR:-/tmp/marrowglen-planbench}
out=${BENCH_OUT:-/dev/shm/marrowglen-planbench-out}
mkdir -p "$work/www" "$work/nginx" "$out"
$py "$root/bench/make_bench_archives.py" "$work/www" 16 >/dev/null
[[ -f $work/www/save.zip ]] || $py "$root/bench/make_network_archives.py" "$work/www" >/dev/null
# 200 small entries, each followed by 5 MiB of stored filler: about 1 GiB in all.
[[ -f $work/www/scatter.zip ]] || $py - "$work/www/scatter.zip" <<'PY'
import os, sys, zipfile
filler = os.urandom(5 * 1024 * 1024)
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i in range(200):
        z.writestr(f"small/s{i:03d}.txt", (f"entry {i} " * 400).encode(),
                   compress_type=zipfile.ZIP_DEFLATED)
        z.writestr(f"filler/f{i:03d}.bin", filler, compress_type=zipfile.ZIP_STORED)
PY
mapfile -t scattered < <($py -c "print('\n'.join(f'small/s{i:03d}.txt' for i in range(200)))")

port=$($py -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon on;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 256; }
http {
  log_format bench '\$status \$body_bytes_sent "\$http_range" \$connection';
  access_log $work/nginx/access.log bench;
  client_body_temp_path $work/nginx;
  proxy_temp_path $work/nginx;
  fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx;
  scgi_temp_path $work/nginx;
  sendfile on;
  keepalive_requests 1000000;
  types { application/zip zip; }
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    location /limited/ { alias $work/www/; limit_rate $rate; }
  }
}
CONF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" 2>/dev/null
proxy_pid=
cleanup() {
  [[ -n $proxy_pid ]] && kill "$proxy_pid" 2>/dev/null || true
  kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true
  rm -rf "$out"
}
trap cleanup EXIT
export NO_PROXY=127.0.0.1 no_proxy=127.0.0.1
log="$work/nginx/access.log"
direct="http://127.0.0.1:$port"
start_delay() {
  rm -f "$work/proxy.port"
  $py "$root/bench/delay_proxy.py" "$work/proxy.port" "$port" 50 &
  proxy_pid=$!
  for _ in $(seq 50); do [[ -s $work/proxy.port ]] && break; sleep 0.1; done
  delayed="http://127.0.0.1:$(cat "$work/proxy.port")"
}

# Runs a command (output discarded, a fresh output folder); prints
# "requests | bytes | seconds | peak MiB".
measure() {
  rm -rf "$out/x" && mkdir -p "$out/x"
  : > "$log"
  local t0 t1 rss
  t0=$(date +%s.%N)
  /usr/bin/time -f %M -o "$work/rss" "$@" > /dev/null 2>&1 || echo "!! failed: $*" >&2
  t1=$(date +%s.%N)
  rss=$(tail -1 "$work/rss")
  sleep 0.3 # nginx logs a request once its answer is sent
  awk -v t0="$t0" -v t1="$t1" -v rss="$rss" '
    { n++; b += $2 }
    END { printf "%8d | %12d | %8.2f | %7.1f", n, b, t1 - t0, rss / 1024 }' "$log"
}
# Shell functions cannot run under /usr/bin/time: these run in a bash of their own.
curl_unzip=(bash -c 'curl -s -o "$0/a.zip" "$1" && unzip -q -o -d "$0" "$0/a.zip"')
curl_test=(bash -c 'curl -s -o "$0/a.zip" "$1" && unzip -tq "$0/a.zip"')

# ROWS: a pattern; only tasks whose title matches it run (default: all).
row() { [[ $1 =~ ${ROWS:-.} ]] || return 0; printf "%-44s | %-5s | %s\n" "$1" "$2" "$(shift 2; measure "$@")"; }

printf "%-44s | %-5s | %8s | %12s | %8s | %7s\n" task delay requests "bytes" seconds "peak MiB"
printf -- "-%.0s" {1..100}; echo
start_delay
for d in 0 50; do
  [[ $d == 0 ]] && base=$direct || base=$delayed
  # Before plans, each entry costs a request: 65,537 round trips of 50 ms are some 55 minutes.
  if [[ $d == 0 || -n ${SLOW_BEFORE:-} ]]; then
    row "extract all, 65,535 entries: before" "$d" "$before" extract -q -o -d "$out/x" "$base/many.zip"
  else
    printf "%-44s | %-5s | %s\n" "extract all, 65,535 entries: before" "$d" "skipped: 65,537 requests x 50 ms (SLOW_BEFORE=1 runs it)"
  fi
  row "extract all, 65,535 entries: after" "$d" "$after" extract -q -o -d "$out/x" "$base/many.zip"
  row "curl -o + unzip -q -o -d" "$d" "${curl_unzip[@]}" "$out/x" "$base/many.zip"
  if [[ $d == 0 || -n ${SLOW_BEFORE:-} ]]; then
    row "test all, 65,535 entries: before" "$d" "$before" test -q "$base/many.zip"
  else
    printf "%-44s | %-5s | %s\n" "test all, 65,535 entries: before" "$d" "skipped: 65,537 requests x 50 ms (SLOW_BEFORE=1 runs it)"
  fi
  row "test all, 65,535 entries: after" "$d" "$after" test -q "$base/many.zip"
  row "curl -o + unzip -tq" "$d" "${curl_test[@]}" "$out/x" "$base/many.zip"
done
row "200 entries scattered over 1 GiB: serial" 50 "$before" test -q "$delayed/scatter.zip" "${scattered[@]}"
row "200 entries scattered over 1 GiB: planned" 50 "$after" test -q "$delayed/scatter.zip" "${scattered[@]}"
kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; proxy_pid=
row "save 1 GiB, limit $rate/conn: one stream" 0 "$before" save -q "$direct/limited/save.zip" "$out/x/s.zip"
row "save 1 GiB, limit $rate/conn: segments" 0 "$after" save -q "$direct/limited/save.zip" "$out/x/s.zip"
row "curl -o 1 GiB, limit $rate/conn (one stream)" 0 curl -s -o "$out/x/s.zip" "$direct/limited/save.zip"
row "save 1 GiB, unlimited: before" 0 "$before" save -q "$direct/save.zip" "$out/x/s.zip"
row "save 1 GiB, unlimited: after" 0 "$after" save -q "$direct/save.zip" "$out/x/s.zip"
row "curl -o 1 GiB, unlimited" 0 curl -s -o "$out/x/s.zip" "$direct/save.zip"
row "one 256 MiB entry, limit $rate/conn: before" 0 "$before" extract -q -o -d "$out/x" "$direct/limited/save.zip" block0.bin
row "one 256 MiB entry, limit $rate/conn: after" 0 "$after" extract -q -o -d "$out/x" "$direct/limited/save.zip" block0.bin
row "one 256 MiB entry, unlimited: before" 0 "$before" extract -q -o -d "$out/x" "$direct/save.zip" block0.bin
row "one 256 MiB entry, unlimited: after" 0 "$after" extract -q -o -d "$out/x" "$direct/save.zip" block0.bin
