#!/usr/bin/env bash
# Tests of what a user installs: the desktop data, the window's command line,
# the tree `cmake --install` lays out and the Debian package made from it.
#
#   package_test.sh MODE --source DIR --build DIR --probe LIB --version 7.00
#                   --project-version 7.0.0 --libdir lib
#
# MODE: desktop-data | command-line | install-tree | package.
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
    --libdir) libdir=$2 ;;
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
  local app_dir=$prefix/$libdir/delvora
  local files=(
    bin/delvora-convert "$libdir/delvora/delvora" "$libdir/delvora/HAND-M.CUR"
    "$libdir/delvora/drag.ico" "$libdir/delvora/delvora.ico" "$libdir/delvora/x/o.cjs"
    share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml
    share/man/man1/delvora.1.gz share/man/man1/delvora-convert.1.gz
    share/bash-completion/completions/delvora-convert
    share/doc/delvora/copyright share/doc/delvora/changelog.gz
  )
  for size in "${icon_sizes[@]}"; do
    files+=("share/icons/hicolor/${size}x$size/apps/$app_id.png")
  done
  for file in "${files[@]}"; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
  done
  [ -L "$prefix/bin/delvora" ] || fail "bin/delvora is not a symbolic link"
  expect_eq "bin/delvora points at" "$(realpath "$app_dir/delvora")" \
    "$(realpath "$prefix/bin/delvora")"
  case $(readlink "$prefix/bin/delvora") in
    /*) fail "bin/delvora points at an absolute path: it breaks when the tree moves" ;;
  esac
  expect_eq "installed samples" \
    "$(cd "$source_dir/resources/Samples" && ls)" "$(cd "$app_dir/Samples" && ls)"

  expect_eq "installed delvora --version" "delvora $version" \
    "$(env -u DISPLAY "$prefix/bin/delvora" --version)"
  printf 'name,city\r\nAda,Paris\r\n' >"$work/people.csv"
  "$prefix/bin/delvora-convert" -q "$work/people.csv" ||
    fail "installed delvora-convert failed"
  expect_eq "installed delvora-convert's result" "$(printf 'name\tcity\r\nAda\tParis\r\n' | od -c)" \
    "$(od -c <"$work/people.tsv")"

  check_window_found_its_files "$prefix/bin/delvora" "$app_dir"
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

  install-tree)
    need cmake realpath
    cmake --install "$build_dir" --prefix "$work/usr" >"$work/install.log" ||
      { cat "$work/install.log" >&2; exit 1; }
    check_installed_tree "$work/usr"
    ;;

  package)
    need cpack dpkg-deb lintian realpath
    cpack --config "$build_dir/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" ||
      { cat "$work/cpack.log" >&2; exit 1; }
    deb=$(echo "$work"/cpack/delvora_*.deb)
    [ -f "$deb" ] || { fail "no package made"; exit 1; }
    expect_eq "package version" "$project_version" "$(dpkg-deb -f "$deb" Version)"
    depends=$(dpkg-deb -f "$deb" Depends)
    for package in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins; do
      grep -q "$package" <<<"$depends" || fail "the package does not depend on $package: $depends"
    done
    lintian --fail-on error --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 ||
      { fail "lintian reports errors:"; cat "$work/lintian.log" >&2; }
    dpkg -x "$deb" "$work/root"
    check_installed_tree "$work/root/usr"
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
