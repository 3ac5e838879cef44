# Helpers for driving a Windows program under Wine on a virtual X display;
# sourced by the Wine program tests. The caller sets $work (a scratch
# folder, removed by the caller) and $root (the repository), and calls
# start_display before anything else. $app_pid is the program, once
# started with start_program.

xvfb_pid=
app_pid=

fail() {
  echo "FAIL: $*" >&2
  [ -s "$work/program.log" ] && tail -20 "$work/program.log" >&2
  exit 1
}

stop_display() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  app_pid=
  xvfb_pid=
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

start_display() {
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  wait_for 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -1 "$work/display")"
}

# The store's server and database, in the registry key the program reads.
set_store_key() {  # set_store_key SERVERNAME DATABASE
  local key='HKLM\SOFTWARE\tandrel'
  "$root/scripts/wine-run.sh" reg add "$key" /v SERVERNAME /t REG_SZ /d "$1" /f >/dev/null 2>&1 </dev/null
  "$root/scripts/wine-run.sh" reg add "$key" /v DATABASE /t REG_SZ /d "$2" /f >/dev/null 2>&1 </dev/null
}

start_program() {  # start_program PROGRAM.exe [ARGUMENTS...], in the current folder
  "$root/scripts/wine-run.sh" "$@" >"$work/program.log" 2>&1 </dev/null &
  app_pid=$!
}

alive() { kill -0 "$app_pid" 2>/dev/null; }

# "ID TITLE" of every visible window. Wine gives the Chinese title in UTF-8
# in _NET_WM_NAME only (WM_NAME, which xdotool matches, holds question
# marks), so the titles are read with xprop.
titles() {
  local id
  for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    printf '%s %s\n' "$id" "$(xprop -id "$id" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p')"
  done
}
find_window() { titles | awk -v t="$1" '{ id = $1; $1 = ""; if (substr($0, 2) == t) { print id; exit } }'; }
# The id of the first visible window titled $1, waiting up to $2 seconds
# (default 120) while the program runs.
window() {
  local id until=$((SECONDS + ${2:-120}))
  while [ $SECONDS -lt $until ]; do
    id=$(find_window "$1")
    [ -n "$id" ] && { echo "$id"; return 0; }
    alive || return 1
    sleep 0.5
  done
  return 1
}
gone() { ! titles | grep -qx "$2 $1"; }  # gone TITLE ID

# Sends a key to a window after bringing it to the front.
press() {  # press WINDOW KEY
  xdotool windowactivate "$1" 2>/dev/null
  xdotool windowfocus "$1" 2>/dev/null
  sleep 1
  xdotool key --window "$1" "$2"
}

# Closes the box titled $1 with Enter; $2 names it in the failure.
answer_box() {  # answer_box TITLE WHAT [SECONDS]
  local box
  box=$(window "$1" "${3:-120}") || fail "$2 did not come"
  press "$box" Return
  wait_for 30 gone "$1" "$box" || fail "$2 did not close"
}

# Alt+E on the main window ends the program; its exit code must be 0.
end_with_alt_e() {  # end_with_alt_e MAIN_WINDOW
  local code
  press "$1" alt+e
  wait_for 60 bash -c "! kill -0 $app_pid 2>/dev/null" || fail "Alt+E did not end the program"
  wait "$app_pid"
  code=$?
  app_pid=
  [ "$code" -eq 0 ] || fail "exit code $code"
}
