#!/bin/sh
# Creates the Wine prefix that the Windows test executables run in, once.
# Usage: setup-wine-prefix.sh [PREFIX]   (default: $WINEPREFIX)
#
# Safe to run from several processes at once: the first one builds the
# prefix under a lock, the others wait for it and then find it ready.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
prefix=${1:-${WINEPREFIX:?WINEPREFIX or an argument must name the prefix}}
mkdir -p "$(dirname "$prefix")"
lock="$prefix.lock"
ready="$prefix/.zplport-ready"

[ -f "$ready" ] && exit 0

exec 9>"$lock"
flock 9
# Another process may have finished the prefix while we waited for the lock.
[ -f "$ready" ] && exit 0

rm -rf "$prefix"
export WINEPREFIX="$prefix"
# A 64-bit prefix runs both the i686 and the x86_64 executables. The 64-bit
# loader makes it, so that it is made where the 32-bit one cannot run.
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Its chatter stays in a log; a failure shows the end of it (or why Wine
# cannot run here at all).
status=0
"$here/wine-loader" wineboot -i >"$prefix.wineboot.log" 2>&1 </dev/null || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 5 "$prefix.wineboot.log" >&2
  exit "$status"
fi
wineserver -w
touch "$ready"
