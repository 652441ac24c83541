#!/usr/bin/env bash
# Installs what is missing, builds, and shows Marrowglen on a built-in sample archive served
# by nginx on loopback: opens the viewer when a display is present, else lists the archive and
# extracts one entry with marrowglen-cli.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
BUILD_DIR=${BUILD_DIR:-$root/build} "$root/scripts/build.sh" >/dev/null
bin=${BUILD_DIR:-$root/build}

work=$(mktemp -d /tmp/marrowglen-demo.XXXXXX)
mkdir -p "$work/www"
/usr/bin/python3 "$root/scripts/make-sample.py" "$work/www/sample.zip" >/dev/null
port=$("$root/scripts/serve.sh" "$work/www" "$work/nginx")
trap 'kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true' EXIT
url="http://127.0.0.1:$port/sample.zip"
export NO_PROXY=127.0.0.1,localhost no_proxy=127.0.0.1,localhost

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x "$bin/ui/marrowglen" ]]; then
  echo "Opening $url in the viewer (close its window to end the demo)"
  "$bin/ui/marrowglen" "$url"
else
  echo "\$ marrowglen-cli list $url"
  "$bin/cli/marrowglen-cli" list "$url"
  echo
  echo "\$ marrowglen-cli extract $url docs/notes.md -d $work/out"
  "$bin/cli/marrowglen-cli" extract -q "$url" docs/notes.md -d "$work/out"
  echo "--- $work/out/docs/notes.md"
  cat "$work/out/docs/notes.md"
fi
