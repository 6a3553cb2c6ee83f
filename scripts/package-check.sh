#!/usr/bin/env bash
# piuparts on the packages `make package` made: installed, run through
# their maintainer scripts and purged in a clean minimal Debian system of
# this machine's release, leaving nothing behind. delvora-convert goes in
# alone (it needs no Qt), then with delvora. Needs root, debootstrap and
# piuparts, and Debian's archive over the network. The clean system is made
# once and kept under ~/.cache/delvora/piuparts/.
#
#   scripts/package-check.sh delvora-convert_V_ARCH.deb delvora_V_ARCH.deb
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 delvora-convert.deb delvora.deb" >&2; exit 2; }
convert_deb=$(realpath "$1")
window_deb=$(realpath "$2")
for tool in piuparts debootstrap; do
  command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin:/sbin
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps package-check)" >&2; exit 1; }
done
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

# shellcheck disable=SC1091
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=http://deb.debian.org/debian
cache=${XDG_CACHE_HOME:-$HOME/.cache}/delvora/piuparts
base=$cache/$suite-minbase.tar.gz
if [ ! -f "$base" ]; then
  mkdir -p "$cache"
  root=$(mktemp -d)
  trap '$sudo rm -rf "$root"' EXIT
  echo "Making a clean $suite system (once): $base"
  $sudo debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail -20 "$cache/debootstrap.log" >&2; exit 1; }
  $sudo tar -C "$root" -czf "$base.part" .
  mv "$base.part" "$base"
fi

# The security and point-release updates too: the packages are built
# against this machine's libraries, which may be newer than the release's.
run_piuparts() {
  local log=$1
  shift
  if $sudo piuparts --basetgz "$base" --distribution "$suite" --mirror "$mirror" \
    --extra-repo "deb $mirror $suite-updates main" \
    --extra-repo "deb http://deb.debian.org/debian-security $suite-security main" \
    --no-upgrade-test "$@" >"$log" 2>&1; then
    echo "piuparts passed: $(basename -a "$@" | tr '\n' ' ')"
  else
    tail -40 "$log" >&2
    echo "piuparts FAILED: $* (the whole log: $log)" >&2
    return 1
  fi
}
logs=$(dirname "$convert_deb")
run_piuparts "$logs/piuparts-delvora-convert.log" "$convert_deb"
run_piuparts "$logs/piuparts-delvora.log" "$convert_deb" "$window_deb"
