// The record-pivots and rest commands: a tree of the whole scene hierarchy,
// walked in the host's order, for the bones in scope.
#pragma once

#include "commands/command_context.h"

int runHierarchyCommand(LayoutGeneric *generic, GlobalLookup globalLookup, CommandKind kind);
