#!/usr/bin/env bash
# Installs every Debian package that building, testing and the demo need. Idempotent: packages
# already present are left alone, and apt is not called at all when nothing is missing.
#
# The shipped programs are 32-bit. Where this machine can run 32-bit Linux programs (probed by
# running a tiny 32-bit ELF, not by reading uname or kernel configuration), 32-bit Wine and the
# 32-bit OpenGL libraries that Wine's Direct2D needs are installed beside 64-bit Wine. Where it
# cannot, nothing more is installed and the win32 Wine tests report themselves skipped.
#
#   install-deps.sh              install what is missing
#   install-deps.sh --probe32    only say whether 32-bit programs run here (exit 0 when they do)
#
# ZQ_FORCE_NO_32BIT=1 makes the probe fail, to see how the project behaves on a machine without
# 32-bit support.
set -eu

# Writes a 96-byte i386 ELF executable that exits with code 42 through int 0x80, and runs it.
# Only a kernel that really executes 32-bit programs gives back 42.
can_run_32bit() {
  [ "${ZQ_FORCE_NO_32BIT:-0}" = 1 ] && return 1
  local probe rc=0
  probe=$(mktemp "${TMPDIR:-/tmp}/zq-elf32.XXXXXX") || return 1
  # ELF header (52 bytes), one PT_LOAD program header at 0x08048000 (32 bytes), then
  # mov eax,1 / mov ebx,42 / int 0x80.
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0' >"$probe"
  printf '\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\140\0\0\0\140\0\0\0\5\0\0\0\0\20\0\0' >>"$probe"
  printf '\270\1\0\0\0\273\52\0\0\0\315\200' >>"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  [ "$rc" -eq 42 ]
}

if [ "${1:-}" = --probe32 ]; then
  if can_run_32bit; then echo "install-deps: this machine runs 32-bit programs"; exit 0; fi
  echo "install-deps: this machine cannot run 32-bit programs"
  exit 1
fi

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
  # Fuzzing the parsers and formatters: clang with libFuzzer.
  clang-14 libfuzzer-14-dev
  # The installer: Windows Installer packages built with wixl, Authenticode signing.
  wixl msitools osslsigncode openssl
)

# 32-bit Wine for the shipped programs; its Direct2D draws through OpenGL, so the 32-bit Mesa
# libraries come too (they are only recommended, and recommends stay out).
packages32=(wine32:i386 libgl1:i386 libgl1-mesa-dri:i386)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

if can_run_32bit; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  packages+=("${packages32[@]}")
else
  echo "install-deps: this machine cannot run 32-bit programs: 32-bit Wine is not installed," \
       "and the shipped programs' Wine tests will be skipped"
fi

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
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
