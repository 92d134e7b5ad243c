#!/usr/bin/env bash
# The screenshots of the user manual, taken on a virtual display (Xvfb) by
# a tour of the front end (bench/results_tour): the wizard, the model editor
# and its options, the listing, the results window and the run dialog.
#   bash scripts/screenshots.sh [OUTDIR]     (docs/images for the manual)
# Needs Xvfb and a build in build/ with the front end.  The display is :98,
# or the one TZM_SHOT_DISPLAY names (":97").
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/shots}
display=${TZM_SHOT_DISPLAY:-:98}
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
sleep 1
# The tour runs the engine beside it, in build/bin.
DISPLAY=$display QT_QPA_PLATFORM=xcb "$here/build/bin/results_tour" "$out"
