#!/usr/bin/env bash
# Installs what building, running and testing the recorder need, when it is missing (Debian, as root).
set -euo pipefail

packages=(
  make cmake python3 e2fsprogs
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64
  googletest
  pulseaudio pulseaudio-utils
  xvfb x11-utils imagemagick
  python3-pefile osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
