#!/usr/bin/env bash
# What a distribution checks before it takes the packages, on the commit
# checked out (run by `make package-check`; needs root and Debian's archive):
#
#  1. the source package (scripts/debian-source) built in a clean bookworm
#     chroot by pbuilder, tests included; the chroot is made once by
#     debootstrap and kept in ~/.cache/delvora/pbuilder/;
#  2. lintian --pedantic on the source package, both packages and their
#     -dbgsym: nothing but the overrides in debian/, each with its reason;
#  3. piuparts in a clean minimal system (debootstrap, kept in
#     ~/.cache/delvora/piuparts/): delvora-convert alone, then both; each
#     installed, upgraded from the previous commit's packages (its own
#     `make package`) and purged, leaving nothing behind;
#  4. two clones of the commit in different folders, built with different
#     umasks, time zones and locales, give the same source package and .deb
#     files to the byte; diffoscope shows any difference.
#
#   scripts/package-check.sh [WORKDIR]    (default build/package-check)
#
# Every log stays in WORKDIR; a failure prints the end of its log.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$top/build/package-check}
mkdir -p "$work"
work=$(cd "$work" && pwd)
for tool in pbuilder piuparts debootstrap lintian diffoscope dpkg-scanpackages; do
  command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin:/sbin
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps package-check)" >&2; exit 1; }
done
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

# The commit checked out when this started, whatever is committed meanwhile.
commit=$(git -C "$top" rev-parse HEAD)
suite=bookworm
mirror=http://deb.debian.org/debian
cache=${XDG_CACHE_HOME:-$HOME/.cache}/delvora
arch=$(dpkg --print-architecture)
jobs=${JOBS:-$(nproc)}
failed=0
# The builds run side by side, each in its own process group, and end with
# this script whatever ends it.
set -m
builds=()
end_builds() {
  local pid
  for pid in "${builds[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
}
trap end_builds EXIT

step() { printf '%s  %s\n' "$(date -u +%H:%M:%S)" "$*"; }
# run LOG COMMAND...: the command's output goes to LOG, the end of it to
# the terminal when it fails.
run() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    tail -40 "$log" >&2
    echo "FAILED: $* (the whole log: $log)" >&2
    return 1
  fi
}

# --- The source package, built in a clean chroot ----------------------------
base=$cache/pbuilder/$suite-base.tgz
if [ ! -f "$base" ]; then
  step "Making a clean $suite build chroot (once): $base"
  mkdir -p "$(dirname "$base")"
  run "$work/pbuilder-create.log" $sudo pbuilder create --basetgz "$base.part" \
    --distribution "$suite" --mirror "$mirror" --debootstrapopts --variant=buildd
  mv "$base.part" "$base"
fi
step "Source package"
rm -rf "$work/source" "$work/chroot"
version=$(bash "$top/scripts/debian-source" "$work/source")
upstream=${version%-*}
step "Building delvora $version in the chroot (pbuilder), in the background"
mkdir -p "$work/chroot"
run "$work/pbuilder-build.log" $sudo pbuilder build --basetgz "$base" --buildresult "$work/chroot" \
  --debbuildopts "-J$jobs" "$work/source/delvora_$version.dsc" &
chroot_build=$!
builds+=("$chroot_build")

# --- piuparts' clean system, and the previous commit's packages -------------
piuparts_base=$cache/piuparts/$suite-minbase.tgz
if [ ! -f "$piuparts_base" ]; then
  step "Making a clean minimal $suite system (once): $piuparts_base"
  mkdir -p "$(dirname "$piuparts_base")"
  root=$(mktemp -d)
  run "$work/debootstrap.log" $sudo debootstrap --variant=minbase "$suite" "$root" "$mirror"
  $sudo tar -C "$root" -czf "$piuparts_base.part" .
  $sudo rm -rf "$root"
  mv "$piuparts_base.part" "$piuparts_base"
fi

# The previous commit's packages, as its own `make package` made them, in a
# little archive of their own that the clean system can install from.
previous=$work/previous
rm -rf "$previous"
step "The previous commit's packages (its own make package), in the background"
git clone -q --no-checkout "$top" "$previous/tree"
git -C "$previous/tree" checkout -q "$(git -C "$top" rev-parse "$commit~1")"
run "$work/previous-build.log" env DEB_BUILD_OPTIONS=nocheck JOBS="$jobs" \
  make -C "$previous/tree" package &
previous_build=$!
builds+=("$previous_build")

# --- Two clones, two environments --------------------------------------------
# Different folders (and depths), umasks, time zones and locales; each
# clone builds its own source package and then its binaries, as make
# package does.
build_clone() {
  local dir=$1 mask=$2 zone=$3 locale=$4
  git clone -q --no-checkout "$top" "$dir/tree"
  git -C "$dir/tree" checkout -q "$commit"
  (
    umask "$mask"
    export TZ=$zone LC_ALL=$locale LANG=$locale DEB_BUILD_OPTIONS=nocheck
    bash "$dir/tree/scripts/debian-source" "$dir/out" >/dev/null
    cd "$dir/out/delvora-$upstream"
    dpkg-buildpackage -us -uc -b "-J$jobs"
  )
}
step "Two clones, in the background: umask 022, UTC, C.UTF-8 / umask 077, Pacific/Chatham, C"
rm -rf "$work/clone-a" "$work/elsewhere"
clone_b=$work/elsewhere/a/much/deeper/folder/clone-b
run "$work/clone-a.log" build_clone "$work/clone-a" 022 UTC C.UTF-8 &
clone_a_build=$!
builds+=("$clone_a_build")
run "$work/clone-b.log" build_clone "$clone_b" 077 Pacific/Chatham C &
clone_b_build=$!
builds+=("$clone_b_build")

wait "$chroot_build" || exit 1
debs=()
for package in delvora-convert delvora delvora-convert-dbgsym delvora-dbgsym; do
  deb=$work/chroot/${package}_${version}_$arch.deb
  [ -f "$deb" ] || { echo "FAILED: the chroot build made no $package package" >&2; exit 1; }
  debs+=("$deb")
done

# --- lintian -----------------------------------------------------------------
step "lintian --pedantic on the source and binary packages"
run "$work/lintian.log" lintian --pedantic --display-info --fail-on error,warning,info,pedantic \
  --tag-display-limit 0 "$work/chroot/delvora_${version}_$arch.changes" || failed=1

wait "$previous_build" || exit 1
mkdir -p "$previous/archive"
cp "$previous/tree"/delvora-convert_*.deb "$previous/tree"/delvora_*.deb "$previous/archive/"
(cd "$previous/archive" && dpkg-scanpackages . /dev/null >Packages 2>/dev/null)
step "Previous: $(basename -a "$previous"/archive/*.deb | xargs)"

run_piuparts() {
  local log=$1
  shift
  step "piuparts: $(basename -a "$@" | xargs)"
  run "$log" $sudo piuparts --basetgz "$piuparts_base" --distribution "$suite" --mirror "$mirror" \
    --extra-repo "deb $mirror $suite-updates main" \
    --extra-repo "deb http://deb.debian.org/debian-security $suite-security main" \
    --bindmount "$previous/archive" --extra-repo "deb [trusted=yes] file://$previous/archive ./" \
    "$@" || failed=1
  # Both parts run: a fresh install with purge, and the upgrade from the
  # previous commit's packages with purge.
  if ! { grep -q "PASS: Installation and purging test" "$log" &&
    grep -q "PASS: Installation, upgrade and purging tests" "$log"; }; then
    echo "FAILED: piuparts did not pass both the install and the upgrade test ($log)" >&2
    failed=1
  fi
}
run_piuparts "$work/piuparts-delvora-convert.log" "${debs[0]}"
run_piuparts "$work/piuparts-delvora.log" "${debs[0]}" "${debs[1]}"

# --- The same bytes from both clones ------------------------------------------
step "Comparing the two clones' packages"
wait "$clone_a_build" || exit 1
wait "$clone_b_build" || exit 1
# The source package too: the same .orig.tar.xz, .debian.tar.xz and .dsc.
for name in "${debs[@]##*/}" "delvora_$upstream.orig.tar.xz" "delvora_$version.debian.tar.xz" \
  "delvora_$version.dsc"; do
  if ! cmp -s "$work/clone-a/out/$name" "$clone_b/out/$name"; then
    echo "FAILED: $name differs between the two clones (diffoscope: $work/diffoscope-$name.txt)" >&2
    diffoscope --text "$work/diffoscope-$name.txt" "$work/clone-a/out/$name" "$clone_b/out/$name" || true
    head -60 "$work/diffoscope-$name.txt" >&2
    failed=1
  fi
done

if [ "$failed" -ne 0 ]; then
  echo "package-check FAILED (logs in $work)" >&2
  exit 1
fi
step "package-check passed: delvora $version built in a clean $suite chroot, lintian clean," \
  "piuparts install/upgrade/purge passed, two clones gave the same source package and" \
  "$(basename -a "${debs[@]}" | xargs)"
