# Shared by the build scripts (sourced, not run). One build folder per kind of
# build, so that running, testing, benchmarking and packaging never rebuild one
# another's objects:
#
#   build/          RelWithDebInfo, everything   scripts/run.sh, scripts/test.sh
#   build-asan/     AddressSanitizer + UBSan      scripts/test.sh
#   build-tsan/     ThreadSanitizer, no windows   scripts/test.sh
#   build-release/  Release                       scripts/bench.sh
#
# TGX_JOBS sets the parallelism of builds and test runs (default: nproc).

tgx_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tgx_jobs=${TGX_JOBS:-$(nproc)}

tgx_cmake_args=()
if command -v ccache >/dev/null 2>&1; then
  tgx_cmake_args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # CI builds a fresh clone in a new folder each time: paths taken relative
  # to the tree let the objects of a build in another clone serve this one
  # (their debug information may then name the other clone's folder).
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$tgx_root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi

# tgx_configure DIR BUILD_TYPE [CMAKE OPTIONS...]
tgx_configure() {
  local dir=$1 type=$2
  shift 2
  cmake -S "$tgx_root" -B "$dir" --log-level=WARNING -DCMAKE_BUILD_TYPE="$type" "${tgx_cmake_args[@]}" "$@"
}

# The one main build, with the same options whichever script configures it
# (different options would rebuild it each time the other script runs).
tgx_main_build=${TGX_BUILD_DIR:-$tgx_root/build}
tgx_configure_main() {
  tgx_configure "$tgx_main_build" RelWithDebInfo -DTGX_GUI=ON -DTGX_TESTS=ON -DTGX_BENCH=ON \
    -DTGX_SANITIZE=OFF -DTGX_SANITIZE_THREAD=OFF
}
