#!/usr/bin/env bash
# Builds the Linux release packages from build/default and checks them: the
# .deb unpacked into a scratch root and the tar.gz unpacked elsewhere must
# each hold the programs and sample files, and print to a loopback printer
# from where they landed.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/default}
(cd "$build" && rm -f ./*.deb ./*.tar.gz && cpack >/dev/null)
deb=$(ls "$build"/zplport_*.deb)
tgz=$(ls "$build"/zplport-*-linux-*.tar.gz)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Depends):'
dpkg-deb -x "$deb" "$scratch/root"
mkdir -p "$scratch/tar" && tar -xzf "$tgz" -C "$scratch/tar"

# Prints four labels with the unpacked zplport-cli to the unpacked printer.
try_folder() {
  local bin=$1
  for f in zplport zplport-cli zplport-printer Config.ini file.ini; do
    [[ -e "$bin/$f" ]] || { echo "missing: $bin/$f"; return 1; }
  done
  local jobs="$scratch/jobs-$RANDOM"
  local log="$scratch/printer-$RANDOM.log"
  "$bin/zplport-printer" --port 0 --out "$jobs" --jobs 1 >"$log" &
  local printer=$!
  local port=""
  for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$log")
    [[ -n "$port" ]] && break
    sleep 0.05
  done
  sed -i "s/^printerport=9100/printerport=$port/" "$bin/Config.ini"
  "$bin/zplport-cli" 4
  wait "$printer"
  cat "$log"
  [[ $(cat "$jobs"/job-0001.zpl | grep -o '\^FS\^PQ1\^XZ' | wc -l) -eq 2 ]]
}

echo "== .deb unpacked into a scratch root"
try_folder "$scratch/root/opt/zplport/bin"
[[ -x "$scratch/root/opt/zplport/share/applications/zplport.desktop" || -f "$scratch/root/opt/zplport/share/applications/zplport.desktop" ]]
echo "== tar.gz unpacked"
try_folder "$(ls -d "$scratch"/tar/zplport-*)/bin"
echo "packages OK: $(basename "$deb") $(basename "$tgz")"
