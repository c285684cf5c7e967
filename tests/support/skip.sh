# shellcheck shell=bash
# Sourced by the script tests: a missing tool or peer skips the test (77), except under
# CI=true, where it fails.

skip() {
  if [ "${CI:-}" = "true" ]; then
    echo "FAIL: $*" >&2
    exit 1
  fi
  echo "SKIP: $*" >&2
  exit 77
}
