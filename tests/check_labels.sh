#!/usr/bin/env bash
# Checks that the test labels select what they say, so `ctest -L unit` or `ctest -L snmp`
# runs the whole of that suite: every test carries exactly one kind (unit, integration, qt,
# keyring, e2e), every GoogleTest test the subsystem its executable is named after, and the
# codec, link and client tests count as unit tests.
# Usage: tests/check_labels.sh CTEST BUILD_DIR
set -euo pipefail

"$1" --test-dir "$2" -N -V | awk '
  # One line per executable and fault, naming its first test.
  function fail(message) {
    if (!seen[executable, message]++) print "check_labels: " executable " (" name ", ...): " message
    failed = 1
  }
  / Test command: / { executable = $4; sub(/.*\//, "", executable); labels = "" }
  /^Labels: / { labels = " " substr($0, 9) " " }
  /^ *Test +#[0-9]+: / {
    name = $0; sub(/^ *Test +#[0-9]+: /, "", name); ++tests
    kinds = 0
    split("unit integration qt keyring e2e", kind, " ")
    for (k in kind) if (index(labels, " " kind[k] " ")) ++kinds
    if (kinds != 1) fail("has " kinds " kinds among unit, integration, qt, keyring, e2e (labels:" labels ")")
    subsystem = ""
    if (executable ~ /^(snmp|traffic|menubar|app|platform)_.*_test$/) subsystem = executable
    sub(/_.*/, "", subsystem)
    if (executable == "agent_test") subsystem = "tools"
    if (subsystem != "" && !index(labels, " " subsystem " ")) fail("lacks the label " subsystem)
    if (executable ~ /^snmp_(codec|link|client)_test$/ && !index(labels, " unit ")) fail("lacks the label unit")
  }
  END {
    if (tests == 0) { print "check_labels: CTest lists no tests"; exit 1 }
    exit failed
  }'
