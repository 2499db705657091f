#!/usr/bin/env bash
# Fuzzes the parsers and formatters that take outside input (tests/fuzz): builds the targets with
# clang-14, libFuzzer, ASan and UBSan in build/fuzz, replays every seed and regression case, then
# fuzzes each target for the given time. Exits non-zero on any finding.
#
#   tools/fuzz.sh [seconds] [target ...]      default: 10 seconds, every target
#   tools/fuzz.sh --runs N [seconds] [target ...]
#                                             stop a target after N executions (or the time)
#   tools/fuzz.sh --coverage [target ...]     line and branch coverage of the product's code by
#                                             the seeds, regressions and grown corpus (build/fuzz-cov)
#   tools/fuzz.sh --list                      the targets
#
# Long campaigns: nice -n 19 tools/fuzz.sh --runs 10000000 3600 (one target at a time).
# Findings land in build/fuzz/findings/<target>/; copy one into tests/fuzz/<target>/regressions/
# once it is fixed. The corpus a run grows stays in build/fuzz/corpus/<target>/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

targets_all=(appwatch_config iconreg_command_line settings_block format_bounded log_lines)
# Longest input per target, in bytes: room for what each one has to reach (a line past 129
# units, a log line past 2047, a word of 1023 units) without slowing the runs down.
declare -A max_len=([appwatch_config]=4096 [iconreg_command_line]=1024 [settings_block]=4096
                    [format_bounded]=4096 [log_lines]=8192)

runs=""
coverage_report=""
seconds=10
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --coverage) coverage_report=1; shift ;;
    --list) printf '%s\n' "${targets_all[@]}"; exit 0 ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    [0-9]*) seconds=$1; shift ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=("${targets_all[@]}")
for t in "${targets[@]}"; do
  [ -n "${max_len[$t]:-}" ] || { echo "fuzz.sh: no target $t (tools/fuzz.sh --list)" >&2; exit 2; }
done

for tool in clang-14 clang++-14; do
  command -v $tool >/dev/null || { echo "fuzz.sh: $tool is missing (tools/install-deps.sh)" >&2; exit 2; }
done

# --coverage: the same targets built with clang's source-based coverage (no sanitizers), run
# once over every input there is, and llvm-cov's report on the product files each one fuzzes.
if [ -n "$coverage_report" ]; then
  declare -A sources=(
    [appwatch_config]="appwatch/monitor_config_parse.cpp"
    [iconreg_command_line]="iconreg/command_line.cpp"
    [settings_block]="sensorctl/settings/settings_block.cpp sensorctl/resources/strings/string_table.cpp"
    [format_bounded]="shared/format_bounded.cpp"
    [log_lines]="appwatch/monitor_log_line.cpp iconreg/tool_texts.cpp shared/format_bounded.cpp")
  build=build/fuzz-cov
  mkdir -p "$build/profiles"
  flags="-fprofile-instr-generate -fcoverage-mapping"
  cmake -S . -B "$build" -G "Unix Makefiles" \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DZQ_SANITIZE=OFF -DZQ_FUZZ=ON \
    >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
  cmake --build "$build" --target zq_fuzzers -j "$(nproc 2>/dev/null || echo 2)" >"$build/build.log" 2>&1 ||
    { tail -n 60 "$build/build.log"; exit 1; }
  for t in "${targets[@]}"; do
    dirs=()
    for d in "tests/fuzz/$t/corpus" "tests/fuzz/$t/regressions" "build/fuzz/corpus/$t"; do
      [ -d "$d" ] && dirs+=("$d")
    done
    rm -f "$build/profiles/$t".*
    LLVM_PROFILE_FILE="$build/profiles/$t.profraw" "$build/bin/fuzz_$t" -runs=0 \
      -max_len="${max_len[$t]}" "${dirs[@]}" >"$build/profiles/$t.log" 2>&1
    llvm-profdata-14 merge -sparse "$build/profiles/$t.profraw" -o "$build/profiles/$t.profdata"
    echo "=== coverage: $t ($(grep -o 'INITED.*' "$build/profiles/$t.log" | cut -d' ' -f1-5))"
    # shellcheck disable=SC2086
    llvm-cov-14 report "$build/bin/fuzz_$t" -instr-profile="$build/profiles/$t.profdata" \
      ${sources[$t]}
  done
  exit 0
fi

build=build/fuzz
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$build"
# libFuzzer's coverage in the product's libraries too, less what tests/fuzz/coverage_ignorelist.txt
# leaves out.
coverage="-fsanitize=fuzzer-no-link -fsanitize-coverage-ignorelist=$root/tests/fuzz/coverage_ignorelist.txt"
echo "=== fuzz: configure and build ($build, clang-14, libFuzzer, ASan, UBSan)"
cmake -S . -B "$build" -G "Unix Makefiles" \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$coverage" -DCMAKE_CXX_FLAGS="$coverage" \
  -DZQ_SANITIZE=ON -DZQ_FUZZ=ON >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
# The compiler does not track the ignore list: a changed list means building everything again.
stamp=$(sha256sum tests/fuzz/coverage_ignorelist.txt | cut -d' ' -f1)
if [ "$(cat "$build/ignorelist.stamp" 2>/dev/null)" != "$stamp" ]; then
  cmake --build "$build" --target clean >/dev/null 2>&1 || true
  echo "$stamp" >"$build/ignorelist.stamp"
fi
cmake --build "$build" --target zq_fuzzers -j "$jobs" >"$build/build.log" 2>&1 ||
  { tail -n 60 "$build/build.log"; exit 1; }

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
symbolizer=$(command -v llvm-symbolizer-14 || true)
[ -z "$symbolizer" ] || export ASAN_SYMBOLIZER_PATH=$symbolizer

status=0
summary=()
for t in "${targets[@]}"; do
  bin=$build/bin/fuzz_$t
  src=tests/fuzz/$t
  work=$build/corpus/$t
  findings=$build/findings/$t
  logs=$build/logs
  mkdir -p "$work" "$findings" "$logs" "$src/corpus" "$src/regressions"
  dict=()
  [ -f "$src.dict" ] && dict=(-dict="$src.dict")

  # Every seed and regression case, whole and one by one (a corpus directory would be cut to
  # the length limit).
  mapfile -t cases < <(find "$src/corpus" "$src/regressions" -type f ! -name '.*' | sort)
  echo "=== fuzz: $t: replay ${#cases[@]} seed and regression cases"
  if [ ${#cases[@]} -gt 0 ] && ! "$bin" "${cases[@]}" >"$logs/$t.replay.log" 2>&1; then
    tail -n 40 "$logs/$t.replay.log"
    echo "*** $t: a seed or regression case fails"
    summary+=("$t: FAILED on a seed or regression case (see $logs/$t.replay.log)")
    status=1
    continue
  fi

  echo "=== fuzz: $t: ${seconds}s${runs:+, at most $runs runs}"
  options=(-max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout=25 -rss_limit_mb=2560
           -entropic_scale_per_exec_time=1 -print_final_stats=1 -artifact_prefix="$findings/" "${dict[@]}")
  [ -z "$runs" ] || options+=(-runs="$runs")
  if "$bin" "${options[@]}" "$work" "$src/corpus" >"$logs/$t.log" 2>&1; then
    result=ok
  else
    result=FINDING
    status=1
    grep -E 'ERROR|runtime error|fuzz invariant|Test unit written|SUMMARY' "$logs/$t.log" | head -n 20 || true
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$t.log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$logs/$t.log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$logs/$t.log" | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9a-zA-Z]*\).*/\1/p' <<<"$last")
  summary+=("$(printf '%-22s %-8s execs %-10s (%s/s)  cov %-6s ft %-6s corpus %s' \
    "$t" "$result" "${execs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}")")
  if [ $result != ok ]; then
    summary+=("    log: $logs/$t.log; reproducer in $findings/")
  fi
done

echo "=== fuzz: summary"
printf '%s\n' "${summary[@]}"
exit $status
