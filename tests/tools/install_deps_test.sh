#!/usr/bin/env bash
# tools/install-deps.sh against stand-ins for apt-get, dpkg, dpkg-query, sudo and sleep on PATH,
# one row per fault of the package index or the install: the calls it makes in order (waits
# included), its exit code, the one line that says what it decided, and what the Wine bench
# then says about 32-bit programs (tools/winebench.sh can32, which the test command's last line
# repeats). Every row starts on a machine with nothing installed.
#   install_deps_test.sh SOURCE_DIR
set -u
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
stand_in() { printf '#!/bin/bash\nw=%s\n%s\n' "$work" "$2" >"$work/bin/$1"; chmod +x "$work/bin/$1"; }
stand_in apt-get 'if [ "$1" = update ]; then echo update >>$w/calls; n=$(grep -c update $w/calls)
  [ "$n" -gt "$UPDATE_FAILS" ] || { echo "E: File has unexpected size (stand-in)" >&2; exit 100; }
  exit 0; fi
case "$*" in *:i386*) echo install32 >>$w/calls ;; *) echo install64 >>$w/calls ;; esac
for a in "$@"; do [[ "$a" != $FAIL_ON ]] || { echo "E: Unable to locate $a (stand-in)" >&2; exit 100; }; done
printf "%s\n" "$@" >>$w/installed'
stand_in dpkg 'case "$1" in --add-architecture) echo arch >>$w/calls; echo "$2" >>$w/arch ;;
  --print-foreign-architectures) cat $w/arch 2>/dev/null ;; esac'
stand_in dpkg-query 'grep -qx -- "${!#}" $w/installed 2>/dev/null && printf "install ok installed"'
stand_in sudo 'exec "$@"'
stand_in sleep 'echo "wait$1" >>$w/calls'

# name | 32-bit programs run | failing updates | install fails on (a pattern) | stale record of a failed
# 32-bit install | exit code | calls | the line | can32 says (! = must not say)
rows=(
  "index fails once|yes|1|-|yes|0|arch update wait5 update install64 install32|installing wine32:i386|!could not be installed"
  "index fails always|yes|9|-|yes|0|arch update wait5 update wait10 update install64 install32|did not refresh fully after 3 tries; going on|!could not be installed"
  "32-bit lists fail|yes|9|*:i386|no|0|arch update wait5 update wait10 update install64 install32|32-bit Wine could not be installed (apt-get install of wine32:i386|32-bit Wine could not be installed (apt-get install of wine32:i386"
  "32-bit install fails|yes|0|*:i386|no|0|arch update install64 install32|going on as on a machine without 32-bit support|32-bit Wine could not be installed"
  "64-bit package missing|yes|0|xdotool|no|1|arch update install64|FAILED: apt-get could not install the packages this project needs|-"
  "no 32-bit programs|no|0|-|yes|0|update install64|this machine cannot run 32-bit programs|cannot run 32-bit programs"
)
export PATH="$work/bin:$PATH" ZQ_DEPS_STATE_DIR=$work/state
failures=0
for row in "${rows[@]}"; do
  IFS='|' read -r name run32 fails fail_on stale want_rc want_calls want_line want_can32 <<<"$row"
  rm -f "$work/calls" "$work/installed" "$work/arch"; rm -rf "$work/state"; mkdir "$work/state"
  [ "$stale" = no ] || echo "stale" >"$work/state/wine32-install-failed"
  force=ZQ_FORCE_32BIT; [ "$run32" = yes ] || force=ZQ_FORCE_NO_32BIT
  export UPDATE_FAILS=$fails FAIL_ON=$fail_on
  rc=0; env "$force=1" bash "$source_dir/tools/install-deps.sh" >"$work/out" 2>&1 || rc=$?
  calls=$(tr '\n' ' ' <"$work/calls"); calls=${calls% }
  can32=$(env "$force=1" bash "$source_dir/tools/winebench.sh" can32 2>&1)
  bad=""
  [ "$rc" = "$want_rc" ] || bad+=" exit code $rc, not $want_rc;"
  [ "$calls" = "$want_calls" ] || bad+=" calls \"$calls\";"
  [ "$(grep -cF -- "$want_line" "$work/out")" = 1 ] || bad+=" not one line \"$want_line\";"
  case "$want_can32" in
    -) ;;
    !*) [[ "$can32" != *"${want_can32#!}"* ]] || bad+=" can32 says \"$can32\";" ;;
    *) [[ "$can32" == *"$want_can32"* ]] || bad+=" can32 says \"$can32\";" ;;
  esac
  if [ -z "$bad" ]; then echo "ok: $name"; else
    failures=$((failures + 1)); echo "FAILED: $name:$bad"; sed 's/^/    /' "$work/out"; fi
done
[ "$failures" = 0 ]
