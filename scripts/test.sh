#!/usr/bin/env bash
# Builds and runs every test, in three passes:
#   1. build/: the layering check, the GoogleTest programs of the core and the
#      Qt Test programs of the windows (offscreen platform); the benchmarks
#      are built, not run;
#   2. build-asan/: every test again under AddressSanitizer, leak detection
#      on for the windows' tests too, and UndefinedBehaviorSanitizer;
#   3. build-tsan/: the link, session and tool tests under ThreadSanitizer;
#   4. build-fuzz/: every fuzz target for 15 s (scripts/fuzz.sh);
#   5. out/deb/: the Debian package checked with lintian, when lintian is
#      installed (scripts/package.sh --check; TGX_SKIP_PACKAGE=1 skips it).
# TGX_SKIP_SANITIZERS=1 runs the first pass only; TGX_BUILD_DIR=DIR builds in
# DIR, DIR-asan and DIR-tsan. A pass whose build or tests fail does not stop
# the next one; the script fails at the end if any did. CI (.ci/run) calls
# exactly this script.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$tgx_root"
"$tgx_root/scripts/deps.sh"

export QT_QPA_PLATFORM=offscreen
# Every sanitizer error already ends the program (-fno-sanitize-recover);
# these add the stacks a report needs. The child processes (tgx-sim, tgxctl)
# inherit them.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
start=$SECONDS
failed_passes=()
passed_total=0
failed_total=0
timings=()

# run_tests NAME DIR [CTEST OPTIONS...]: runs ctest, adds up its counts.
run_tests() {
  local name=$1 dir=$2 log status=0
  shift 2
  log=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j"$tgx_jobs" --timeout 900 "$@" 2>&1 | tee "$log" ||
    status=$?
  # "100% tests passed, 0 tests failed out of 56"
  local counts
  counts=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$log" | tail -n1)
  rm -f "$log"
  if [ -n "$counts" ]; then
    set -- $counts
    failed_total=$((failed_total + $1))
    passed_total=$((passed_total + $2 - $1))
  fi
  [ "$status" = 0 ] || failed_passes+=("$name")
}

# pass NAME: times what follows until the next pass.
pass_start=$SECONDS
pass_name=""
pass() {
  [ -n "$pass_name" ] && timings+=("$(printf '%-10s %4d s' "$pass_name" $((SECONDS - pass_start)))")
  pass_name=$1
  pass_start=$SECONDS
  [ -n "$1" ] && echo "==== $1"
  return 0
}

# TGX_BUILD_DIR moves all three: build-x, build-x-asan, build-x-tsan.
asan_build=$tgx_main_build-asan
tsan_build=$tgx_main_build-tsan

# build NAME DIR [BUILD OPTIONS...]: a build that fails fails its pass.
build() {
  local name=$1 dir=$2
  shift 2
  cmake --build "$dir" -j"$tgx_jobs" "$@" && return 0
  failed_passes+=("$name (build)")
  return 1
}

pass main
tgx_configure_main
build main "$tgx_main_build" && run_tests main "$tgx_main_build"

if [ "${TGX_SKIP_SANITIZERS:-0}" != 1 ]; then
  pass asan
  # -O0: compiles in little more than half the time of -O2, and the tests
  # wait on lines and windows far more than they compute.
  tgx_configure "$asan_build" Debug -DTGX_SANITIZE=ON -DTGX_GUI=ON -DTGX_BENCH=OFF
  # The layering does not change with the compiler's options.
  build asan "$asan_build" && run_tests asan "$asan_build" -LE layers

  pass tsan
  tgx_configure "$tsan_build" RelWithDebInfo -DTGX_SANITIZE_THREAD=ON -DTGX_GUI=OFF -DTGX_BENCH=OFF
  targets=()
  for dir in link link/drivers link/session tools; do
    compgen -G "tests/$dir/*_test.cpp" >/dev/null && targets+=("test_${dir//\//_}")
  done
  build tsan "$tsan_build" --target "${targets[@]}" && run_tests tsan "$tsan_build" -L '^test_(link|tools)'

  pass fuzz
  # Each fuzz target for 15 s: a smoke run that every target still builds and
  # finds nothing in its first seconds; the long runs are scripts/fuzz.sh's.
  "$tgx_root/scripts/fuzz.sh" "${TGX_FUZZ_SECONDS:-15}" || failed_passes+=("fuzz")
fi

if [ "${TGX_SKIP_PACKAGE:-0}" != 1 ] && command -v lintian >/dev/null 2>&1; then
  pass package
  # The Debian package from the committed tree, checked with lintian (errors
  # and warnings fail), the desktop entry, AppStream data and man pages.
  "$tgx_root/scripts/package.sh" --check || failed_passes+=("package")
fi
pass ""

echo "==== times"
printf '%s\n' "${timings[@]}"
printf 'all        %4d s\n' $((SECONDS - start))
if [ ${#failed_passes[@]} -gt 0 ]; then
  echo "failed passes: ${failed_passes[*]}"
fi
echo "tests: $passed_total passed, $failed_total failed"
[ ${#failed_passes[@]} -eq 0 ]
