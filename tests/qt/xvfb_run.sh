#!/bin/sh
# Runs the desktop program on a virtual X display: the main window must come
# up with its frame centred under its title, Instructions must open a window
# titled "说明", and both are photographed for a person to look at.
# Usage: xvfb_run.sh <zplport executable> <screenshot folder> [window manager]
# (run inside xvfb-run; needs xdotool and ImageMagick's import, and xprop
# and xwininfo with a window manager, which then frames the windows)
set -eu
program=$1
shots=$2
wm=${3:-}
mkdir -p "$shots"
name=xvfb
if [ -n "$wm" ]; then
  name=xvfb-wm
  "$wm" >/dev/null 2>&1 &
  wm_pid=$!
  sleep 1
fi

"$program" &
pid=$!
trap 'kill "$pid" ${wm_pid:-} 2>/dev/null || true' EXIT

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
import -window root "$shots/$name-form1.png"

# The frame is centred: without a window manager the client area is the
# window; with one, the frame's borders and title bar go round it.
left=0 right=0 top=0 bottom=0
if [ -n "$wm" ]; then
  # _NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom
  extents=$(xprop -id "$main" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ,)
  [ -n "$extents" ] || { echo "the window manager gave no frame extents" >&2; exit 1; }
  # shellcheck disable=SC2086  # four numbers
  set -- $extents
  left=$1 right=$2 top=$3 bottom=$4
fi
screen=$(xdotool getdisplaygeometry)
eval "$(xdotool getwindowgeometry --shell "$main")"
if [ -n "$wm" ]; then
  # xdotool reports a framed window's place off by the frame.
  X=$(xwininfo -id "$main" | sed -n 's/.*Absolute upper-left X: *//p')
  Y=$(xwininfo -id "$main" | sed -n 's/.*Absolute upper-left Y: *//p')
fi
expected_x=$(( (${screen% *} - 312 - left - right) / 2 + left ))
expected_y=$(( (${screen#* } - 213 - top - bottom) / 2 + top ))
if [ "$WIDTH" -ne 312 ] || [ "$HEIGHT" -ne 213 ] ||
   [ $((X - expected_x)) -gt 1 ] || [ $((expected_x - X)) -gt 1 ] ||
   [ $((Y - expected_y)) -gt 1 ] || [ $((expected_y - Y)) -gt 1 ]; then
  echo "main window at $X,$Y ${WIDTH}x$HEIGHT; expected $expected_x,$expected_y 312x213" >&2
  exit 1
fi

# The Instructions button's centre.
xdotool mousemove --window "$main" 100 172 click 1
instructions=$(find_window "说明")
sleep 0.5
import -window root "$shots/$name-form2.png"

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
