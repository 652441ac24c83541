#!/usr/bin/env bash
# Network efficiency of marrowglen-cli against nginx on loopback: requests and body bytes
# served (from nginx's access log) and wall time, once directly and once through a relay that
# adds 50 ms to every round trip (bench/delay_proxy.py).
# Usage: bench/network.sh [BUILD_DIR] [DELAYS_MS...]   (defaults: build, "0 50")
# "needed" is what the task cannot do without: the central directory and end record (for
# every task that opens the archive), plus the entries' local headers and packed data for a
# preview or an extraction; the whole file for a save. A preview tests the same entry twice in one process, as the viewer's
# preview does (test pass, then extraction pass).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
shift || true
delays=${*:-0 50}
cli="$build/cli/marrowglen-cli"
[[ -x $cli ]] || { echo "build marrowglen-cli first ($cli)"; exit 1; }
py=/usr/bin/python3

work=${BENCH_DIR:-/tmp/marrowglen-netbench}
# Saved copies go to memory when it can hold them: the figures are about the network, and a
# disk's write-back (and the CLI's fsync of the saved file) would blur them.
out=${BENCH_OUT:-$( [[ -d /dev/shm ]] && echo /dev/shm/marrowglen-netbench-out || echo "$work/out")}
mkdir -p "$work/www" "$out" "$work/nginx"
$py "$root/bench/make_bench_archives.py" "$work/www" 16 >/dev/null
$py "$root/bench/make_network_archives.py" "$work/www"

port=$($py -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon on;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  log_format bench '\$status \$body_bytes_sent "\$http_range" \$connection';
  access_log $work/nginx/access.log bench;
  client_body_temp_path $work/nginx;
  proxy_temp_path $work/nginx;
  fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx;
  scgi_temp_path $work/nginx;
  sendfile on;
  keepalive_requests 100000;
  types { application/zip zip; }
  server { listen 127.0.0.1:$port; root $work/www; }
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

size_of() { stat -c %s "$work/www/$1"; }
needed() { $py "$root/bench/make_network_archives.py" --needed "$work/www/$1" "${@:2}"; }
# The end record and the central directory of an archive.
directory_bytes() {
  $py - "$work/www/$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
end = data.rfind(b"PK\x05\x06")
size, offset = struct.unpack("<II", data[end + 12:end + 20])
print(len(data) - offset)
PY
}

# Runs a command; prints "requests | bytes served | needed | seconds".
measure() {
  local need=$1; shift
  : > "$log"
  local t0 t1
  t0=$(date +%s.%N)
  "$@" > /dev/null 2>&1 || echo "!! failed: $*" >&2
  t1=$(date +%s.%N)
  sleep 0.3 # nginx writes its log line after the response
  awk -v t0="$t0" -v t1="$t1" -v need="$need" '
    { n++; b += $2 }
    END { printf "%8d | %14d | %14d | %5.2f | %8.3f", n, b, need, (need > 0 ? b / need : 0), t1 - t0 }' "$log"
}

row() { printf "%-34s | %5s | %s\n" "$1" "$delay" "$(shift; measure "$@")"; }

parts=()
for i in 03 04 05 06 07 08 09 10 11 12; do parts+=("parts/part$i.txt"); done
tail_dir=$(directory_bytes tail.zip)
small_need=$(( $(needed tail.zip small.txt) + tail_dir ))
big_need=$(( $(needed tail.zip big.bin) + tail_dir ))
parts_need=$(( $(needed tail.zip "${parts[@]}") + tail_dir ))
many_dir=$(directory_bytes many.zip)
save_size=$(size_of save.zip)

printf "%-34s | %5s | %8s | %14s | %14s | %5s | %8s\n" task "delay" requests "bytes served" \
  "needed" ratio seconds
printf -- "-%.0s" {1..106}; echo
for delay in $delays; do
  if [[ $delay == 0 ]]; then
    base="http://127.0.0.1:$port"
  else
    rm -f "$work/proxy.port"
    $py "$root/bench/delay_proxy.py" "$work/proxy.port" "$port" "$delay" &
    proxy_pid=$!
    for _ in $(seq 50); do [[ -s $work/proxy.port ]] && break; sleep 0.1; done
    base="http://127.0.0.1:$(cat "$work/proxy.port")"
  fi
  row "list, directory in last 64 KiB" "$tail_dir" "$cli" list "$base/tail.zip"
  row "list 65,535 entries" "$many_dir" "$cli" list "$base/many.zip"
  row "preview small entry (read twice)" "$small_need" "$cli" test -q "$base/tail.zip" small.txt small.txt
  row "preview 24 MiB entry (read twice)" "$big_need" "$cli" test -q "$base/tail.zip" big.bin big.bin
  row "extract 10 entries" "$parts_need" "$cli" extract -q -o -d "$out" "$base/tail.zip" "${parts[@]}"
  row "save 1 GiB archive" "$save_size" "$cli" save -q "$base/save.zip" "$out/saved.zip"
  cmp -s "$out/saved.zip" "$work/www/save.zip" || echo "!! saved archive differs"
  row "curl -o of the same 1 GiB" "$save_size" curl -s -o "$out/curl.zip" "$base/save.zip"
  rm -f "$out/saved.zip" "$out/curl.zip"
  if [[ -n $proxy_pid ]]; then kill "$proxy_pid" 2>/dev/null || true; wait "$proxy_pid" 2>/dev/null || true; proxy_pid=; fi
done
