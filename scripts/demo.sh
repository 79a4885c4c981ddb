#!/usr/bin/env bash
# Does all set-up, builds, and runs the main job: marrowlink-sim loads the built
# module and runs its commands on the bundled sample rig, printing what each did.
# With arguments, runs marrowlink-sim with them instead (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
MARROWLINK_WINDOWS=0 scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target marrowlink-sim >/dev/null
tool=build/native/tools/marrowlink-sim
if [ $# -gt 0 ]; then
  exec "$tool" "$@"
fi
echo "\$ marrowlink-sim weightmap --select Body --adjust --only"
"$tool" weightmap --select Body --adjust --only
echo
echo "\$ marrowlink-sim rest --select Sword --yes"
"$tool" rest --select Sword --yes
