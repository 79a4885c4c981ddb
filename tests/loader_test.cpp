// The built Marrowlink.p as the host sees it: loaded from its file (dlopen, or
// LoadLibrary on Windows), `_mod_descrip` found by name, its records read the
// way the host reads them, and each server's activation run against the
// simulator. Nothing of the module is linked into this program, so every call
// goes through the module's own copy of the commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/module_record.h"
#include "sim/sim_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using Lines = std::vector<std::string>;

// Loaded once, like the host, and kept loaded until the program ends.
const ModuleDescriptor *loadedDescriptor(std::string &why) {
    static const ModuleDescriptor *descriptor = nullptr;
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
#if defined(_WIN32)
        HMODULE module = LoadLibraryA(MARROWLINK_MODULE_PATH);
        if (module == nullptr) {
            failure = "LoadLibrary failed with error " + std::to_string(GetLastError());
        } else if (FARPROC symbol = GetProcAddress(module, "_mod_descrip"); symbol == nullptr) {
            failure = "no _mod_descrip export";
        } else {
            std::memcpy(&descriptor, &symbol, sizeof descriptor);
        }
#else
        void *module = dlopen(MARROWLINK_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            failure = dlerror();
        } else if (void *symbol = dlsym(module, "_mod_descrip"); symbol == nullptr) {
            failure = "no _mod_descrip symbol";
        } else {
            descriptor = static_cast<const ModuleDescriptor *>(symbol);
        }
#endif
    }
    why = failure;
    return descriptor;
}

class LoadedModule : public testing::Test {
  public:
    void SetUp() override {
        std::string why;
        descriptor = loadedDescriptor(why);
        ASSERT_NE(descriptor, nullptr) << MARROWLINK_MODULE_PATH << ": " << why;
    }

    const ServerRecord *server(const char *name) const {
        for (const ServerRecord *row = descriptor->serverTable; row->serverName != nullptr; ++row)
            if (std::strcmp(row->serverName, name) == 0)
                return row;
        return nullptr;
    }

    // Runs the named server's activation the way the host calls it.
    int activate(SimHost &host, const char *name, int version = 2) const {
        const ServerRecord *row = server(name);
        EXPECT_NE(row, nullptr) << name;
        if (row == nullptr)
            return -1;
        host.activate();
        return row->activationFunction(version, host.lookup(), host.genericRecord());
    }

    const ModuleDescriptor *descriptor = nullptr;
};

struct ServerRow {
    const char *name;
    const char *fullLabel;
    const char *shortLabel;
    const char *rejection;  // the message of a command run with nothing selected
};

const ServerRow serverRows[] = {
    {"Ozrin_Marrowlink", "Ozrin  Marrowlink", "Marrowlink",
     "Marrowlink Error: At least one object or bone must be selected"},
    {"Ozrin_ActivateBones", "Ozrin  Activate Bones", "Activate Bones",
     "Activate Bones Error: At least one object or bone must be selected"},
    {"Ozrin_DeactivateBones", "Ozrin  Deactivate Bones", "Deactivate Bones",
     "Deactivate Bones Error: At least one object or bone must be selected"},
    {"Ozrin_RecordBonePivots", "Ozrin  Record Bone Pivots", "Record Bone Pivots",
     "Record Bone Pivots Error: At least one object or bone must be selected"},
    {"Ozrin_RestBones", "Ozrin  Rest Bones Pivots", "Rest Bones",
     "Rest Bones Error: At least one object or bone must be selected"},
};

bool lookedUp(const SimHost &host, const char *name) {
    return std::find(host.lookups.begin(), host.lookups.end(), name) != host.lookups.end();
}

TEST_F(LoadedModule, DescriptorServerTableAndTagsAreTheHostsRecords) {
    EXPECT_EQ(descriptor->syncWord, 0x04121994u);
    EXPECT_EQ(descriptor->formatVersion, 3u);
    EXPECT_EQ(descriptor->machineWord, 0x00000300u);
    ASSERT_NE(descriptor->startupFunction, nullptr);
    ASSERT_NE(descriptor->shutdownFunction, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(descriptor->startupFunction()), 4u);
    descriptor->shutdownFunction();

    const ServerRecord *row = descriptor->serverTable;
    ASSERT_NE(row, nullptr);
    for (const ServerRow &expected : serverRows) {
        SCOPED_TRACE(expected.name);
        ASSERT_NE(row->serverName, nullptr);
        EXPECT_STREQ(row->serverClass, "LayoutGeneric");
        EXPECT_STREQ(row->serverName, expected.name);
        EXPECT_NE(row->activationFunction, nullptr);
        ASSERT_NE(row->tags, nullptr);
        EXPECT_EQ(row->tags[0].code, 0x00000409u);
        EXPECT_STREQ(row->tags[0].text, expected.fullLabel);
        EXPECT_EQ(row->tags[1].code, 0x00010409u);
        EXPECT_STREQ(row->tags[1].text, expected.shortLabel);
        EXPECT_EQ(row->tags[2].text, nullptr);
        EXPECT_EQ(row->tags[2].code, 0u);
        ++row;
    }
    EXPECT_EQ(row->serverClass, nullptr);
    EXPECT_EQ(row->serverName, nullptr);
    EXPECT_EQ(row->activationFunction, nullptr);
    EXPECT_EQ(row->tags, nullptr);
}

#if UINTPTR_MAX == 0xffffffffu
// The 32-bit host knows nothing of our structs: it walks 32-bit words.
TEST_F(LoadedModule, ThirtyTwoBitHostReadsTheRecordsAsPlainWords) {
    auto words = [](const void *at) { return static_cast<const std::uint32_t *>(at); };
    auto pointer = [](std::uint32_t word) { return reinterpret_cast<const void *>(static_cast<std::uintptr_t>(word)); };
    auto text = [&](std::uint32_t word) { return static_cast<const char *>(pointer(word)); };

    const std::uint32_t *record = words(descriptor);
    EXPECT_EQ(record[0], 0x04121994u);
    EXPECT_EQ(record[1], 3u);
    EXPECT_EQ(record[2], 0x00000300u);
    EXPECT_NE(record[3], 0u);
    EXPECT_NE(record[4], 0u);
    ASSERT_NE(record[5], 0u);

    const std::uint32_t *table = words(pointer(record[5]));
    for (const ServerRow &expected : serverRows) {
        SCOPED_TRACE(expected.name);
        ASSERT_NE(table[0], 0u);
        EXPECT_STREQ(text(table[0]), "LayoutGeneric");
        EXPECT_STREQ(text(table[1]), expected.name);
        EXPECT_NE(table[2], 0u);
        ASSERT_NE(table[3], 0u);
        const std::uint32_t *tags = words(pointer(table[3]));
        EXPECT_STREQ(text(tags[0]), expected.fullLabel);
        EXPECT_EQ(tags[1], 0x00000409u);
        EXPECT_STREQ(text(tags[2]), expected.shortLabel);
        EXPECT_EQ(tags[3], 0x00010409u);
        EXPECT_EQ(tags[4], 0u);
        EXPECT_EQ(tags[5], 0u);
        table += 4;
    }
    EXPECT_EQ(table[0], 0u);
    EXPECT_EQ(table[1], 0u);
    EXPECT_EQ(table[2], 0u);
    EXPECT_EQ(table[3], 0u);
}
#endif

TEST_F(LoadedModule, AnyInterfaceVersionButTwoReturnsOneWithoutAHostCall) {
    for (const ServerRow &row : serverRows)
        for (int version : {1, 3, 0, -2}) {
            SCOPED_TRACE(std::string(row.name) + " version " + std::to_string(version));
            SimHost host;
            ItemId object = host.addObject("O");
            host.addBone(object, "B", nullptr, 0);
            host.select({object});
            host.clearRecords();
            EXPECT_EQ(activate(host, row.name, version), 1);
            EXPECT_EQ(host.hostCalls, 0);
            EXPECT_TRUE(host.lookups.empty());
            EXPECT_TRUE(host.log.empty());
            EXPECT_TRUE(host.messages.empty());
        }
}

// With nothing selected every command stops with a message in its own name.
TEST_F(LoadedModule, EachServerRunsItsOwnCommand) {
    for (const ServerRow &row : serverRows) {
        SCOPED_TRACE(row.name);
        SimHost host;
        host.addObject("O");
        EXPECT_EQ(activate(host, row.name), 0);
        EXPECT_EQ(host.errors(), (Lines{row.rejection}));
        EXPECT_TRUE(host.log.empty());
    }
}

// A small rig: object O with bones B1 (inactive) and B2 (active), and an
// object P with an inactive bone C1 that is never in scope.
struct Rig {
    ItemId object, b1, b2, otherBone;
};

Rig twoBonesSelected(SimHost &host) {
    Rig rig{};
    rig.object = host.addObject("O");
    rig.b1 = host.addBone(rig.object, "B1", nullptr, 0);
    rig.b2 = host.addBone(rig.object, "B2", rig.b1);
    ItemId other = host.addObject("P");
    rig.otherBone = host.addBone(other, "C1", nullptr, 0);
    host.select({rig.b2, rig.b1});
    host.clearRecords();
    return rig;
}

TEST_F(LoadedModule, TheBoneCommandsChangeTheirBonesAndGiveTheSelectionBack) {
    struct Case {
        const char *name;
        bool b1Active, b2Active;
    };
    for (const Case &row : {Case{"Ozrin_ActivateBones", true, true}, Case{"Ozrin_DeactivateBones", false, false}}) {
        SCOPED_TRACE(row.name);
        SimHost host;
        Rig rig = twoBonesSelected(host);
        EXPECT_EQ(activate(host, row.name), 0);
        EXPECT_EQ((host.item(rig.b1).flags & boneFlagActive) != 0, row.b1Active);
        EXPECT_EQ((host.item(rig.b2).flags & boneFlagActive) != 0, row.b2Active);
        EXPECT_EQ(host.item(rig.otherBone).flags & boneFlagActive, 0u);
        EXPECT_EQ(host.selected(), (std::vector<ItemId>{rig.b2, rig.b1}));
        EXPECT_TRUE(host.rejectedLines().empty());
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST_F(LoadedModule, TheHierarchyCommandsRecordTheirBonesAfterTheConfirmation) {
    struct Case {
        const char *name;
        int SimItem::*records;
    };
    for (const Case &row : {Case{"Ozrin_RecordBonePivots", &SimItem::pivotRecords},
                            Case{"Ozrin_RestBones", &SimItem::restRecords}}) {
        SCOPED_TRACE(row.name);
        SimHost host;
        Rig rig = twoBonesSelected(host);
        host.defaultAnswer = 1;
        EXPECT_EQ(activate(host, row.name), 0);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].kind, "yesNo");
        EXPECT_EQ(host.item(rig.b1).*row.records, 1);
        EXPECT_EQ(host.item(rig.b2).*row.records, 1);
        EXPECT_EQ(host.item(rig.otherBone).*row.records, 0);
        EXPECT_EQ(host.item(rig.b1).pivotRecords + host.item(rig.b1).restRecords, 1);
        EXPECT_EQ(host.selected(), (std::vector<ItemId>{rig.b2, rig.b1}));
    }
}

// Only the weight-map command uses the host's form service, so only it can
// end with 2 on a host that lacks it.
TEST_F(LoadedModule, OnlyTheWeightMapCommandNeedsTheFormService) {
    for (const ServerRow &row : serverRows) {
        if (std::strcmp(row.name, "Ozrin_Marrowlink") == 0)
            continue;
        SCOPED_TRACE(row.name);
        SimHost host;
        twoBonesSelected(host);
        host.withheld.insert("LWXPanel");
        host.defaultAnswer = 0;  // decline the confirmation of the hierarchy commands
        EXPECT_EQ(activate(host, row.name), 0);
        EXPECT_FALSE(lookedUp(host, "LWXPanel"));
    }
}

TEST_F(LoadedModule, WeightMapCommandWithoutTheFormServiceStillChecksTheSelectionFirst) {
    SimHost host;
    host.addObject("O");
    host.withheld.insert("LWXPanel");
    EXPECT_EQ(activate(host, "Ozrin_Marrowlink"), 0);
    EXPECT_EQ(host.errors(), (Lines{"Marrowlink Error: At least one object or bone must be selected"}));
    EXPECT_TRUE(host.log.empty());
}

TEST_F(LoadedModule, WeightMapCommandWithoutTheFormServiceReturnsTwoAndChangesNothing) {
    SimHost host;
    Rig rig = twoBonesSelected(host);
    host.withheld.insert("LWXPanel");
    EXPECT_EQ(activate(host, "Ozrin_Marrowlink"), 2);
    EXPECT_TRUE(lookedUp(host, "LWXPanel"));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.log.empty());
    for (ItemId bone : {rig.b1, rig.b2, rig.otherBone}) {
        EXPECT_EQ(host.item(bone).weightMapNameSets, 0);
        EXPECT_EQ(host.item(bone).weightMapName, "");
    }
    EXPECT_EQ(host.selected(), (std::vector<ItemId>{rig.b2, rig.b1}));
}

}  // namespace
