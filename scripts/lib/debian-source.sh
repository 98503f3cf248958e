# Shared by the scripts that build dependencies from Debian's own source
# packages (linux-deps, windows-deps); sourced, not run. It brings
# debian_install_missing (debian-packages.sh) along.
#
# The deb-src entry is a copy of the machine's own package sources that lives
# only while a build needs it, so that no script names a package host of its
# own. A script that calls debian_source_enable calls debian_source_disable
# from its EXIT trap.

. "$(dirname "${BASH_SOURCE[0]}")/debian-packages.sh"
debian_source_entry=""

# The version of the source package that apt would install the binary package
# BINARY from now; read from the binary package, so that checking a cache needs
# no deb-src entry. A binary-only rebuild (+bN) names its source version apart.
debian_source_version() {
  local fields
  fields=$(apt-cache show --no-all-versions "$1")
  local source_field
  source_field=$(sed -n 's/^Source: //p' <<<"$fields")
  if [[ $source_field =~ \(([^\)]+)\) ]]; then
    echo "${BASH_REMATCH[1]}"
  else
    sed -n 's/^Version: //p' <<<"$fields"
  fi
}

debian_source_enable() {
  [ -z "$debian_source_entry" ] || return 0
  local f text entry=/etc/apt/sources.list.d/tvk-$(basename "$0")-$$
  # Read before anything is written there, so the glob cannot catch the new
  # entry itself; the entries of other runs of these scripts are no sources
  # of their own.
  text=$(for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && [[ $f != */tvk-* ]] && grep -q -E '^Types:(.*\s)?deb(\s|$)' "$f" || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$f"; echo
  done)
  if [ -n "$text" ]; then
    entry+=.sources
  else
    text=$(for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -e "$f" ] && [[ $f != */tvk-* ]] || continue
      sed -n -E 's/^deb(\s)/deb-src\1/p' "$f"
    done)
    entry+=.list
  fi
  [ -n "$text" ] || { echo "no deb entry in the apt sources to copy as deb-src" >&2; return 1; }
  debian_source_entry=$entry
  printf '%s\n' "$text" | $SUDO tee "$entry" >/dev/null
  debian_apt update -qq
}

debian_source_disable() {
  [ -n "$debian_source_entry" ] || return 0
  $SUDO rm -f "$debian_source_entry"
  debian_source_entry=""
  debian_apt update -qq || true
}

# Unpacks source package SOURCE at VERSION under folder DIR and prints the path
# of its tree.
debian_source_fetch() {
  local source=$1 version=$2 dir=$3 tree
  local sandbox=(); [ "$(id -u)" != 0 ] || sandbox=(-o APT::Sandbox::User=root)
  mkdir -p "$dir"
  if ! (cd "$dir" && flock /var/lock/tvk-apt.lock apt-get source -qq "${sandbox[@]}" "$source=$version" >"$dir/.apt-source.log" 2>&1); then
    tail -n 20 "$dir/.apt-source.log" >&2
    echo "apt-get source $source=$version failed" >&2
    return 1
  fi
  tree=$(find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$source-*" | head -1)
  [ -n "$tree" ] || { echo "apt-get source $source=$version gave no source tree" >&2; return 1; }
  echo "$tree"
}
