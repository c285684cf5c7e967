#!/usr/bin/env bash
# The manual page: clean for mandoc's and for man's (groff's) checks, and in step with
# `pulsewell --help`: the same commands and options, the same ones for watch only, the
# environment variables the help names, and the same exit statuses.
# Usage: manual_page_test.sh PULSEWELL MANUAL_PAGE
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pulsewell=$1
page=$2
need_tools mandoc man

lint=$(mandoc -T lint -W all "$page" 2>&1) || fail "mandoc -T lint: $lint"
[ -z "$lint" ] || fail "mandoc -T lint: $lint"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=all -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings: $warnings"

help=$("$pulsewell" --help)
# The page as a reader sees it, without the overstrike of bold and underlined text.
text=$(LC_ALL=C.UTF-8 mandoc -T utf8 -O width=80 "$page" | sed 's/.\x08//g')

# The lines of one section of the page (a heading starts at column 0).
section() {
  awk -v name="$1" '/^[A-Z]/ { on = ($0 == name); next } on' <<<"$text"
}
# The same from the page's source: in COMMANDS and OPTIONS, the line after each .TP is a
# tag, and the text up to the next paragraph is its description.
page_entries() {
  awk 'function plain(line) { sub(/^\.[A-Z]+ /, "", line); gsub(/\\-/, "-", line)
                              gsub(/"/, " ", line); return line }
       function flush(   n, i, words, found) {
         if (tag != "" && (section == "COMMANDS" || section == "OPTIONS")) {
           n = split(tag, words, / +/)
           for (i = 1; i <= n; i++)
             if (words[i] ~ /^-/) { print tolower(section), words[i], scope; found = 1 }
           if (!found) print tolower(section), words[1], scope
         }
         tag = ""
       }
       /^\.SH/ { flush(); section = $2; next }
       /^\.(PP|TP)/ { flush(); awaiting = ($0 == ".TP"); next }
       awaiting { tag = plain($0); scope = "all"; awaiting = 0; body = ""; next }
       tag != "" { body = body " " plain($0); if (body ~ /watch +only/) scope = "watch" }
       END { flush() }' "$page" | sort
}
expect_same "commands and options of --help and the manual page" \
  "$(help_entries "$pulsewell")" "$(page_entries)"

options_in() { grep -oE -- '--?[a-zA-Z][-a-zA-Z]*' | sort -u; }
expect_same "options of --help and the manual's synopsis" \
  "$(help_entries "$pulsewell" | awk '$2 ~ /^-/ { print $2 }' | sort -u)" "$(section SYNOPSIS | options_in)"

for variable in $(grep -oE '\b[A-Z]+_[A-Z_]+\b' <<<"$help" | sort -u); do
  section ENVIRONMENT | grep -q "^       $variable" ||
    fail "the manual page does not describe $variable"
done

expect_same "exit statuses of --help and the manual page" \
  "$(awk '/^Exit status:/ { on = 1; next } /^$/ { on = 0 } on' <<<"$help" |
     grep -oE '^  [0-9]+' | tr -d ' ')" \
  "$(section 'EXIT STATUS' | grep -oE '^       [0-9]+' | tr -d ' ')"

echo "PASS: the manual page is lint-clean and says what --help says"
