#!/usr/bin/env bash
# Proves the Windows zip or installer: unpacks the zip, or installs the .msi
# silently, into a clean Wine prefix, where neither Qt nor the MinGW runtime
# is on any path, and runs both programs from there.
#  - delvora-convert.exe converts the samples;
#  - the real window, with the Windows platform plugin on a private Xvfb
#    display, is driven from outside as a user would (xdotool clicks and
#    keys; delvora.exe has no switch for tests): it appears as "Delvora",
#    loads the samples, is told where to save, converts.
# Both results must equal, byte for byte, what the Linux delvora-convert
# writes for the same files. The installer must also make the Start-menu
# shortcut and the "Apps & features" entry, and its uninstall must take
# every program file, the shortcut and the entry away and leave the user's
# settings.
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
if [ "$kind" = msi ]; then
  installed="$WINEPREFIX/drive_c/Program Files/Delvora"
  app='C:\Program Files\Delvora'
  wine msiexec /i "$(wine_path "$package")" /qn </dev/null || fail "msiexec /i failed (status $?)"
  [ -f "$installed/delvora.exe" ] || fail "the installer put no delvora.exe into $installed"
  [ -n "$(shortcuts)" ] || fail "the installer made no Start-menu shortcut"
  entry=$(delvora_key "$uninstall_key")
  [ -n "$entry" ] || fail "no \"Apps & features\" entry for Delvora"
  version=${name#Delvora-}
  version=${version%-windows-x64}
  for value in 'Publisher +REG_SZ +Quorvane' "DisplayVersion +REG_SZ +${version//./\\.}"; do
    grep -Eq "^$value\$" <<<"$entry" ||
      fail "the \"Apps & features\" entry lacks /$value/: $entry"
  done
  icon=$(delvora_key "$products_key" | sed -n 's/^ProductIcon \+REG_SZ \+//p')
  [[ $icon == *delvora.ico ]] || fail "the product has no icon (\"$icon\")"
  echo "installed: the program, its Start-menu shortcut and its \"Apps & features\" entry"
else
  installed="$WINEPREFIX/drive_c/Program Files/$name"
  unzip -q "$package" -d "$WINEPREFIX/drive_c/Program Files"
  app="C:\\Program Files\\$name"
fi

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
  # A newer version replaces this one; this one then refuses to replace it.
  # The newer is the same folder under the next patch number, built as
  # scripts/dist-windows.sh builds the installer.
  products() {
    { wine reg query "$products_key" /s 2>/dev/null || true; } | tr -d '\r' |
      grep -Ec '^ +ProductName +REG_SZ +Delvora$' || true
  }
  IFS=. read -r major minor patch <<<"$version"
  newer_version="$major.$minor.$((patch + 1))"
  newer="$work/Delvora-$newer_version.msi"
  dist=build/windows/dist
  [ -f "$dist/files.wxs" ] || fail "no $dist/files.wxs: run scripts/dist-windows.sh first"
  (cd "$dist" && wixl --arch x64 -D Version="$newer_version" -D DisplayVersion="$newer_version" \
    -D SourceDir="$name" -D Win64=yes -o "$newer" "$OLDPWD/share/windows/delvora.wxs" files.wxs) ||
    fail "wixl could not build the newer installer"
  wine msiexec /i "$(wine_path "$newer")" /qn </dev/null || fail "msiexec /i of $newer_version failed"
  [ "$(products)" = 1 ] || fail "$newer_version did not replace $version: $(products) products"
  delvora_key "$uninstall_key" | grep -Eq "^DisplayVersion +REG_SZ +${newer_version//./\\.}\$" ||
    fail "\"Apps & features\" does not show $newer_version"
  [ -f "$installed/delvora.exe" ] || fail "the upgrade lost delvora.exe"
  if wine msiexec /i "$(wine_path "$package")" /qn </dev/null; then
    fail "$version installed over the newer $newer_version"
  fi
  [ "$(products)" = 1 ] && [ -f "$installed/delvora.exe" ] || fail "the refused downgrade changed the install"
  echo "upgrade: $newer_version replaced $version, and $version did not replace it"

  wine msiexec /x "$(wine_path "$newer")" /qn </dev/null || fail "msiexec /x failed (status $?)"
  left=$(find "$installed" 2>/dev/null | head -n 5 || true)
  [ -z "$left" ] || fail "the uninstall left program files: $left"
  [ -z "$(shortcuts)" ] || fail "the uninstall left the Start-menu shortcut $(shortcuts)"
  [ -z "$(delvora_key "$uninstall_key")" ] || fail "the uninstall left the \"Apps & features\" entry"
  [ "$(setting Text1)" = "$out_folder" ] || fail "the uninstall took the user's settings"
  [ "$(products)" = 0 ] || fail "the uninstall left the product registered"
  echo "uninstalled: no program file, shortcut or entry left; the user's settings stay"
fi
