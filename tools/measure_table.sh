#!/bin/bash
# Measures how much the art of glyph tables looks like photos: runs
# zindrel-art-measure over the sample and the photos in tests/photos (tuning
# set and held-out set), at cell sizes 6, 12 and 24, qualities 0, 2 and 10,
# brightness 100.
# usage: tools/measure_table.sh [BUILD_DIR] [TABLE...] [-- extra zindrel-art-measure options]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
[ $# -gt 0 ] && shift
tables=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do tables+=(--table "$1"); shift; done
[ $# -gt 0 ] && shift
[ ${#tables[@]} -eq 0 ] && tables=(--table "$here/data/Data.han")
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/zindrel-art-measure" "${tables[@]}" "$@" \
  "$here/data/Varnock.bmp" "$here/tests/photos/tuning" "$here/tests/photos/held-out"
