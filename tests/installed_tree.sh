#!/usr/bin/env bash
# Checks what `cmake --install` staged, as a host developer and CUPS meet it:
#   installed_tree.sh ppds STAGE PPD_FOLDER       cupstestppd passes the PPDs
#                                                 against the staged tree
#   installed_tree.sh host STAGE PKGCONFIG_FOLDER C_COMPILER INSPECT SOURCE
#                                                 a C11 host builds through
#                                                 pkg-config and prints a page
# Exits 77, which ctest counts as skipped, when a tool it needs is missing.
set -euo pipefail
check=$1 stage=$2
skip() { echo "installed tree: skipped: $*"; exit 77; }
fail() { echo "installed tree: $*" >&2; exit 1; }

case $check in
  ppds)
    command -v cupstestppd > /dev/null || skip "cupstestppd is not installed"
    shopt -s nullglob
    ppds=("$stage$3"/*.ppd)
    [[ ${#ppds[@]} -gt 0 ]] || fail "no PPDs were installed in $3"
    cupstestppd -R "$stage" "${ppds[@]}" || fail "cupstestppd refused the installed PPDs"
    ;;
  host)
    pkgconfig=$3 compiler=$4 inspect=$5 source=$6
    command -v pkg-config > /dev/null || skip "pkg-config is not installed"
    export PKG_CONFIG_SYSROOT_DIR=$stage PKG_CONFIG_LIBDIR=$stage$pkgconfig
    flags=$(pkg-config --cflags --libs vexao105) || fail "pkg-config does not know vexao105"
    work=$(mktemp -d /tmp/vexao-host-XXXXXX)
    trap 'rm -rf "$work"' EXIT
    # shellcheck disable=SC2086 # the flags are words
    "$compiler" -std=c11 -Wall -Wextra -Werror -o "$work/host" "$source" $flags || fail "the host did not build"
    libdir=$(pkg-config --variable=libdir vexao105)  # with the staging folder in front
    LD_LIBRARY_PATH=$libdir "$work/host" > "$work/page.prn" || fail "the host failed"
    "$inspect" --model e --raster-mode 20 --out "$work/pages" "$work/page.prn" > /dev/null ||
      fail "the host's stream does not decode"
    [[ -f $work/pages/page-001-K.png ]] || fail "the host's page has no black plane"
    ;;
  *) fail "unknown check $check" ;;
esac
