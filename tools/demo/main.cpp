// marrowlink-demo: runs "Activate Bones" on the bundled sample rig in the
// simulator and prints the lines sent and the bones before and after.
#include <cstdio>
#include <string>
#include <vector>

#include "commands/bone_actions.h"
#include "sim/sample_rig.h"

namespace {
void printBones(const SimHost &host, const char *heading) {
    std::printf("%s\n", heading);
    for (ItemId bone : host.allBones()) {
        const SimItem &item = host.item(bone);
        std::printf("  %-12s of %-8s %s\n", item.name.c_str(), host.items[static_cast<std::size_t>(item.object)].name.c_str(),
                    (item.flags & boneFlagActive) != 0 ? "active" : "inactive");
    }
}
}  // namespace

int main() {
    SimHost host;
    buildSampleRig(host);
    printBones(host, "Bones before (Body selected):");
    int result = runBoneCommand(host.genericRecord(), host.lookup(), commandActivate);
    std::printf("Lines sent:\n");
    int number = 0;
    for (const std::string &line : host.namedLines())
        std::printf("  %2d  %s\n", ++number, line.c_str());
    std::printf("Result: %d\n", result);
    printBones(host, "Bones after:");
    return 0;
}
