# Windows on an X11 host: ours by WM_CLASS, others by what appeared since a snapshot.
# Sourced after lib/host.sh.

# Windows of ours as xwininfo lists them: "id width height x y", absolute positions.
our_windows() {
  xwininfo -root -tree 2>/dev/null |
    awk '/\("pulsewell" "Pulsewell"\)/ {
      for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+[+-]/) {
        split($i, size, /[x+-]/); split($(i + 1), at, /[+]/)
        print $1, size[1], size[2], at[2], at[3]
      }
    }'
}
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
# The first viewable window of ours for which `test` (an awk condition over w and h) holds.
find_window() {
  local id w h x y
  while read -r id w h x y; do
    if viewable "$id" && awk -v w="$w" -v h="$h" "BEGIN { exit !($1) }"; then
      echo "$id $w $h $x $y"
      return 0
    fi
  done < <(our_windows)
  return 1
}

# The XEmbed icon: a small square of ours, embedded by the tray; the tray may still move
# it while it lays out its cells, so its place counts once it stays.
tray_found() { find_window 'w <= 64 && h <= 64 && w > 4' >"$work/tray"; }
tray_settled() {
  tray_found || return 1
  cp "$work/tray" "$work/tray.before"
  sleep 0.3
  tray_found && cmp -s "$work/tray" "$work/tray.before"
}

popover_open() { find_window 'w == 280' >"$work/popover"; }
popover_closed() { ! viewable "$(cut -d' ' -f1 "$work/popover")"; }
# The popover shows once it is on screen with our colours in it.
popover_drawn() {
  local id w h x y
  read -r id w h x y <"$work/popover"
  shot "$1" && find_colours "$last_shot" "$x" "$y" "$w" "$h" >/dev/null
}
# The popover is under a panel `panel_h` high and horizontally near `entry_x` (where the
# screen allows).
popover_near_entry() {
  local entry_x=$1 panel_h=$2 id w h x y
  read -r id w h x y <"$work/popover"
  [ "$y" -ge "$panel_h" ] && [ "$y" -le $((panel_h + 40)) ] ||
    fail "popover at y $y, not right under the panel ($panel_h high)"
  [ "$entry_x" -ge $((x - 40)) ] && [ "$entry_x" -le $((x + w + 40)) ] ||
    fail "popover at x $x..$((x + w)), not near the entry at x $entry_x"
}

# Top-level windows that are viewable now: "id width height x y".
viewable_toplevels() {
  xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {
      for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+[+-]/) {
        split($i, size, /[x+-]/); split($(i + 1), at, /[+]/)
        print $1, size[1], size[2], at[2], at[3]
      }
    }' | while read -r id w h x y; do viewable "$id" && echo "$id $w $h $x $y"; done
}
# Remembers what is on screen, for `new_window` to compare with.
remember_windows() { viewable_toplevels >"$work/windows.before"; }
# A viewable top-level window that was not there at `remember_windows` and for which
# `test` (an awk condition over w and h) holds; written to $work/new-window.
new_window() {
  local id w h x y
  while read -r id w h x y; do
    grep -q "^$id " "$work/windows.before" && continue
    if awk -v w="$w" -v h="$h" "BEGIN { exit !($1) }"; then
      echo "$id $w $h $x $y" >"$work/new-window"
      return 0
    fi
  done < <(viewable_toplevels)
  return 1
}
# A host's menu: a new window the size of a short menu.
menu_open() { new_window 'w > 60 && w < 500 && h > 40 && h < 400' && cp "$work/new-window" "$work/menu"; }
menu_closed() { ! viewable "$(cut -d' ' -f1 "$work/menu")"; }

# Clicks (`click`, a command) until `check` holds: a click that arrives while the host is
# still busy can be lost.
click_until() {
  local click=$1 check=$2 attempt
  for attempt in 1 2 3; do
    [ "$check" = menu_open ] && remember_windows
    $click
    wait_for 8 "$check" && return 0
    xdotool key Escape
  done
  return 1
}
