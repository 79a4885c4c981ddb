// marrowlink-pictures: runs the weight-map command on the sample rig in the
// simulator, with a user who presses About, and saves what a person would see
// as PNG pictures: the options form and the About panel.
//
//   marrowlink-pictures [DIRECTORY]     (default: docs)
#include <cstdio>
#include <string>

#include "sim/sample_rig.h"
#include "sim/sim_panels.h"
#include "ui/weight_map_command.h"

namespace {
bool save(const SimCanvas &picture, const std::string &path) {
    std::string why;
    if (!simSavePng(picture, path, why)) {
        std::fprintf(stderr, "marrowlink-pictures: %s\n", why.c_str());
        return false;
    }
    std::printf("wrote %s (%d x %d)\n", path.c_str(), picture.width, picture.height);
    return true;
}
}  // namespace

int main(int argc, char **argv) {
    std::string directory = argc > 1 ? argv[1] : "docs";
    SimHost host;
    buildSampleRig(host);
    SimPanels panels(host);
    if (!simFontIsReal())
        std::fprintf(stderr, "marrowlink-pictures: no font in this build; text shows as boxes\n");

    // A first use that answers the form, so that the second shows the answers preset.
    panels.formUsers.push_back({.result = 1, .aboutPresses = 0, .values = {{0x8001, 1}, {0x8002, 1}}, .noAddress = {}});
    runWeightMapCommand(host.genericRecord(), host.lookup());
    // The second use: About is pressed while the form is up, then the form is cancelled.
    panels.renderForms = true;
    panels.formUsers.push_back({.result = 0, .aboutPresses = 1, .values = {}, .noAddress = {}});
    runWeightMapCommand(host.genericRecord(), host.lookup());

    const SimForm *form = panels.lastForm();
    const SimPanel *about = panels.lastPanel();
    if (form == nullptr || about == nullptr) {
        std::fprintf(stderr, "marrowlink-pictures: the command showed no form or no About panel\n");
        return 1;
    }
    bool saved = save(form->picture, directory + "/options-form.png");
    saved = save(panels.framedPanel(*about), directory + "/about-panel.png") && saved;
    return saved ? 0 : 1;
}
