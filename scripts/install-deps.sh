#!/usr/bin/env bash
# Installs what building and testing Marrowglen needs on Debian 12 (run as root).
# Skips apt entirely when everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-format
  zlib1g-dev libcurl4-openssl-dev qt6-base-dev
  libbz2-dev liblzma-dev libzstd-dev libssl-dev 7zip zstd xz-utils
  libgtest-dev libgmock-dev
  nginx-light openssl python3 python3-pyftpdlib
  zip unzip bzip2 7zip xvfb xauth trayer xdg-utils desktop-file-utils procps
  dpkg-dev file man-db bash-completion appstream
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# nginx-light's package starts a system-wide server on port 80; the tests start their own.
if command -v systemctl >/dev/null 2>&1; then systemctl disable --now nginx >/dev/null 2>&1 || true; fi
