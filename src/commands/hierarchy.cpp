// Placeholder until the scene tree lands: the command stops without a line.
#include "commands/hierarchy.h"

int runHierarchyCommand(LayoutGeneric *generic, GlobalLookup globalLookup, CommandKind kind) {
    (void)generic;
    (void)globalLookup;
    (void)kind;
    return 0;
}
