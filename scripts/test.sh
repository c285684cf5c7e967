#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test suite: the GCC debug
# build, the ASan+UBSan and TSan builds (Clang), the linters, and a bounded fuzz run.
# Usage: scripts/test.sh [--quick]   (--quick: the debug build's tests only)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
[ "${1:-}" = "--quick" ] && quick=true

source scripts/lib/failed-tests.sh

jobs=$(nproc)
passed=0
failed=0
failed_suites=()
failed_builds=()
phase_times=()

# Runs one phase and notes how long it took, so the log shows where CI's time goes.
timed() {
  local name=$1; shift
  local start=$SECONDS status=0
  "$@" || status=$?
  phase_times+=("$name $((SECONDS - start))s")
  echo "== $name took $((SECONDS - start))s"
  return "$status"
}

timed install-deps scripts/install-deps.sh
timed install-tray-hosts scripts/install-tray-hosts.sh

# Builds one preset and runs its tests; counts suites, keeps going so every failure shows.
run_suite() {
  local preset=$1; shift
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  timed "$preset build" cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  if timed "$preset test" ctest --preset "$preset" -j "$jobs" "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failed_suites+=("$preset")
    failed_builds+=("build/$preset")
  fi
}

# Counts a suite that is a script of its own.
run_check() {
  local name=$1; shift
  echo "== $name"
  if timed "$name" "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failed_suites+=("$name")
  fi
}

run_suite debug -LE e2e
# The panel hosts (GNOME Shell, xfce4-panel, sway, trayer) run under Xvfb with their own
# timing; a host that misses one click gets one more run before the suite counts it failed.
run_check e2e ctest --preset debug -L e2e --repeat until-pass:2
if ! $quick; then
  # ASan runs everything but the desktop end-to-end test, which the debug build covers.
  # Qt's own libraries are not built for TSan, so the TSan preset builds the core alone.
  run_suite asan -LE e2e
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_suite tsan
  run_check lint scripts/lint.sh
  # Installing into the system is for CI's throwaway machine; elsewhere the contents are checked.
  package_args=()
  [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ] && package_args=(--install-check)
  run_check package scripts/package.sh "${package_args[@]}"
  run_check fuzz scripts/fuzz.sh "${PULSEWELL_FUZZ_SECONDS:-60}"
fi

echo "== phase times"
printf '  %s\n' "${phase_times[@]}"

# Failures again at the very end, where a shortened log still shows them.
for build in "${failed_builds[@]}"; do
  echo "== tests that failed in $build"
  print_failed_tests "$build"
done
if [ "$failed" -gt 0 ]; then
  echo "suites: $passed passed, $failed failed (${failed_suites[*]})"
else
  echo "suites: $passed passed, 0 failed"
fi
[ "$failed" -eq 0 ]
