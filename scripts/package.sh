#!/usr/bin/env bash
# Builds the Debian package of TGX (tgx_<version>_<arch>.deb) and prints its
# path. With --check it then runs lintian (errors and warnings fail), checks
# the desktop entry, the AppStream data and the manual pages of the built
# package, and checks the manual against the program (packaging/check_docs.py);
# the exit status is non-zero when any of them finds a problem.
#
# The package is built from a copy of the sources in out/deb/, so the tree
# itself gets no build products: the committed sources (HEAD), or with
# --worktree the files as they are now, uncommitted changes included.
# The maintainer recorded in the package is DEBFULLNAME and DEBEMAIL when set,
# else git's user.name and user.email, else the project's address in
# debian/control. Installs what it needs with apt (root or sudo). TGX_JOBS
# sets the build's parallelism (default: nproc).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

check=0
worktree=0
for a in "$@"; do
  case "$a" in
    --check) check=1 ;;
    --worktree) worktree=1 ;;
    -h|--help)
      awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
      exit 0 ;;
    *) echo "package.sh: unknown argument $a (usage: scripts/package.sh [--check] [--worktree])" >&2; exit 64 ;;
  esac
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt_updated=0
apt_install() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "package.sh: installing ${missing[*]}"
  if [ "$apt_updated" = 0 ]; then
    $sudo apt-get update -qq
    apt_updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

tools=(dpkg-dev debhelper fakeroot)
[ "$check" = 1 ] && tools+=(lintian desktop-file-utils appstream man-db python3)
apt_install "${tools[@]}"

# The package version comes from debian/changelog; its first three parts must
# be the program's own version, its fourth is the build number.
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
cmake_version=$(sed -n 's/^project(tgx VERSION \([0-9]*\.[0-9]*\.[0-9]*\)\..*/\1/p' CMakeLists.txt)
case "$version" in
  "$cmake_version".*) ;;
  *) echo "package.sh: debian/changelog has version $version, CMakeLists.txt $cmake_version.N" >&2; exit 1 ;;
esac

out="$root/out/deb"
src="$out/tgx-$version"
rm -rf "$src"
rm -f "$out"/tgx_* "$out"/tgx-dbgsym_*
mkdir -p "$src"

# The committed sources; with --worktree the tree as it is now (tracked and
# new files, without what git ignores); everything but build products when
# this is not a git checkout.
if ! git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  tar -C "$root" --exclude=./.git --exclude='./build*' --exclude=./out -cf - . | tar -C "$src" -xf -
elif [ "$worktree" = 0 ]; then
  git -C "$root" archive --format=tar HEAD | tar -C "$src" -xf -
else
  git -C "$root" ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do
      [ -e "$f" ] || [ -L "$f" ] && printf '%s\0' "$f"
    done |
    tar -C "$root" --null -T - -cf - | tar -C "$src" -xf -
fi

# Who builds this package.
name="${DEBFULLNAME:-}"
mail="${DEBEMAIL:-}"
named_address='^(.*[^[:space:]])[[:space:]]*<(.+)>$'
if [[ "$mail" =~ $named_address ]]; then
  # DEBEMAIL may carry the name too: "Name <address>".
  name="${name:-${BASH_REMATCH[1]}}"
  mail="${BASH_REMATCH[2]}"
fi
if [ -z "$name" ] || [ -z "$mail" ]; then
  name=$(git -C "$root" config user.name 2>/dev/null || true)
  mail=$(git -C "$root" config user.email 2>/dev/null || true)
fi
if [ -n "$name" ] && [ -n "$mail" ]; then
  maintainer="$name <$mail>"
  # The maintainer and the changelog's signature name the same person.
  sed -i "s|^Maintainer: .*|Maintainer: $maintainer|" "$src/debian/control"
  sed -i "0,/^ -- .* <.*>  /s|^ -- .* <.*>  | -- $maintainer  |" "$src/debian/changelog"
else
  maintainer=$(sed -n 's/^Maintainer: //p' "$src/debian/control")
fi
echo "package.sh: tgx $version, maintainer $maintainer"

# Build dependencies from debian/control.
if ! (cd "$src" && dpkg-checkbuilddeps >/dev/null 2>&1); then
  [ "$apt_updated" = 1 ] || { $sudo apt-get update -qq; apt_updated=1; }
  DEBIAN_FRONTEND=noninteractive $sudo apt-get build-dep -y -qq --no-install-recommends "$src"
fi

jobs="${TGX_JOBS:-$(nproc)}"
# A compiler cache makes a second build of the same copy quick; the copy's
# path is the same every time, so the cache finds it.
if command -v ccache >/dev/null 2>&1; then export CMAKE_CXX_COMPILER_LAUNCHER=ccache; fi
(cd "$src" && DEB_BUILD_OPTIONS="parallel=$jobs ${DEB_BUILD_OPTIONS:-}" \
   dpkg-buildpackage -b -us -uc) >"$out/build.log" 2>&1 || {
  tail -n 40 "$out/build.log" >&2
  echo "package.sh: the build failed; the whole log is $out/build.log" >&2
  exit 1
}

deb=$(ls "$out"/tgx_"$version"_*.deb)
changes=$(ls "$out"/tgx_"$version"_*.changes)
echo "$deb"
[ "$check" = 1 ] || exit 0

# ---------------------------------------------------------------- checks
status=0
echo "package.sh: lintian"
if ! lintian -i --fail-on error,warning "$changes"; then status=1; fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"

echo "package.sh: desktop entry, AppStream data, manual pages"
desktop-file-validate "$unpacked/usr/share/applications/tgx.desktop" || status=1
appstreamcli validate --no-net --pedantic "$unpacked"/usr/share/metainfo/*.metainfo.xml || status=1
for page in tgx tgxctl tgx-sim; do
  f="$unpacked/usr/share/man/man1/$page.1.gz"
  if [ ! -f "$f" ]; then
    echo "package.sh: no manual page $page.1.gz in the package" >&2
    status=1
    continue
  fi
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$f" 2>&1 >/dev/null || true)
  if [ -n "$warnings" ]; then
    echo "$page.1: $warnings" >&2
    status=1
  fi
done
[ -f "$unpacked/usr/share/doc/tgx/manual/index.html" ] || { echo "package.sh: the manual is not in the package" >&2; status=1; }

echo "package.sh: manual against the program"
python3 "$root/packaging/check_docs.py" || status=1

[ "$status" = 0 ] && echo "package.sh: all checks passed" || echo "package.sh: checks failed" >&2
exit "$status"
