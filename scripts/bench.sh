#!/usr/bin/env bash
# Builds the benchmarks as a Release build in build-release/ and runs them:
#   scripts/bench.sh                    every benchmark
#   scripts/bench.sh forms pack         forms_bench and pack_bench
#   scripts/bench.sh link -- --benchmark_filter=Paced
# Arguments after "--" go to every benchmark run. The GUI benchmarks run on
# Qt's offscreen platform. The paced link and session benchmarks take about
# 40 s each.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$tgx_root"

names=()
while [ $# -gt 0 ]; do
  case "$1" in
    --) shift; break ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) names+=("${1%_bench}_bench"); shift ;;
  esac
done

scripts/deps.sh
build="$tgx_root/build-release"
tgx_configure "$build" Release -DTGX_GUI=ON -DTGX_TESTS=OFF -DTGX_BENCH=ON
if [ ${#names[@]} -eq 0 ]; then
  cmake --build "$build" -j"$tgx_jobs"
  for b in "$build"/*_bench; do names+=("$(basename "$b")"); done
else
  cmake --build "$build" -j"$tgx_jobs" --target "${names[@]}"
fi

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for name in "${names[@]}"; do
  echo "==== $name"
  "$build/$name" "$@"
done
