#!/usr/bin/env bash
# The Wine bench: one Wine prefix and one X display per state directory.
#
#   winebench.sh up    --state DIR [--bits 32|64] [--prefix PREFIX] [--private-display]
#                      [--service SVC.EXE]
#       Creates the prefix (DIR/prefix, or PREFIX) on first use: 64-bit, and WoW64 where 32-bit
#       Wine is installed, so that one prefix runs the shipped 32-bit programs and their 64-bit
#       twins; quiet, no desktop integration, an "Arial" font family (other scripts come from the
#       host's Noto fonts through Wine's own font fallback). Uses $DISPLAY or, with
#       --private-display or when there is none, starts Xvfb at 1920x1080x24, with no window
#       manager, where Wine then manages its windows itself; starts a persistent wineserver;
#       installs and starts the stand-in sensor service when given.
#       --bits names the build under test (default 64): its loader becomes ZQ_WINE. A 32-bit
#       bench on a machine that cannot run 32-bit programs is not brought up: `up`, `run` and
#       `exec` then say why and exit 77, which ctest reports as skipped.
#       Writes DIR/env for the commands below.
#   winebench.sh run   --state DIR [--timeout S] PROGRAM.EXE [ARGS...]
#       Runs a Windows program under Wine, with the loader of its own bitness, with a time limit;
#       exits with its exit code (a Windows exit code is seen modulo 256 here: -1 arrives as 255).
#   winebench.sh exec  --state DIR [--timeout S] COMMAND [ARGS...]
#       Runs any command inside the bench's environment (WINEPREFIX, DISPLAY, ZQ_WINE ...).
#   winebench.sh down  --state DIR
#       Ends the wineserver and the Xvfb that `up` started. The prefix stays for the next run.
#   winebench.sh can32
#       Exits 0 when a 32-bit bench can be brought up here; otherwise says why and exits 77.
#
# Several state directories may name one --prefix, as long as they are not up at the same time;
# benches with prefixes of their own may be up side by side.
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Loaders by full path: with 32-bit Wine installed, /usr/bin/wine is the 32-bit one.
WINE32=/usr/lib/wine/wine
WINE64=/usr/lib/wine/wine64
SKIPPED=77

die() { echo "winebench: $*" >&2; exit 2; }

# Why 32-bit programs cannot run here, or nothing when they can.
why_no_32bit() {
  local failed
  if ! bash "$here/install-deps.sh" --probe32 >/dev/null 2>&1; then
    echo "this machine cannot run 32-bit programs (a 32-bit ELF probe did not run)"
  elif failed=$(bash "$here/install-deps.sh" --failed32 2>/dev/null); then
    # Even where part of it landed: a half-installed 32-bit Wine would fail every test.
    echo "32-bit Wine could not be installed ($failed; tools/install-deps.sh tries again)"
  elif [ ! -x "$WINE32" ]; then
    echo "32-bit Wine is not installed ($WINE32 is missing; tools/install-deps.sh installs it)"
  fi
}

command=${1:-}; shift || true
state=""; timeout_s=600; private_display=0; service=""; bits=64; prefix=""
while [ $# -gt 0 ]; do
  case "$1" in
    --state) state=$2; shift 2 ;;
    --bits) bits=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --private-display) private_display=1; shift ;;
    --service) service=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
if [ "$command" = can32 ]; then
  reason=$(why_no_32bit)
  [ -z "$reason" ] && exit 0
  echo "$reason"
  exit $SKIPPED
fi
[ -n "$state" ] || die "--state DIR is required"
case "$bits" in 32|64) ;; *) die "--bits takes 32 or 64" ;; esac
mkdir -p "$state"
state=$(cd "$state" && pwd)
[ -n "$prefix" ] || prefix=$state/prefix
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)

# Windows path of a Linux file (drive Z: is the Linux root in every prefix).
windows_path() { printf 'Z:%s' "$(readlink -f "$1" | tr '/' '\\')"; }

load_env() {
  [ -f "$state/env" ] || die "bench is not up (no $state/env); run 'winebench.sh up' first"
  # shellcheck disable=SC1091
  . "$state/env"
  if [ -n "${ZQ_BENCH_SKIP:-}" ]; then
    echo "winebench: SKIPPED: $ZQ_BENCH_SKIP" >&2
    exit $SKIPPED
  fi
}

# 32 or 64: the machine field of a Windows program's PE header.
pe_bits() {
  local offset machine
  offset=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || return 1
  machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
    014c) echo 32 ;;
    8664) echo 64 ;;
    *) return 1 ;;
  esac
}

loader_for() {
  local program_bits
  program_bits=$(pe_bits "$1") || program_bits=$bits
  if [ "$program_bits" = 32 ]; then echo "$WINE32"; else echo "$WINE64"; fi
}


start_xvfb() {
  command -v Xvfb >/dev/null || die "Xvfb is missing (tools/install-deps.sh installs it)"
  # A bench brought up again without `down` (ctest --repeat repeats the set-up) ends the display
  # it started before, which would otherwise outlive every `down`.
  if [ -f "$state/xvfb.pid" ]; then kill "$(cat "$state/xvfb.pid")" 2>/dev/null; fi
  rm -f "$state/xvfb.pid" "$state/xvfb.display"
  # -displayfd lets Xvfb pick a free display number, so several benches can run side by side.
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -ac 3>"$state/xvfb.display" \
    >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 1 100); do
    [ -s "$state/xvfb.display" ] && break
    sleep 0.1
  done
  [ -s "$state/xvfb.display" ] || die "Xvfb did not start (see $state/xvfb.log)"
  echo ":$(tr -d '[:space:]' <"$state/xvfb.display")"
}

install_arial() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  /usr/bin/python3 "$here/make-arial.py" "$fonts" || die "could not make the Arial fonts"
  local view
  for view in 64 32; do
    "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
      /v 'Arial (TrueType)' /t REG_SZ /d arial.ttf /f /reg:$view >/dev/null 2>&1
    "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
      /v 'Arial Bold (TrueType)' /t REG_SZ /d arialbd.ttf /f /reg:$view >/dev/null 2>&1
  done
}

# Scripts that "Arial" lacks: Wine's DirectWrite (8.0) draws them from the family that its own
# fallback table names for each script, looked up among the fonts Wine registers in the prefix,
# which include every font of the host's fontconfig under its own family name. These are the
# families it names for the scripts of our string table (Han and kana without a locale go to the
# Japanese one, Hangul to the Korean one). Missing, those texts draw as empty boxes.
FALLBACK_FAMILIES=("Noto Sans Arabic" "Noto Sans Hebrew" "Noto Sans Thai"
                   "Noto Sans CJK JP" "Noto Sans CJK KR" "Noto Sans CJK SC" "Noto Sans CJK TC")

check_fallback_fonts() {
  command -v fc-list >/dev/null || return 0
  local family missing=()
  for family in "${FALLBACK_FAMILIES[@]}"; do
    fc-list -q "$family" || missing+=("$family")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "winebench: missing font families:$(printf ' "%s"' "${missing[@]}"); text in their" \
       "scripts will draw as boxes (tools/install-deps.sh installs them)" >&2
}

# A WoW64 prefix is marked, so that a prefix made before 32-bit Wine was installed (64-bit only)
# is made anew instead of failing every 32-bit program.
prefix_usable() {
  [ -f "$prefix/system.reg" ] || return 1
  [ ! -x "$WINE32" ] || [ -f "$prefix/.zq-wow64" ]
}

make_prefix() {
  if [ -f "$prefix/system.reg" ]; then
    echo "winebench: $prefix was made without 32-bit Wine; making it anew" >&2
    wineserver -k </dev/null >/dev/null 2>&1
    rm -rf "${prefix:?}"
    mkdir -p "$prefix"
  fi
  "$WINE64" wineboot -i >"$state/wineboot.log" 2>&1 || die "wineboot failed (see $state/wineboot.log)"
  wineserver -w </dev/null >/dev/null 2>&1
  install_arial
  # The fonts were registered through a short-lived server: let it end, since `-p` below does
  # not make an already running server persistent, and the service would die with it.
  wineserver -w </dev/null >/dev/null 2>&1
  if [ -x "$WINE32" ]; then touch "$prefix/.zq-wow64"; fi
}

bench_up() {
  [ -x "$WINE64" ] || die "64-bit Wine is missing (tools/install-deps.sh installs it)"
  local skip=""
  [ "$bits" = 64 ] || skip=$(why_no_32bit)
  if [ -n "$skip" ]; then
    printf "export ZQ_BENCH_SKIP='%s'\n" "$skip" >"$state/env"
    echo "winebench: SKIPPED: the shipped 32-bit programs cannot be run: $skip" >&2
    exit $SKIPPED
  fi
  local display="${DISPLAY:-}" own_display=0
  if [ "$private_display" = 1 ] || [ -z "$display" ]; then
    display=$(start_xvfb) || exit 2
    own_display=1
  fi
  local wine=$WINE64
  [ "$bits" = 32 ] && wine=$WINE32
  cat >"$state/env" <<ENV
export WINEPREFIX='$prefix'
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export DISPLAY='$display'
export ZQ_WINE='$wine'
export ZQ_WINE32='$WINE32'
export ZQ_WINE64='$WINE64'
export ZQ_BENCH_BITS=$bits
export ZQ_BENCH_STATE='$state'
ENV
  load_env
  check_fallback_fonts
  prefix_usable || make_prefix
  # The wineserver outlives this script: it must not hold the caller's stdout and stderr open,
  # or a caller that waits for end-of-file on them (ctest does) waits for ever.
  wineserver -p </dev/null >/dev/null 2>&1
  # Wine hands its windows to the window manager and, on hiding or destroying one that was ever
  # active, waits two seconds for the manager to let go of it. Our Xvfb runs none, so there Wine
  # places and stacks the windows itself; on a display of the caller's, with a manager, it hands
  # them over as usual. This first program also makes sure Wine's own first-start services,
  # which come up lazily, have.
  # Programs start at 96 DPI; a test that runs them at another scale sets LogPixels itself.
  "$WINE64" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1
  if [ "$own_display" = 1 ]; then
    "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  else
    "$WINE64" reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1
  fi
  if [ -n "$service" ]; then
    [ -f "$service" ] || die "no stand-in service at $service"
    local service_wine
    service_wine=$(loader_for "$service")
    echo "export ZQ_STANDIN_EXE='$(windows_path "$service")'" >>"$state/env"
    "$service_wine" "$service" -install >/dev/null 2>&1 || die "stand-in service did not install"
    "$service_wine" "$service" -start >/dev/null 2>&1 || die "stand-in service did not start"
  fi
  echo "winebench: up ($bits-bit build, DISPLAY=$display, WINEPREFIX=$WINEPREFIX)"
}

bench_down() {
  if [ -f "$state/env" ]; then
    # shellcheck disable=SC1091
    . "$state/env"
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
  fi
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    rm -f "$state/xvfb.pid" "$state/xvfb.display"
  fi
  rm -f "$state/env"
  echo "winebench: down"
}

case "$command" in
  up) bench_up ;;
  down) bench_down ;;
  run)
    [ $# -ge 1 ] || die "run needs a program"
    load_env
    timeout --kill-after=10 "$timeout_s" "$(loader_for "$1")" "$@"
    ;;
  exec)
    [ $# -ge 1 ] || die "exec needs a command"
    load_env
    timeout --kill-after=10 "$timeout_s" "$@"
    ;;
  *) die "usage: winebench.sh up|run|exec|down --state DIR ..." ;;
esac
