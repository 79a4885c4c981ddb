// The scene-file fuzzer: arbitrary bytes as a .lws file. The reader must never
// crash or hang, and what it rejects it rejects with a message that says what
// is wrong and where. What it accepts must survive the trip back: filled into
// the simulator and written back unchanged it is the same bytes; with every
// bone switched and given its own name as weight-map name it reads back with
// those values, or the writer says which bone it could not write.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/lws_scene.h"

namespace {

[[noreturn]] void finding(const std::string &what, const std::string &detail) {
    std::fprintf(stderr, "%s\n  %s\n", what.c_str(), detail.substr(0, 400).c_str());
    std::abort();
}

bool startsWith(const std::string &text, const std::string &prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// A message a person can act on: it names the line, or says why the file is
// not a scene this reader takes.
void checkRejection(const std::string &text, const std::string &error) {
    if (error.empty())
        finding("rejected without a message", "");
    if (startsWith(error, "not a LightWave scene") || startsWith(error, "unsupported scene version"))
        return;
    if (!startsWith(error, "line "))
        finding("a message that names no line", error);
    std::size_t lines = 1;
    for (char c : text)
        lines += c == '\n' || c == '\r' ? 1 : 0;
    char *end = nullptr;
    unsigned long line = std::strtoul(error.c_str() + 5, &end, 10);
    if (end == nullptr || *end != ':' || line == 0 || line > lines)
        finding("a message whose line is not in the file", error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    LwsScene scene;
    std::string error;
    if (!readLwsScene(text, scene, error)) {
        checkRejection(text, error);
        return 0;
    }

    SimHost host;
    std::vector<ItemId> ids;
    fillHost(scene, host, ids);
    if (ids.size() != scene.items.size())
        finding("fillHost made " + std::to_string(ids.size()) + " items of " + std::to_string(scene.items.size()), "");

    std::string out;
    if (!patchLwsScene(scene, host, ids, out, error))
        finding("an unchanged scene could not be written back", error);
    if (out != text)
        finding("an unchanged scene was not written back byte for byte", "");

    // Every bone switched and named after itself, as the commands would leave it.
    for (std::size_t i = 0; i < scene.items.size(); ++i)
        if (scene.items[i].type == itemBone) {
            SimItem &bone = host.item(ids[i]);
            bone.flags ^= boneFlagActive | boneFlagWeightMapOnly | boneFlagNormalization;
            bone.weightMapName = bone.name;
        }
    if (!patchLwsScene(scene, host, ids, out, error)) {
        if (error.empty())
            finding("a changed scene was refused without a message", "");
        return 0;
    }
    LwsScene again;
    if (!readLwsScene(out, again, error))
        finding("a written scene does not read back", error);
    if (again.items.size() != scene.items.size())
        finding("a written scene reads back with another number of items", "");
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        if (scene.items[i].type != itemBone)
            continue;
        const SimItem &bone = host.item(ids[i]);
        const LwsItem &read = again.items[i];
        if (read.active != ((bone.flags & boneFlagActive) != 0) ||
            read.weightMapOnly != ((bone.flags & boneFlagWeightMapOnly) != 0) ||
            read.normalization != ((bone.flags & boneFlagNormalization) != 0) ||
            read.weightMapName != bone.weightMapName)
            finding("bone '" + scene.pathOf(static_cast<int>(i)) + "' reads back with other settings than written", "");
    }
    return 0;
}
