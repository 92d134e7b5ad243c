#!/bin/bash
# Builds the fuzzing harnesses with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for the given number of seconds
# (default 600) on a corpus seeded from examples/.
#   tests/fuzz/run.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
secs=${1:-600}
build=${2:-$top/build-fuzz}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTZM_FUZZ=ON -DTZM_TESTS=OFF -DTZM_FRONTEND=OFF -DTZM_BENCH=OFF > /dev/null
cmake --build "$build" -j2 --target fuzz_control fuzz_data
for t in control data; do
  corpus=$build/corpus/$t
  mkdir -p "$corpus"
  if [ "$t" = control ]; then cp "$top"/examples/*.tzm "$corpus"/; else cp "$top"/examples/*.csv "$top"/tests/data/* "$corpus"/; fi
  mkdir -p "$build/artifacts/$t"
  (cd "$build/artifacts/$t" && "$build/bin/fuzz_$t" -max_total_time="$secs" -max_len=65536 -rss_limit_mb=2048 \
     -print_final_stats=1 "$corpus")
done
