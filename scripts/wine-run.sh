#!/usr/bin/env bash
# Runs one program of the 32-bit Windows build under Wine: quietly, without
# the Mono and Gecko installers, in one prefix kept between runs, and against
# one wineserver that stays up for the whole test run so that each start is
# quick. CMake uses it as the cross build's emulator: wine-run.sh PROGRAM ARGS...
# `wine-run.sh --kill` ends that wineserver and every Wine process of the prefix.
#
#   MARROWLINK_WINEPREFIX       the prefix (default: ~/.cache/marrowlink/wine)
#   MARROWLINK_WINE_LINGER      seconds the wineserver stays up after its last client (default 120)
#   MARROWLINK_WINE_INIT_TIMEOUT  seconds allowed for making the prefix (default 480)
set -euo pipefail

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${MARROWLINK_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/marrowlink/wine}"
linger="${MARROWLINK_WINE_LINGER:-120}"

if [ "${1:-}" = --kill ]; then
  wineserver -k >/dev/null 2>&1 || true
  exit 0
fi

mkdir -p "$(dirname "$WINEPREFIX")"
{
  # One caller at a time makes the prefix and starts the server; ctest runs two.
  flock 9
  if [ ! -f "$WINEPREFIX/.marrowlink-ready" ]; then
    rm -rf "$WINEPREFIX"
    if ! timeout "${MARROWLINK_WINE_INIT_TIMEOUT:-480}" wineboot --init </dev/null >/dev/null 2>&1; then
      wineserver -k >/dev/null 2>&1 || true
      echo "wine-run: could not make the Wine prefix $WINEPREFIX" >&2
      exit 125
    fi
    touch "$WINEPREFIX/.marrowlink-ready"
  fi
  # A server already up answers 2 and keeps running. Once a new one is up,
  # the helper processes Wine starts with the first program (services, the
  # desktop) are started here, away from ctest's pipes, which they would
  # otherwise hold open for as long as they live.
  if wineserver -p"$linger" </dev/null >/dev/null 2>&1; then
    wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
  fi
} 9>"$WINEPREFIX.lock"

exec wine "$@"
