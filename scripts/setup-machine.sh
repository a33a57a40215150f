#!/usr/bin/env bash
# Brings a Debian machine to the state in which the project builds and its
# tests run: the i386 architecture, the 32-bit compilers and the i386 builds of
# the libraries that the tests and tools use. When everything is already there
# it only asks dpkg and returns.
set -euo pipefail

packages=(
  cmake
  g++-multilib
  binutils
  libgtest-dev:i386
  libbenchmark-dev:i386
  libpng-dev:i386
  libtiff-dev:i386
  libcups2-dev:i386
  clang
  libclang-rt-14-dev
  valgrind
  qemu-user
  libc6-dbg:i386
  cups-daemon
  cups-client
  cups-filters
  cups-ppdc
  ghostscript
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)
echo "setup: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -qq
# --no-remove: an i386 library must never displace its amd64 twin.
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-remove "${missing[@]}" >&2
