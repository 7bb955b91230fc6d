#!/usr/bin/env bash
# Builds tgx, tgxctl and tgx-sim (nothing else) in build/ and starts tgx.
# Unless --no-sim is given, a simulated computing unit (tgx-sim, firmware 960)
# runs on a pseudo-terminal holding the tables of examples/station_with_gap.fs,
# and COM1 is mapped to it; the simulator stops when tgx exits. Other
# arguments go to tgx (for example -t). TGX_BUILD_DIR chooses the build folder
# (default build/, shared with scripts/test.sh).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$tgx_root"
root=$tgx_root

use_sim=1
tgx_args=()
for a in "$@"; do
  case "$a" in
    --no-sim) use_sim=0 ;;
    *) tgx_args+=("$a") ;;
  esac
done

scripts/deps.sh

build=$tgx_main_build
# Configured once; later builds re-run CMake by themselves when it changed.
[ -f "$build/CMakeCache.txt" ] || tgx_configure_main
cmake --build "$build" -j"$tgx_jobs" --target tgx tgxctl tgx-sim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: no display (DISPLAY is not set); start it from a desktop session or under xvfb-run" >&2
  exit 1
fi

if [ "$use_sim" = 0 ]; then
  exec "$build/tgx" "${tgx_args[@]}"
fi

unit=$(mktemp -d "${TMPDIR:-/tmp}/tgx-unit.XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$unit"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A 960 unit packs every table of the sample; older firmware cannot store the
# sample's uneven third channel.
"$build/tgx-sim" --version-code 9600 --link "$unit/com1" --state "$unit/unit.state" >"$unit/sim.out" 2>"$unit/sim.err" &
sim_pid=$!
for _ in $(seq 1 50); do
  [ -L "$unit/com1" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "run.sh: tgx-sim did not start:" >&2
    cat "$unit/sim.err" >&2
    exit 1
  fi
  sleep 0.1
done
[ -L "$unit/com1" ] || { echo "run.sh: tgx-sim made no terminal" >&2; exit 1; }

# A sample unit: the three channels of the example station, one of them a gap.
if ! "$build/tgxctl" --device "$unit/com1" write "$root/examples/station_with_gap.fs" >"$unit/seed.out" 2>&1; then
  echo "run.sh: could not load the sample tables into the simulated unit:" >&2
  cat "$unit/seed.out" >&2
  exit 1
fi

echo "tgx: COM1 is a simulated unit on $(head -n1 "$unit/sim.out")"
status=0
TGX_COM1="$unit/com1" "$build/tgx" "${tgx_args[@]}" || status=$?
exit "$status"
