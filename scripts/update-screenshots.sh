#!/usr/bin/env bash
# Copies the screenshots the tests take into packaging/screenshots/, the files behind the
# AppStream metadata's screenshot addresses (https://pulsewell.org/screenshots/…): the entry
# with its menu and the popup on GNOME Shell, cut to the corner of the panel, and the
# settings window. Run after the debug tests, the GNOME end-to-end test among them.
# Usage: scripts/update-screenshots.sh [ARTIFACTS_DIR]   (default: build/debug/artifacts)
set -euo pipefail
cd "$(dirname "$0")/.."

artifacts=${1:-build/debug/artifacts}
out=packaging/screenshots
# The panel's right-hand corner, 16:9, from just right of the clock's icons.
corner=544x306+736+0

# -strip leaves out the time stamps, so the same picture gives the same file.
convert "$artifacts/e2e/gnome/03-left-click-menu.png" -crop "$corner" +repage -strip \
  "$out/panel-entry.png"
convert "$artifacts/e2e/gnome/04-popover.png" -crop "$corner" +repage -strip "$out/popup.png"
convert "$artifacts/app/settings.png" -strip "$out/settings.png"
echo "screenshots: $(ls "$out")"
