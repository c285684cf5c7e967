# shellcheck shell=bash
# Sourced by test.sh.
#   print_failed_tests BUILD_DIR
# prints, for each test of the last ctest run in BUILD_DIR that did not pass, its name, how it
# ended and the end of its output, so a long log still ends with what went wrong.
print_failed_tests() {
  local log=$1/Testing/Temporary/LastTest.log
  [ -f "$log" ] || return 0
  awk '
    /^[0-9]+\/[0-9]+ Testing: / { name = $0; sub(/^[0-9]+\/[0-9]+ Testing: /, "", name); n = 0; next }
    /^Output:$/ { collecting = 1; next }
    /^<end of output>$/ { collecting = 0; awaiting = 1; next }
    collecting { lines[n++] = $0; next }
    awaiting && /^Test time|^-+$/ { next }
    awaiting {
      awaiting = 0
      if ($0 != "Test Passed.") {
        print "-- " name ": " $0
        for (i = (n > 40 ? n - 40 : 0); i < n; i++) print "   " lines[i]
      }
    }
  ' "$log"
}
