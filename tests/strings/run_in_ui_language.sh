#!/usr/bin/env bash
# Runs a Windows test program under Wine with the UI language that a Linux locale gives it, and
# tells the program which UI language and which string table to expect.
#   run_in_ui_language.sh LOCALE UI-LANGUAGE TABLE-LANGUAGE PROGRAM.EXE [ARGS...]
# Wine takes the UI language from the locale variables; the locale need not be installed.
set -eu
[ $# -ge 4 ] || { echo "usage: $0 LOCALE UI-LANGUAGE TABLE-LANGUAGE PROGRAM [ARGS...]" >&2; exit 2; }
locale=$1 ui=$2 table=$3
shift 3
exec env LC_ALL="$locale" ZQ_EXPECT_UI_LANGUAGE="$ui" ZQ_EXPECT_TABLE_LANGUAGE="$table" \
  timeout --kill-after=10 120 "${ZQ_WINE:?run inside the Wine bench}" "$@"
