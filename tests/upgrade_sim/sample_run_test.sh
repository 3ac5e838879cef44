#!/usr/bin/env bash
# The README's run without a display, twice on one run folder: the real
# program on Xvfb, worked with xdotool, against the storesim program. The
# first run upgrades from "00000000" through every stage; the second finds
# the last stage recorded and runs only that stage again.
set -u
# Windows are found by their Chinese titles: xdotool reads a title in the
# locale's character set, so the run takes a UTF-8 locale whatever the
# caller's environment (an empty one included).
export LC_ALL=C.UTF-8
repo=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY
export SCHEMALIFT_HEADLESS=1

fail() {
  echo "FAIL: $*" >&2
  echo "$out" >&2
  exit 1
}
has() { grep -qF -- "$1" <<<"$out"; }

out=$(bash "$repo/scripts/sample-run.sh" "$work" "$@" 2>&1) || fail "the first run failed"
has "stage before: 00000000" || fail "first run: stage before"
has "stage after:  20170521" || fail "first run: stage after"
has "message boxes answered: 1" || fail "first run: one box (the loader's success)"
has "batch: drop   INDEX t_sys_pos_status_history.Index_1" || fail "first run: the first stage"
has "batch: update t_sys_menu set menu_id ='6701' where menu_id ='F101'" || fail "first run: the second stage"
for f in step-01-window.png step-02-box-1.png step-03-done.png db.dat update.sql registry.ini store.state \
  requests.log; do
  [ -s "$work/$f" ] || fail "first run: $f missing"
done

out=$(bash "$repo/scripts/sample-run.sh" "$work" "$@" 2>&1) || fail "the second run failed"
has "stage before: 20170521" || fail "second run: stage before"
has "stage after:  20170521" || fail "second run: stage after"
has "message boxes answered: 1" || fail "second run: one box"
has "drop   INDEX" && fail "second run: the first stage ran again"
has "menu_id ='F101'" && fail "second run: the second stage ran again"
has "batch: insert into t_sys_menu values ( '6407'" || fail "second run: the last stage"
has "batch: insert t_sys_oper_grant select distinct" || fail "second run: the grants"
has "batch: create trigger tr_wm_vip_visit_MS on t_wm_vip_visit" || fail "second run: the loader"
echo "two runs: every stage, then only the last one"
