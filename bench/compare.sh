#!/usr/bin/env bash
# Times Zindrel's converter against jp2a and chafa at equal cell counts on a
# 4000 x 3000 JPEG made from the sample picture, and prints the ratios, the
# start-up time, the peak memory and the spread over the qualities.
#
#   bench/compare.sh [BUILD_DIR]          (default: build)
#
# Environment:
#   ZINDREL      the converter to time (default: BUILD_DIR/bin/zindrel-convert,
#                which runs the fast engine); it takes zindrel-convert's options
#   RUNS         paired runs per comparison (default 11); medians are reported
#   CHAFA_RUNS   runs of chafa's Chinese-character mode (default 3 at cell size
#                12, 1 at cell size 3); 0 leaves chafa out
#   WORK         folder for the pictures and outputs (default: a temporary one)
#
# jp2a, chafa, hyperfine and ImageMagick come from Debian; missing ones are
# installed with apt-get when the script runs as root.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
runs="${RUNS:-11}"
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
command -v chafa >/dev/null || missing+=(chafa)
command -v hyperfine >/dev/null || missing+=(hyperfine)
command -v convert >/dev/null || missing+=(imagemagick)
[[ -e /usr/share/fonts/truetype/arphic/uming.ttc ]] || missing+=(fonts-arphic-uming)
[[ -x /usr/bin/time ]] || missing+=(time)
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    echo "installing ${missing[*]}" >&2
    apt-get install -y "${missing[@]}" >/dev/null
  else
    echo "compare.sh: please install ${missing[*]}" >&2
    exit 1
  fi
fi

# The test pictures: the sample scaled to 4000 x 3000 as a JPEG, and to
# 1000 x 1000 as a PNG.
sample="$root/data/Varnock.bmp"
[[ -e "$sample" ]] || sample="/work/shared/pictures/astronaut.png"
big="$work/sample-4000x3000.jpg"
small="$work/sample-1000x1000.png"
tiny="$work/tiny-3x3.png"
[[ -e "$big" ]] || convert "$sample" -resize '4000x3000!' -quality 90 "$big"
[[ -e "$small" ]] || convert "$sample" -resize '1000x1000!' "$small"
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
median() { sort -n | awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f", us / 1000 }'; }
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

row() {  # label, zindrel wall, peer wall, zindrel processor, peer processor, how to read the ratio
  local r c
  if [[ "$6" == faster ]]; then r="$(ratio "$3" "$2")x faster"; c="$(ratio "$5" "$4")x"
  else r="$(ratio "$2" "$3")"; c="$(ratio "$4" "$5")"; fi
  printf '%-32s %10s %10s %14s | %10s %10s %8s\n' "$1" "$(ms "$2")" "$(ms "$3")" "$r" "$(ms "$4")" "$(ms "$5")" "$c"
}
printf '%-32s %10s %10s %14s | %10s %10s %8s\n' "comparison" "zindrel" "peer" "wall ratio" "zindrel" "peer" "ratio"
printf '%-32s %10s %10s %14s | %10s %10s %8s\n' "" "wall ms" "wall ms" "" "cpu ms" "cpu ms" ""
# Cell size 12 = 333 x 250 cells; cell size 3 = 1333 x 1000 cells.
read -r a b c d < <(paired "$runs" "$zindrel" -s 12 "$big" -- jp2a --size=333x250 "$big")
row "cell 12 vs jp2a 333x250" "$a" "$b" "$c" "$d" ratio
read -r a b c d < <(paired "$runs" "$zindrel" -s 3 "$big" -- jp2a --size=1333x1000 "$big")
row "cell 3 vs jp2a 1333x1000" "$a" "$b" "$c" "$d" ratio

# chafa's Chinese-character mode. A CJK glyph takes two terminal columns,
# so the same number of glyphs per row needs twice the width in columns.
chafa_cmd=(chafa --format symbols --colors none --stretch --glyph-file "$font" --symbols u4e00..u9fff)
c12runs="${CHAFA_RUNS:-3}"
c3runs="${CHAFA_RUNS:-1}"
if ((c12runs > 0)); then
  read -r a b c d < <(paired "$c12runs" "$zindrel" -s 12 "$big" -- "${chafa_cmd[@]}" --size 666x250 "$big")
  row "cell 12 vs chafa CJK 333x250" "$a" "$b" "$c" "$d" faster
fi
if ((c3runs > 0)); then
  read -r a b c d < <(paired "$c3runs" "$zindrel" -s 3 "$big" -- "${chafa_cmd[@]}" --size 2666x1000 "$big")
  row "cell 3 vs chafa CJK 1333x1000" "$a" "$b" "$c" "$d" faster
fi
echo

# Start-up: a 3 x 3 picture, so that the time is the program's start and the
# table load.
startup=()
startcpu=()
for ((r = 0; r < runs; r++)); do
  read -r w c < <(time_once "$zindrel" "$tiny"); startup+=("$w"); startcpu+=("$c")
done
echo "start-up incl. table load (3x3 picture): $(ms "$(printf '%s\n' "${startup[@]}" | median)") ms wall," \
     "$(ms "$(printf '%s\n' "${startcpu[@]}" | median)") ms processor (goal <= 20 ms)"

# Peak memory against 2 x the decoded picture (4 bytes a pixel) + 20 MB.
peak_kb=$(/usr/bin/time -v "$zindrel" -s 3 "$big" 2>&1 >/dev/null | awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }')
limit_kb=$(( (2 * 4000 * 3000 * 4) / 1024 + 20 * 1024 ))
echo "peak memory at cell 3: $((peak_kb / 1024)) MB (goal <= $((limit_kb / 1024)) MB: 2 x 45.8 MB decoded + 20 MB)"
echo

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
