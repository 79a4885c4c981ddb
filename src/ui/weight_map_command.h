// The weight-map command: the options form, then the weight-map names.
#pragma once

#include "commands/command_context.h"

int runWeightMapCommand(LayoutGeneric *generic, GlobalLookup globalLookup);
