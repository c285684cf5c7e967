#!/usr/bin/env zsh
# Prints the matches zsh's completion system offers for command lines: an interactive zsh
# in a pseudo-terminal (zpty) loads compinit with FPATH_DIR first, then for each line types
# it and a Tab, and writes every match to a file instead of inserting it. compinit keeps
# its dump in DUMP_FILE, so that later runs start fast.
# Usage: zsh_complete.zsh FPATH_DIR DUMP_FILE LINE...
# Prints, for each line, "== LINE" and then its matches, one per line, sorted.
emulate -L zsh
zmodload zsh/zpty zsh/datetime || exit 2

local dir=$1 dump=$2 line
shift 2
local report=$(mktemp -d)
trap 'zpty -d shell 2>/dev/null; rm -rf $report' EXIT
zpty shell zsh -f -i
zpty -w shell "fpath=(${(q)dir} \$fpath); autoload -U compinit; compinit -u -d ${(q)dump}"
zpty -w shell "compadd() { local -a hits; builtin compadd -O hits \"\$@\"; print -rl -- \$hits >>${(q)report}/matches }"
# A key after the Tab marks the end of that completion and clears the line.
zpty -w shell "_report_done() { BUFFER=; : >${(q)report}/done }; zle -N _report_done"
zpty -w shell 'bindkey "^I" complete-word; bindkey "^Xd" _report_done'

for line in "$@"; do
  rm -f $report/matches $report/done
  zpty -w -n shell "$line"$'\t\C-xd'
  local -F deadline=$(( EPOCHREALTIME + 10 ))
  while [[ ! -e $report/done ]] && (( EPOCHREALTIME < deadline )); do
    zpty -r -t shell >/dev/null || sleep 0.02
  done
  [[ -e $report/done ]] || { print -u2 "zsh did not complete '$line'"; exit 1 }
  print -r -- "== $line"
  [[ -s $report/matches ]] && print -rl -- ${(ou)${(f)"$(<$report/matches)"}}
done
