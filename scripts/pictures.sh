#!/usr/bin/env bash
# Builds the simulator and writes the PNG pictures of the options form and the
# About panel into docs/, as the README shows them.
set -euo pipefail
cd "$(dirname "$0")/.."
MARROWLINK_WINDOWS=0 scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target marrowlink-pictures >/dev/null
mkdir -p docs
exec build/native/tools/marrowlink-pictures docs
