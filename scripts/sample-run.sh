#!/usr/bin/env bash
# sample-run.sh RUN_FOLDER SCHEMALIFT STORESIM SCHEMALIFT_PACK
#
# One run of a built schemalift against the sample store database. The run
# folder is the program's working folder: "db.dat" packed from
# tools/sample/pr_tr by the program's own pack builder, "update.sql" from
# tools/sample, the registry file that names the store database, and the
# simulator's state (store.state), which keeps the database from one run to
# the next.
#
# With a display ($DISPLAY) the window opens for you; the simulator stops
# when you close it. Without one (a server, CI) the script starts Xvfb and
# works the window as a user would: Alt+U, then Enter on every message box,
# then Alt+E, saving a screenshot of each step in the run folder. Either
# way it ends by printing the stage before and after the run and the
# requests that the store database received (all of them, with their full
# texts, in RUN_FOLDER/requests.log).
#
# Set SCHEMALIFT_HEADLESS=1 to take the Xvfb way on a machine with a display.
set -euo pipefail
# Windows are found by their Chinese titles: xdotool reads a title in the
# locale's character set, so the run takes a UTF-8 locale whatever the
# caller's environment (an empty one included).
export LC_ALL=C.UTF-8
if [ $# -ne 4 ]; then
  echo "usage: $0 RUN_FOLDER SCHEMALIFT STORESIM SCHEMALIFT_PACK" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
work=$(cd "$1" && pwd)
abs() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
schemalift=$(abs "$2")
storesim=$(abs "$3")
packer=$(abs "$4")
state=$work/store.state
rm -f "$work"/step-*.png "$work/requests.log"

# The working folder: the update script and the pack of the sample scripts.
cp "$root/tools/sample/update.sql" "$work/update.sql"
(cd "$work" && SCHEMALIFT_SQL_DIR="$root/tools/sample/pr_tr" "$packer")

stage() {
  "$storesim" --state "$state" \
    --query "select sys_var_value from t_sys_system where sys_var_id = 'UPGRADE_DATE'" | paste -sd, -
}
before=$(stage)

sim_pid=
xvfb_pid=
app_pid=
sim_code=0
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || sim_code=$?
    sim_pid=
  fi
}
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  stop_simulator
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  return 0
}
trap cleanup EXIT

# The simulator on a free port of the loopback address.
"$storesim" --port 0 --state "$state" --log "$work/requests.log" >"$work/storesim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$work/storesim.out")
  [ -n "$port" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  cat "$work/storesim.out" >&2
  echo "the store database simulator did not start" >&2
  exit 1
fi

printf '[SOFTWARE\\tandrel]\nSERVERNAME=127.0.0.1,%s\nDATABASE=store\n' "$port" >"$work/registry.ini"
export SCHEMALIFT_REGISTRY=$work/registry.ini
cd "$work"

title="专卖店软件数据库升级"
boxes=0

if [ -n "${DISPLAY:-}" ] && [ -z "${SCHEMALIFT_HEADLESS:-}" ]; then
  echo "schemalift is open; it upgrades when you press 数据库升级(U), and this script goes on when you close it."
  "$schemalift" || true
else
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  if [ ! -s "$work/display" ]; then
    cat "$work/xvfb.log" >&2
    echo "Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=":$(head -1 "$work/display")"
  export QT_QPA_PLATFORM=xcb

  "$schemalift" 2>"$work/schemalift.log" &
  app_pid=$!

  step=0
  shot() {
    step=$((step + 1))
    import -window root "$work/$(printf 'step-%02d' "$step")-$1.png"
  }
  # The program's visible window other than the main window, if any.
  box_window() {
    local id name
    for id in $(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null); do
      name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
      [ -n "$name" ] && [ "$name" != "$title" ] && { echo "$id"; return 0; }
    done
    return 1
  }
  main=
  for _ in $(seq 200); do
    main=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1) && [ -n "$main" ] && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$main" ]; then
    cat "$work/schemalift.log" >&2
    echo "the schemalift window did not open" >&2
    exit 1
  fi
  sleep 0.5  # let the start-up connection finish and the window paint
  if box=$(box_window); then
    # The start-up could not connect: its boxes come before any upgrade.
    shot "connection"
  fi
  shot "window"
  xdotool windowfocus --sync "$main" && xdotool key alt+u

  # Each message box in turn: a screenshot, then Enter. The upgrade is over
  # when no box has come for three seconds.
  quiet=0
  while [ "$quiet" -lt 30 ] && kill -0 "$app_pid" 2>/dev/null; do
    if box=$(box_window); then
      sleep 0.3
      boxes=$((boxes + 1))
      shot "box-$boxes"
      xdotool windowfocus --sync "$box" 2>/dev/null && xdotool key Return
      for _ in $(seq 50); do box_window >/dev/null || break; sleep 0.1; done
      quiet=0
    else
      quiet=$((quiet + 1))
      sleep 0.1
    fi
  done
  shot "done"
  xdotool windowfocus --sync "$main" && xdotool key alt+e
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app_pid" 2>/dev/null; then
    echo "schemalift did not end on Alt+E" >&2
    exit 1
  fi
  app_code=0
  wait "$app_pid" || app_code=$?
  app_pid=
  if [ "$app_code" -ne 0 ]; then
    cat "$work/schemalift.log" >&2
    echo "schemalift ended with exit code $app_code" >&2
    exit 1
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
fi

# The simulator writes its state and its request log when it stops.
stop_simulator
after=$(stage)

echo
echo "== schemalift against the simulated store database (127.0.0.1:$port) =="
echo "stage before: ${before:-none}"
echo "stage after:  ${after:-none}"
[ "$boxes" -gt 0 ] && echo "message boxes answered: $boxes"
ls "$work"/step-*.png >/dev/null 2>&1 && echo "screenshots: $(cd "$work" && ls step-*.png | tr '\n' ' ')(in $work)"
echo "requests the store database received (first line of each; full texts in $work/requests.log):"
awk '
  function flush() { if (head != "") print head (text != "" ? ": " text : "") (more ? " ..." : "") }
  /^#/ { flush(); head = "  " $0; text = ""; more = 0; next }
  {
    line = substr($0, 5)
    if (line !~ /[^ \t]/) next
    if (text == "") text = line; else more = 1
  }
  END { flush() }
' "$work/requests.log"
if [ "$sim_code" -ne 0 ]; then
  cat "$work/storesim.out" >&2
  echo "the simulator ended with exit code $sim_code" >&2
  exit 1
fi
