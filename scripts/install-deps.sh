#!/usr/bin/env bash
# Installs what building and testing zplport needs on Debian 12.
#   scripts/install-deps.sh          the Linux build (with the Qt windows),
#                                    its tests and the benchmark
#   scripts/install-deps.sh --all    also Xvfb, the Windows cross build,
#                                    Wine and the packaging tools
set -euo pipefail

all=false
[[ "${1:-}" == "--all" ]] && all=true

SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

packages=(build-essential cmake ninja-build git googletest libgtest-dev libbenchmark-dev
          clang-format qt6-base-dev fonts-noto-cjk libfreetype-dev zlib1g-dev)
if $all; then
  packages+=(xvfb xauth xdotool x11-utils imagemagick
             mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
             wine wine32:i386 wine64 locales dpkg-dev file clang libclang-rt-14-dev)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if $all; then
  # Wine takes its ANSI code page from the locale: zh_CN gives 936 (GBK).
  if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen
    $SUDO locale-gen
  fi
fi
