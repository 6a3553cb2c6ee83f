# Sourced by the scripts that build Delvora for Windows and run it under
# Wine. Defines:
#   windows_deps [core]  Qt and GoogleTest for MinGW (built once per machine
#                        into the cache) and the MinGW runtime, linked under
#                        build/windows-deps/ where CMakePresets.json expects them
#   windows_configure [PRESET]  configures build/windows (or the preset's)
#   wine_prefix DIR      makes DIR a ready Wine prefix (once), exports WINEPREFIX
#   wine_server_start    starts this prefix's Wine server, ended on exit
#   wine_path UNIXPATH   prints the Windows form (Z:\...) of a path
# The caller runs from the top of the work tree.

deps_dir="$PWD/build/windows-deps"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installers: nothing here needs .NET or HTML.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER WINELOADER

# Each of the two long builds runs once per machine; a lock keeps two work
# trees from building the same cache at the same time, and a Qt build
# started by hand is waited for. `windows_deps core` leaves Qt out.
windows_deps() {
  local cache="${DELVORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/delvora}"
  mkdir -p "$cache" "$deps_dir"
  if [ "${1:-}" != core ]; then
    while pgrep -f 'scripts/build-qt-mingw' >/dev/null; do sleep 10; done
    local qt
    qt=$(flock "$cache/qt6-mingw.lock" bash scripts/build-qt-mingw | tail -n 1)
    # A different Qt (its inputs changed) invalidates the configured build.
    if [ "$(readlink "$deps_dir/qt" 2>/dev/null)" != "$qt" ]; then
      rm -f build/windows/CMakeCache.txt
    fi
    ln -sfn "$qt" "$deps_dir/qt"
  fi
  local gtest
  gtest=$(flock "$cache/gtest-mingw.lock" bash scripts/build-gtest-mingw | tail -n 1)
  ln -sfn "$gtest" "$deps_dir/gtest"
  # The compiler's own runtime, wherever this MinGW keeps it.
  mkdir -p "$deps_dir/runtime"
  local dll path
  for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    path=$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")
    [ -f "$path" ] || { echo "no $dll in this MinGW-w64" >&2; return 1; }
    ln -sfn "$path" "$deps_dir/runtime/$dll"
  done
}

windows_configure() {
  local preset=${1:-windows}
  cmake --preset "$preset" >"build/$preset-configure.log" 2>&1 ||
    { cat "build/$preset-configure.log" >&2; return 1; }
}

wine_path() {
  local path
  path=$(realpath -m "$1")
  echo "Z:${path//\//\\}"
}

# A prefix is set up once: booted, Arial mapped to Liberation Sans (Wine has
# no Arial, which the window asks for), and the user folders made real
# folders, so that nothing run in it writes into this machine's home.
wine_prefix() {
  export WINEPREFIX="$1"
  if [ -f "$WINEPREFIX/.delvora-ready" ]; then return 0; fi
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  DISPLAY= wineboot -i >"$WINEPREFIX.boot.log" 2>&1 ||
    { cat "$WINEPREFIX.boot.log" >&2; return 1; }
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ \
    /d 'Liberation Sans' /f >>"$WINEPREFIX.boot.log" 2>&1
  wineserver -w
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
  done
  rm -f "$WINEPREFIX.boot.log"
  touch "$WINEPREFIX/.delvora-ready"
}

# The first Wine program of a session starts the server and Wine's own
# background programs, which inherit its output: were that a test's, ctest
# would wait for them to end. So they start here, detached, and stay until
# wine_servers_stop (the callers' exit trap).
wine_server_start() {
  # A server still ending after an earlier command would refuse a second.
  timeout 60 wineserver -w || true
  wineserver -p </dev/null >/dev/null 2>&1 ||
    { echo "the Wine prefix $WINEPREFIX is in use by another run" >&2; return 1; }
  wine_server_prefixes+=("$WINEPREFIX")
  wine cmd /c exit </dev/null >/dev/null 2>&1
}
wine_server_prefixes=()
wine_servers_stop() {
  local p
  for p in "${wine_server_prefixes[@]}"; do WINEPREFIX="$p" wineserver -k 2>/dev/null || true; done
  wine_server_prefixes=()
}

# A private X display for the real window: Xvfb picks a free number, no
# window manager (Wine draws no frame then: the window's X window is its
# client area). Ended by x_display_stop.
x_display_start() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  x_display_pid=$!
  local number
  read -r -t 60 number <"$fifo" || { rm -f "$fifo"; echo "Xvfb did not start" >&2; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number"
}
x_display_pid=""
x_display_stop() {
  if [ -n "$x_display_pid" ]; then
    kill "$x_display_pid" 2>/dev/null || true
    wait "$x_display_pid" 2>/dev/null || true
    x_display_pid=""
  fi
}

# Polls until a visible top-level window of a Windows program whose X class
# is CLASS (e.g. delvora.exe) and name matches NAME exists, other than those
# listed after the timeout; prints its id. Fails after SECONDS.
#   x_wait_window CLASS NAME SECONDS [EXCEPT_ID...]
x_wait_window() {
  local class=$1 name=$2 seconds=$3
  shift 3
  local deadline=$((SECONDS + seconds)) id skip
  while [ "$SECONDS" -lt "$deadline" ]; do
    for id in $(xdotool search --onlyvisible --classname "^$class\$" 2>/dev/null); do
      skip=0
      for except in "$@"; do [ "$id" = "$except" ] && skip=1; done
      [ "$skip" -eq 1 ] && continue
      if [[ $(xdotool getwindowname "$id" 2>/dev/null) =~ $name ]]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.2
  done
  return 1
}
