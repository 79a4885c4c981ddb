// The bundled sample rig: a small character the tools and the README run the
// commands on when no scene file is given.
#pragma once

#include "sim/sim_host.h"

// Builds into an empty host: a body with bone chains (a bone below a bone), a
// prop parented to a bone, a lantern object parented to a light, two lights and
// a camera. Some bones start inactive, some with weight maps or settings; both
// props have a bone named "Grip".
void buildSampleRig(SimHost &host);
