#!/bin/sh
# Runs the desktop program on a virtual X display: the main window must come
# up centred under its title, Instructions must open a window titled "说明",
# and both are photographed for a person to look at.
# Usage: xvfb_run.sh <zplport executable> <screenshot folder>
# (run inside xvfb-run; needs xdotool and ImageMagick's import)
set -eu
program=$1
shots=$2
mkdir -p "$shots"

"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

find_window() {
  tries=0
  while [ "$tries" -lt 50 ]; do
    if id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    tries=$((tries + 1))
    sleep 0.1
  done
  echo "no visible window titled '$1'" >&2
  return 1
}

main=$(find_window "ZPL 打印机测试")
sleep 0.5
import -window root "$shots/xvfb-form1.png"

# Without a window manager the client area is the window: centred exactly.
screen=$(xdotool getdisplaygeometry)
eval "$(xdotool getwindowgeometry --shell "$main")"
expected_x=$(( (${screen% *} - 312) / 2 ))
expected_y=$(( (${screen#* } - 213) / 2 ))
if [ "$WIDTH" -ne 312 ] || [ "$HEIGHT" -ne 213 ] || [ "$X" -ne "$expected_x" ] || [ "$Y" -ne "$expected_y" ]; then
  echo "main window at $X,$Y ${WIDTH}x$HEIGHT; expected $expected_x,$expected_y 312x213" >&2
  exit 1
fi

# The Instructions button's centre.
xdotool mousemove --window "$main" 100 172 click 1
instructions=$(find_window "说明")
sleep 0.5
import -window root "$shots/xvfb-form2.png"

# Back: the instructions window goes, the main window stays.
xdotool mousemove --window "$instructions" 264 192 click 1
tries=0
while xdotool search --onlyvisible --name "^说明\$" >/dev/null 2>&1; do
  tries=$((tries + 1))
  if [ "$tries" -ge 50 ]; then
    echo "the instructions window is still open after Back" >&2
    exit 1
  fi
  sleep 0.1
done
find_window "ZPL 打印机测试" >/dev/null
echo "screenshots in $shots"
