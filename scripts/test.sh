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
cmake --workflow --preset fuzz  # corpora as regression tests, then each fuzzer for a minute
