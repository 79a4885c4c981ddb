// Placeholder until the options form lands: assigns the names with the options as they stand.
#include "ui/weight_map_command.h"

int runWeightMapCommand(LayoutGeneric *generic, GlobalLookup globalLookup) {
    CommandContext context(globalLookup, generic);
    if (context.requireServices(commandWeightMap) && context.validateSelection(commandWeightMap)) {
        context.snapshotSelection();
        context.applyToBones(commandWeightMap);
    }
    return 0;
}
