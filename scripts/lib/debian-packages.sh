#!/usr/bin/env bash
# Installs those of the given Debian packages that are not installed yet, with
# sudo when not root. Sourced by the scripts (debian_install_missing), or run
# with the packages as arguments by those that are not shell (the Python
# benchmarks). apt's own output goes to standard error, so that a script's
# standard output stays its result.

SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo

debian_install_missing() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "Installing: ${missing[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -euo pipefail
  debian_install_missing "$@"
fi
