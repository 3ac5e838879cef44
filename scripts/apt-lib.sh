# Shared by the install scripts: apt-get as root, patient with the dpkg
# lock, and an index update that a mirror caught mid-sync cannot stop.
# Source it; it defines apt_get, apt_update and installed.

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

apt_get() { $SUDO apt-get -o DPkg::Lock::Timeout=300 "$@"; }

# Loud enough to be seen in a long CI log.
apt_warn() {
  {
    echo "################################################################"
    printf '# %s\n' "$@"
    echo "################################################################"
  } >&2
}

# apt-get update, tried a few times. A mirror in the middle of a sync can
# serve an index that does not match its signed Release file, for days; apt
# then leaves that index out and exits non-zero. After the last try the
# install goes on without the indexes named in the warning: what they would
# have offered is not to be had from this mirror now.
apt_update() {
  local log tries=${APT_UPDATE_TRIES:-3} i
  log=$(mktemp)
  for i in $(seq 1 "$tries"); do
    if apt_get update -qq >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    echo "apt-get update failed (try $i of $tries):" >&2
    grep -E '^(E|W|Err):' "$log" >&2 || tail -n 5 "$log" >&2
    [ "$i" -lt "$tries" ] && sleep 5
  done
  local left_out
  left_out=$(grep -oE 'Failed to fetch [^ ]+' "$log" | sed 's/Failed to fetch //' | sort -u)
  rm -f "$log"
  if [ -z "$left_out" ]; then
    echo "apt-get update failed and named no index that it left out; giving up" >&2
    return 1
  fi
  # shellcheck disable=SC2086
  apt_warn "apt-get update could not fetch these indexes and goes on without them:" \
    $left_out \
    "Packages are chosen from the indexes that did download."
}
