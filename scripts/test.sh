#!/usr/bin/env bash
# Builds and runs every test: once as a plain build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz targets
# and the Windows build's tests under Wine. Each stage prints its time.
set -euo pipefail
# Windows are found by their Chinese titles: xdotool reads a title in the
# locale's character set, so the run takes a UTF-8 locale whatever the
# caller's environment (an empty one included).
export LC_ALL=C.UTF-8
cd "$(dirname "$0")/.."

started=$SECONDS
stage_start=$SECONDS
stage() {
  echo "== $1 ($((SECONDS - stage_start)) s; $((SECONDS - started)) s in all) =="
  stage_start=$SECONDS
}

bash scripts/install-deps.sh
stage "installed"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== plain build =="
stage_start=$SECONDS
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_BENCH=ON -DWARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build/test -j "$jobs"
ctest --test-dir build/test --output-on-failure -j "$jobs" --timeout 600

stage "plain build and tests done"
echo "== sanitizer build =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 900

stage "sanitizer build and tests done"

# Fuzz targets (clang, libFuzzer): the script pack reader with the loader's
# record loop, the encryption rewrite, the simulator's TDS decoding and its
# SQL engine; FUZZ_SECONDS each (default 30).
# install-deps.sh installs clang: without it this stage fails, never skipped.
echo "== fuzz =="
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_FUZZ=ON \
  -DSANITIZE=ON -DBUILD_TESTING=OFF -DBUILD_BENCH=OFF -DSCHEMALIFT_WITH_QT=OFF >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzz_pack_reader fuzz_get_sql_go fuzz_tds_decoder fuzz_sql_engine
# target:longest input (the SQL engine's texts reach its nesting limit)
for spec in pack_reader:8192 get_sql_go:8192 tds_decoder:8192 sql_engine:65536; do
  target="${spec%%:*}"
  corpus="build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  cp fuzz/corpus/"$target"/* "$corpus"/
  if ! build/fuzz/fuzz/fuzz_"$target" -max_total_time="${FUZZ_SECONDS:-30}" -max_len="${spec#*:}" \
      -artifact_prefix=build/fuzz/ "$corpus" >build/fuzz/"$target".log 2>&1; then
    tail -n 60 build/fuzz/"$target".log
    echo "fuzz_$target found a fault (input saved in build/fuzz/)" >&2
    exit 1
  fi
  tail -n 1 build/fuzz/"$target".log
done

stage "fuzz done"
echo "== windows build (32-bit, cross-compiled, tests under wine) =="
bash scripts/test-windows.sh
stage "windows build and tests done"
