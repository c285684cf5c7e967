#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test suite: the GCC debug
# build, the ASan+UBSan and TSan builds (Clang), the linters, and a bounded fuzz run.
# Usage: scripts/test.sh [--quick]   (--quick: the debug build's tests only)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
[ "${1:-}" = "--quick" ] && quick=true

scripts/install-deps.sh

jobs=$(nproc)
passed=0
failed=0

# Builds one preset and runs its tests; counts suites, keeps going so every failure shows.
run_suite() {
  local preset=$1; shift
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  if ctest --preset "$preset" -j "$jobs" "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
}

run_suite debug
if ! $quick; then
  # ASan runs everything but the desktop end-to-end test, which the debug build covers.
  # Qt's own libraries are not built for TSan, so the TSan preset builds the core alone.
  run_suite asan -LE e2e
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_suite tsan
  echo "== lint"
  if scripts/lint.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  echo "== package"
  # Installing into the system is for CI's throwaway machine; elsewhere the contents are checked.
  package_args=()
  [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ] && package_args=(--install-check)
  if scripts/package.sh "${package_args[@]}"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  echo "== fuzz"
  if scripts/fuzz.sh "${PULSEWELL_FUZZ_SECONDS:-60}"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
fi

echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
