#!/usr/bin/env bash
# Serves a folder with nginx on a free loopback port, in the foreground of a private prefix.
# Usage: scripts/serve.sh FOLDER STATEDIR  → prints the port; nginx runs until
#        `kill $(cat STATEDIR/nginx.pid)`.
set -euo pipefail
folder=$(cd "$1" && pwd)
state=$2
mkdir -p "$state"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$state/nginx.conf" <<CONF
worker_processes 1;
# One process running as the caller, so private folders can be served.
master_process off;
daemon on;
pid $state/nginx.pid;
error_log $state/error.log;
events { worker_connections 64; }
http {
  access_log $state/access.log;
  client_body_temp_path $state;
  proxy_temp_path $state;
  fastcgi_temp_path $state;
  uwsgi_temp_path $state;
  scgi_temp_path $state;
  types { application/zip zip; }
  server {
    listen 127.0.0.1:$port;
    root $folder;
  }
}
CONF
nginx -c "$state/nginx.conf" -p "$state" 2>/dev/null
echo "$port"
