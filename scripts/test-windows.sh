#!/usr/bin/env bash
# Cross-builds the Windows side for 32-bit Windows (build/win32) and runs
# its tests under Wine, headless, in a prefix of its own
# (build/win32/wineprefix, made once and then reused) whose ANSI code page
# is 936.
set -euo pipefail
# Windows are found by their Chinese titles: xdotool reads a title in the
# locale's character set, so the run takes a UTF-8 locale whatever the
# caller's environment (an empty one included).
export LC_ALL=C.UTF-8
cd "$(dirname "$0")/.."
root="$(pwd)"
build=build/win32
jobs="${JOBS:-$(nproc)}"

step() { echo "-- $1: ${SECONDS}s"; SECONDS=0; }

SECONDS=0
bash scripts/install-deps.sh
bash scripts/install-deps-windows.sh
step "install"

# The Linux programs that the Windows program's upgrade test runs beside it
# (the simulator, the pack builder, and the Linux program for comparison),
# from the plain build of scripts/test.sh.
host=build/test
if [ ! -f "$host/build.ninja" ]; then
  cmake -S . -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_BENCH=ON >/dev/null
fi
cmake --build "$host" -j "$jobs" --target storesim schemalift_pack schemalift
step "linux programs"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" \
  -DHOST_BUILD_DIR="$root/$host" \
  -DBUILD_TESTING=ON -DBUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"
step "cross build"

export WINEPREFIX="$root/$build/wineprefix"
export WINEDEBUG=-all
export QEMU_RESERVED_VA=0x81000000
mkdir -p "$WINEPREFIX"

# One wineserver for the whole run keeps Wine's services up between the
# programs; it goes when the run ends.
cleanup() { wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT
wineserver -p </dev/null >/dev/null 2>&1 || true

nls='HKLM\System\CurrentControlSet\Control\Nls\CodePage'
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  scripts/wine-run.sh wineboot --init </dev/null >/dev/null 2>&1
  # Wine derives the ANSI code page from the locale (wine-run.sh runs every
  # program under zh_CN) and records it here at each start; the value is
  # set as well for programs started without that locale.
  scripts/wine-run.sh reg add "$nls" /v ACP /t REG_SZ /d 936 /f </dev/null >/dev/null 2>&1
  # A program that crashes ends with its exception instead of waiting in
  # the debugger that Wine would start for it.
  for view in 32 64; do
    scripts/wine-run.sh reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /f /reg:$view </dev/null >/dev/null 2>&1 || true
  done
fi
if ! scripts/wine-run.sh reg query "$nls" /v ACP </dev/null 2>/dev/null | grep -q 'ACP.*936'; then
  echo "the Wine prefix does not report the ANSI code page 936" >&2
  exit 1
fi
step "wine prefix"

ctest --test-dir "$build" --verbose --timeout 900
step "tests under wine"

# The developer build of the program (its pack-builder controls shown),
# started once under Wine the way the ctest test starts the delivered one.
cmake -S . -B "$build-dev" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" \
  -DBUILD_TESTING=OFF -DBUILD_BENCH=OFF -DSCHEMALIFT_DEVELOPER=ON >/dev/null
cmake --build "$build-dev" -j "$jobs" --target schemalift
timeout 200 bash tests/window/win32_program_test.sh "$build-dev/upgrade/schemalift.exe" \
  "$build-dev/screenshots/window-win32-developer.png" developer
step "developer program under wine"
