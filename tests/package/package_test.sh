#!/usr/bin/env bash
# Tests of what a user installs: the desktop data, the window's command line,
# the tree `cmake --install` lays out, the two Debian packages debian/ makes
# of it (delvora-convert and delvora) and the versions they carry.
#
#   package_test.sh MODE --source DIR --build DIR --probe LIB --version 7.00
#                   --project-version 7.0.0
#
# MODE: desktop-data | command-line | window-class | install-tree | package |
#       versions.
# Exit status 77 (skipped) where a tool the mode needs is missing.
set -euo pipefail

mode=$1
shift
while [ $# -gt 0 ]; do
  case $1 in
    --source) source_dir=$2 ;;
    --build) build_dir=$2 ;;
    --probe) probe=$2 ;;
    --version) version=$2 ;;
    --project-version) project_version=$2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done

app_id=example.quorvane.Delvora
icon_sizes=(16 22 24 32 48 64 128 256)
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
  done
}
# expect_eq WHAT EXPECTED ACTUAL
expect_eq() {
  [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"
}

# Starts a window with the probe loaded, offscreen and with a settings store,
# home and runtime folder of its own. On one start in a hundred the window
# opens the vendor's page with xdg-open: the only program on its PATH is an
# xdg-open that does nothing. Writes the probe's report to $work/report and
# the window's own output to $work/window.log.
run_window() {
  local home=$work/home-$RANDOM
  mkdir -p "$home/config" "$home/run" "$home/bin"
  chmod 700 "$home/run"
  printf '#!/bin/sh\nexit 0\n' >"$home/bin/xdg-open"
  chmod +x "$home/bin/xdg-open"
  rm -f "$work/report"
  if ! env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" \
    XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen PATH="$home/bin" \
    LD_PRELOAD="$probe" DELVORA_PROBE_REPORT="$work/report" \
    "$@" >"$work/window.log" 2>&1; then
    fail "the window ($*) ended with an error:"
    cat "$work/window.log" >&2
  fi
  [ -f "$work/report" ] || { fail "the window ($*) never came up"; : >"$work/report"; }
}

report_value() { sed -n "s/^$1 //p" "$work/report"; }

# The window started from PROGRAM found its skin, its pointer and the samples
# in APP_DIR (the folder of its executable).
check_window_found_its_files() {
  local program=$1 app_dir
  app_dir=$(realpath "$2")
  run_window "$program"
  expect_eq "window background (the skin's)" "#f4f6fa" "$(report_value background)"
  expect_eq "pointer over a button (24: our own bitmap)" 24 "$(report_value pointer)"
  local expected
  expected=$(find "$app_dir/Samples" -maxdepth 1 -type f | sort)
  [ -n "$expected" ] || fail "no samples in $app_dir/Samples"
  expect_eq "samples listed by the window" "$expected" "$(report_value sample | sort)"
}

# The programs under ROOT/usr-like PREFIX: the files in place and both
# programs working from there.
check_installed_tree() {
  local prefix=$1
  local data=$prefix/share/delvora
  local files=(
    bin/delvora bin/delvora-convert share/delvora/HAND-M.CUR share/delvora/drag.ico
    share/delvora/x/o.cjs "share/applications/$app_id.desktop" "share/metainfo/$app_id.metainfo.xml"
    share/man/man1/delvora.1.gz share/man/man1/delvora-convert.1.gz
    share/bash-completion/completions/delvora-convert
  )
  for size in "${icon_sizes[@]}"; do
    files+=("share/icons/hicolor/${size}x$size/apps/$app_id.png")
  done
  for file in "${files[@]}"; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
  done
  # The window's icon is inside it; on Linux nothing reads the file.
  [ -e "$data/delvora.ico" ] && fail "the Windows icon file is installed"
  [ -e "$prefix/lib/delvora" ] && fail "something is installed in lib/delvora"
  expect_eq "installed samples" \
    "$(cd "$source_dir/resources/Samples" && ls)" "$(cd "$data/Samples" && ls)"
  # The manual page names where the files are.
  zcat "$prefix/share/man/man1/delvora.1.gz" | grep -q "^\.I .*/share/delvora/$" ||
    fail "delvora(1) does not name the data folder"

  expect_eq "installed delvora --version" "delvora $version" \
    "$(env -u DISPLAY "$prefix/bin/delvora" --version)"
  printf 'name,city\r\nAda,Paris\r\n' >"$work/people.csv"
  "$prefix/bin/delvora-convert" -q "$work/people.csv" ||
    fail "installed delvora-convert failed"
  expect_eq "installed delvora-convert's result" "$(printf 'name\tcity\r\nAda\tParis\r\n' | od -c)" \
    "$(od -c <"$work/people.tsv")"

  check_window_found_its_files "$prefix/bin/delvora" "$data"
}

# Makes both packages of the build tree into OUT with debian/'s own steps
# from its install step on (the compiling is the build tree's), under the
# given umask, time zone and locale.
make_debs() {
  local out=$1 mask=$2 zone=$3 locale=$4
  mkdir -p "$out/src"
  cp -r "$source_dir/debian" "$source_dir/CHANGELOG.md" "$out/src/"
  bash "$source_dir/scripts/debian-source" --entry "$out/src"
  if ! (
    cd "$out/src"
    umask "$mask"
    export TZ=$zone LC_ALL=$locale LANG=$locale
    SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -S Timestamp)
    export SOURCE_DATE_EPOCH
    dh_prep
    debian/rules override_dh_auto_install B="$build_dir"
    dh binary --no-act | sed '1,/override_dh_auto_install/d' >"$out/steps"
    while read -r -a step; do "${step[@]}"; done <"$out/steps"
  ) >"$out/dh.log" 2>&1; then
    cat "$out/dh.log" >&2
    exit 1
  fi
}

# The package's compiler and linker flags were Debian's hardening ones: full
# RELRO and bind-now, position-independent, stack protector and fortify.
check_hardened() {
  local binary=$1 name
  name=$(basename "$binary")
  grep -q 'BIND_NOW' <(readelf -dW "$binary") || fail "$name: not linked with -z now"
  grep -q 'PIE' <(readelf -dW "$binary") || fail "$name: not position-independent"
  grep -q 'GNU_RELRO' <(readelf -lW "$binary") || fail "$name: no RELRO segment"
  grep -q '__stack_chk_fail' <(readelf --dyn-syms -W "$binary") ||
    fail "$name: not built with the stack protector"
  grep -qE '__[a-z_]+_chk(@|$)' <(readelf --dyn-syms -W "$binary" | awk '{print $8}' | grep -v __stack_chk) ||
    fail "$name: not built with _FORTIFY_SOURCE"
  # Control-flow protection is not among this Debian release's flags.
  if command -v hardening-check >/dev/null; then
    hardening-check --nocfprotection "$binary" >"$work/hardening.log" 2>&1 ||
      { fail "hardening-check $name:"; cat "$work/hardening.log" >&2; }
  fi
}

case $mode in
  desktop-data)
    need desktop-file-validate appstreamcli man bash
    linux=$source_dir/share/linux
    desktop-file-validate "$linux/$app_id.desktop" || fail "desktop-file-validate"
    # The window takes no files: a plain command and no file types.
    expect_eq "desktop Exec" "Exec=delvora" "$(grep '^Exec=' "$linux/$app_id.desktop")"
    grep -q '^MimeType=' "$linux/$app_id.desktop" && fail "the desktop entry claims file types"
    expect_eq "desktop Icon" "Icon=$app_id" "$(grep '^Icon=' "$linux/$app_id.desktop")"
    expect_eq "desktop StartupNotify" "StartupNotify=true" \
      "$(grep '^StartupNotify=' "$linux/$app_id.desktop")"

    appstreamcli validate --no-net "$linux/$app_id.metainfo.xml" || fail "appstreamcli validate"
    newest=$(grep -o '<release version="[^"]*"' "$linux/$app_id.metainfo.xml" | head -1)
    expect_eq "newest release in the metainfo" "<release version=\"$project_version\"" "$newest"

    for size in "${icon_sizes[@]}"; do
      png=$linux/icons/hicolor/${size}x$size/apps/$app_id.png
      # Width and height, big-endian, at bytes 16 to 23 of a PNG.
      read -r -a header < <(od -An -tu1 -j16 -N8 "$png")
      expect_eq "size of $png" "$size $size" \
        "$(((header[2] << 8) + header[3])) $(((header[6] << 8) + header[7]))"
    done

    for page in delvora delvora-convert; do
      warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$build_dir/install-staged/$page.1" 2>&1 >/dev/null)
      [ -z "$warnings" ] || fail "man page $page: $warnings"
      grep -q "\"Delvora $version\"" "$build_dir/install-staged/$page.1" ||
        fail "man page $page does not carry version $version"
    done

    # The completion, driven as bash drives it.
    completion=/usr/share/bash-completion/bash_completion
    [ -f "$completion" ] || { echo "skipped: bash-completion is not installed"; exit 77; }
    complete_words() {
      bash -c 'source "$1"; source "$2"; shift 2
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _delvora_convert delvora-convert "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$completion" \
        "$linux/delvora-convert.bash-completion" "$@"
    }
    expect_eq "completion of -d s" "semicolon" "$(complete_words delvora-convert -d s)"
    expect_eq "completion of --dr" "--dry-run" "$(complete_words delvora-convert --dr)"
    offered=$(complete_words delvora-convert -)
    # Every option the program's help names is offered, and the ones of this
    # release whatever the help says.
    # (The option list's lines: "  -d, --delimiter NAME  text", not examples.)
    help_options=$("$build_dir/bin/delvora-convert" --help | grep -E '^[[:space:]]+-' |
      sed -E 's/^[[:space:]]+//; s/  .*//' | grep -oE '(^|[ ,/])--?[a-z][a-z-]*' |
      tr -d ' ,/' | sort -u)
    for option in $help_options -j -o --output --quotes --escape --check --dry-run -; do
      grep -qx -- "$option" <<<"$offered" || fail "completion does not offer $option"
    done
    ;;

  command-line)
    expect_eq "delvora --version" "delvora $version" \
      "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build_dir/bin/delvora" --version)"
    expect_eq "delvora-convert --version" "delvora-convert $version" \
      "$("$build_dir/bin/delvora-convert" --version)"
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build_dir/bin/delvora" --help)
    for text in "Usage:" "--help" "--version" "delvora-convert"; do
      grep -q -- "$text" <<<"$help" || fail "delvora --help does not mention $text"
    done
    # Anything else is ignored and the window opens, Qt's own options
    # included (-reverse is not -r -e -v...; Qt takes it for itself).
    for case in "--bogus sales.csv|--bogus sales.csv" "-reverse|" "-x -- --version|-x -- --version"; do
      # shellcheck disable=SC2086
      run_window "$build_dir/bin/delvora" ${case%|*}
      expect_eq "the window opened with" "${case#*|}" "$(report_value arguments)"
    done
    check_window_found_its_files "$build_dir/bin/delvora" "$build_dir/bin"
    # The desktop entry it names is the one installed; the version is ours.
    expect_eq "the window's desktop file name and version" "$app_id $version" \
      "$(report_value identity)"
    ;;

  window-class)
    # Docks group a window under the desktop entry whose StartupWMClass is
    # the class the window really carries on X11.
    need Xvfb xdotool xprop timeout
    exec {display_fd}<> <(:)
    Xvfb -displayfd "$display_fd" -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    read -r -u "$display_fd" display
    home=$work/home
    mkdir -p "$home/config" "$home/run" "$home/bin"
    chmod 700 "$home/run"
    printf '#!/bin/sh\nexit 0\n' >"$home/bin/xdg-open"
    chmod +x "$home/bin/xdg-open"
    DISPLAY=:$display HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" \
      QT_QPA_PLATFORM=xcb PATH="$home/bin" "$build_dir/bin/delvora" >"$work/window.log" 2>&1 &
    window=$!
    id=$(DISPLAY=:$display timeout 60 xdotool search --sync --onlyvisible --pid "$window" | head -1) || true
    # WM_CLASS(STRING) = "instance", "class"
    class=$(DISPLAY=:$display xprop -id "${id:-0}" WM_CLASS 2>/dev/null | sed -n 's/.*, "\(.*\)"$/\1/p')
    kill "$window" "$xvfb" 2>/dev/null
    wait "$window" "$xvfb" 2>/dev/null || true
    [ -n "$id" ] || { fail "the window never showed on X11:"; cat "$work/window.log" >&2; }
    expect_eq "the desktop entry's StartupWMClass (the window's X11 class)" \
      "StartupWMClass=$class" "$(grep '^StartupWMClass=' "$source_dir/share/linux/$app_id.desktop")"
    ;;

  install-tree)
    need cmake realpath
    cmake --install "$build_dir" --prefix "$work/usr" >"$work/install.log" ||
      { cat "$work/install.log" >&2; exit 1; }
    check_installed_tree "$work/usr"
    ;;

  package)
    need dh dpkg-deb dpkg-parsechangelog lintian readelf realpath git
    debian_version=$(bash "$source_dir/scripts/version" --debian)
    arch=$(dpkg --print-architecture)
    # The same packages whatever the umask, time zone and locale.
    make_debs "$work/a" 022 UTC C.UTF-8
    make_debs "$work/b" 077 Pacific/Chatham C
    for package in delvora-convert delvora; do
      deb=${package}_${debian_version}_$arch.deb
      [ -f "$work/a/$deb" ] || { fail "no package $package made: $(ls "$work/a")"; exit 1; }
      cmp -s "$work/a/$deb" "$work/b/$deb" || {
        fail "$deb differs when made under umask 077, another time zone and locale:"
        diff <(dpkg-deb -c "$work/a/$deb") <(dpkg-deb -c "$work/b/$deb") >&2
      }
      odd=$(dpkg-deb -c "$work/b/$deb" | awk '$1 !~ /^(drwxr-xr-x|-rw-r--r--|-rwxr-xr-x)$/')
      [ -z "$odd" ] || fail "$deb made under umask 077 has other modes: $odd"
    done
    convert_deb=$work/a/delvora-convert_${debian_version}_$arch.deb
    window_deb=$work/a/delvora_${debian_version}_$arch.deb

    # The converter needs the C and C++ runtimes and nothing of Qt's.
    convert_depends=$(dpkg-deb -f "$convert_deb" Depends)
    expect_eq "delvora-convert depends on" "libc6 libgcc-s1 libstdc++6" \
      "$(tr ',' '\n' <<<"$convert_depends" | sed -E 's/^ *//; s/ .*//' | sort | xargs)"
    window_depends=$(dpkg-deb -f "$window_deb" Depends)
    for package in "delvora-convert (= $debian_version)" libqt6widgets6 libqt6gui6 libqt6core6 \
      qt6-qpa-plugins fonts-liberation; do
      grep -qF "$package" <<<"$window_depends" || fail "delvora does not depend on $package: $window_depends"
    done
    expect_eq "delvora recommends" "xdg-utils" "$(dpkg-deb -f "$window_deb" Recommends)"
    # Each file in one package only: the converter's side and the window's.
    dpkg-deb -c "$convert_deb" | awk '{print $6}' | grep -vE '/$' >"$work/convert.files"
    expect_eq "files of delvora-convert" \
      "./usr/bin/delvora-convert ./usr/share/bash-completion/completions/delvora-convert ./usr/share/doc/delvora-convert/changelog.Debian.gz ./usr/share/doc/delvora-convert/changelog.gz ./usr/share/doc/delvora-convert/copyright ./usr/share/man/man1/delvora-convert.1.gz" \
      "$(sort "$work/convert.files" | xargs)"
    dpkg-deb -c "$window_deb" | awk '{print $6}' | grep -F -x -f "$work/convert.files" &&
      fail "delvora holds files of delvora-convert"

    # lintian --pedantic finds nothing debian/'s overrides do not explain.
    lintian --pedantic --fail-on error,warning,info,pedantic --tag-display-limit 0 \
      "$convert_deb" "$window_deb" >"$work/lintian.log" 2>&1 ||
      { fail "lintian reports:"; cat "$work/lintian.log" >&2; }

    dpkg -x "$convert_deb" "$work/convert-only"
    [ -e "$work/convert-only/usr/share/delvora" ] && fail "delvora-convert installs the window's files"
    printf 'a;b\r\n' >"$work/alone.csv"
    "$work/convert-only/usr/bin/delvora-convert" -q -d semicolon "$work/alone.csv" ||
      fail "delvora-convert alone failed"
    expect_eq "delvora-convert alone's result" "$(printf 'a\tb\r\n' | od -c)" "$(od -c <"$work/alone.tsv")"

    dpkg -x "$convert_deb" "$work/root"
    dpkg -x "$window_deb" "$work/root"
    check_installed_tree "$work/root/usr"
    check_hardened "$work/root/usr/bin/delvora-convert"
    check_hardened "$work/root/usr/bin/delvora"
    for package in delvora-convert delvora; do
      gzip -dc "$work/root/usr/share/doc/$package/changelog.Debian.gz" >"$work/changelog"
      expect_eq "$package's Debian change log version" "$debian_version" \
        "$(dpkg-parsechangelog -l "$work/changelog" -S Version)"
    done
    ;;

  versions)
    # One release, named alike wherever it is written.
    need git dpkg
    version_script=$source_dir/scripts/version
    release=$(bash "$version_script" --release)
    expect_eq "CHANGELOG.md's newest release and project(VERSION)" "$project_version" "$release"
    expect_eq "the release's entry in debian/changelog" "$release-1" \
      "$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)"

    # The version of each commit of a small history, as a clone sees it.
    repo=$work/repo
    mkdir -p "$repo/scripts"
    cp "$version_script" "$repo/scripts/version"
    git -C "$repo" init -q
    commit() {  # DATE MESSAGE: commits everything, dated DATE
      git -C "$repo" add -A
      GIT_AUTHOR_DATE="$1 +0000" GIT_COMMITTER_DATE="$1 +0000" \
        git -C "$repo" -c user.name=t -c user.email=t@t commit -q -m "$2"
    }
    version_of() { bash "$repo/scripts/version" "$@"; }
    printf '# Changelog\n\n## Unreleased\n- b\n\n## 6.02 (6.2.0) — 2026-01-01\n- a\n' >"$repo/CHANGELOG.md"
    commit "2026-11-01T10:00:00" "work after 6.2.0"
    sed -i "s/^## Unreleased$/## 7.00 (7.0.0) — 2026-12-01/" "$repo/CHANGELOG.md"
    commit "2026-12-01T10:00:00" "release"
    expect_eq "versions at the release" "7.0.0 7.0.0-1 7.0.0.0" \
      "$(version_of --upstream) $(version_of --debian) $(version_of --windows)"
    previous=$(version_of --debian)
    # Later commits, one of them dated before the one it follows, and one
    # that corrects the release's date.
    n=0
    for date in 2026-12-03T09:00:00 2026-12-02T23:00:00 2026-12-04T00:00:00; do
      n=$((n + 1))
      echo "$n" >"$repo/work"
      [ $n -eq 3 ] && sed -i "s/— 2026-12-01/— 2026-12-02/" "$repo/CHANGELOG.md"
      commit "$date" "change $n"
      hash=$(git -C "$repo" log -1 --format=%h --abbrev=7)
      expect_eq "version $n commits after the release" \
        "7.0.0+git$n.$(tr -d - <<<"${date%T*}").$hash-1 7.0.0.$n" \
        "$(version_of --debian) $(version_of --windows)"
      dpkg --compare-versions "$previous" lt "$(version_of --debian)" ||
        fail "$(version_of --debian) does not follow $previous"
      previous=$(version_of --debian)
    done
    # An unpacked tarball: its own .tarball-version, else the release; the
    # history of a repository it lies in is not its own.
    mkdir "$repo/unpacked"
    git -C "$repo" archive HEAD | tar -x -m -C "$repo/unpacked"
    expect_eq "an unpacked tarball's version" "7.0.0 7.0.0.0" \
      "$(bash "$repo/unpacked/scripts/version") $(bash "$repo/unpacked/scripts/version" --windows)"
    echo "7.0.0+git3.20261209.$hash" >"$repo/unpacked/.tarball-version"
    expect_eq "a tarball's own version" "7.0.0+git3.20261209.$hash-1 7.0.0.3" \
      "$(bash "$repo/unpacked/scripts/version" --debian) $(bash "$repo/unpacked/scripts/version" --windows)"
    # A shallow clone cannot count: it says so rather than guess.
    git clone -q --depth 1 "file://$repo" "$work/shallow"
    bash "$work/shallow/scripts/version" >/dev/null 2>&1 &&
      fail "a shallow clone printed a version"
    ;;

  *)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed ($mode)"
