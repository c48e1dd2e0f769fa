#!/usr/bin/env bash
# Times Zindrel's converter against jp2a, img2txt (caca-utils) and chafa at
# equal cell counts on a 4000 x 3000 JPEG made from the sample picture: wall
# and processor time (medians of paired, alternating runs) and peak memory.
# Then the start-up, the streaming of a 30000 x 30000 JPEG (peak memory, and
# the same bytes as a whole decode), the spread over the qualities and the
# window's cost per cell.
#
#   bench/compare.sh [BUILD_DIR]          (default: build)
#
# Environment:
#   ZINDREL      the converter to time (default: BUILD_DIR/bin/zindrel-convert);
#                it takes zindrel-convert's options
#   RUNS         paired runs per comparison (default 11); medians are reported
#   CHAFA_RUNS   runs of chafa's Chinese-character mode (default 3 at cell size
#                12, 1 at cell size 3); 0 leaves chafa out
#   HUGE         edge of the streaming picture (default 30000; 0 leaves it out)
#   WHOLE        1: also decode the streaming picture whole (about 3.6 GB) and
#                compare its art with the streamed art
#   WORK         folder for the pictures and outputs (default: a temporary one)
#
# jp2a, caca-utils, chafa and ImageMagick come from Debian; missing ones
# are installed with apt-get when the script runs as root. A peer that is
# still missing is left out with a note; ImageMagick and GNU time are needed.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
runs="${RUNS:-11}"
huge_edge="${HUGE:-30000}"
work="${WORK:-$(mktemp -d)}"
mkdir -p "$work"

zindrel="${ZINDREL:-}"
if [[ -z "$zindrel" ]]; then
  zindrel="$build/bin/zindrel-convert"
fi
[[ -x "$zindrel" ]] || { echo "compare.sh: no converter at $zindrel (build first)" >&2; exit 1; }

# Peers and tools from Debian, if missing.
missing=()
command -v jp2a >/dev/null || missing+=(jp2a)
command -v img2txt >/dev/null || missing+=(caca-utils)
command -v chafa >/dev/null || missing+=(chafa)
command -v convert >/dev/null || missing+=(imagemagick)
[[ -e /usr/share/fonts/truetype/arphic/uming.ttc ]] || missing+=(fonts-arphic-uming)
[[ -x /usr/bin/time ]] || missing+=(time)
if ((${#missing[@]})) && [[ $(id -u) -eq 0 ]]; then
  echo "installing ${missing[*]}" >&2
  apt-get install -y "${missing[@]}" >/dev/null || echo "compare.sh: could not install ${missing[*]}" >&2
fi
command -v convert >/dev/null || { echo "compare.sh: please install imagemagick" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "compare.sh: please install time" >&2; exit 1; }
# True when the peer is there; else says that its comparisons are left out.
peer() {
  command -v "$1" >/dev/null && return 0
  echo "($1 is not installed: its comparison is left out)"
  return 1
}

# The test pictures: the sample scaled to 4000 x 3000 as a JPEG, and a
# 3 x 3 picture for the start-up.
sample="$root/data/Varnock.bmp"
big="$work/sample-4000x3000.jpg"
tiny="$work/tiny-3x3.png"
[[ -e "$big" ]] || convert "$sample" -resize '4000x3000!' -quality 90 "$big"
[[ -e "$tiny" ]] || convert -size 3x3 xc:gray "$tiny"

now_ns() { date +%s%N; }
have_perf=0
if command -v perf >/dev/null && perf stat -x, -e task-clock -o /dev/null true >/dev/null 2>&1; then have_perf=1; fi
# One run of "$@", output discarded: "wall_us cpu_us" (processor time of all
# threads from perf stat's task-clock; 0 without perf).
time_once() {
  local t0 t1 cpu=0 stat
  stat="$work/stat.$$"
  t0=$(now_ns)
  if ((have_perf)); then
    perf stat -x, -e task-clock -o "$stat" "$@" >/dev/null 2>&1 || true
  else
    "$@" >/dev/null 2>&1 || true
  fi
  t1=$(now_ns)
  if ((have_perf)); then cpu=$(awk -F, '/task-clock/ { printf "%d", $1 * 1000 }' "$stat"); fi
  echo "$(( (t1 - t0) / 1000 )) ${cpu:-0}"
}
# Peak resident memory of one run of "$@", in kB.
peak_kb() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }
median() { sort -n | awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f", us / 1000 }'; }
mb() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

# Paired runs: the two commands alternate, so that a change in the machine's
# load hits both alike. Prints four medians in microseconds: wall of the
# first, wall of the second, processor of the first, processor of the second.
paired() {
  local n="$1"; shift
  local sep
  for ((i = 1; i <= $#; i++)); do [[ "${!i}" == "--" ]] && sep=$i; done
  local a=("${@:1:sep-1}") b=("${@:sep+1}")
  local wa=() wb=() ca=() cb=() w c
  if ((n > 1)); then
    "${a[@]}" >/dev/null 2>&1 || true  # warm the caches
    "${b[@]}" >/dev/null 2>&1 || true
  fi
  for ((r = 0; r < n; r++)); do
    read -r w c < <(time_once "${a[@]}"); wa+=("$w"); ca+=("$c")
    read -r w c < <(time_once "${b[@]}"); wb+=("$w"); cb+=("$c")
  done
  echo "$(printf '%s\n' "${wa[@]}" | median) $(printf '%s\n' "${wb[@]}" | median)" \
       "$(printf '%s\n' "${ca[@]}" | median) $(printf '%s\n' "${cb[@]}" | median)"
}

font=/usr/share/fonts/truetype/arphic/uming.ttc
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Converter: $zindrel"
echo "Picture: $big (4000 x 3000), medians of $runs paired runs"
echo

header() {
  printf '%-30s | %9s %9s %6s | %9s %9s %6s | %8s %8s\n' "comparison" "zindrel" "peer" "ratio" "zindrel" "peer" "ratio" \
    "zindrel" "peer"
  printf '%-30s | %9s %9s %6s | %9s %9s %6s | %8s %8s\n' "" "wall ms" "wall ms" "" "cpu ms" "cpu ms" "" "peak MB" "peak MB"
}
# label, runs, the peer's command...; zindrel's arguments in $zargs
compare() {
  local label="$1" n="$2"; shift 2
  local a b c d pa pb
  read -r a b c d < <(paired "$n" "$zindrel" "${zargs[@]}" -- "$@")
  pa=$(peak_kb "$zindrel" "${zargs[@]}")
  pb=$(peak_kb "$@")
  printf '%-30s | %9s %9s %6s | %9s %9s %6s | %8s %8s\n' "$label" "$(ms "$a")" "$(ms "$b")" "$(ratio "$a" "$b")" \
    "$(ms "$c")" "$(ms "$d")" "$(ratio "$c" "$d")" "$(mb "$pa")" "$(mb "$pb")"
}

chafa_cmd=(chafa --format symbols --colors none --stretch --glyph-file "$font" --symbols u4e00..u9fff)
c12runs="${CHAFA_RUNS:-3}"
c3runs="${CHAFA_RUNS:-1}"
header
# Cell size 12 = 333 x 250 cells; cell size 3 = 1333 x 1000 cells. A CJK
# glyph takes two terminal columns, so chafa gets twice the columns.
zargs=(-s 12 "$big")
if peer jp2a; then compare "cell 12 vs jp2a 333x250" "$runs" jp2a --size=333x250 "$big"; fi
if peer img2txt; then compare "cell 12 vs img2txt 333x250" "$runs" img2txt -W 333 -H 250 "$big"; fi
if ((c12runs > 0)) && peer chafa; then
  compare "cell 12 vs chafa CJK 333x250" "$c12runs" "${chafa_cmd[@]}" --size 666x250 "$big"
fi
zargs=(-s 3 "$big")
if peer jp2a; then compare "cell 3 vs jp2a 1333x1000" "$runs" jp2a --size=1333x1000 "$big"; fi
if peer img2txt; then compare "cell 3 vs img2txt 1333x1000" "$runs" img2txt -W 1333 -H 1000 "$big"; fi
if ((c3runs > 0)) && peer chafa; then
  compare "cell 3 vs chafa CJK 1333x1000" "$c3runs" "${chafa_cmd[@]}" --size 2666x1000 "$big"
fi
echo
echo "goals: cell 12 wall <= 1.0 x jp2a, cell 3 wall <= 1.3 x jp2a, peak memory at cell 12 <= 25 MB"
echo

# Start-up: a 3 x 3 picture, so that the time is the program's start and the
# table.
startup=()
startcpu=()
for ((r = 0; r < runs; r++)); do
  read -r w c < <(time_once "$zindrel" "$tiny"); startup+=("$w"); startcpu+=("$c")
done
echo "start-up incl. table (3x3 picture): $(ms "$(printf '%s\n' "${startup[@]}" | median)") ms wall," \
     "$(ms "$(printf '%s\n' "${startcpu[@]}" | median)") ms processor (goal <= 15 ms processor)"
echo

# Streaming: a picture far larger than the 1 GiB a decoded picture may take
# converts row by row; memory grows with the art written, not with the
# picture's height.
if ((huge_edge > 0)); then
  huge="$work/huge-${huge_edge}.jpg"
  if [[ ! -e "$huge" ]]; then
    [[ -x "$build/bin/big_picture" ]] || { echo "compare.sh: build big_picture first" >&2; exit 1; }
    "$build/bin/big_picture" make "$huge_edge" "$huge_edge" "$huge"
  fi
  echo "streaming: $huge_edge x $huge_edge JPEG ($(mb $(( $(stat -c %s "$huge") / 1024 ))) MB file," \
       "$(mb $(( huge_edge * huge_edge * 4 / 1024 ))) MB decoded)"
  for cell in 12 30; do
    /usr/bin/time -f '%e %M' -o "$work/huge.time" "$zindrel" -s "$cell" "$huge" >"$work/huge-$cell.txt"
    read -r seconds kb <"$work/huge.time"
    echo "  cell $cell: ${seconds} s wall, peak $(mb "$kb") MB, art $(mb $(( $(stat -c %s "$work/huge-$cell.txt") / 1024 ))) MB"
    if [[ "${WHOLE:-0}" == 1 ]]; then
      "$build/bin/big_picture" whole "$(dirname "$zindrel")/Data.han" "$huge" "$cell" >"$work/whole-$cell.txt"
      cmp -s "$work/huge-$cell.txt" "$work/whole-$cell.txt" && echo "    the same bytes as a whole decode" ||
        echo "    DIFFERS from a whole decode"
    fi
  done
  echo
fi

# Qualities 0..10 against the default (2), cell sizes 12 and 3: processor
# time when perf is there (steadier on a busy machine), else wall time.
for cell in 12 3; do
  line="qualities at cell $cell ($( ((have_perf)) && echo "cpu" || echo "wall") ms):"
  base=""
  worst=0
  for q in 0 1 2 3 4 5 6 7 8 9 10; do
    t=()
    for ((r = 0; r < (runs + 1) / 2; r++)); do
      read -r w c < <(time_once "$zindrel" -s "$cell" -q "$q" "$big")
      if ((have_perf)); then t+=("$c"); else t+=("$w"); fi
    done
    m=$(printf '%s\n' "${t[@]}" | median)
    [[ $q -eq 2 ]] && base=$m
    line+=" q$q $(ms "$m")"
    worst=$(awk -v a="$m" -v w="$worst" 'BEGIN { print (a > w ? a : w) }')
  done
  echo "$line"
  echo "  slowest / default: $(ratio "$worst" "$base") (goal <= 2.0)"
done
echo

# The window's cost per cell (goal: at most 3 x the engine's time).
if [[ -x "$build/bin/window_bench" ]]; then
  QT_QPA_PLATFORM=offscreen "$build/bin/window_bench" 2>/dev/null
fi
