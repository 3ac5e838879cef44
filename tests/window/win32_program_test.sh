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
# Windows are found by their Chinese titles: xdotool reads a title in the
# locale's character set, so the run takes a UTF-8 locale whatever the
# caller's environment (an empty one included).
export LC_ALL=C.UTF-8
root="$(cd "$(dirname "$0")/../.." && pwd)"
program=$(realpath "$1")
shot=${2:+$(realpath -m "$2")}
mode=${3:-delivered}
work=$(mktemp -d)
. "$root/tests/window/wine_display.sh"
trap 'stop_display; rm -rf "$work"' EXIT

start_display
# Nothing listens on port 1 of the loopback address.
set_store_key "127.0.0.1,1" store

cd "$work"
start_program "$program" --unused "command line" /x

title="专卖店软件数据库升级"
box_title="岚舟商业管理软件"
window "$title" >/dev/null || fail "the window did not open"
for n in 1 2; do
  answer_box "$box_title" "box $n"
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

end_with_alt_e "$main"
echo "schemalift.exe started, reported the connection, and ended with exit code 0"
