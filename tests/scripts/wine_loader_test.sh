#!/bin/sh
# The loader choice and the 32-bit skip of scripts/wine-loader, with fake
# loaders that record how they were started and a 32-bit side that the
# test breaks or mends.
# Usage: wine_loader_test.sh WINE_LOADER
set -eu

wine_loader=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/prefix"

# Just the header fields wine-loader reads: "MZ", the offset of "PE\0\0" at
# 0x3c, and the machine after it.
pe() {  # pe FILE MACHINE_BYTES
  { printf 'MZ'; head -c 58 /dev/zero; printf "\\100\\000\\000\\000PE\\000\\000$2"; } >"$dir/$1"
}
pe x86.exe '\114\001'
pe x64.exe '\144\206'

cat >"$dir/loader64" <<END
#!/bin/sh
echo "64 \$*" >>"$dir/log"
END
# Wine's own 32-bit cmd.exe is the probe; it works once the file "works" is
# there.
cat >"$dir/loader32" <<END
#!/bin/sh
if [ "\$1" = 'C:\\windows\\syswow64\\cmd.exe' ]; then
  echo probe >>"$dir/log"
  [ -f "$dir/works" ] && exit 7
  echo 'wine: failed to open "C:\\windows\\syswow64\\cmd.exe": c0000135' >&2
  exit 53
fi
echo "32 \$*" >>"$dir/log"
END
chmod +x "$dir/loader64" "$dir/loader32"

fail=0
check() {  # check WHAT STATUS LOADER_LINE PROBES PROGRAM [ARGS...]
  what=$1 want_status=$2 want_line=$3 want_probes=$4
  shift 4
  : >"$dir/log"
  status=0
  (cd "$dir" && WINEPREFIX="$dir/prefix" ZPLPORT_WINE64="$dir/loader64" \
    ZPLPORT_WINE32="$dir/loader32" sh "$wine_loader" "$@") 2>"$dir/err" || status=$?
  line=$(grep -v '^probe$' "$dir/log" || true)
  probes=$(grep -c '^probe$' "$dir/log" || true)
  err_lines=$(wc -l <"$dir/err")
  if [ "$status" != "$want_status" ] || [ "$line" != "$want_line" ] ||
    [ "$probes" != "$want_probes" ]; then
    echo "FAIL: $what: exit $status, started '$line', $probes probes;" \
      "expected exit $want_status, '$want_line', $want_probes probes" >&2
    fail=1
  elif [ "$status" = 77 ] && { [ "$err_lines" != 1 ] || ! grep -q '; skipping$' "$dir/err"; }; then
    echo "FAIL: $what: a skip must say why in one line, said:" >&2
    cat "$dir/err" >&2
    fail=1
  else
    echo "ok: $what"
    sed 's/^/  /' "$dir/err"
  fi
}

check "64-bit exe, 32-bit side broken" 0 "64 x64.exe 4" 0 x64.exe 4
check "Wine's own program" 0 "64 wineboot -i" 0 wineboot -i
check "32-bit exe, 32-bit side broken" 77 "" 1 x86.exe 4
check "32-bit exe again: the answer is kept" 77 "" 0 x86.exe 4
touch "$dir/works"
touch -d 2030-01-01 "$dir/loader32"
check "32-bit exe, another loader that works" 0 "32 x86.exe 4" 1 x86.exe 4
exit $fail
