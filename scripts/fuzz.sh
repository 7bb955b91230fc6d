#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a
# given time (seconds, default 60), one after another on one core, each on its
# own corpus folder under build-fuzz/corpus/. Stops at the first finding; the
# crashing input is left in build-fuzz/ under the name libFuzzer prints.
#
#   scripts/fuzz.sh                  # every target, 60 s each
#   scripts/fuzz.sh 15               # every target, 15 s each (the CI smoke run)
#   scripts/fuzz.sh 3600 forms csv   # forms_fuzz and csv_fuzz, an hour each
set -euo pipefail
source "$(dirname "$0")/lib.sh"
TGX_WITH_FUZZ=1 "$tgx_root/scripts/deps.sh"

seconds=${1:-60}
shift || true
dir=${TGX_FUZZ_DIR:-$tgx_root/build-fuzz}

cmake -S "$tgx_root" -B "$dir" --log-level=WARNING -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ "${tgx_cmake_args[@]}" \
  -DTGX_FUZZ=ON -DTGX_GUI=OFF -DTGX_TESTS=OFF -DTGX_BENCH=OFF
targets=()
if [ $# -eq 0 ]; then
  for src in "$tgx_root"/fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
else
  for name in "$@"; do targets+=("${name%_fuzz}_fuzz"); done
fi
cmake --build "$dir" -j"$tgx_jobs" --target "${targets[@]}"

for t in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$t"
  echo "== $t: ${seconds} s"
  (cd "$dir" && "./$t" -max_total_time="$seconds" -print_final_stats=1 "corpus/$t" 2>&1 | tail -n 12)
done
