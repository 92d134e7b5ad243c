#!/usr/bin/env bash
# Screenshots of the results window after a run of the bundled example,
# taken on a virtual display:  bash scripts/screenshots.sh [OUTDIR]
# (needs Xvfb and a build in build/ with the front end).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/shots}
display=:98
Xvfb "$display" -screen 0 1366x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb "$here/build/bin/results_tour" "$out"
