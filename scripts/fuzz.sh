#!/usr/bin/env bash
# Builds the fuzz targets (clang 14 with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each on its corpus.
#
#   bash scripts/fuzz.sh                    every target for 10 minutes
#   bash scripts/fuzz.sh 60                 every target for 60 seconds
#   bash scripts/fuzz.sh 3600 import_fuzz   one target for an hour
#
# Inputs that reach new code are kept in build/fuzz/corpus/<target>. An input
# that breaks a rule is written to build/fuzz/crashes/<target>/ and the script
# fails; once it is fixed, copy the input into fuzz/corpus/<target>/ so that
# every later run tries it again.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(import_fuzz box_number_fuzz calculate_fuzz step_fuzz bes3t_fuzz esp_winepr_fuzz labelled_table_fuzz
    model_fuzz parameter_set_fuzz)
fi

build=$PWD/build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DRAVELLE_BUILD_FUZZ=ON -DRAVELLE_BUILD_TESTS=OFF \
  -DRAVELLE_BUILD_BENCH=OFF > /dev/null
cmake --build "$build" --target "${targets[@]}"

export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1

failed=()
for target in "${targets[@]}"; do
  mkdir -p "$build/corpus/$target" "$build/crashes/$target"
  log=$build/$target.log
  # -timeout: one input running this long counts as a hang.
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/crashes/$target/" \
      "$build/corpus/$target" "$PWD/fuzz/corpus/$target" > "$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: ${runs:-?} inputs in ${seconds} s, no rule broken"
  else
    echo "$target: FAILED (log: $log)"
    grep -E "broken rule|ERROR|SUMMARY|runtime error|Test unit written" "$log" | head -20 || true
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "Fuzzing found faults in: ${failed[*]}"
  exit 1
fi
