# Sourced by scripts that start the real window: a throwaway work folder
# ($work, removed on exit), a throwaway settings store, and a stand-in for
# the browser launcher, so that the one start in a hundred that opens the
# vendor page opens nothing.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/path"
printf '#!/bin/sh\nexit 0\n' >"$work/path/xdg-open"
chmod +x "$work/path/xdg-open"
export PATH="$work/path:$PATH"
