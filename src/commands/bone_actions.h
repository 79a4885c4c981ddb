// The activate and deactivate commands; applyToBones and applyToBone, the
// per-bone lines of those two and of the weight-map assignment, are
// operations of CommandContext.
#pragma once

#include "commands/command_context.h"

int runBoneCommand(LayoutGeneric *generic, GlobalLookup globalLookup, CommandKind kind);
