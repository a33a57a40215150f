#!/usr/bin/env bash
# Builds the Debian packages into dist/ for the machine's own architecture
# and, when named, for i386 too: the drop-in for 32-bit hosts. Installs what
# it needs first, builds from a copy of the sources so the checkout stays
# clean, checks the packages with lintian and lists them.
#   scripts/package.sh [i386]
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: scripts/package.sh [i386]" >&2; exit 2; }
native=$(dpkg --print-architecture)
architectures=("$native")
for argument in "$@"; do
  case $argument in
    i386) [[ $native == i386 ]] || architectures+=(i386) ;;
    -h|--help) echo "usage: scripts/package.sh [i386]"; exit 0 ;;
    *) echo "package: unknown architecture $argument" >&2; usage ;;
  esac
done

needs=(build-essential debhelper dpkg-dev cmake pkgconf cups-ppdc lintian)
for architecture in "${architectures[@]}"; do
  needs+=("libpng-dev:$architecture" "libcups2-dev:$architecture")
  # The printer application is built where Debian has PAPPL.
  [[ $architecture == amd64 || $architecture == arm64 ]] && needs+=("libpappl-dev:$architecture")
  [[ $architecture == "$native" ]] || needs+=("crossbuild-essential-$architecture")
done
scripts/apt-install.sh "${needs[@]}"

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
work=$(mktemp -d /tmp/vexao-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
source=$work/vexao105-$version
mkdir "$source"
tar --exclude=./build --exclude=./dist --exclude=./demo-output --exclude=./.git -cf - . | tar -C "$source" -xf -

mkdir -p dist
rm -f dist/*.deb dist/build-*.log
export DEB_BUILD_OPTIONS=noautodbgsym
for architecture in "${architectures[@]}"; do
  echo "== building the $architecture packages (log: dist/build-$architecture.log)" >&2
  if ! (cd "$source" && dpkg-buildpackage -b -us -uc -d -a "$architecture") > "dist/build-$architecture.log" 2>&1; then
    tail -n 30 "dist/build-$architecture.log" >&2
    echo "package: the $architecture build failed; the whole log is dist/build-$architecture.log" >&2
    exit 1
  fi
  mv "$work"/*_"${version}"_"$architecture".deb dist/
  rm -f "$work"/*.buildinfo "$work"/*.changes
done

echo "== lintian" >&2
lintian --info dist/*_"$version"_*.deb || { echo "package: lintian found errors" >&2; exit 1; }
echo "== packages in dist/" >&2
for deb in dist/*_"$version"_*.deb; do
  printf '%-48s %8s bytes, %s installed\n' "$(basename "$deb")" "$(stat -c %s "$deb")" \
    "$(dpkg-deb -f "$deb" Installed-Size) KiB"
done
