// marrowlink-sim: runs one command of the built module on a scene in the
// simulator and reports what it did. The whole tool is runSimTool; main only
// hands it the arguments and the two streams.
#pragma once

#include <cstdio>

// Exit statuses, also listed by --help.
enum : int {
    exitDone = 0,        // the command ran (whatever its result code); a write, if asked, is done
    exitUsage = 2,       // bad options, unknown command, selection not in the scene, not available here
    exitScene = 3,       // the scene file cannot be read
    exitModule = 4,      // the module cannot be loaded or has no such server
    exitWrite = 5,       // the changed scene cannot be written; nothing was written
};

int runSimTool(int argc, char **argv, std::FILE *out, std::FILE *err);
