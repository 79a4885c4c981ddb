// Helpers shared by the test programs.
#pragma once

#include <string>
#include <vector>

#include "commands/command_context.h"
#include "commands/memory.h"
#include "sim/sim_host.h"

using Lines = std::vector<std::string>;

// Runs a bone-command entry point against the host.
template <typename Run>
int runOn(SimHost &host, Run run) {
    host.activate();
    return run(host.genericRecord(), host.lookup());
}
