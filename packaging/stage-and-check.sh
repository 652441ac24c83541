#!/usr/bin/env bash
# Installs a build into a scratch folder with `cmake --install` and checks the tree there:
#   packaging/stage-and-check.sh BUILD_DIR STAGE_DIR
set -euo pipefail
build=${1:?usage: stage-and-check.sh BUILD_DIR STAGE_DIR}
stage=${2:?usage: stage-and-check.sh BUILD_DIR STAGE_DIR}
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null
exec bash "$(dirname "$0")/check-install-tree.sh" "$stage"
