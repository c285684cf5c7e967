#!/usr/bin/env bash
# The shell completions, driven by the shells themselves: bash through bash-completion's
# loader, fish with `complete -C`, zsh with compinit in a pseudo-terminal. Each offers the
# commands and options of `pulsewell --help`, and after --interface the interface names
# that the real program lists from the simulator agent; nothing when the device does not
# answer.
# Usage: completion_test.sh PULSEWELL PULSEWELL_AGENT COMPLETIONS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

pulsewell=$1
agent=$2
completions=$3
need_tools bash fish zsh timeout
bash_completion=/usr/share/bash-completion/bash_completion
[ -f "$bash_completion" ] || skip "bash-completion is not installed"

work=$(mktemp -d)
agent_pid=
cleanup() {
  [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The completions where the package puts them, found the way each shell finds them.
share=$work/share
install -D -m 644 "$completions/pulsewell.bash" "$share/bash-completion/completions/pulsewell"
install -D -m 644 "$completions/_pulsewell" "$share/zsh/vendor-completions/_pulsewell"
install -D -m 644 "$completions/pulsewell.fish" "$share/fish/vendor_completions.d/pulsewell.fish"

# The router: three interfaces, wan0 the chosen one; the settings point at it.
cat >"$work/table.txt" <<'TABLE'
1.3.6.1.2.1.31.1.1.1.1.1   string     wan0
1.3.6.1.2.1.31.1.1.1.1.2   string     br-lan
1.3.6.1.2.1.31.1.1.1.1.3   string     ppp0
1.3.6.1.2.1.2.2.1.8.1      integer    1
1.3.6.1.2.1.2.2.1.8.2      integer    1
1.3.6.1.2.1.2.2.1.8.3      integer    2
TABLE
"$agent" --table "$work/table.txt" --port 0 --port-file "$work/port" --community velmar &
agent_pid=$!
for _ in $(seq 200); do
  [ -s "$work/port" ] && break
  sleep 0.05
done
[ -s "$work/port" ] || fail "the simulator agent did not start"
port=$(cat "$work/port")
mkdir -p "$work/config/pulsewell" "$work/empty/pulsewell" "$work/home"
printf '{"routerHost": "127.0.0.1", "routerPort": %s, "routerInterface": "wan0"}\n' "$port" \
  >"$work/config/pulsewell/settings.json"

export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/home/data
export XDG_DATA_DIRS=$share:/usr/share PATH=$(dirname "$pulsewell"):$PATH
export PULSEWELL_SECRET_STORE=file PULSEWELL_COMMUNITY=velmar LC_ALL=C.UTF-8
unset LANGUAGE

# Each prints, for every line, "== LINE" and then the words offered, sorted.
complete_bash() {
  bash --norc --noprofile -c '
    source "$0"
    __load_completion pulsewell || exit 1
    function=$(complete -p pulsewell | sed -E "s/.* -F ([^ ]+) .*/\1/")
    for COMP_LINE in "$@"; do
      COMP_POINT=${#COMP_LINE}
      # bash splits words at COMP_WORDBREAKS, "=" among them.
      read -ra COMP_WORDS <<<"${COMP_LINE//=/ = }"
      [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      COMPREPLY=()
      "$function" pulsewell "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
      echo "== $COMP_LINE"
      [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}" | sort -u
    done' "$bash_completion" "$@"
}
complete_fish() {
  local line
  for line in "$@"; do
    echo "== $line"
    fish -c 'complete -C $argv[1]' "$line" | cut -f1 | sort -u
  done
}
complete_zsh() {
  zsh "$here/zsh_complete.zsh" "$share/zsh/vendor-completions" "$work/zcompdump" "$@"
}

# What --help lists: the long forms of the commands; the options of every command; those
# of watch.
help=$(help_entries "$pulsewell")
commands=$(awk '$1 == "commands" && $2 !~ /^-[^-]/ { print $2 }' <<<"$help" | sort)
common=$( (awk '$1 == "options" && $3 == "all" { print $2 }' <<<"$help"; echo --help) | sort)
watching=$( (awk '$1 == "options" { print $2 }' <<<"$help"; echo --help) | sort)
interfaces=$(printf '%s\n' br-lan ppp0 wan0)
lines=(
  "pulsewell " "pulsewell --" "pulsewell wa" "pulsewell watch --" "pulsewell interfaces --"
  "pulsewell watch --interface "
  "pulsewell watch --interface w"
  "pulsewell watch --bits --interface "
  "pulsewell watch --port 1 --interface "
)
for shell in bash fish zsh; do
  result=$("complete_$shell" "${lines[@]}") || fail "$shell could not complete"
  offered() { awk -v line="== $1" '/^== / { on = ($0 == line); next } on' <<<"$result"; }
  # Fish offers options only once a dash is typed; the other two offer both at once.
  expect_same "$shell: the commands" "$commands" \
    "$( (offered "pulsewell "; offered "pulsewell --") | sort -u)"
  expect_same "$shell: watch's options" "$watching" "$(offered "pulsewell watch --")"
  expect_same "$shell: the options of interfaces" "$common" "$(offered "pulsewell interfaces --")"
  expect_same "$shell: a command" "watch" "$(offered "pulsewell wa")"
  expect_same "$shell: the configured device's interfaces" "$interfaces" \
    "$(offered "pulsewell watch --interface ")"
  expect_same "$shell: interfaces after other options" "$interfaces" \
    "$(offered "pulsewell watch --bits --interface ")"
  expect_same "$shell: an interface by its start" "wan0" \
    "$(offered "pulsewell watch --interface w")"
  # The port on the line wins, and nobody answers there.
  expect_same "$shell: the interfaces where no device answers" "" \
    "$(offered "pulsewell watch --port 1 --interface ")"
done

# A device given only on the line, in both spellings; and a failure prints nothing at all.
export XDG_CONFIG_HOME=$work/empty
for shell in bash fish zsh; do
  result=$("complete_$shell" "pulsewell watch --host 127.0.0.1 --port=$port --interface ") ||
    fail "$shell could not complete"
  expect_same "$shell: the interfaces of the device on the line" "$interfaces" \
    "$(sed 1d <<<"$result")"
  result=$("complete_$shell" "pulsewell watch --interface " 2>&1) || fail "$shell failed"
  expect_same "$shell: the output without a configured device" \
    "== pulsewell watch --interface " "$result"
done

echo "PASS: bash, fish and zsh complete commands, options and interface names"
