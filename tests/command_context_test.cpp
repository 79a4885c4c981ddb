// The selection check, the snapshot, the restore and the item list that holds it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "commands/bone_actions.h"
#include "commands/line.h"
#include "test_support.h"

namespace {

TEST(ValidateSelection, RejectsNothingSelectedWithTheCommandsOwnName) {
    struct Case {
        CommandKind kind;
        const char *message;
    };
    const Case cases[] = {
        {commandWeightMap, "Marrowlink Error: At least one object or bone must be selected"},
        {commandActivate, "Activate Bones Error: At least one object or bone must be selected"},
        {commandDeactivate, "Deactivate Bones Error: At least one object or bone must be selected"},
        {commandRecordPivots, "Record Bone Pivots Error: At least one object or bone must be selected"},
        {commandRest, "Rest Bones Error: At least one object or bone must be selected"},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.message);
        SimHost host;
        host.addObject("O1");
        CommandContext context(host.lookup(), host.genericRecord());
        EXPECT_FALSE(context.validateSelection(row.kind));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].kind, "error");
        EXPECT_EQ(host.messages[0].text, row.message);
        EXPECT_EQ(host.messages[0].text2, "(null)");
        EXPECT_TRUE(host.log.empty());
    }
}

TEST(ValidateSelection, OnlyTheFirstSelectedItemDecides) {
    SimHost host;
    ItemId object = host.addObject("O1");
    ItemId bone = host.addBone(object, "B1");
    ItemId light = host.addLight("L1");
    ItemId camera = host.addCamera("C1");
    struct Case {
        std::vector<ItemId> selection;
        bool accepted;
        int type;
    };
    const Case cases[] = {
        {{light, bone}, false, itemLight},
        {{camera, object}, false, itemCamera},
        {{object, light}, true, itemObject},
        {{bone, camera}, true, itemBone},
    };
    for (const Case &row : cases) {
        host.select(row.selection);
        host.clearRecords();
        CommandContext context(host.lookup(), host.genericRecord());
        EXPECT_EQ(context.selectionType, row.type);
        EXPECT_EQ(context.validateSelection(commandActivate), row.accepted);
        EXPECT_EQ(host.errors().size(), row.accepted ? 0u : 1u);
        if (row.accepted) {
            EXPECT_TRUE(context.snapshotSelection());
            ASSERT_EQ(context.selection.count, 2u);
            EXPECT_EQ(context.selection.items[0], row.selection[0]);
            EXPECT_EQ(context.selection.items[1], row.selection[1]);
        }
    }
}

TEST(RunBoneCommand, ARejectedSelectionSendsNothingAndReturnsZero) {
    SimHost host;
    ItemId light = host.addLight("L1");
    for (std::vector<ItemId> selection : {std::vector<ItemId>{}, std::vector<ItemId>{light}}) {
        host.select(selection);
        host.clearRecords();
        EXPECT_EQ(runBoneCommand(host.genericRecord(), host.lookup(), commandActivate), 0);
        EXPECT_EQ(host.errors(), (Lines{"Activate Bones Error: At least one object or bone must be selected"}));
        EXPECT_TRUE(host.log.empty());
        EXPECT_EQ(currentContext, nullptr);
    }
}

TEST(SnapshotSelection, TwentyFiveItemsGrowTheListInStepsOfTenAndComeBackInOrder) {
    SimHost host;
    ItemId object = host.addObject("O");
    std::vector<ItemId> bones;
    for (int i = 0; i < 25; ++i)
        bones.push_back(host.addBone(object, "B" + std::to_string(i)));
    std::vector<ItemId> selection(bones.rbegin(), bones.rend());  // not in bone order
    host.select(selection);
    {
        CommandContext context(host.lookup(), host.genericRecord());
        EXPECT_EQ(context.selection.capacity, 10u);
        ASSERT_TRUE(context.validateSelection(commandActivate));
        EXPECT_TRUE(context.snapshotSelection());
        EXPECT_EQ(context.selection.count, 25u);
        EXPECT_EQ(context.selection.capacity, 30u);
        EXPECT_EQ(std::vector<ItemId>(context.selection.items, context.selection.items + 25), selection);
        context.restoreSelection();
    }
    Lines expected = {"EditBones"};
    for (int i = 24; i >= 0; --i)
        expected.push_back("AddToSelection " + host.item(selection[static_cast<std::size_t>(i)]).name);
    EXPECT_EQ(host.namedLines(), expected);
    EXPECT_EQ(host.selected(), selection);
}

TEST(RestoreSelection, StartsWithTheEditModeOfTheFirstSelectedItemEvenWhenTheSnapshotIsEmpty) {
    SimHost host;
    ItemId object = host.addObject("O");
    ItemId bone = host.addBone(object, "B");
    for (auto [selection, first] : {std::pair{std::vector<ItemId>{object}, "EditObjects"},
                                    std::pair{std::vector<ItemId>{bone}, "EditBones"}}) {
        host.select(selection);
        host.clearRecords();
        CommandContext context(host.lookup(), host.genericRecord());
        context.restoreSelection();  // no snapshot taken
        EXPECT_EQ(host.lines(), (Lines{first}));
    }
}

// The restore adds the items last to first; the selection comes back in order
// on a host that puts each added item at the front of its list, which is the
// order the restore relies on.
TEST(RestoreSelection, ReliesOnAddedItemsGoingToTheFront) {
    for (SimAddOrder order : {SimAddOrder::prepend, SimAddOrder::append}) {
        SimHost host;
        host.addOrder = order;
        ItemId o1 = host.addObject("O1"), o2 = host.addObject("O2"), o3 = host.addObject("O3");
        host.select({o1, o2, o3});
        runBoneCommand(host.genericRecord(), host.lookup(), commandActivate);
        if (order == SimAddOrder::prepend)
            EXPECT_EQ(host.selected(), (std::vector<ItemId>{o1, o2, o3}));
        else
            EXPECT_EQ(host.selected(), (std::vector<ItemId>{o3, o2, o1}));
    }
}

TEST(CommandContext, LooksUpItsServicesInOrderAndLeavesTheFormServiceAlone) {
    SimHost host;
    host.select({host.addObject("O")});
    {
        CommandContext context(host.lookup(), host.genericRecord());
        EXPECT_EQ(currentContext, &context);
        EXPECT_EQ(context.formService, nullptr);
        EXPECT_EQ(context.formPanel, nullptr);
        EXPECT_EQ(context.status, 0);
    }
    EXPECT_EQ(currentContext, nullptr);
    EXPECT_EQ(host.lookups, (Lines{"Info Messages 2", "LW Interface Info 2", "LW Item Info 3", "LW Bone Info 2",
                                   "LWPanelServices"}));
}

// A host without one of the services a command needs: no line, no crash, and
// a message naming the service when the message service is there.
TEST(RunBoneCommand, MissingServicesStopTheCommandWithAMessage) {
    for (const char *service : {messageServiceName, interfaceInfoName, itemInfoName, boneInfoName})
        for (CommandKind kind : {commandActivate, commandDeactivate}) {
            SCOPED_TRACE(service);
            SimHost host;
            ItemId object = host.addObject("O");
            host.addBone(object, "B", nullptr, 0);
            host.select({object});
            host.withheld.insert(service);
            EXPECT_EQ(runBoneCommand(host.genericRecord(), host.lookup(), kind), 0);
            if (std::string(service) == messageServiceName) {
                EXPECT_FALSE(host.log.empty());  // errors would go unseen, but the command can run
                EXPECT_TRUE(host.messages.empty());
            } else {
                EXPECT_TRUE(host.log.empty());
                ASSERT_EQ(host.errors().size(), 1u);
                EXPECT_NE(host.errors()[0].find(service), std::string::npos) << host.errors()[0];
            }
        }
    SimHost host;
    host.select({host.addObject("O")});
    LayoutGeneric noEvaluator = *host.genericRecord();
    noEvaluator.evaluator = nullptr;
    EXPECT_EQ(runBoneCommand(&noEvaluator, host.lookup(), commandActivate), 0);
    EXPECT_EQ(host.errors().size(), 1u);
    EXPECT_EQ(runBoneCommand(host.genericRecord(), nullptr, commandActivate), 0);
}

TEST(FormatLine, PrintsItemIdsInFullLowercaseHexAndNeverWritesPastTheBuffer) {
    char line[100];
    EXPECT_EQ(formatItemLine(line, sizeof line, "SelectItem %x", reinterpret_cast<ItemId>(0x4a00beefu)), 19u);
    EXPECT_STREQ(line, "SelectItem 4a00beef");
    formatItemLine(line, sizeof line, "AddToSelection %x", reinterpret_cast<ItemId>(0x10u));
    EXPECT_STREQ(line, "AddToSelection 10");
#if UINTPTR_MAX > 0xffffffffu
    formatItemLine(line, sizeof line, "%x", reinterpret_cast<ItemId>(0x7fed4a000001ull));
    EXPECT_STREQ(line, "7fed4a000001");
#endif
    char small[8] = "#######";
    EXPECT_EQ(formatTextLine(small, 6, "ab%scd", "XYZ"), 7u);
    EXPECT_STREQ(small, "abXYZ");
    EXPECT_EQ(small[6], '#');
}

// Every pattern at every buffer size gives the start of the whole line, ended,
// and nothing past the buffer: runs of text, directives at either end, a "%"
// that is no directive, a missing text, the ID 0.
TEST(FormatLine, CutsEveryLineCleanlyAtEveryBufferSize) {
    struct Case {
        const char *pattern;
        const char *text;
        std::uintptr_t id;
        const char *whole;
    };
    const Case cases[] = {
        {"SelectItem %x", nullptr, 0x4a00beefu, "SelectItem 4a00beef"},
        {"%x", nullptr, 0, "0"},
        {"%x end", nullptr, 0xabcu, "abc end"},
        {"BoneWeightMapName %s", "Arm.L", 0, "BoneWeightMapName Arm.L"},
        {"BoneWeightMapName %s", nullptr, 0, "BoneWeightMapName "},
        {"%s", "", 0, ""},
        {"100%d %% %", "unused", 0, "100%d %% %"},
        {"%%s and %sx", "T", 0, "%T and Tx"},
        {"EditBones", nullptr, 0, "EditBones"},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.pattern);
        std::string whole = row.whole;
        for (std::size_t capacity = 0; capacity <= whole.size() + 2; ++capacity) {
            SCOPED_TRACE(capacity);
            char buffer[64];
            std::memset(buffer, '#', sizeof buffer);
            std::size_t needed = formatLine(buffer, capacity, row.pattern, row.text, reinterpret_cast<ItemId>(row.id));
            EXPECT_EQ(needed, whole.size());
            if (capacity > 0) {
                EXPECT_EQ(std::string(buffer), whole.substr(0, std::min(whole.size(), capacity - 1)));
            }
            for (std::size_t i = capacity; i < sizeof buffer; ++i)
                ASSERT_EQ(buffer[i], '#');
        }
    }
}

TEST(ItemIdList, ResizeKeepsTheFirstIdsAndAFailedGrowthKeepsTheOldStorage) {
    ItemIdList list;
    for (std::uintptr_t i = 1; i <= 15; ++i)
        list.append(reinterpret_cast<ItemId>(i));
    EXPECT_EQ(list.capacity, 20u);
    EXPECT_TRUE(list.resize(12));
    EXPECT_EQ(list.count, 12u);
    EXPECT_EQ(list.items[11], reinterpret_cast<ItemId>(12));
    EXPECT_TRUE(list.resize(12));
    moduleAllocFailAt(1, true);
    EXPECT_FALSE(list.resize(40));
    list.append(reinterpret_cast<ItemId>(99));  // full: cannot grow, the ID is dropped
    moduleAllocDisarm();
    EXPECT_EQ(list.count, 12u);
    EXPECT_EQ(list.capacity, 12u);
    list.release();
    EXPECT_EQ(list.items, nullptr);
}

}  // namespace
