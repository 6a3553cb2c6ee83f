#!/usr/bin/env bash
# `make screenshot` (second half): writes docs/screenshot-windows.png, the
# real Windows window (delvora.exe from the zip's folder, Windows platform
# plugin) under Wine on a private Xvfb display, as it looks at a first start,
# and docs/screenshot-windows-plain.png, the same from a copy of that folder
# without the skin.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/dist-windows.sh >/dev/null
source scripts/windows-env.sh
unset WINEPATH QT_QPA_PLATFORM QT_PLUGIN_PATH
folder=$(ls -d build/windows/dist/Delvora-*-windows-x64 | head -n 1)

work=$(mktemp -d)
mkdir -p "$work/path"
# The one start in a hundred that opens the vendor's page opens nothing.
printf '#!/bin/sh\nexit 0\n' >"$work/path/xdg-open"
chmod +x "$work/path/xdg-open"
export PATH="$work/path:$PATH"
cleanup() {
  if [ -n "${pid:-}" ]; then kill "$pid" 2>/dev/null || true; fi
  wine_servers_stop
  x_display_stop
  rm -rf "$work"
}
trap cleanup EXIT

wine_prefix "$PWD/build/wine-screenshot"
x_display_start
wine_server_start

# shoot FOLDER OUTPUT: a first start (no settings yet) of FOLDER's window.
shoot() {
  wine reg delete 'HKCU\Software\Quorvane' /f >/dev/null 2>&1 || true
  (cd "$1" && exec wine delvora.exe >/dev/null 2>&1) &
  pid=$!
  id=$(x_wait_window delvora.exe '^Delvora$' 120) || { echo "the window did not appear" >&2; exit 1; }
  # Painted once two grabs in a row agree.
  local previous="" current
  for _ in $(seq 100); do
    import -window "$id" "$work/shot.png"
    current=$(convert "$work/shot.png" rgb:- | md5sum)
    [ "$current" = "$previous" ] && break
    previous=$current
    sleep 0.3
  done
  mkdir -p docs
  cp "$work/shot.png" "$2"
  xdotool windowfocus --sync "$id" key alt+F4
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  pid=""
  echo "wrote $2"
}

shoot "$folder" docs/screenshot-windows.png
cp -r "$folder" "$work/plain"
rm -rf "$work/plain/x"
shoot "$work/plain" docs/screenshot-windows-plain.png
