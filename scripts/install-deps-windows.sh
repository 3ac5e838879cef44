#!/usr/bin/env bash
# Installs what the Windows build and its tests need on Debian 12: the
# MinGW-w64 cross compiler for 32-bit Windows and Wine (32-bit, with the
# 64-bit wineserver). Where this machine's kernel cannot start 32-bit x86
# programs (IA-32 emulation switched off), 32-bit programs are run through
# qemu-user: the script installs it and registers it with binfmt_misc.
# Idempotent: what is already in place is left alone.
#
# 32-bit Wine needs the i386 architecture beside amd64, and every
# "Multi-Arch: same" library in both at one version. A mirror whose i386
# and amd64 indexes are out of step (an i386 index left out by a sync in
# progress, while the amd64 side and the installed libraries come from a
# newer one) cannot give that. The install then pins those libraries'
# source packages, on both architectures, to the newest version that both
# indexes offer, for this install only (nothing is left in /etc/apt), and
# prints every library that this moves back: see align_multiarch below.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=scripts/apt-lib.sh
. "$here/apt-lib.sh"

windows_pkgs=(g++-mingw-w64-i686 wine wine32:i386 wine64
  # Wine's odbc32 hands ODBC calls to the host's unixODBC inside the same
  # 32-bit process: the i386 driver manager and FreeTDS driver let a
  # Windows program reach the store simulator (driver "SQL Server" in an
  # odbcinst.ini named by ODBCSYSINI).
  libodbc2:i386 tdsodbc:i386
  locales)

# newest_common_versions PACKAGE...
# Prints "PACKAGE VERSION" for each package: the newest version that both
# the amd64 and the i386 indexes offer (none printed where they share none).
newest_common_versions() {
  local args=() n
  for n in "$@"; do args+=("$n:amd64" "$n:i386"); done
  apt-cache madison "${args[@]}" 2>/dev/null | awk -F'|' '
    { name = $1; ver = $2; gsub(/ /, "", name); gsub(/ /, "", ver)
      arch = ($3 ~ / i386 Packages/) ? "i386" : ($3 ~ / amd64 Packages/) ? "amd64" : ""
      sub(/:.*/, "", name)
      if (arch != "") print name, arch, ver }' | sort -u |
  awk '{ n[$1 " " $3]++ } END { for (k in n) if (n[k] == 2) print k }' |
  while read -r n v; do echo "$n $v"; done |
  sort -k1,1 | {
    local pkg="" best="" p v
    while read -r p v; do
      if [ "$p" != "$pkg" ]; then
        [ -n "$pkg" ] && echo "$pkg $best"
        pkg=$p best=$v
      elif dpkg --compare-versions "$v" gt "$best"; then
        best=$v
      fi
    done
    [ -n "$pkg" ] && echo "$pkg $best"
    true
  }
}

# align_multiarch PREFS PACKAGE...
# Writes to PREFS an apt preferences file that pins, for every Multi-Arch:
# same package of the dependency closure of PACKAGE... whose amd64 and i386
# candidates differ, its source package on both architectures to the newest
# version both architectures' indexes offer. Pinning the source and not the
# binary packages moves the whole source back together (its -dev packages
# included) instead of removing what depends on a single binary.
align_multiarch() {
  local prefs=$1; shift
  local names=() args=() skewed=() n
  mapfile -t names < <(apt-cache depends --recurse --no-recommends --no-suggests \
      --no-conflicts --no-breaks --no-replaces --no-enhances "$@" 2>/dev/null |
    grep -E '^[a-z0-9].*:i386$' | sed 's/:i386$//' | sort -u)
  for n in "${names[@]}"; do args+=("$n:amd64" "$n:i386"); done
  [ ${#args[@]} -eq 0 ] && return 1
  # Candidates of both architectures; "apt-cache policy" names the native
  # one without its architecture.
  mapfile -t skewed < <(apt-cache policy "${args[@]}" 2>/dev/null | awk '
    /^[^ ]/ { pkg = $1; sub(/:$/, "", pkg); if (pkg !~ /:/) pkg = pkg ":amd64" }
    /Candidate:/ { split(pkg, p, ":"); v[p[1] " " p[2]] = $2; seen[p[1]] = 1 }
    END { for (k in seen) if (v[k " amd64"] != "(none)" && v[k " i386"] != "(none)" &&
                             v[k " amd64"] != v[k " i386"]) print k }' | sort)
  [ ${#skewed[@]} -eq 0 ] && return 1
  local i386_args=()
  for n in "${skewed[@]}"; do i386_args+=("$n:i386"); done
  # Package, source and Multi-Arch of each skewed package's i386 candidate.
  local pkg src ma version
  declare -A pinned=() common=()
  while read -r pkg version; do common[$pkg]=$version; done < <(newest_common_versions "${skewed[@]}")
  : >"$prefs"
  while read -r pkg src ma; do
    [ "$ma" = same ] || continue
    version=${common[$pkg]:-}
    if [ -z "$version" ]; then
      echo "no version of $pkg is offered for both amd64 and i386" >&2
      return 1
    fi
    [ -n "${pinned[$src]:-}" ] && continue
    pinned[$src]=$version
    printf 'Package: src:%s:any\nPin: version %s\nPin-Priority: 1001\n\n' "$src" "$version" >>"$prefs"
    printf '  %-28s %s\n' "$src" "$version" >&2
  done < <(apt-cache show --no-all-versions "${i386_args[@]}" 2>/dev/null | awk '
    /^Package:/ { pkg = $2; src = $2; ma = "no" }
    /^Source:/ { src = $2 }
    /^Multi-Arch:/ { ma = $2 }
    /^$/ { if (pkg != "") print pkg, src, ma; pkg = "" }
    END { if (pkg != "") print pkg, src, ma }')
  [ ${#pinned[@]} -gt 0 ]
}

install_windows_pkgs() {
  local missing=() p
  for p in "${windows_pkgs[@]}"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  apt_update

  local opts=(-y -qq --no-install-recommends)
  if apt_get -s install "${opts[@]}" "${missing[@]}" >/dev/null 2>&1; then
    [ -n "$dry_run" ] && { echo "the Windows set installs as the indexes stand"; return 0; }
    apt_get install "${opts[@]}" "${missing[@]}"
    return
  fi

  echo "apt cannot install the Windows set as the indexes stand:" >&2
  apt_get -s install "${opts[@]}" "${missing[@]}" 2>&1 | grep -E '^ |^E:' | head -n 20 >&2 || true
  echo "aligning the amd64 and i386 versions of these Multi-Arch: same sources:" >&2
  local prefs
  prefs=$(mktemp --suffix=.pref)
  # shellcheck disable=SC2064
  trap "rm -f '$prefs'" EXIT
  if ! align_multiarch "$prefs" "${missing[@]}"; then
    echo "no Multi-Arch: same package differs between amd64 and i386; the install cannot be resolved" >&2
    apt_get -s install "${opts[@]}" "${missing[@]}" >&2 || true
    return 1
  fi
  opts+=(--allow-downgrades -o "Dir::Etc::Preferences=$prefs")
  local plan
  if ! plan=$(apt_get -s install "${opts[@]}" "${missing[@]}" 2>&1); then
    echo "$plan" >&2
    echo "the install cannot be resolved even with the versions aligned" >&2
    return 1
  fi
  # What the alignment costs the host: installed packages moved back.
  local back
  back=$(awk '/^Inst / && $3 ~ /^\[/ { old = $3; gsub(/[][]/, "", old); new = $4; sub(/^\(/, "", new); print $2, old, new }' <<<"$plan" |
    while read -r p old new; do
      if dpkg --compare-versions "$new" lt "$old"; then printf '%s %s -> %s\n' "$p" "$old" "$new"; fi
    done)
  if [ -n "$back" ]; then
    local lines
    mapfile -t lines <<<"$back"
    apt_warn "To install 32-bit Wine, these installed packages go back to the version" \
      "that both the amd64 and the i386 index offer:" "" "${lines[@]}" "" \
      "A later 'apt-get upgrade', once the mirror serves both indexes whole," \
      "lifts both architectures together."
  fi
  if grep -q '^Remv ' <<<"$plan"; then
    echo "the aligned install would remove packages; refusing:" >&2
    grep '^Remv ' <<<"$plan" >&2
    return 1
  fi
  if [ -n "$dry_run" ]; then
    echo "$plan"
    return 0
  fi
  apt_get install "${opts[@]}" "${missing[@]}"
}

# --dry-run: show what the install would do, and change nothing.
dry_run=
[ "${1:-}" = --dry-run ] && dry_run=1

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  echo "added the i386 architecture to dpkg" >&2
fi
install_windows_pkgs
[ -n "$dry_run" ] && exit 0

# The host locale zh_CN.GBK: a Windows program run in it has the ANSI code
# page 936 in Wine, and FreeTDS takes the text of its ANSI calls as GBK.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.gbk'; then
  $SUDO localedef -i zh_CN -f GBK zh_CN.GBK
fi

# Can this kernel start a 32-bit x86 program?
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

if ! runs_32bit; then
  if ! installed qemu-user-static; then
    apt_get install -y -qq --no-install-recommends qemu-user-static || {
      apt_update
      apt_get install -y -qq --no-install-recommends qemu-user-static
    }
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e "$binfmt/register" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # 32-bit x86 ELF executables and shared objects go to qemu-i386.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::${magic}:${mask}:/usr/bin/qemu-i386-static:FP" | $SUDO tee "$binfmt/register" >/dev/null
    echo "registered qemu-i386 with binfmt_misc for 32-bit x86 programs" >&2
  fi
  if ! runs_32bit; then
    echo "32-bit x86 programs cannot run on this machine, even through qemu-i386" >&2
    exit 1
  fi
fi
