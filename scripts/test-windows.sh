#!/usr/bin/env bash
# `make test-windows`: builds Delvora and every test for 64-bit Windows with
# MinGW-w64, runs the tests under Wine in a private prefix (build/wine), then
# builds the Windows zip and installer and proves each in a clean prefix
# with the real window (scripts/smoke-windows.sh): the installer is also
# uninstalled there and must leave nothing of the program behind.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-env.sh
trap 'wine_servers_stop; x_display_stop' EXIT
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
console_tests='AnInterruptRestoresTheConsole'

# Each step's time is printed at the end.
times=()
step_title="" step_start=$SECONDS
phase() {
  if [ -n "$step_title" ]; then
    times+=("$(printf '  %-44s %4ds' "$step_title" $((SECONDS - step_start)))")
  fi
  step_title=$1 step_start=$SECONDS
  [ -n "$1" ] && printf '\n== %s\n' "$1"
  return 0
}

phase "Qt and GoogleTest for MinGW-w64 (built once per machine)"
windows_deps

# A step that fails does not hide what the later ones would find: whatever
# built is tested, and the run fails at the end.
failed=()
phase "Build for Windows"
windows_configure
cmake --build --preset windows -j "$jobs" -- -k 0 || failed+=("build")

phase "Tests under Wine"
wine_prefix "$PWD/build/wine"
wine_server_start
ctest --preset windows -j "$jobs" -E "$console_tests" || failed+=("tests under Wine")
wine_servers_stop
# Wine gives a program a console of its own only with a display: the
# interrupt test makes one, as cmd would. The rest runs without.
x_display_start
wine_server_start
DELVORA_REQUIRE_CONSOLE=1 ctest --preset windows -R "$console_tests" ||
  failed+=("the interrupt test under Wine")
wine_servers_stop
x_display_stop

phase "The Windows zip in a clean prefix"
if packages=$(bash scripts/dist-windows.sh | tail -n 2) && [ "$(wc -l <<<"$packages")" -eq 2 ]; then
  zip=$(sed -n 1p <<<"$packages") msi=$(sed -n 2p <<<"$packages")
  bash scripts/smoke-windows.sh "$zip" || failed+=("the zip in a clean prefix")
  phase "The installer: install, run, uninstall in a clean prefix"
  bash scripts/smoke-windows.sh "$msi" || failed+=("the installer in a clean prefix")
else
  failed+=("the zip and installer")
fi
phase ""
printf '\n== Windows steps\n'
printf '%s\n' "${times[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}" >&2
  exit 1
fi
