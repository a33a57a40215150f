#!/usr/bin/env bash
# Brings a Debian machine to the state in which the project builds and its
# tests run: the native compilers and libraries, the i386 and arm64
# architectures with their compilers and the libraries that the tests and
# tools use, qemu-user to run arm64 programs, and CUPS with Ghostscript. When
# everything is already there it only asks dpkg and returns.
set -euo pipefail

# A library of several architectures counts as installed when any one is, so
# the machine's own are named with its architecture too.
native=$(dpkg --print-architecture)
packages=(
  # the machine's own build
  cmake g++ binutils
  "libgtest-dev:$native" "libbenchmark-dev:$native" "libpng-dev:$native" "libtiff-dev:$native"
  "libcups2-dev:$native" "libpappl-dev:$native"
  clang libclang-rt-14-dev valgrind
  # i386: the versioned multilib compiler, which lives beside the aarch64 cross
  # compiler where the unversioned g++-multilib does not
  g++-12-multilib libgtest-dev:i386 libbenchmark-dev:i386 libpng-dev:i386 libtiff-dev:i386
  libcups2-dev:i386 libc6-dbg:i386
  # arm64, run under qemu-user
  g++-aarch64-linux-gnu libgtest-dev:arm64 libpng-dev:arm64 libcups2-dev:arm64 libpappl-dev:arm64 qemu-user
  pkgconf
  # printing through a real scheduler
  cups-daemon cups-client cups-filters cups-ppdc ghostscript
  # the printer application's tests: ipptool and its IPP Everywhere test
  cups-ipp-utils python3
)

# Machines set up before the arm64 build have the unversioned multilib
# packages, which the cross compiler cannot live beside; g++-12-multilib
# takes their place.
for stale in g++-multilib gcc-multilib; do
  if [[ $(dpkg-query -W -f='${Status}' "$stale" 2>/dev/null || true) == "install ok installed" ]]; then
    as_root=()
    [[ $(id -u) -eq 0 ]] || as_root=(sudo)
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get remove -y -qq "$stale" >&2
  fi
done
exec "$(dirname "$0")/apt-install.sh" "${packages[@]}"
