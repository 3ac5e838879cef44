#!/usr/bin/env bash
# Installs what the Windows build and its tests need on Debian 12: the
# MinGW-w64 cross compiler for 32-bit Windows and Wine (32-bit, with the
# 64-bit wineserver). Where this machine's kernel cannot start 32-bit x86
# programs (IA-32 emulation switched off), 32-bit programs are run through
# qemu-user: the script installs it and registers it with binfmt_misc.
# Idempotent: what is already in place is left alone.
set -euo pipefail

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# apt-get, retried while another apt or dpkg holds the lock.
apt_retry() {
  local i
  for i in $(seq 1 30); do
    if $SUDO apt-get -o DPkg::Lock::Timeout=60 "$@"; then return 0; fi
    echo "apt-get $1 failed (attempt $i); retrying" >&2
    sleep 10
  done
  return 1
}

install_missing() {
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  apt_retry update -qq
  apt_retry install -y -qq --no-install-recommends "${missing[@]}"
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  apt_retry update -qq
fi

install_missing g++-mingw-w64-i686 wine wine32:i386 wine64
# Wine's odbc32 hands ODBC calls to the host's unixODBC inside the same
# 32-bit process: the i386 driver manager and FreeTDS driver let a Windows
# program reach the store simulator (driver "SQL Server" in an
# odbcinst.ini named by ODBCSYSINI).
install_missing libodbc2:i386 tdsodbc:i386

# The host locale zh_CN.GBK: a Windows program run in it has the ANSI code
# page 936 in Wine, and FreeTDS takes the text of its ANSI calls as GBK.
install_missing locales
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.gbk'; then
  $SUDO localedef -i zh_CN -f GBK zh_CN.GBK
fi

# Can this kernel start a 32-bit x86 program?
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

if ! runs_32bit; then
  install_missing qemu-user-static
  binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e "$binfmt/register" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # 32-bit x86 ELF executables and shared objects go to qemu-i386.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::${magic}:${mask}:/usr/bin/qemu-i386-static:FP" | $SUDO tee "$binfmt/register" >/dev/null
  fi
  if ! runs_32bit; then
    echo "32-bit x86 programs cannot run on this machine, even through qemu-i386" >&2
    exit 1
  fi
fi
