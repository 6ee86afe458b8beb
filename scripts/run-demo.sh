#!/usr/bin/env bash
# The tool's main job on one machine: a loopback printer, four labels from
# the sample files, and the job as the printer received it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

bin=build/default/bin
jobs=$(mktemp -d)
"$bin/zplport-printer" --port 9100 --out "$jobs" --jobs 1 &
printer=$!
trap 'kill $printer 2>/dev/null || true' EXIT
sleep 0.3

echo "== zplport-cli 4 (network mode, sample Config.ini and file.ini)"
"$bin/zplport-cli" 4
wait $printer || true
trap - EXIT

echo "== what the printer received (GBK shown as UTF-8):"
for job in "$jobs"/*.zpl; do
  iconv -f GBK -t UTF-8 "$job"
  echo
done
echo "== jobs saved in $jobs, with a picture of each label as the printer would print it:"
ls "$jobs"/*.png 2>/dev/null || echo "(no pictures: the printer was built without FreeType)"

# With a display, the desktop program too, against a printer that stays up
# until the window is closed.
if [[ -n "${DISPLAY:-}" && -x "$bin/zplport" ]]; then
  "$bin/zplport-printer" --port 9100 --out "$jobs" &
  printer=$!
  trap 'kill $printer 2>/dev/null || true' EXIT
  echo "== the window is open: type a quantity and press 打印; jobs go to $jobs"
  "$bin/zplport"
fi
