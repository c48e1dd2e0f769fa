#!/usr/bin/env bash
# Runs every fuzz target for SECONDS seconds each, one after another.
#   fuzz/run.sh SECONDS [TARGET...]      (targets default to every fuzz_* built)
# Configures and builds <repo>/build-fuzz with clang (-DZINDREL_FUZZ=ON) when
# needed, writes the seed corpora, keeps each target's growing corpus in
# build-fuzz/fuzz-corpus/<target>, and reports crashes, hangs (-timeout) and
# runaway memory (-rss_limit_mb, -malloc_limit_mb) with the input that caused
# them (build-fuzz/fuzz-artifacts/). Exits 1 when any target failed.
# Environment: ZINDREL_FUZZ_BUILD (build dir), ZINDREL_FUZZ_JOBS (ninja -j, 2).
set -u
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZINDREL_FUZZ_BUILD:-$root/build-fuzz}
jobs=${ZINDREL_FUZZ_JOBS:-2}

if [ ! -f "$build/build.ninja" ]; then
  (cd "$root" && cmake --preset fuzz -B "$build") >"$build.configure.log" 2>&1 \
    || { echo "fuzz: configure failed, see $build.configure.log"; exit 1; }
fi
all_targets=$(sed -n 's/^build bin\/\(fuzz_[a-z0-9_]*\): .*/\1/p' "$build/build.ninja" | sort -u)
targets=${*:-$all_targets}
# shellcheck disable=SC2086
ninja -C "$build" -j"$jobs" zindrel_fuzz_seeds $targets >"$build/fuzz-build.log" 2>&1 \
  || { tail -30 "$build/fuzz-build.log"; echo "fuzz: build failed"; exit 1; }
"$build/bin/zindrel_fuzz_seeds" "$build/fuzz-seeds" >/dev/null 2>&1 || { echo "fuzz: seed writer failed"; exit 1; }
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
# fontconfig keeps its caches for good (see tests/lsan.supp).
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
printf '%-20s %8s %12s %8s  %s\n' target seconds executions corpus result
for t in $targets; do
  seeds="$build/fuzz-seeds/${t#fuzz_}"
  corpus="$build/fuzz-corpus/$t"
  mkdir -p "$corpus" "$seeds"
  dict=()
  [ -f "$root/fuzz/${t#fuzz_}.dict" ] && dict=(-dict="$root/fuzz/${t#fuzz_}.dict")
  log="$build/fuzz-logs/$t.log"
  start=$(date +%s)
  # A picture may take up to the loading limit (1 GiB); anything beyond is a
  # runaway allocation. A minute for one input is a hang: a picture of the
  # largest size allowed takes seconds in this instrumented build, more on a
  # busy machine.
  "$build/bin/$t" "$corpus" "$seeds" "${dict[@]}" -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=3072 -malloc_limit_mb=1200 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$t-" >"$log" 2>&1
  rc=$?
  took=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  size=$(ls "$corpus" | wc -l)
  if [ $rc -eq 0 ]; then
    result=ok
  else
    failed=1
    result="FAILED (exit $rc): $(grep -m1 -E 'ERROR:|runtime error|SUMMARY' "$log" | cut -c1-120); see $log"
  fi
  printf '%-20s %8s %12s %8s  %s\n' "$t" "$took" "${execs:-?}" "$size" "$result"
done
exit $failed
