#!/usr/bin/env bash
# Installs those of the given Debian packages that are not installed yet, with
# sudo when not root. Sourced by the scripts (debian_install_missing), or run
# with the packages as arguments by those that are not shell (the Python
# benchmarks). apt's own output goes to standard error, so that a script's
# standard output stays its result.

SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo

# apt-get under one lock of these scripts' own, so that two of them at once
# (CI builds the Windows dependencies while the Linux tests install theirs)
# take turns instead of failing on apt's lock.
debian_apt() {
  $SUDO env DEBIAN_FRONTEND=noninteractive flock /var/lock/tvk-apt.lock apt-get "$@"
}

debian_install_missing() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "Installing: ${missing[*]}" >&2
  debian_apt update -qq
  debian_apt install -y -qq --no-install-recommends "${missing[@]}" >&2
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -euo pipefail
  debian_install_missing "$@"
fi
