// Per-bone actions: select each bone in scope and send the line that changes it.
// "BoneActive", "BoneWeightMapOnly" and "BoneNormalization" flip a setting in the
// host, so each is sent only after the bone's flag word shows it differs.
#include "commands/bone_actions.h"

#include "commands/line.h"
#include "commands/memory.h"
#include "commands/weight_map_options.h"

WeightMapFlags WeightMapOptions = {0, 0, 0};

int runBoneCommand(LayoutGeneric *generic, GlobalLookup globalLookup, CommandKind kind) {
    CommandContext context(globalLookup, generic);
    if (context.requireServices(kind) && context.validateSelection(kind)) {
        context.snapshotSelection();
        context.applyToBones(kind);
    }
    return 0;
}

// The first selected item sets the mode; an entry of another type (a list
// Layout never hands out, but a host might) is passed over: a bone line sent
// with an object selected, or the bones asked of a light, would act on items
// the user did not choose.
void CommandContext::applyToBones(CommandKind kind) {
    if (selectionType == itemBone) {
        for (std::uint32_t i = 0; i < selection.count; ++i)
            if (itemInfo->type(selection.items[i]) == itemBone)
                applyToBone(kind, selection.items[i]);
    } else {
        char line[1024];
        for (std::uint32_t i = 0; i < selection.count; ++i) {
            ItemId object = selection.items[i];
            if (itemInfo->type(object) != itemObject)
                continue;
            formatItemLine(line, sizeof line, "SelectItem %x", object);
            sendCommand(line);
            ItemId bone = itemInfo->first(itemBone, object);
            if (bone != nullptr) {
                sendCommand("EditBones");
                for (; bone != nullptr; bone = itemInfo->next(bone))
                    applyToBone(kind, bone);
            }
            sendCommand("EditObjects");
        }
    }
    restoreSelection();
}

namespace {

// Sends "BoneWeightMapName <name>" with the whole name. A name too long for the
// usual line buffer gets a buffer of its own; only when that cannot be had is
// the line left out, since a cut name would point the bone at the wrong map.
void sendWeightMapName(CommandContext &context, const char *name) {
    char line[100];
    std::size_t needed = formatTextLine(line, sizeof line, "BoneWeightMapName %s", name);
    if (needed < sizeof line) {
        context.sendCommand(line);
        return;
    }
    auto *longLine = static_cast<char *>(moduleAlloc(needed + 1));
    if (longLine == nullptr)
        return;
    formatTextLine(longLine, needed + 1, "BoneWeightMapName %s", name);
    context.sendCommand(longLine);
    moduleFree(longLine);
}

bool flagSet(unsigned word, unsigned flag) { return (word & flag) != 0; }

}  // namespace

void CommandContext::applyToBone(CommandKind kind, ItemId bone) {
    char line[100];
    formatItemLine(line, sizeof line, "SelectItem %x", bone);
    sendCommand(line);
    if (kind == commandWeightMap) {
        // A missing or empty name would send "BoneWeightMapName" without a map
        // name, which wipes the bone's map or makes Layout ask for one.
        const char *name = itemInfo->name(bone);
        if (name != nullptr && name[0] != '\0')
            sendWeightMapName(*this, name);
        if (WeightMapOptions.adjustBoneSettings == 0)
            return;
        unsigned word = boneInfo->flags(bone);
        if ((WeightMapOptions.useWeightMapOnly != 0) == flagSet(word, boneFlagWeightMapOnly))
            return;  // normalization is only brought in line together with weight-map-only
        sendCommand("BoneWeightMapOnly");
        // The host may switch normalization on together with weight-map-only, so
        // the normalization is compared with the word as it stands now.
        word = boneInfo->flags(bone);
        if ((WeightMapOptions.weightNormalization != 0) == flagSet(word, boneFlagNormalization))
            return;
        sendCommand("BoneNormalization");
    } else if (kind == commandActivate) {
        if (!flagSet(boneInfo->flags(bone), boneFlagActive))
            sendCommand("BoneActive");
    } else if (kind == commandDeactivate) {
        if (flagSet(boneInfo->flags(bone), boneFlagActive))
            sendCommand("BoneActive");
    }
}
