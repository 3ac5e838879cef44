#!/usr/bin/env bash
# One full upgrade of the sample store database by schemalift.exe under
# Wine, against the store-database simulator (a Linux program) on the
# loopback address, compared with the same upgrade by the Linux program.
#
#   win32_upgrade_test.sh PROGRAM.exe STORESIM SCHEMALIFT_PACK SCHEMALIFT [SCREENSHOT.png]
#
# STORESIM, SCHEMALIFT_PACK and SCHEMALIFT are programs of a Linux build.
# Both runs start from a fresh sample store ("00000000") with the same
# db.dat (packed from tools/sample/pr_tr) and update.sql; the Linux run goes
# through scripts/sample-run.sh. The Windows run: the window opens without
# a box (the connection works), Alt+U upgrades through every stage and ends
# with the loader's one box, Alt+E ends the program with exit code 0. Then
# both databases must dump the same, and the Windows run's requests must
# hold the stages, the grants and the loader's trigger.
#
# Wine's odbc32 hands the ODBC calls to the host's 32-bit unixODBC in the
# same process; the test gives it the driver "SQL Server" (FreeTDS) in an
# odbcinst.ini of its own. The program runs in the host locale zh_CN.GBK:
# Wine keeps the ANSI code page 936 and FreeTDS takes the text of the ANSI
# calls as GBK, as Windows' SQL Server driver takes it in the ANSI code
# page. (Under a UTF-8 host locale FreeTDS would read GBK bytes as
# ISO-8859-1 and the Chinese texts would reach the server garbled; the
# comparison of the two databases below catches that.)
set -u
# Windows are found by their Chinese titles: xdotool reads a title in the
# locale's character set, so the run takes a UTF-8 locale whatever the
# caller's environment (an empty one included).
export LC_ALL=C.UTF-8
root="$(cd "$(dirname "$0")/../.." && pwd)"
program=$(realpath "$1")
storesim=$(realpath "$2")
packer=$(realpath "$3")
native=$(realpath "$4")
shot=${5:+$(realpath -m "$5")}
work=$(mktemp -d)
sim_pid=
. "$root/tests/window/wine_display.sh"
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null
    wait "$sim_pid" || fail "the simulator ended with exit code $?"
    sim_pid=
  fi
}
trap 'stop_display; [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT

tds_driver=/usr/lib/i386-linux-gnu/odbc/libtdsodbc.so
[ -f "$tds_driver" ] || fail "no 32-bit FreeTDS ODBC driver ($tds_driver; Debian's tdsodbc:i386)"
locale -a 2>/dev/null | grep -qix 'zh_CN\.gbk' || fail "no zh_CN.GBK locale (scripts/install-deps-windows.sh makes it)"

# The same upgrade by the Linux program: the reference.
mkdir -p "$work/linux"
(unset DISPLAY; SCHEMALIFT_HEADLESS=1 bash "$root/scripts/sample-run.sh" "$work/linux" "$native" "$storesim" "$packer") \
  >"$work/linux.out" 2>&1 || { cat "$work/linux.out" >&2; fail "the Linux run failed"; }
grep -q "stage after:  20170521" "$work/linux.out" || { cat "$work/linux.out" >&2; fail "the Linux run did not upgrade"; }

# The Windows program's folder: the same pack and update script.
run="$work/windows"
mkdir -p "$run" "$work/odbc"
cp "$work/linux/db.dat" "$work/linux/update.sql" "$run/"
printf '[SQL Server]\nDriver=%s\n' "$tds_driver" >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
export ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini"

state="$run/store.state"
[ "$("$storesim" --state "$state" --query "select sys_var_value from t_sys_system where sys_var_id = 'UPGRADE_DATE'")" = 00000000 ] \
  || fail "the fresh sample store is not at stage 00000000"
"$storesim" --port 0 --state "$state" --log "$run/requests.log" >"$work/storesim.out" 2>&1 &
sim_pid=$!
port=
wait_for 10 grep -q '^listening on 127\.0\.0\.1:' "$work/storesim.out" || fail "the simulator did not start"
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$work/storesim.out")

start_display
set_store_key "127.0.0.1,$port" store
cd "$run"
WINE_LOCALE=zh_CN.GBK start_program "$program"

title="专卖店软件数据库升级"
box_title="岚舟商业管理软件"
main=$(window "$title") || fail "the window did not open"
# The start-up connection: no box may come.
sleep 5
[ -z "$(find_window "$box_title")" ] || fail "the program could not connect to the simulator"
press "$main" alt+u
# Every stage, the update script, the grants, then the loader's success box.
answer_box "$box_title" "the loader's box" 300
sleep 5
[ -z "$(find_window "$box_title")" ] || fail "a second box came after the loader's"
if [ -n "$shot" ]; then
  mkdir -p "$(dirname "$shot")"
  import -window root -depth 8 "$shot" || fail "no screenshot"
fi
main=$(window "$title") || fail "the window is gone"
end_with_alt_e "$main"
stop_simulator

# The two databases end the same.
"$storesim" --state "$work/linux/store.state" --dump >"$work/linux.dump" || fail "no dump of the Linux run"
"$storesim" --state "$state" --dump >"$work/windows.dump" || fail "no dump of the Windows run"
[ -s "$work/linux.dump" ] || fail "the Linux run's dump is empty"
if ! cmp -s "$work/linux.dump" "$work/windows.dump"; then
  diff "$work/linux.dump" "$work/windows.dump" | head -40 >&2
  fail "the Windows run left the store database different from the Linux run"
fi
for text in "drop   INDEX t_sys_pos_status_history.Index_1" \
  "update t_sys_menu set menu_id ='6701' where menu_id ='F101'" \
  "insert t_sys_oper_grant select distinct" \
  "create trigger tr_wm_vip_visit_MS on t_wm_vip_visit"; do
  grep -qF -- "$text" "$run/requests.log" || fail "the simulator did not receive: $text"
done
echo "schemalift.exe upgraded the sample store from 00000000 to 20170521 as the Linux program does"
