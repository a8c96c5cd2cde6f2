#!/usr/bin/env bash
# Fuzzes one target for a number of CPU seconds, then trims what it found into its seed folder.
#
#   tools/fuzz.sh <target> [cpu-seconds] [build folder]
#
# <target> is the name of a fuzz/<target>.cpp (for example script_Calc); fuzz/<target>.dict, when
# there is one, lists the words of its input language for the fuzzer. The program comes from the
# fuzzing build (make build-fuzz: clang, AddressSanitizer and UndefinedBehaviorSanitizer, every
# library instrumented for coverage). The run starts from fuzz/corpus/<target>/, grows a working
# corpus in <build>/fuzz-work/<target>/ and is stopped once the process has used the CPU seconds
# asked for (default 600), niced, whatever the machine's load. Then the seeds are trimmed: those
# committed already stay (the hand-made ones are named for what they show), and of the inputs
# found (new in the seed folder, or in the working corpus) only those that reach code the others
# do not join them. A fault leaves its input in <build>/fuzz-work/<target>-crash-* (or -timeout-, -oom-) and
# fails the run. The last line printed sums the run up: coverage, features, executions per
# second, CPU seconds, seeds.
#
# The whole script is read before it runs, so that editing it cannot disturb runs in progress.
main() {
  set -u
  local target=${1:?usage: tools/fuzz.sh <target> [cpu-seconds] [build folder]}
  local cpu=${2:-600} build=${3:-build-fuzz}
  local root prog seeds work log
  root=$(cd "$(dirname "$0")/.." && pwd)
  prog="$build/fuzz/fuzz_$target"
  seeds="$root/fuzz/corpus/$target"
  work="$build/fuzz-work/$target"
  log="$build/fuzz-work/$target.log"
  [ -x "$prog" ] || { echo "fuzz: no program $prog (make build-fuzz)" >&2; return 2; }
  mkdir -p "$work" "$seeds"

  # Inputs larger than this slow the run down more than they find; the seeds stay small as well.
  # Under the sanitizers work runs some 50 times slower: a unit is a fault past a minute, which
  # is about a second in the engine, not before (a script may fill arrays of millions of texts).
  local opts=(-max_len=4096 -timeout=60 -rss_limit_mb=3072 -artifact_prefix="$build/fuzz-work/$target-")
  [ -f "$root/fuzz/$target.dict" ] && opts+=(-dict="$root/fuzz/$target.dict")
  nice -n 10 "$prog" "${opts[@]}" -print_final_stats=1 "$work" "$seeds" >"$log" 2>&1 &
  local pid=$!
  # Stops the fuzzer with an interrupt, which it takes as a clean end, once it has used its time.
  local ticks used=0 stat fields
  ticks=$(getconf CLK_TCK)
  while kill -0 "$pid" 2>/dev/null; do
    sleep 5
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || break
    read -r -a fields <<<"${stat##*) }"
    used=$(((fields[11] + fields[12]) / ticks))
    if [ "$used" -ge "$cpu" ]; then
      kill -INT "$pid" 2>/dev/null
      break
    fi
  done
  wait "$pid"
  local status=$?
  if compgen -G "$build/fuzz-work/$target-*-*" >/dev/null; then
    echo "fuzz: $target found a fault; see $log and $build/fuzz-work/$target-*" >&2
    return 1
  fi
  if [ "$status" -ne 0 ] && ! grep -q "run interrupted" "$log"; then
    echo "fuzz: $target ended with status $status; see $log" >&2
    return 1
  fi

  # Coverage counts edges only here (no hit counts), which keeps few inputs per piece of code.
  local fresh="$build/fuzz-work/$target.trim" f kept
  rm -rf "$fresh" "$fresh.found"
  mkdir -p "$fresh" "$fresh.found"
  kept=$(git -C "$root" ls-files "fuzz/corpus/$target")
  for f in "$seeds"/*; do
    if grep -qxF "fuzz/corpus/$target/$(basename "$f")" <<<"$kept"; then cp "$f" "$fresh/"; else cp "$f" "$fresh.found/"; fi
  done
  cp "$work"/* "$fresh.found/" 2>/dev/null
  nice -n 10 "$prog" -merge=1 -use_counters=0 "${opts[@]}" "$fresh" "$fresh.found" >"$log.merge" 2>&1 || {
    echo "fuzz: trimming $target failed; see $log.merge" >&2
    return 1
  }
  rm -rf "$seeds" "$fresh.found"
  mv "$fresh" "$seeds"

  local last cov ft runs rate
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "$target: cov $cov, ft $ft, runs ${runs:-?}, ${rate:-?} exec/s, $used CPU s, seeds $(ls "$seeds" | wc -l)"
}
main "$@"
exit
