#!/usr/bin/env bash
# cold.sh BUILD_DIR loader [SAMPLES]
# cold.sh BUILD_DIR upgrade [SAMPLES]
#
# Cold figures: every sample is a fresh process of upgrade_cold (built with
# -DBUILD_BENCH=ON), and the cases take turns so that the noise of a shared
# machine falls on all of them alike. Prints each case's median and the
# ratios of the medians.
#
# loader:  the loader's first load of packs of 2,500, 10,000 and 40,000
#          records (1x, 4x, 16x; about 5, 20 and 80 MB).
# upgrade: the whole upgrade from "00000000" (every stage, update.sql, the
#          grants, the loader with the sample pack), the program and the
#          storesim program as two processes on loopback, against as many
#          trivial requests on one ODBC connection to a storesim process of
#          its own. Each sample starts its own simulator with the fresh
#          sample store. Both times run from the start of the client's main
#          (connecting included) to the end of its last request; "wall" is
#          the client process from start to exit, as the shell sees it.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_DIR loader|upgrade [SAMPLES]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
what=$2
samples=${3:-15}
cold=$build/bench/upgrade_cold/upgrade_cold
storesim=$build/tools/storesim/storesim
[ -x "$cold" ] || { echo "no $cold: build with -DBUILD_BENCH=ON" >&2; exit 1; }

scratch=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  rm -rf "$scratch"
  return 0
}
trap cleanup EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
now_ns() { date +%s%N; }

# One timed run of upgrade_cold: appends "ms wall_ms [work_ms]" to FILE.
sample() {
  local file=$1
  shift
  local t0 t1 out ms work cpu
  t0=$(now_ns)
  if ! out=$("$cold" "$@"); then
    # On a busy machine a login now and then runs out of time: once more
    # (not an upgrade, which may have changed the database before failing).
    [ "$1" = upgrade ] && exit 1
    echo "cold.sh: a failed sample ($*), taken again" >&2
    t0=$(now_ns)
    out=$("$cold" "$@")
  fi
  t1=$(now_ns)
  ms=$(sed -n 's/^ms=\([0-9.]*\).*/\1/p' <<<"$out")
  work=$(sed -n 's/.*work_ms=\([0-9.]*\).*/\1/p' <<<"$out")
  cpu=$(sed -n 's/.*cpu_ms=\([0-9.]*\).*/\1/p' <<<"$out")
  faults=$(sed -n 's/.*faults=\([0-9]*\).*/\1/p' <<<"$out")
  echo "$ms $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e6 }') $work$cpu ${faults}" >>"$file"
}

case $what in
loader)
  sizes="2500 10000 40000"
  for n in $sizes; do "$cold" pack "$scratch/p$n" "$n"; done
  for s in $(seq "$samples"); do
    # A different order each round.
    order=$sizes
    case $((s % 3)) in
      1) order="10000 40000 2500" ;;
      2) order="40000 2500 10000" ;;
    esac
    for n in $order; do sample "$scratch/t$n" load "$scratch/p$n" "$n"; done
  done
  base=
  base_cpu=
  for n in $sizes; do
    m=$(cut -d' ' -f1 "$scratch/t$n" | median)
    c=$(cut -d' ' -f3 "$scratch/t$n" | median)
    f=$(cut -d' ' -f4 "$scratch/t$n" | median)
    [ -z "$base" ] && base=$m && base_cpu=$c
    mb=$(awk -v b="$(stat -c %s "$scratch/p$n/db.dat")" 'BEGIN { printf "%.1f", b / 1e6 }')
    echo "first load, $n records ($mb MB): median $m ms, $(ratio "$m" "$base")x the 2,500-record pack;" \
      "processor time $c ms, $(ratio "$c" "$base_cpu")x; $f page faults ($samples samples)"
  done
  ;;
upgrade)
  [ -x "$storesim" ] || { echo "no $storesim" >&2; exit 1; }
  work=$scratch/work
  "$cold" prepare "$work"
  start_sim() {
    "$storesim" --port 0 ${1:+--log "$1"} >"$scratch/sim.out" 2>&1 &
    sim_pid=$!
    port=
    for _ in $(seq 200); do
      port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$scratch/sim.out")
      [ -n "$port" ] && return 0
      kill -0 "$sim_pid" 2>/dev/null || break
      sleep 0.05
    done
    cat "$scratch/sim.out" >&2
    echo "the simulator did not start" >&2
    exit 1
  }
  stop_sim() {
    kill -TERM "$sim_pid"
    wait "$sim_pid" || true
    sim_pid=
  }
  # How many requests the upgrade makes, logins aside, and how many of
  # them come before the press of Alt+U.
  count() { echo $(($(grep -c '^#' "$1") - $(grep -c '^#[0-9]* login' "$1"))); }
  start_sim "$scratch/requests.log"
  "$cold" upgrade "$work" "$port" >/dev/null
  stop_sim
  trips=$(count "$scratch/requests.log")
  logins=$(grep -c '^#[0-9]* login' "$scratch/requests.log")
  start_sim "$scratch/start.log"
  "$cold" start "$work" "$port" >/dev/null
  stop_sim
  pressed_trips=$((trips - $(count "$scratch/start.log")))
  for s in $(seq "$samples"); do
    if [ $((s % 2)) -eq 1 ]; then order="upgrade trivial"; else order="trivial upgrade"; fi
    for c in $order; do
      start_sim
      if [ "$c" = upgrade ]; then
        sample "$scratch/upgrade" upgrade "$work" "$port"
      else
        sample "$scratch/trivial" trivial "$port" "$trips"
      fi
      stop_sim
      start_sim
      if [ "$c" = upgrade ]; then
        sample "$scratch/trivial_pressed" trivial "$port" "$pressed_trips"
      fi
      stop_sim
    done
  done
  up=$(cut -d' ' -f1 "$scratch/upgrade" | median)
  fl=$(cut -d' ' -f1 "$scratch/trivial" | median)
  upw=$(cut -d' ' -f2 "$scratch/upgrade" | median)
  flw=$(cut -d' ' -f2 "$scratch/trivial" | median)
  pairs=$(paste -d' ' "$scratch/upgrade" "$scratch/trivial" | awk '{ print $1 / $4 }' | median)
  upp=$(cut -d' ' -f3 "$scratch/upgrade" | median)
  flp=$(cut -d' ' -f3 "$scratch/trivial_pressed" | median)
  pairsp=$(paste -d' ' "$scratch/upgrade" "$scratch/trivial_pressed" | awk '{ print $3 / $6 }' | median)
  echo "requests of the upgrade: $trips (and $logins login), $pressed_trips of them after the press of Alt+U"
  echo "client run, connecting included ($samples samples):"
  echo "  whole upgrade:            median $up ms (wall $upw ms)"
  echo "  $trips trivial requests:    median $fl ms (wall $flw ms)"
  echo "  ratio of the medians: $(ratio "$up" "$fl") (wall $(ratio "$upw" "$flw")); median of the paired ratios: $(printf '%.2f' "$pairs")"
  echo "from the press of Alt+U, against the requests after connecting:"
  echo "  upgrade:                  median $upp ms"
  echo "  $pressed_trips trivial requests:    median $flp ms"
  echo "  ratio of the medians: $(ratio "$upp" "$flp"); median of the paired ratios: $(printf '%.2f' "$pairsp")"
  ;;
*)
  echo "usage: $0 BUILD_DIR loader|upgrade [SAMPLES]" >&2
  exit 2
  ;;
esac
