#!/usr/bin/env bash
# Installs, with apt, the Debian 12 packages that building, running and testing
# need; does nothing for packages already there. Needs root or sudo.
set -euo pipefail

packages=(
  build-essential cmake g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  libgtest-dev libgmock-dev googletest libbenchmark-dev
)
[ "${TGX_WITH_FUZZ:-0}" = 1 ] && packages+=(clang libclang-rt-14-dev)
[ "${TGX_WITH_XVFB:-0}" = 1 ] && packages+=(xvfb xauth)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
