#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
BUILD_DIR=${BUILD_DIR:-$root/build} "$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen NO_PROXY=127.0.0.1,localhost no_proxy=127.0.0.1,localhost
ctest --test-dir "${BUILD_DIR:-$root/build}" --output-on-failure --timeout 300 -j "${JOBS:-2}"
