#!/usr/bin/env bash
# Runs a Windows program under Wine the way the tests need it: in the
# project's own prefix, quiet, and with the Chinese ANSI code page (936),
# which Wine takes from the locale: zh_CN.UTF-8, or WINE_LOCALE (the upgrade
# test uses zh_CN.GBK, so that FreeTDS takes ANSI text as GBK). CMake uses
# it as the emulator of the Windows build, so `ctest --test-dir build/win32`
# runs the test programs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

export WINEPREFIX="${WINEPREFIX:-$root/build/win32/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Under qemu-i386 (a kernel without IA-32 emulation) a guest address space
# just above 2 GB keeps Wine's start-up address reservations short.
export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0x81000000}"

exec env LC_ALL="${WINE_LOCALE:-zh_CN.UTF-8}" wine "$@"
