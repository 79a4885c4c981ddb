#!/usr/bin/env bash
# Does all set-up, builds and runs every test suite: native, sanitizers and,
# where the cross toolchain is installed, the 32-bit Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in native sanitize; do
  echo "== $preset"
  cmake --workflow --preset "$preset"
done

if command -v i686-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  echo "== windows"
  cmake --preset windows
  cmake --build --preset windows
  # Wine needs a machine that runs 32-bit x86 programs. Where it cannot start
  # one, only the checks of the DLL's tables run (MARROWLINK_REQUIRE_WINE=1
  # makes that an error), and the 32-bit code is tested as a 32-bit Linux
  # build under qemu-i386 instead.
  if timeout "${MARROWLINK_WINE_PROBE_TIMEOUT:-600}" scripts/wine-run.sh build/windows/tests/loader_test.exe \
       --gtest_list_tests >/dev/null 2>&1; then
    ctest --preset windows
  else
    scripts/wine-run.sh --kill
    echo "windows: Wine cannot run a 32-bit program on this machine; running only the table checks"
    [ "${MARROWLINK_REQUIRE_WINE:-0}" != 1 ] || exit 1
    ctest --preset windows --label-exclude emulated
    echo "== linux32"
    cmake --workflow --preset linux32
  fi
else
  echo "== windows: skipped (no i686-w64-mingw32 toolchain or Wine; scripts/setup.sh installs them)"
fi
