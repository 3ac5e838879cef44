#!/usr/bin/env bash
# schemalift.exe under Wine on a virtual X display: it shows its window,
# reports the connection that cannot be made (two boxes, each closed with
# Enter), and ends with exit code 0 when Alt+E presses its exit button.
#
#   win32_program_test.sh PROGRAM.exe [SCREENSHOT.png] [developer]
#
# With a screenshot path, the screen is saved once the boxes are closed.
# "developer" expects the developer controls (put, get, Proc&Trigger) to be
# shown; otherwise they must be hidden.
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
program=$(realpath "$1")
shot=${2:+$(realpath -m "$2")}
mode=${3:-delivered}
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
  [ -s "$work/program.log" ] && tail -20 "$work/program.log" >&2
  exit 1
}
# Under qemu a Wine program starts slowly: waits are long, but bounded.
wait_for() {  # wait_for SECONDS COMMAND...
  local until=$((SECONDS + $1))
  shift
  while [ $SECONDS -lt $until ]; do
    "$@" && return 0
    sleep 0.5
  done
  return 1
}

Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -1 "$work/display")"

# The store's server is looked up in the registry; nothing listens on port
# 1 of the loopback address.
key='HKLM\SOFTWARE\tandrel'
"$root/scripts/wine-run.sh" reg add "$key" /v SERVERNAME /t REG_SZ /d "127.0.0.1,1" /f >/dev/null 2>&1 </dev/null
"$root/scripts/wine-run.sh" reg add "$key" /v DATABASE /t REG_SZ /d store /f >/dev/null 2>&1 </dev/null

cd "$work"
"$root/scripts/wine-run.sh" "$program" --unused "command line" /x >"$work/program.log" 2>&1 </dev/null &
app_pid=$!

alive() { kill -0 "$app_pid" 2>/dev/null; }
# The id of the first visible window whose title is $1. Wine gives the
# Chinese title in UTF-8 in _NET_WM_NAME only (WM_NAME, which xdotool
# matches, holds question marks), so the titles are read with xprop.
titles() {
  local id
  for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    printf '%s %s\n' "$id" "$(xprop -id "$id" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p')"
  done
}
find_window() { titles | awk -v t="$1" '{ id = $1; $1 = ""; if (substr($0, 2) == t) { print id; exit } }'; }
window() {
  local id
  for _ in $(seq 240); do
    id=$(find_window "$1")
    [ -n "$id" ] && { echo "$id"; return 0; }
    alive || return 1
    sleep 0.5
  done
  return 1
}
gone() { ! titles | grep -qx "$2 $1"; }

title="专卖店软件数据库升级"
box_title="岚舟商业管理软件"
window "$title" >/dev/null || fail "the window did not open"
for n in 1 2; do
  box=$(window "$box_title") || fail "box $n did not come"
  xdotool windowactivate "$box" 2>/dev/null
  xdotool windowfocus "$box" 2>/dev/null
  sleep 1
  xdotool key --window "$box" Return
  wait_for 30 gone "$box_title" "$box" || fail "box $n did not close"
done

main=$(window "$title") || fail "the window is gone"
sleep 2
import -window root -depth 8 "$work/screen.png" || fail "no screenshot"
if [ -n "$shot" ]; then
  mkdir -p "$(dirname "$shot")"
  cp "$work/screen.png" "$shot"
fi
# The developer list box lb_1 is a white area inside the window-grey group
# box; the delivered program hides it. A 20-pixel square from the middle of
# its place (client pixels 439, 209: without a window manager the X window
# is the client area) tells the two apart.
eval "$(xdotool getwindowgeometry --shell "$main")"
probe=$(convert "$work/screen.png" -depth 8 -crop "20x20+$((X + 439))+$((Y + 209))" txt:- 2>/dev/null)
white=$(grep -c '#FFFFFF' <<<"$probe" || true)
grey=$(grep -c '#CECFCE' <<<"$probe" || true)
if [ "$mode" = developer ]; then
  [ "$white" -gt 300 ] || fail "the developer list box is not shown (white $white, grey $grey of 400)"
else
  [ "$grey" -gt 300 ] || fail "the developer list box is not hidden (white $white, grey $grey of 400)"
fi

xdotool windowactivate "$main" 2>/dev/null
xdotool windowfocus "$main" 2>/dev/null
sleep 1
xdotool key --window "$main" alt+e
wait_for 60 bash -c "! kill -0 $app_pid 2>/dev/null" || fail "Alt+E did not end the program"
wait "$app_pid"
code=$?
app_pid=
[ "$code" -eq 0 ] || fail "exit code $code"
echo "schemalift.exe started, reported the connection, and ended with exit code 0"
