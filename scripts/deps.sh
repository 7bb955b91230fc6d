#!/usr/bin/env bash
# Installs, with apt, the Debian 12 packages that the README's commands use:
# building, running, testing, benchmarks, packaging. Does nothing for packages
# already there. Needs root or sudo. TGX_WITH_FUZZ=1 adds clang for the fuzz
# targets, TGX_WITH_XVFB=1 an X server for a machine without a display.
set -euo pipefail

packages=(
  build-essential cmake g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev fonts-dejavu-core
  # Qt's CMake files look for xkbcommon and say "Could NOT find XKB" without
  # it; the windows do not need it, but a configure without noise does.
  libxkbcommon-dev
  libsqlite3-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # The calibration document's tests read its PDF back as text.
  poppler-utils
  # A locale with a decimal comma, so the test that forms are read with '.'
  # whatever the locale runs instead of being skipped.
  locales
  # scripts/package.sh and its checks.
  dpkg-dev debhelper fakeroot lintian desktop-file-utils appstream man-db
)
[ "${TGX_WITH_FUZZ:-0}" = 1 ] && packages+=(clang libclang-rt-14-dev)
[ "${TGX_WITH_XVFB:-0}" = 1 ] && packages+=(xvfb xauth)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# One query for all: the run script calls this at every start.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null | awk '/install ok installed/ {print $1}')
missing=()
for p in "${packages[@]}"; do
  grep -qx "$p" <<<"$installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

comma_locale=ru_RU.UTF-8
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf-\?8'; then
  echo "Generating the locale $comma_locale"
  # Listed in locale.gen as well, so a later locale-gen keeps it.
  if [ -f /etc/locale.gen ] && ! grep -q "^$comma_locale UTF-8" /etc/locale.gen; then
    $sudo sed -i "s/^# *$comma_locale UTF-8/$comma_locale UTF-8/" /etc/locale.gen
  fi
  $sudo localedef -i ru_RU -f UTF-8 "$comma_locale"
fi
