#!/usr/bin/env bash
# Installs those of the named Debian packages that are missing, adding the
# foreign architectures that NAME:ARCH asks for. Quick when everything is
# there: it only asks dpkg.
#   scripts/apt-install.sh PACKAGE[:ARCH]...
set -euo pipefail
missing=()
for package in "$@"; do
  # A name without an architecture is there when any architecture is.
  dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -x "install ok installed" > /dev/null || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)
echo "setup: installing ${missing[*]}" >&2
native=$(dpkg --print-architecture)
for package in "${missing[@]}"; do
  architecture=${package##*:}
  [[ $package == *:* && $architecture != "$native" ]] || continue
  if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
    "${as_root[@]}" dpkg --add-architecture "$architecture"
  fi
done
"${as_root[@]}" apt-get update -qq
# --no-remove: a foreign library must never displace its native twin.
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-remove "${missing[@]}" >&2
