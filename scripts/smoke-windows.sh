#!/usr/bin/env bash
# Proves the Windows zip or installer: unpacks the zip, or installs the .msi,
# into a clean Wine prefix, where neither Qt nor the MinGW runtime
# is on any path, and runs both programs from there.
#  - delvora-convert.exe converts the samples;
#  - the real window, with the Windows platform plugin on a private Xvfb
#    display, is driven from outside as a user would (xdotool clicks and
#    keys; delvora.exe has no switch for tests): it appears as "Delvora",
#    loads the samples, is told where to save, converts.
# Both results must equal, byte for byte, what the Linux delvora-convert
# writes for the same files, and the Qt the notices name must be the Qt
# shipped (Qt6Core.dll's version resource).
# The installer is first opened as by a double-click and clicked through
# its pages. Each installed state must then show one "Apps & features"
# entry (version, publisher, install location, links), one registered
# product, the Start-menu shortcut, the folder once on the system PATH and
# delvora-convert found by its name alone. A rebuild of the same
# version and then the next version, each with one file taken out and one
# added, replace what is installed, leaving none of its files behind; the
# first package then refuses to go over the newer. The uninstall must take
# every program file, the shortcut, the entry and the PATH entry away and
# leave the user's settings.
#   scripts/smoke-windows.sh build/windows/Delvora-<version>-windows-x64.zip
#   scripts/smoke-windows.sh build/windows/Delvora-<version>-windows-x64.msi
set -euo pipefail
cd "$(dirname "$0")/.."
package=$(realpath "$1")
kind=${package##*.}
name=$(basename "$package" ".$kind")
source scripts/windows-env.sh
unset WINEPATH QT_QPA_PLATFORM QT_PLUGIN_PATH
# Shortcuts stay in the prefix: no menu entries in this machine's home.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

work="$PWD/build/windows/smoke-$kind"
rm -rf "$work"
mkdir -p "$work/path"
# The one start in a hundred that opens the vendor's page opens nothing.
printf '#!/bin/sh\nexit 0\n' >"$work/path/xdg-open"
chmod +x "$work/path/xdg-open"
export PATH="$work/path:$PATH"
cleanup() {
  wine_servers_stop
  x_display_stop
}
trap cleanup EXIT

fail() {
  echo "smoke-windows: $*" >&2
  if [ -n "${DISPLAY:-}" ]; then
    import -window root "$work/failure.png" 2>/dev/null &&
      echo "smoke-windows: the screen is in $work/failure.png" >&2
  fi
  exit 1
}

# What Linux writes for the samples, the reference for both runs.
cmake --preset release >/dev/null
cmake --build --preset release --target delvora-convert >/dev/null
mkdir -p "$work/expected"
build/release/bin/delvora-convert -q --out "$work/expected" resources/Samples/*
[ -n "$(ls "$work/expected")" ] || fail "the Linux converter wrote nothing"

echo "a clean Wine prefix (about half a minute)"
wine_prefix "$work/wine"
x_display_start
wine_server_start
# The Start-menu shortcut: Windows puts a per-machine install's into the
# common Start menu, Wine's installer into the installing user's.
shortcuts() {
  find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu" \
    "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu \
    -iname 'Delvora*.lnk' 2>/dev/null || true
}
# "Apps & features" shows the uninstall entry with the icon the installer
# registered for the product.
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
products_key='HKLM\Software\Classes\Installer\Products'
# The registry key under KEY whose DisplayName or ProductName is Delvora:
# its values, one "name type value" a line; nothing if there is none.
delvora_key() {
  { wine reg query "$1" /s 2>/dev/null || true; } | tr -d '\r' |
    awk '/^HKEY/ { if (found) exit; block = "" ; next }
         { sub(/^ +/, ""); block = block $0 "\n" }
         /^(DisplayName|ProductName) +REG_SZ +Delvora$/ { found = 1 }
         END { if (found) printf "%s", block }'
}
# How many "Apps & features" entries and registered products are Delvora.
entries() {
  { wine reg query "$uninstall_key" /s 2>/dev/null || true; } | tr -d '\r' |
    grep -Ec '^ +DisplayName +REG_SZ +Delvora$' || true
}
products() {
  { wine reg query "$products_key" /s 2>/dev/null || true; } | tr -d '\r' |
    grep -Ec '^ +ProductName +REG_SZ +Delvora$' || true
}
machine_path() {
  wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH \
    2>/dev/null | tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]* *//p'
}
# The converter started by its name alone, elsewhere than in its folder, in
# a new process that reads the machine's PATH: found there or not at all.
# Not through cmd: Wine's installer leaves an empty element where an
# upgrade took the older entry out, and Wine's cmd (unlike Windows's) stops
# searching there.
convert_from_path() {
  (cd "$work" && wine delvora-convert --version </dev/null 2>/dev/null | tr -d '\r')
}
# One entry, one product, the folder on the PATH once, the converter found
# there, the shortcut: what every installed state must show.
check_installed() { # VERSION CONTEXT
  [ -f "$installed/delvora.exe" ] || fail "$2: no delvora.exe in $installed"
  [ -n "$(shortcuts)" ] || fail "$2: no Start-menu shortcut"
  [ "$(entries)" = 1 ] || fail "$2: $(entries) \"Apps & features\" entries"
  [ "$(products)" = 1 ] || fail "$2: $(products) registered products"
  local entry value
  entry=$(delvora_key "$uninstall_key")
  for value in 'Publisher +REG_SZ +Quorvane' "DisplayVersion +REG_SZ +${1//./\\.}" \
    'InstallLocation +REG_SZ +C:\\Program Files\\Delvora\\' \
    'URLInfoAbout +REG_SZ +https://.+' 'HelpLink +REG_SZ +mailto:.+@.+'; do
    grep -Eq "^$value\$" <<<"$entry" || fail "$2: the \"Apps & features\" entry lacks /$value/: $entry"
  done
  local path
  path=$(machine_path)
  [ "$(tr ';' '\n' <<<"$path" | grep -Fxic 'C:\Program Files\Delvora\')" = 1 ] ||
    fail "$2: the install folder is not on the system PATH once: $path"
  [[ $(convert_from_path) == "delvora-convert "* ]] ||
    fail "$2: delvora-convert is not found by its name"
}

if [ "$kind" = msi ]; then
  installed="$WINEPREFIX/drive_c/Program Files/Delvora"
  app='C:\Program Files\Delvora'
  windows_version=$(scripts/version --windows)
  # Opened as by a double-click: the welcome page, Install, the progress,
  # the last page, Finish.
  (wine msiexec /i "$(wine_path "$package")" </dev/null >"$work/msiexec.log" 2>&1) &
  setup=$!
  welcome=$(x_wait_window msiexec.exe '^Delvora Setup$' 120) || fail "no installer window"
  import -window root "$work/installer-welcome.png" 2>/dev/null || true
  xdotool windowfocus --sync "$welcome" key Return
  finished=$(x_wait_window msiexec.exe '^Delvora Setup (complete|cancelled|failed)$' 300) ||
    fail "the installer showed no last page"
  import -window root "$work/installer-finished.png" 2>/dev/null || true
  [ "$(xdotool getwindowname "$finished")" = "Delvora Setup complete" ] ||
    fail "the installer ended with \"$(xdotool getwindowname "$finished")\""
  xdotool windowfocus --sync "$finished" key Return
  wait "$setup" || fail "the installer's interface ended with status $?"
  check_installed "$windows_version" "installed by double-click"
  icon=$(delvora_key "$products_key" | sed -n 's/^ProductIcon \+REG_SZ \+//p')
  [[ $icon == *delvora.ico ]] || fail "the product has no icon (\"$icon\")"
  echo "installed through its pages: the program, its shortcut, its one \"Apps & features\" entry, the converter on the PATH"
else
  installed="$WINEPREFIX/drive_c/Program Files/$name"
  unzip -q "$package" -d "$WINEPREFIX/drive_c/Program Files"
  app="C:\\Program Files\\$name"
fi

# The notices name the Qt actually shipped.
shipped_qt=$(scripts/pe-file-version "$installed/Qt6Core.dll" | cut -f2)
noticed_qt=$(head -n 1 "$installed/licenses/Qt.txt" | sed -n 's/^Qt \([0-9.]*\) .*/\1/p')
[ -n "$shipped_qt" ] && [ "${shipped_qt%.0}" = "$noticed_qt" ] ||
  fail "Qt6Core.dll is Qt $shipped_qt, the notices name Qt $noticed_qt"
echo "the Qt notices name the Qt shipped ($noticed_qt)"

# The converter, from the unpacked folder, over its own Samples folder.
mkdir -p "$WINEPREFIX/drive_c/cli results"
(cd "$work" && wine "$app\\delvora-convert.exe" -q --out 'C:\cli results' "$app\\Samples") ||
  fail "delvora-convert.exe failed"
diff -r "$work/expected" "$WINEPREFIX/drive_c/cli results" ||
  fail "delvora-convert.exe wrote other results than Linux"
echo "delvora-convert.exe: the same results as on Linux"

# The window, started as Explorer would: in its own folder.
out_folder='C:\Delvora results\'
mkdir -p "$WINEPREFIX/drive_c/Delvora results"
(cd "$installed" && exec wine "$app\\delvora.exe" >"$work/delvora.log" 2>&1) &
pid=$!
main=$(x_wait_window delvora.exe '^Delvora$' 120) || fail "no window captioned Delvora"
echo "delvora.exe: the window is up"

# Points of the client area (the X window, no frame), in pixels at 96 dpi.
click() {
  xdotool mousemove --window "$main" "$1" "$2" click 1
}
# A message box of the program: wait for it, answer by keystroke.
answer() {
  local box
  box=$(x_wait_window delvora.exe '.' 60 "$main") || fail "no message box after $2"
  [ "$(xdotool getwindowname "$box")" = "Delvora" ] ||
    fail "\"$(xdotool getwindowname "$box")\" instead of the box after $2"
  xdotool windowfocus --sync "$box" key "$1"
  local deadline=$((SECONDS + 30))
  while xdotool getwindowname "$box" >/dev/null 2>&1 &&
    xdotool search --onlyvisible --classname '^delvora.exe$' | grep -qx "$box"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the box after $2 stayed"
    sleep 0.2
  done
}
setting() {
  wine reg query 'HKCU\Software\Quorvane\Delvora' /v "$1" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_SZ *//p"
}

xdotool windowfocus --sync "$main"
# The folder box ("Save results to this folder:"): select all, type over.
click 245 398
xdotool key ctrl+a
xdotool type --delay 30 "$out_folder"
deadline=$((SECONDS + 30))
until [ "$(setting Text1)" = "$out_folder" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the typed folder was not stored (have \"$(setting Text1)\")"
  sleep 0.5
done
# "Load Sample/Example Files", then No to opening the samples folder.
click 400 264
answer n "Load Sample/Example Files"
# "Start Converting"; "Done." is answered with Enter.
click 268 475
answer Return "Start Converting"
diff -r "$work/expected" "$WINEPREFIX/drive_c/Delvora results" ||
  fail "the window wrote other results than Linux"
echo "delvora.exe: loaded the samples and wrote the same results as on Linux"

# Closing the window ends the program.
xdotool windowfocus --sync "$main" key alt+F4
for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "delvora.exe did not end when its window closed"
wait "$pid" || fail "delvora.exe ended with status $?"
echo "delvora.exe: closed"

if [ "$kind" = msi ]; then
  # Other builds of the same folder, each with a changed payload: one file
  # gone, one new. A rebuild of the same version replaces the installed
  # one; so does the next version; the first then refuses to replace that.
  DELVORA_DIST_FUNCTIONS=1 source scripts/dist-windows.sh
  stage=build/windows/dist/$name
  [ -d "$stage" ] || fail "no $stage: run scripts/dist-windows.sh first"
  samples=("$stage"/Samples/*)
  rebuild() { # VERSION GONE NEW: the package's path
    local folder="$work/$1/$name"
    rm -rf "$work/$1" && mkdir -p "$work/$1" && cp -r "$stage" "$folder"
    rm "$folder/$2"
    echo "$1" >"$folder/$3"
    build_msi "$folder" "$1" "$work/$1.msi" >&2 || fail "cannot build the installer of $1"
    echo "$work/$1.msi"
  }
  same=$(rebuild "$windows_version" "Samples/$(basename "${samples[0]}")" rebuilt.txt)
  wine msiexec /i "$(wine_path "$same")" /qn </dev/null || fail "msiexec /i of the rebuild failed (status $?)"
  check_installed "$windows_version" "the same version rebuilt"
  [ -f "$installed/rebuilt.txt" ] && [ ! -e "$installed/Samples/$(basename "${samples[0]}")" ] ||
    fail "the rebuild's files are not what it holds"
  echo "a rebuild of $windows_version replaced it: one entry, its own files"

  IFS=. read -r major minor patch _ <<<"$windows_version"
  newer_version="$major.$minor.$((patch + 1)).0"
  newer=$(rebuild "$newer_version" "Samples/$(basename "${samples[1]}")" newer.txt)
  wine msiexec /i "$(wine_path "$newer")" /qn </dev/null || fail "msiexec /i of $newer_version failed"
  check_installed "$newer_version" "$newer_version over $windows_version"
  [ -f "$installed/newer.txt" ] || fail "$newer_version did not install its own file"
  for gone in rebuilt.txt "Samples/$(basename "${samples[1]}")"; do
    [ ! -e "$installed/$gone" ] || fail "$gone survived the upgrade to $newer_version"
  done
  if wine msiexec /i "$(wine_path "$package")" /qn </dev/null; then
    fail "$windows_version installed over the newer $newer_version"
  fi
  check_installed "$newer_version" "after the refused downgrade"
  echo "upgrade: $newer_version replaced $windows_version with nothing stale left, and $windows_version did not replace it"

  wine msiexec /x "$(wine_path "$newer")" /qn </dev/null || fail "msiexec /x failed (status $?)"
  left=$(find "$installed" 2>/dev/null | head -n 5 || true)
  [ -z "$left" ] || fail "the uninstall left program files: $left"
  [ -z "$(shortcuts)" ] || fail "the uninstall left the Start-menu shortcut $(shortcuts)"
  [ "$(entries)" = 0 ] || fail "the uninstall left the \"Apps & features\" entry"
  [ "$(products)" = 0 ] || fail "the uninstall left the product registered"
  ! machine_path | grep -Fqi 'Program Files\Delvora' || fail "the uninstall left the PATH entry: $(machine_path)"
  [[ $(convert_from_path) != "delvora-convert "* ]] || fail "delvora-convert is still found after the uninstall"
  [ "$(setting Text1)" = "$out_folder" ] || fail "the uninstall took the user's settings"
  echo "uninstalled: no program file, shortcut, entry or PATH entry left; the user's settings stay"
fi
