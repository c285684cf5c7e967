# shellcheck shell=bash
# Sourced by the packaging tests: skip (77) when a tool is missing, unless CI=true, where a
# missing tool is a failure; fail with a message.

# shellcheck source=tests/support/skip.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/skip.sh"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Fails with both lists when two sorted lists differ.
expect_same() {
  local what=$1 expected=$2 actual=$3
  [ "$expected" = "$actual" ] ||
    fail "$what differ:"$'\n'"$(diff <(echo "$expected") <(echo "$actual") || true)"
}

# The commands and options that `pulsewell --help` lists, one per line: "commands" or
# "options", the name, and "watch" when it is for watch only, else "all"; sorted.
help_entries() {
  local line block scope
  "$1" --help | awk '/^Commands/ { on = "commands"; next } /^Options/ { on = "options"; next }
                     /^$/ { on = "" } on { print on, $0 }' |
    while read -r block line; do
      scope=all
      [[ $line == *"(watch only)"* ]] && scope=watch
      grep -oE '^((-[-a-zA-Z]+(, )?)+|[a-z]+)' <<<"$line" | tr ',' '\n' |
        sed -E 's/^ +//; /^$/d; s/^/'"$block"' /; s/$/ '"$scope"'/'
    done | sort
}
