#!/usr/bin/env bash
# The schemalift program itself on a virtual X display: it starts with a
# command line it ignores, shows its window, reports the connection that
# cannot be made (two boxes, each closed with Enter), and ends with exit
# code 0 when Alt+E presses its exit button.
set -u
# Windows are found by their Chinese titles: xdotool reads a title in the
# locale's character set, so the run takes a UTF-8 locale whatever the
# caller's environment (an empty one included).
export LC_ALL=C.UTF-8
program=$1
work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -s "$work/program.log" ] && cat "$work/program.log" >&2
  exit 1
}

# Xvfb picks a free display and tells us its number.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -1 "$work/display")"
export QT_QPA_PLATFORM=xcb

# Nothing listens on port 1 of the loopback address.
printf '[SOFTWARE\\tandrel]\nSERVERNAME=127.0.0.1,1\nDATABASE=store\n' >"$work/registry.ini"
export SCHEMALIFT_REGISTRY="$work/registry.ini"

cd "$work"
"$program" --unused "command line" /x 2>"$work/program.log" &
app_pid=$!

# The id of the first visible window whose title is $1, waiting for it.
window() {
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$app_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
gone() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -qx "$2" || return 0
    sleep 0.1
  done
  return 1
}

window "专卖店软件数据库升级" >/dev/null || fail "the window did not open"
for n in 1 2; do
  box=$(window "岚舟商业管理软件") || fail "box $n did not come"
  xdotool windowfocus --sync "$box" && xdotool key Return
  gone "岚舟商业管理软件" "$box" || fail "box $n did not close"
done

main=$(window "专卖店软件数据库升级") || fail "the window is gone"
xdotool windowfocus --sync "$main" && xdotool key alt+e
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "Alt+E did not end the program"
wait "$app_pid"
code=$?
app_pid=
[ "$code" -eq 0 ] || fail "exit code $code"
echo "schemalift started, reported the connection, and ended with exit code 0"
