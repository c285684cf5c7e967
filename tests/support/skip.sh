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
# Skips (or fails under CI=true) unless every named tool is on the PATH.
need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
}
