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
# asked for (default 600), niced, whatever the machine's load. Then the working corpus is merged
# into a copy of the seeds, which replaces fuzz/corpus/<target>/: the seeds there stay as they are
# (their names say what each one shows) and only found inputs that add coverage join them. A crash leaves its input in <build>/fuzz-work/<target>-crash-* and fails.
# The last line printed sums up the run: coverage, features, executions per second, CPU seconds.
set -u
target=${1:?usage: tools/fuzz.sh <target> [cpu-seconds] [build folder]}
cpu=${2:-600}
build=${3:-build-fuzz}
root=$(cd "$(dirname "$0")/.." && pwd)
prog="$build/fuzz/fuzz_$target"
seeds="$root/fuzz/corpus/$target"
work="$build/fuzz-work/$target"
log="$build/fuzz-work/$target.log"
[ -x "$prog" ] || { echo "fuzz: no program $prog (make build-fuzz)" >&2; exit 2; }
mkdir -p "$work" "$seeds"

# Inputs larger than this slow the run down more than they find; the seeds stay small as well.
opts=(-max_len=4096 -timeout=20 -rss_limit_mb=3072 -print_final_stats=1 -artifact_prefix="$build/fuzz-work/$target-")
# A target's dictionary, when it has one: the words of its input language.
[ -f "$root/fuzz/$target.dict" ] && opts+=(-dict="$root/fuzz/$target.dict")
nice -n 10 "$prog" "${opts[@]}" "$work" "$seeds" >"$log" 2>&1 &
pid=$!
# Stops the fuzzer with an interrupt, which it takes as a clean end, once it has used its time.
ticks=$(getconf CLK_TCK)
used=0
while kill -0 "$pid" 2>/dev/null; do
  sleep 5
  stat=$(cat "/proc/$pid/stat" 2>/dev/null) || break
  fields=(${stat##*) })
  used=$(((fields[11] + fields[12]) / ticks))
  if [ "$used" -ge "$cpu" ]; then
    kill -INT "$pid" 2>/dev/null
    break
  fi
done
wait "$pid"
status=$?
if ls "$build/fuzz-work/$target"-crash-* "$build/fuzz-work/$target"-leak-* "$build/fuzz-work/$target"-timeout-* \
  "$build/fuzz-work/$target"-oom-* >/dev/null 2>&1; then
  echo "fuzz: $target found a fault; see $log and $build/fuzz-work/$target-*" >&2
  exit 1
fi
if [ "$status" -ne 0 ] && ! grep -q "run interrupted" "$log"; then
  echo "fuzz: $target ended with status $status; see $log" >&2
  exit 1
fi

fresh="$build/fuzz-work/$target.merged"
rm -rf "$fresh"
cp -r "$seeds" "$fresh"
nice -n 10 "$prog" -merge=1 "${opts[@]}" "$fresh" "$work" >"$log.merge" 2>&1 || {
  echo "fuzz: merging $target failed; see $log.merge" >&2
  exit 1
}
rm -rf "$seeds"
mv "$fresh" "$seeds"

last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
echo "$target: cov $cov, ft $ft, runs ${runs:-?}, ${rate:-?} exec/s, $used CPU s, seeds $(ls "$seeds" | wc -l)"
