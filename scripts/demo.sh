#!/usr/bin/env bash
# Does all set-up, builds, and runs the main job: the module's commands on the bundled sample rig.
set -euo pipefail
cd "$(dirname "$0")/.."
MARROWLINK_WINDOWS=0 scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target marrowlink-demo >/dev/null
exec build/native/tools/marrowlink-demo "$@"
