// marrowlink-sim: the command-line entry point.
#include "sim_tool.h"

int main(int argc, char **argv) { return runSimTool(argc, argv, stdout, stderr); }
