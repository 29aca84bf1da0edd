#!/usr/bin/env bash
# Installs what is missing, builds Ravelle2 with its tests and runs them all
# headless; then runs the same tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer, the fit's tests with ThreadSanitizer, and each
# fuzz target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
started=$SECONDS
# A failing test run does not stop the later ones; the script fails at the end.
failed=()

echo "== Tests"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j "$(nproc)" --timeout 600 || failed+=("tests")
echo "(tests done after $((SECONDS - started)) s)"

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DRAVELLE_SANITIZE=ON -DRAVELLE_BUILD_BENCH=OFF > /dev/null
cmake --build build/asan
# Leaks are reported too, except the few of system libraries listed in the
# suppressions file.
ASAN_OPTIONS=detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$(nproc)" --timeout 1200 || failed+=("sanitizer tests")
echo "(sanitizer tests done after $((SECONDS - started)) s)"

echo "== Fit tests under ThreadSanitizer"
# The fit runs on a thread of its own while the window polls it. Qt is not
# built with the sanitizer, so only reports proved to lie inside Qt or the
# system libraries are suppressed, in the committed file.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DRAVELLE_THREAD_SANITIZE=ON -DRAVELLE_BUILD_BENCH=OFF > /dev/null
cmake --build build/tsan --target fit_test fit_parts_test fit_dialog_test
TSAN_OPTIONS="suppressions=$PWD/scripts/tsan-suppressions.txt:halt_on_error=1:second_deadlock_stack=1" \
  ctest --test-dir build/tsan -R '^fit_(dialog_|parts_)?test$' --output-on-failure -j "$(nproc)" --timeout 1200 \
  || failed+=("thread sanitizer tests")
echo "(thread sanitizer tests done after $((SECONDS - started)) s)"

echo "== Fuzzing, 10 s per target"
bash scripts/fuzz.sh 10 || failed+=("fuzzing")
echo "(all done after $((SECONDS - started)) s)"

if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
