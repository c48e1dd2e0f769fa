#!/usr/bin/env bash
# Compares zindrel-convert's metafile pictures with LibreOffice's.
#   bench/metafiles/run.sh BUILD_DIR [WORK_DIR]
# Gathers a collection in WORK_DIR (default /tmp/zindrel-metafiles): 90
# clip-art drawings of Debian's openclipart-svg (public domain) picked with a
# fixed seed, each exported by LibreOffice as EMF and as WMF (files over 3 MB
# left out), and Draw pages with text, symbols, shapes and charts that
# gen_docs.py makes and exports. Each WMF also goes in a second time as
# NAME.records.wmf, without the EMF that LibreOffice puts inside it
# (records_only.py), so that its WMF records are drawn and compared too.
# Each file is drawn by BUILD_DIR/bin/
# zindrel-convert --save-picture and by LibreOffice at the same size; the
# per-file correlations and the count of matching files (0.9 or more) are
# printed. Installs what it needs with apt-get when it is missing.
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_DIR [WORK_DIR]}" && pwd)
work=${2:-/tmp/zindrel-metafiles}
here=$(cd "$(dirname "$0")" && pwd)
packages="libreoffice-draw libreoffice-impress python3-uno python3-numpy python3-pil openclipart-svg fonts-liberation2"
# shellcheck disable=SC2086
if ! dpkg -s $packages > /dev/null 2>&1; then
  SUDO=$([ "$(id -u)" -eq 0 ] || echo sudo)
  $SUDO apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $packages
fi
mkdir -p "$work/svg" "$work/emf" "$work/wmf" "$work/docs" "$work/set" "$work/records"
if [ -z "$(ls -A "$work/set")" ]; then
  dpkg -L openclipart-svg | grep '\.svg$' | sort |
    /usr/bin/python3 -c 'import random, sys; l = sys.stdin.read().split(); random.seed(16); print("\n".join(random.sample(l, 90)))' |
    awk '{ printf "cp \"%s\" \"'"$work"'/svg/c%03d.svg\"\n", $0, NR }' | sh
  soffice --headless --convert-to emf --outdir "$work/emf" "$work"/svg/*.svg > /dev/null 2>&1
  soffice --headless --convert-to wmf --outdir "$work/wmf" "$work"/svg/*.svg > /dev/null 2>&1
  /usr/bin/python3 "$here/gen_docs.py" "$work/docs"
  for f in "$work"/emf/*.emf "$work"/wmf/*.wmf "$work"/docs/*; do
    [ "$(stat -c %s "$f")" -lt 3000000 ] && ln -sf "$f" "$work/set/$(basename "$f")"
  done
fi
if [ -z "$(ls -A "$work/records")" ]; then
  for f in "$work"/set/*.wmf; do
    /usr/bin/python3 "$here/records_only.py" "$f" "$work/records/$(basename "$f" .wmf).records.wmf" || true
  done
fi
/usr/bin/python3 "$here/compare.py" "$build/bin/zindrel-convert" "$work" "$work"/set/* "$work"/records/*
