#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan/UBSan) and runs each for a bounded time:
#   scripts/fuzz.sh [seconds per target] [target ...]   (default: 8 seconds, every target)
# Each run starts from a copy of its seed corpus in build/fuzz/corpus, so the seeds in
# tests/fuzz/corpus are not grown; a crashing input is kept in build/fuzz/findings.
# Fails when any target finds a crash, a leak or a failed check.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-8}
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

out=build/fuzz
mkdir -p "$out/findings" "$out/logs"
status=0
for name in "${targets[@]}"; do
  corpus=$out/corpus/$name
  rm -rf "$corpus" && mkdir -p "$corpus" && cp tests/fuzz/corpus/"$name"/* "$corpus"/
  log=$out/logs/$name.log
  if "$out/bin/${name}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$out/findings/$name-" "$corpus" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o "cov: [0-9]* ft: [0-9]*" "$log" | tail -n 1 || true)
  echo "fuzz $name: $result, ${runs:-?} runs, ${cov:-no coverage line} (log: $log)"
  if [ "$result" = FAILED ]; then tail -n 30 "$log"; fi
done
exit $status
