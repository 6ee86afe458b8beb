#!/usr/bin/env bash
# Installs what building and testing zplport needs on Debian 12.
#   scripts/install-deps.sh          the Linux build (with the Qt windows),
#                                    its tests and the benchmark
#   scripts/install-deps.sh --all    also Xvfb, the packaging tools and the
#                                    fuzzers; then the Windows cross build
#                                    and Wine
#
# Runs as root, or as a user with sudo. Only what is missing is installed,
# in two groups: the Linux group must install completely, or this fails.
# Of the Windows group whatever can be installed is; each package that
# cannot is named with apt's reason, and the tests that need it are skipped
# later. A package index that fails to download is not fatal by itself:
# the installs that follow tell whether the index at hand is enough.
set -euo pipefail

all=false
[[ "${1:-}" == "--all" ]] && all=true
export DEBIAN_FRONTEND=noninteractive

linux=(build-essential cmake ninja-build git googletest libgtest-dev libbenchmark-dev
       clang-format qt6-base-dev fonts-noto-cjk libfreetype-dev libfontconfig-dev zlib1g-dev
       libzint-dev zbar-tools zxing-cpp-tools fonts-roboto-unhinted fonts-liberation
       fonts-dejavu-core fonts-dejavu-extra strace)
windows=()
if $all; then
  linux+=(xvfb xauth xdotool x11-utils imagemagick openbox locales dpkg-dev file
          clang libclang-rt-14-dev)
  windows=(mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64
           fonts-wine)
  # Wine's 32-bit loader, for the 32-bit executables; only amd64 has it.
  if [[ $(dpkg --print-architecture) == amd64 ]]; then windows+=(wine32:i386); fi
fi

say() { echo "install-deps: $*" >&2; }

# sudo only when not root; with neither, nothing can be installed, which
# matters only when something is missing.
if ((EUID == 0)); then
  as_root() { "$@"; }
elif command -v sudo >/dev/null 2>&1; then
  as_root() { sudo "$@"; }
else
  as_root() { return 1; }
  cannot_install="installing needs root: run this as root, or install sudo"
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# apt-get update, a few times with a pause: a mirror in the middle of a sync
# serves a stale index for a minute or two.
updated=false
update_index() {
  $updated && return 0
  updated=true
  local try
  for try in 1 2 3; do
    as_root apt-get update -q && return 0
    say "apt-get update failed (try $try of 3)"
    ((try == 3)) || sleep 10
  done
  say "going on with the package index as it is"
}

# The i386 libraries among LIB... that the index has only in older versions
# than the ones installed for amd64: multiarch needs the same version on
# both, so they cannot be installed.
older_i386() {  # older_i386 LIB...
  join <(apt-cache policy "${@/%/:i386}" |
         awk '/^[^ ]/ { sub(/:i386:$/, ""); name = $0 } /^  Candidate:/ { print name, $2 }' | sort) \
       <(dpkg-query -W -f='${Package} ${Version} ${db:Status-Abbrev}\n' "$@" 2>/dev/null |
         awk '$3 == "ii" { print $1, $2 }' | sort) |
    while read -r lib candidate own; do
      if [[ $candidate != "(none)" ]] && dpkg --compare-versions "$candidate" lt "$own"; then
        echo "$lib"
      fi
    done
}

# Why apt would not install one package: for unmet dependencies the i386
# libraries too old to go in, or else the first unmet dependency; otherwise
# apt's last error line.
apt_reason() {
  local out libs older=""
  if [[ -n ${cannot_install:-} ]]; then
    echo "$cannot_install"
    return
  fi
  out=$(apt-get install -s -y -q --no-install-recommends "$1" 2>&1) && return 0
  if ! grep -q 'unmet dependencies' <<<"$out"; then
    grep '^E: ' <<<"$out" | tail -n 1 | sed 's/^E: //'
    return
  fi
  mapfile -t libs < <(grep -o '[a-z0-9.+-]*:i386' <<<"$out" | sed 's/:i386$//' | sort -u)
  ((${#libs[@]} == 0)) || older=$(older_i386 "${libs[@]}" | paste -sd ' ' -)
  if [[ -n $older ]]; then
    echo "the index has these i386 libraries only in older versions than the amd64 ones installed: $older"
  else
    echo "unmet dependencies: $(grep -m1 ' Depends: ' <<<"$out" | tr -s ' ' | sed 's/^ //')"
  fi
}

# install_group NAME PACKAGE...: installs the missing packages of a group in
# one go, or else one by one. Names each that is still missing, with the
# reason, on a line of its own ("install-deps: not installed: ..."), and
# then returns 1.
install_group() {
  local group=$1 p missing=() left=()
  shift
  for p; do installed "$p" || missing+=("$p"); done
  ((${#missing[@]})) || return 0
  say "$group group: installing ${missing[*]}"
  if [[ -n ${cannot_install:-} ]]; then
    left=("${missing[@]}")
  else
    update_index
    as_root apt-get install -y -q --no-install-recommends "${missing[@]}" && return 0
    if ((${#missing[@]} == 1)); then
      left=("${missing[@]}")
    else
      say "$group group: not all at once; one by one"
      for p in "${missing[@]}"; do
        installed "$p" || as_root apt-get install -y -q --no-install-recommends "$p" >/dev/null 2>&1 ||
          left+=("$p")
      done
    fi
  fi
  ((${#left[@]})) || return 0
  for p in "${left[@]}"; do
    say "not installed: $p ($(apt_reason "$p"))"
  done
  return 1
}

# The index must cover i386 before wine32:i386 can be found in it.
if [[ " ${windows[*]} " == *" wine32:i386 "* ]] && ! installed wine32:i386 &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386 || true
fi

if ! install_group Linux "${linux[@]}"; then
  say "the Linux group is incomplete; nothing can be built without it"
  exit 1
fi
if ((${#windows[@]})) && ! install_group Windows "${windows[@]}"; then
  say "going on without them: the Windows tests that need them will be skipped"
fi

if $all; then
  # Wine takes its ANSI code page from the locale: zh_CN gives 936 (GBK).
  if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    as_root sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen
    as_root locale-gen
  fi
fi
