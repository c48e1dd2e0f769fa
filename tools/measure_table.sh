#!/bin/bash
# Measures how closely the art of a glyph table resembles pictures: makes the
# test pictures from the sample (ImageMagick), then prints SSIM per picture
# and cell size with zindrel-art-ssim.
# usage: tools/measure_table.sh [BUILD_DIR] [TABLE] [extra zindrel-art-ssim options]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
table=${2:-$here/data/Data.han}
shift $(( $# < 2 ? $# : 2 ))
pictures=$(mktemp -d)
trap 'rm -rf "$pictures"' EXIT
sample=$here/data/Varnock.bmp
convert "$sample" -crop 256x256+150+20 +repage "$pictures/face.png"
convert "$sample" -resize 256x256 "$pictures/small.png"
convert "$sample" -resize 1024x1024 "$pictures/large.png"
convert -size 512x384 radial-gradient:white-black \
  -fill white -draw "circle 120,120 120,60" \
  -fill black -draw "rectangle 300,200 460,330" \
  -fill gray60 -draw "polygon 60,360 200,220 260,370" "$pictures/synth.png"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/zindrel-art-ssim" --table "$table" "$@" \
  "$sample" "$pictures/face.png" "$pictures/small.png" "$pictures/large.png" "$pictures/synth.png"
