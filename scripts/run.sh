#!/usr/bin/env bash
# Builds schemalift and runs it against the bundled sample store database,
# in the run folder build/run/work (see scripts/sample-run.sh for what the
# run does). The folder keeps the database between runs: the first run
# upgrades from stage "00000000", every later run shows the last stage
# running again; delete build/run/work/store.state to start over.
set -euo pipefail
# Windows are found by their Chinese titles: xdotool reads a title in the
# locale's character set, so the run takes a UTF-8 locale whatever the
# caller's environment (an empty one included).
export LC_ALL=C.UTF-8
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh

bin=$root/build/run
cmake -S . -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DBUILD_BENCH=OFF >/dev/null
cmake --build "$bin" -j "${JOBS:-$(nproc)}" --target schemalift storesim schemalift_pack

exec bash scripts/sample-run.sh "$bin/work" "$bin/upgrade/schemalift" "$bin/tools/storesim/storesim" \
  "$bin/upgrade/schemalift_pack"
