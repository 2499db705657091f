#!/usr/bin/env bash
# The Wine bench: one private 64-bit Wine prefix and one X display per state directory.
#
#   winebench.sh up    --state DIR [--private-display] [--service SVC.EXE]
#       Creates the prefix DIR/prefix on first use (quiet, no desktop integration, an "Arial"
#       font family; other scripts come from the host's Noto fonts through Wine's own font
#       fallback), uses $DISPLAY or, with --private-display or when there is none, starts
#       Xvfb at 1920x1080x24; starts a persistent wineserver; installs and starts the stand-in
#       sensor service when given. Writes DIR/env for the commands below.
#   winebench.sh run   --state DIR [--timeout S] PROGRAM.EXE [ARGS...]
#       Runs a Windows program under Wine with a time limit; exits with its exit code
#       (a Windows exit code is seen modulo 256 here: -1 arrives as 255).
#   winebench.sh exec  --state DIR [--timeout S] COMMAND [ARGS...]
#       Runs any command inside the bench's environment (WINEPREFIX, DISPLAY, ZQ_WINE ...).
#   winebench.sh down  --state DIR
#       Ends the wineserver and the Xvfb that `up` started. The prefix stays for the next run.
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WINE64=/usr/lib/wine/wine64

die() { echo "winebench: $*" >&2; exit 2; }

command=${1:-}; shift || true
state=""; timeout_s=600; private_display=0; service=""
while [ $# -gt 0 ]; do
  case "$1" in
    --state) state=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --private-display) private_display=1; shift ;;
    --service) service=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ -n "$state" ] || die "--state DIR is required"
mkdir -p "$state"
state=$(cd "$state" && pwd)

# Windows path of a Linux file (drive Z: is the Linux root in every prefix).
windows_path() { printf 'Z:%s' "$(readlink -f "$1" | tr '/' '\\')"; }

load_env() {
  [ -f "$state/env" ] || die "bench is not up (no $state/env); run 'winebench.sh up' first"
  # shellcheck disable=SC1091
  . "$state/env"
}

start_xvfb() {
  command -v Xvfb >/dev/null || die "Xvfb is missing (tools/install-deps.sh installs it)"
  rm -f "$state/xvfb.display"
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
  "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
    /v 'Arial (TrueType)' /t REG_SZ /d arial.ttf /f >/dev/null 2>&1
  "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
    /v 'Arial Bold (TrueType)' /t REG_SZ /d arialbd.ttf /f >/dev/null 2>&1
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

bench_up() {
  [ -x "$WINE64" ] || die "64-bit Wine is missing (tools/install-deps.sh installs it)"
  local display="${DISPLAY:-}"
  if [ "$private_display" = 1 ] || [ -z "$display" ]; then
    display=$(start_xvfb) || exit 2
  fi
  cat >"$state/env" <<ENV
export WINEPREFIX='$state/prefix'
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export DISPLAY='$display'
export ZQ_WINE='$WINE64'
export ZQ_BENCH_STATE='$state'
ENV
  load_env
  check_fallback_fonts
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINE64" wineboot -i >"$state/wineboot.log" 2>&1 || die "wineboot failed (see $state/wineboot.log)"
    wineserver -w </dev/null >/dev/null 2>&1
    install_arial
    # The fonts were registered through a short-lived server: let it end, since `-p` below does
    # not make an already running server persistent, and the service would die with it.
    wineserver -w </dev/null >/dev/null 2>&1
  fi
  # The wineserver outlives this script: it must not hold the caller's stdout and stderr open,
  # or a caller that waits for end-of-file on them (ctest does) waits for ever.
  wineserver -p </dev/null >/dev/null 2>&1
  # Wine's own first-start services come up lazily; one trivial program makes sure they have.
  "$WINE64" cmd /c exit 0 >/dev/null 2>&1
  if [ -n "$service" ]; then
    [ -f "$service" ] || die "no stand-in service at $service"
    echo "export ZQ_STANDIN_EXE='$(windows_path "$service")'" >>"$state/env"
    "$WINE64" "$service" -install >/dev/null 2>&1 || die "stand-in service did not install"
    "$WINE64" "$service" -start >/dev/null 2>&1 || die "stand-in service did not start"
  fi
  echo "winebench: up (DISPLAY=$display, WINEPREFIX=$WINEPREFIX)"
}

bench_down() {
  if [ -f "$state/env" ]; then
    load_env
    wineserver -k >/dev/null 2>&1
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
    timeout --kill-after=10 "$timeout_s" "$WINE64" "$@"
    ;;
  exec)
    [ $# -ge 1 ] || die "exec needs a command"
    load_env
    timeout --kill-after=10 "$timeout_s" "$@"
    ;;
  *) die "usage: winebench.sh up|run|exec|down --state DIR ..." ;;
esac
