#!/usr/bin/env bash
# Builds and runs every test: once as a plain build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== plain build =="
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_BENCH=ON >/dev/null
cmake --build build/test -j "$jobs"
ctest --test-dir build/test --output-on-failure -j "$jobs" --timeout 600

echo "== sanitizer build =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 900

# Fuzz targets (clang, libFuzzer): the script pack reader with the loader's
# record loop, and the encryption rewrite; FUZZ_SECONDS each (default 30).
if command -v clang++ >/dev/null 2>&1; then
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
fi

echo "== windows build (32-bit, cross-compiled, tests under wine) =="
bash scripts/test-windows.sh
