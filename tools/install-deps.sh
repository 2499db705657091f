#!/usr/bin/env bash
# Installs every Debian package that building, testing and the demo need. Idempotent: packages
# already present are left alone, and apt is not called at all when nothing is missing.
set -eu

packages=(
  cmake make g++ python3
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest
  wine wine64
  xvfb xauth x11-utils x11-apps xdotool
  imagemagick icoutils librsvg2-bin
  fonts-liberation python3-fonttools python3-pil
  # Wine's DirectWrite falls back to these families for the scripts that "Arial" lacks.
  fonts-noto-core fonts-noto-cjk
  file procps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
# wine32 stays out: with it installed, /usr/bin/wine picks the 32-bit loader, which this kernel
# cannot run.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
