#!/usr/bin/env bash
# Installs what the build, the tests and the program need on Debian 12.
# Idempotent: packages already present are left alone.
set -euo pipefail

pkgs=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev
  unixodbc unixodbc-dev tdsodbc
  qt6-base-dev libgl1-mesa-dev fonts-wqy-zenhei
  xvfb xdotool x11-apps x11-utils imagemagick
  clang libclang-rt-14-dev
)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
