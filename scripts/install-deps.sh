#!/usr/bin/env bash
# Installs what the build, the tests and the program need on Debian 12.
# Idempotent: packages already present are left alone.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=scripts/apt-lib.sh
. "$here/apt-lib.sh"

pkgs=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev
  unixodbc unixodbc-dev tdsodbc
  qt6-base-dev libgl1-mesa-dev fonts-wqy-zenhei
  # xvfb-run needs xauth, which xvfb only recommends.
  xvfb xauth xdotool x11-apps x11-utils imagemagick
  clang libclang-rt-14-dev
)

missing=()
for p in "${pkgs[@]}"; do
  installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  apt_update
  apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi
