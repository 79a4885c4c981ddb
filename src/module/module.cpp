// The module record the host loads: `_mod_descrip`, the five LayoutGeneric
// servers and their activation functions. An activation checks the interface
// version and runs one command; nothing else happens here.
#include "commands/bone_actions.h"
#include "commands/hierarchy.h"
#include "host/module_record.h"
#include "ui/weight_map_command.h"

#if defined(_WIN32)
#define MARROWLINK_EXPORT __declspec(dllexport)
#else
#define MARROWLINK_EXPORT __attribute__((visibility("default")))
#endif

namespace {

constexpr int interfaceVersion = 2;

// No exception may reach the host; the commands throw none, and should one
// appear the command ends quietly as if it had stopped without a change.
template <typename Command>
int guarded(int version, Command command) {
    if (version != interfaceVersion)
        return 1;
    try {
        return command();
    } catch (...) {
        return 0;
    }
}

int activateWeightMap(int version, GlobalLookup globalLookup, void *local) {
    return guarded(version, [&] { return runWeightMapCommand(static_cast<LayoutGeneric *>(local), globalLookup); });
}
int activateActivateBones(int version, GlobalLookup globalLookup, void *local) {
    return guarded(version,
                   [&] { return runBoneCommand(static_cast<LayoutGeneric *>(local), globalLookup, commandActivate); });
}
int activateDeactivateBones(int version, GlobalLookup globalLookup, void *local) {
    return guarded(
        version, [&] { return runBoneCommand(static_cast<LayoutGeneric *>(local), globalLookup, commandDeactivate); });
}
int activateRecordBonePivots(int version, GlobalLookup globalLookup, void *local) {
    return guarded(version, [&] {
        return runHierarchyCommand(static_cast<LayoutGeneric *>(local), globalLookup, commandRecordPivots);
    });
}
int activateRestBones(int version, GlobalLookup globalLookup, void *local) {
    return guarded(version,
                   [&] { return runHierarchyCommand(static_cast<LayoutGeneric *>(local), globalLookup, commandRest); });
}

void *startup() { return reinterpret_cast<void *>(static_cast<std::uintptr_t>(4)); }
void shutdown() {}

constexpr ServerTag weightMapTags[] = {{"Ozrin  Marrowlink", tagFullLabel}, {"Marrowlink", tagShortLabel}, {nullptr, 0}};
constexpr ServerTag activateTags[] = {
    {"Ozrin  Activate Bones", tagFullLabel}, {"Activate Bones", tagShortLabel}, {nullptr, 0}};
constexpr ServerTag deactivateTags[] = {
    {"Ozrin  Deactivate Bones", tagFullLabel}, {"Deactivate Bones", tagShortLabel}, {nullptr, 0}};
constexpr ServerTag recordPivotsTags[] = {
    {"Ozrin  Record Bone Pivots", tagFullLabel}, {"Record Bone Pivots", tagShortLabel}, {nullptr, 0}};
constexpr ServerTag restTags[] = {
    {"Ozrin  Rest Bones Pivots", tagFullLabel}, {"Rest Bones", tagShortLabel}, {nullptr, 0}};

constexpr ServerRecord serverTable[] = {
    {"LayoutGeneric", "Ozrin_Marrowlink", activateWeightMap, weightMapTags},
    {"LayoutGeneric", "Ozrin_ActivateBones", activateActivateBones, activateTags},
    {"LayoutGeneric", "Ozrin_DeactivateBones", activateDeactivateBones, deactivateTags},
    {"LayoutGeneric", "Ozrin_RecordBonePivots", activateRecordBonePivots, recordPivotsTags},
    {"LayoutGeneric", "Ozrin_RestBones", activateRestBones, restTags},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" MARROWLINK_EXPORT const ModuleDescriptor _mod_descrip = {
    0x04121994u, 3u, 0x00000300u, startup, shutdown, serverTable,
};
