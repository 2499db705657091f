#!/usr/bin/env bash
# Installs every Debian package that building, testing and the demo need. Idempotent: packages
# already present are left alone, and apt is not called at all when nothing is missing.
#
# The shipped programs are 32-bit. Where this machine can run 32-bit Linux programs (probed by
# running a tiny 32-bit ELF, not by reading uname or kernel configuration), 32-bit Wine and the
# 32-bit OpenGL libraries that Wine's Direct2D needs are installed beside 64-bit Wine. Where it
# cannot, nothing more is installed and the win32 Wine tests report themselves skipped.
#
# A package index that fails to refresh (one source serving a broken list for a while) does not
# stop the set-up: the refresh is tried three times, then the install goes on with the lists that
# did refresh. A failed install of the 64-bit set fails the set-up. A failed install of the
# 32-bit set is recorded (see --failed32) and the set-up goes on as on a machine without 32-bit
# support; the next install that completes it clears the record.
#
#   install-deps.sh              install what is missing
#   install-deps.sh --probe32    only say whether 32-bit programs run here (exit 0 when they do)
#   install-deps.sh --failed32   only say why the last install of 32-bit Wine here failed
#                                (exit 0 when it did, 1 when it did not or was not tried)
#
# ZQ_FORCE_NO_32BIT=1 makes the probe fail, to see how the project behaves on a machine without
# 32-bit support; ZQ_FORCE_32BIT=1 makes it pass (for the set-up's own test).
# ZQ_DEPS_STATE_DIR names where the failed 32-bit install is recorded
# (default /var/lib/zq-proximity-sensor).
set -eu

# Writes a 96-byte i386 ELF executable that exits with code 42 through int 0x80, and runs it.
# Only a kernel that really executes 32-bit programs gives back 42.
can_run_32bit() {
  [ "${ZQ_FORCE_NO_32BIT:-0}" = 1 ] && return 1
  [ "${ZQ_FORCE_32BIT:-0}" = 1 ] && return 0
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

failed32_record=${ZQ_DEPS_STATE_DIR:-/var/lib/zq-proximity-sensor}/wine32-install-failed
if [ "${1:-}" = --failed32 ]; then
  [ -f "$failed32_record" ] || exit 1
  cat "$failed32_record"
  exit 0
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

# Prints those of the given packages that are not installed.
not_installed() {
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$p"
    fi
  done
}

# One source serving a list that does not match its signed index makes the whole update fail,
# although the other lists did refresh; such faults tend to pass within minutes or hours.
refresh_index() {
  local try wait=5
  for try in 1 2 3; do
    $sudo apt-get update -qq && return 0
    [ "$try" = 3 ] || { sleep "$wait"; wait=$((wait * 2)); }
  done
  echo "install-deps: the package index did not refresh fully after 3 tries;" \
       "going on with the lists that did refresh"
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@"
}

with32=0
if can_run_32bit; then
  with32=1
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
else
  echo "install-deps: this machine cannot run 32-bit programs: 32-bit Wine is not installed," \
       "and the shipped programs' Wine tests will be skipped"
fi

mapfile -t missing < <(not_installed "${packages[@]}")
missing32=()
[ "$with32" = 0 ] || mapfile -t missing32 < <(not_installed "${packages32[@]}")

if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ]; then
  [ "$with32" = 0 ] || [ ! -e "$failed32_record" ] || $sudo rm -f "$failed32_record"
  echo "install-deps: everything is installed"
  exit 0
fi

refresh_index
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  rc=0
  apt_install "${missing[@]}" || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "install-deps: FAILED: apt-get could not install the packages this project needs" \
         "(exit code $rc; its messages are above): ${missing[*]}" >&2
    exit 1
  fi
fi
[ ${#missing32[@]} -gt 0 ] || exit 0
echo "install-deps: installing ${missing32[*]}"
rc=0
apt_install "${missing32[@]}" || rc=$?
if [ "$rc" -eq 0 ]; then
  [ ! -e "$failed32_record" ] || $sudo rm -f "$failed32_record"
  exit 0
fi
# Recorded where the Wine bench looks, so that the win32 Wine tests are skipped with this reason
# instead of failing on a half-installed 32-bit Wine.
reason="apt-get install of ${missing32[*]} exited $rc on $(date -u +%Y-%m-%d)"
if ! { $sudo mkdir -p "$(dirname "$failed32_record")" &&
       echo "$reason" | $sudo tee "$failed32_record" >/dev/null; }; then
  echo "install-deps: could not record the failed install in $failed32_record" >&2
fi
echo "install-deps: 32-bit Wine could not be installed ($reason): going on as on a machine" \
     "without 32-bit support; the shipped programs' Wine tests will be skipped"
