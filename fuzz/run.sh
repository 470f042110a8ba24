#!/usr/bin/env bash
# Real fuzzing sessions: builds the fuzz targets with clang (libFuzzer with
# AddressSanitizer + UndefinedBehaviorSanitizer) into build/fuzz-run and runs
# each target for the given time. The stored corpus is copied to a scratch
# folder first, so a session never changes it; every input that crashes a
# target is copied into fuzz/regressions/<target>/.
#
# Usage: fuzz/run.sh [seconds] [target...]
#   seconds  per target, default 600
#   target   key response_head chunk_size address cookies get tls (default: all)
# Environment: FUZZ_PARALLEL  targets run at the same time (default 1)
#              FUZZ_NICE      niceness of the sessions (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(key response_head chunk_size address cookies get tls)
parallel=${FUZZ_PARALLEL:-1}
niceness=${FUZZ_NICE:-10}
build=build/fuzz-run
scratch=$build/sessions

# As in test.sh: the sanitizer runtimes of this toolchain need the older mmap
# randomisation.
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ]; then
  sysctl -qw vm.mmap_rnd_bits=28 2>/dev/null || true
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKALVORAN_FUZZ=ON -DKALVORAN_BUILD_APP=OFF -DKALVORAN_BUILD_TESTS=OFF >/dev/null
nice -n "$niceness" cmake --build "$build" -j "$parallel" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

session() {
  local t=$1 dir=$scratch/$1
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/artifacts" "fuzz/regressions/$t"
  cp fuzz/corpus/"$t"/* "$dir/corpus/"
  cp fuzz/regressions/"$t"/* "$dir/corpus/" 2>/dev/null || true
  # Fork mode keeps fuzzing after a crash, so that one open fault does not end
  # the session; every crashing input is kept as an artifact.
  local status=0
  nice -n "$niceness" "$build/fuzz/fuzz_$t" "$dir/corpus" -fork=1 -ignore_crashes=1 \
    -ignore_timeouts=1 -ignore_ooms=1 -timeout=10 -max_total_time="$seconds" \
    -artifact_prefix="$dir/artifacts/" >"$dir/log" 2>&1 || status=$?
  local found=0
  for f in "$dir"/artifacts/*; do
    [ -e "$f" ] || continue
    cp "$f" "fuzz/regressions/$t/"
    found=$((found + 1))
  done
  # The last progress line holds the executions and the coverage of the session.
  local last
  last=$(grep -E '^#[0-9]+: cov:' "$dir/log" | tail -1)
  printf '%-14s %s s  executions %s  cov %s  ft %s  corpus %s  crashes %s (exit %s)\n' "$t" \
    "$seconds" "$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$last")" \
    "$(sed -E 's/.* cov: ([0-9]+).*/\1/' <<<"$last")" \
    "$(sed -E 's/.* ft: ([0-9]+).*/\1/' <<<"$last")" \
    "$(sed -E 's/.* corp: ([0-9]+).*/\1/' <<<"$last")" "$found" "$status" | tee "$dir/summary"
  if [ "$found" -gt 0 ]; then
    echo "  new inputs in fuzz/regressions/$t/ (minimise and name them before committing):"
    ls "$dir/artifacts" | sed 's/^/    /'
  fi
}

running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  session "$t" &
  running=$((running + 1))
done
wait
echo "== sessions done; logs in $scratch/<target>/log"
for t in "${targets[@]}"; do
  sed 's/^/  /' "$scratch/$t/summary" 2>/dev/null || true
done
