#!/usr/bin/env bash
# The AppStream metadata: valid for appstreamcli with warnings and info counted as faults,
# also beside the desktop entry it launches; every screenshot address names a checked-in
# screenshot; the newest release is the project's version; English and German texts.
# Usage: metainfo_test.sh SOURCE_DIR PROJECT_VERSION
set -euo pipefail
source "$(dirname "$0")/lib.sh"

source_dir=$1
version=$2
need_tools appstreamcli
metainfo=$source_dir/packaging/org.pulsewell.Pulsewell.metainfo.xml
desktop=$source_dir/packaging/org.pulsewell.Pulsewell.desktop

report=$(appstreamcli validate --no-net --strict --explain "$metainfo" 2>&1) ||
  fail "appstreamcli validate: $report"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
install -D -m 644 "$metainfo" "$tree/usr/share/metainfo/$(basename "$metainfo")"
install -D -m 644 "$desktop" "$tree/usr/share/applications/$(basename "$desktop")"
report=$(appstreamcli validate-tree --no-net --strict --explain "$tree" 2>&1) ||
  fail "appstreamcli validate-tree: $report"
launched=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ "$launched" = "$(basename "$desktop")" ] || fail "it launches '$launched'"

images=$(sed -n 's:.*<image>\(.*\)</image>.*:\1:p' "$metainfo")
[ "$(wc -l <<<"$images")" -ge 3 ] || fail "fewer than three screenshots: $images"
while read -r url; do
  case $url in
    https://pulsewell.org/screenshots/*.png) ;;
    *) fail "screenshot $url is not on the project's site" ;;
  esac
  file=$source_dir/packaging/screenshots/$(basename "$url")
  [ -f "$file" ] || fail "no checked-in file behind $url"
  [ "$(head -c 8 "$file" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "$file is not a PNG picture"
done <<<"$images"

newest=$(grep -m1 -o '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the newest release is $newest, the project is at $version"

for element in summary p caption; do
  grep -q "<$element xml:lang=\"de\">" "$metainfo" || fail "no German <$element>"
done

echo "PASS: the AppStream metadata is valid, with its screenshots and release $version"
