// Faults from outside the module, for every command through its entry point:
// each module allocation failing in turn, each host service withheld in turn,
// and host answers out of range. Whatever happens, no crash, no leak, no line
// that is malformed or names no item, and the result the command owes. The
// scene-level rules come from tests/command_oracle.h, shared with the fuzzer.
#include <gtest/gtest.h>

#include "commands/weight_map_options.h"
#include "test_support.h"
#include "tests/command_oracle.h"

namespace {

// The allocations every command can make: a snapshot of 25 entries (two
// growths), a bone name too long for the usual line, bones in chains, bones of
// an object below a light, an object below a bone.
struct AllocationScene {
    SimHost host;
    ItemId body = nullptr, prop = nullptr, lantern = nullptr;
    std::vector<ItemId> bones;
};
void allocationScene(AllocationScene &s) {
    s.body = s.host.addObject("Body");
    ItemId parent = nullptr;
    for (int b = 0; b < 25; ++b) {
        std::string name = b == 3 ? std::string(120, 'n') : "Bone" + std::to_string(b);
        parent = s.host.addBone(s.body, name, b % 5 == 0 ? nullptr : parent, b % 2 == 0 ? 0u : boneFlagActive);
        s.bones.push_back(parent);
    }
    s.prop = s.host.addObject("Prop", s.bones[7]);
    s.host.addBone(s.prop, "PropBone", nullptr, 0);
    ItemId key = s.host.addLight("Key");
    s.lantern = s.host.addObject("Lantern", key);
    s.host.addBone(s.lantern, "Handle", nullptr, 0);
    s.host.addCamera("Camera");
}

// Runs one command with the oracle's expectation and reports what it broke.
std::vector<std::string> runChecked(SimHost &host, const oracle::CommandUnderTest &command,
                                    oracle::Expectation run) {
    WeightMapOptions = run.options;
    oracle::SceneState before = oracle::capture(host);
    host.clearRecords();
    int result = command.run(host);
    WeightMapOptions = {0, 0, 0};
    return oracle::checkRun(host, before, run, result);
}

// Every allocation of every command fails in turn, once and from then on, on a
// selection of bones and on a selection of objects: the oracle's rules hold
// with the one relaxation a lost snapshot entry or tree node allows.
TEST(FaultInjection, EveryAllocationOfEveryCommandFailsInTurn) {
    for (const oracle::CommandUnderTest &command : oracle::commandsUnderTest)
        for (bool selectBones : {true, false})
            for (bool persistent : {false, true})
                for (int failAt = 1;; ++failAt) {
                    SCOPED_TRACE(testing::Message() << command.name << (selectBones ? ", bones" : ", objects")
                                                    << ", fail at " << failAt << (persistent ? " and after" : ""));
                    AllocationScene s;
                    allocationScene(s);
                    s.host.select(selectBones ? s.bones : std::vector<ItemId>{s.body, s.lantern, s.prop});
                    oracle::Expectation run;
                    run.kind = command.kind;
                    run.options = {1, 1, 1};
                    moduleAllocFailAt(failAt, persistent);
                    WeightMapOptions = run.options;
                    oracle::SceneState before = oracle::capture(s.host);
                    s.host.clearRecords();
                    int result = command.run(s.host);
                    int injected = moduleAllocDisarm();
                    WeightMapOptions = {0, 0, 0};
                    run.allocationFailed = injected > 0;
                    EXPECT_EQ(oracle::checkRun(s.host, before, run, result), std::vector<std::string>{});
                    if (injected == 0)
                        break;
                }
}

// Each of the six services the module looks up is withheld in turn, for each
// command: a service the command needs stops it before its first line with a
// message naming the service (when the message service is there to show it);
// any other leaves the run as it is with every service present.
TEST(FaultInjection, EachServiceWithheldInTurnForEachCommand) {
    const char *const services[] = {messageServiceName, interfaceInfoName, itemInfoName,
                                    boneInfoName,       panelServicesName, formServiceName};
    for (const oracle::CommandUnderTest &command : oracle::commandsUnderTest)
        for (const char *service : services)
            for (bool selectBones : {false, true}) {
                SCOPED_TRACE(testing::Message() << command.name << " without " << service
                                                << (selectBones ? ", bones" : ", objects"));
                auto build = [&](SimHost &host) {
                    ItemId object = host.addObject("O1");
                    ItemId bone = host.addBone(object, "B1", nullptr, 0);
                    host.addBone(object, "B2", bone, boneFlagActive);
                    host.select({selectBones ? bone : object});
                };
                SimHost reference;
                build(reference);
                oracle::Expectation run;
                run.kind = command.kind;
                EXPECT_EQ(runChecked(reference, command, run), std::vector<std::string>{});

                SimHost host;
                build(host);
                host.withheld.insert(service);
                run.withheld.insert(service);
                EXPECT_EQ(runChecked(host, command, run), std::vector<std::string>{});
                if (oracle::needsService(command.kind, service)) {
                    EXPECT_TRUE(host.log.empty());
                } else {
                    EXPECT_EQ(host.lines(), reference.lines());
                    if (std::string(service) == messageServiceName) {
                        EXPECT_TRUE(host.messages.empty());
                    }
                }
            }
}

// Item types other than 0 to 3. As the first selected item the type rejects
// the selection with the usual message; further down the list the entry is
// passed over and the other entries are handled as usual.
TEST(FaultInjection, ItemTypesOutOfRange) {
    for (const oracle::CommandUnderTest &command : oracle::commandsUnderTest)
        for (int reported : {4, 7, -1, -2, 1000, INT32_MIN})
            for (bool first : {true, false}) {
                SCOPED_TRACE(testing::Message() << command.name << ", type " << reported
                                                << (first ? " first" : " second"));
                SimHost host;
                ItemId object = host.addObject("O1");
                ItemId b1 = host.addBone(object, "B1", nullptr, 0);
                ItemId b2 = host.addBone(object, "B2", nullptr, 0);
                ItemId odd = host.addObject("Odd");
                host.item(odd).reportedType = reported;
                host.select(first ? std::vector<ItemId>{odd, b1, b2} : std::vector<ItemId>{b1, odd, b2});
                oracle::Expectation run;
                run.kind = command.kind;
                EXPECT_EQ(runChecked(host, command, run), std::vector<std::string>{});
                if (first) {
                    EXPECT_TRUE(host.log.empty());
                    EXPECT_EQ(host.errors().size(), 1u);
                } else if (command.kind == commandActivate) {
                    EXPECT_EQ(host.namedLines(),
                              (Lines{"SelectItem B1", "BoneActive", "SelectItem B2", "BoneActive", "EditBones",
                                     "AddToSelection B2", "AddToSelection Odd", "AddToSelection B1"}));
                }
            }
}

// A null or empty name, a bone list that ends early, flag words with bits the
// module never reads: each command still ends with 0, sends only lines the
// host accepts about items that exist, and leaks nothing.
TEST(FaultInjection, HostileAnswersAboutBones) {
    struct Case {
        const char *name;
        void (*spoil)(SimHost &host, ItemId b1, ItemId b2);
    };
    const Case cases[] = {
        {"null names", [](SimHost &host, ItemId b1, ItemId b2) {
             host.item(b1).nameMissing = true;
             host.item(b2).nameMissing = true;
         }},
        {"empty names", [](SimHost &host, ItemId b1, ItemId) { host.item(b1).name = ""; }},
        {"bone list ends after the first bone", [](SimHost &host, ItemId b1, ItemId) { host.item(b1).endsList = true; }},
        {"every flag bit set", [](SimHost &host, ItemId b1, ItemId b2) {
             host.item(b1).flags = ~0u;
             host.item(b2).flags = ~boneFlagActive;
         }},
        {"a bone reported as a light", [](SimHost &host, ItemId, ItemId b2) { host.item(b2).reportedType = itemLight; }},
    };
    for (const oracle::CommandUnderTest &command : oracle::commandsUnderTest)
        for (const Case &row : cases)
            for (bool selectBones : {false, true}) {
                SCOPED_TRACE(testing::Message() << command.name << ", " << row.name
                                                << (selectBones ? ", bones" : ", objects"));
                SimHost host;
                ItemId object = host.addObject("O1");
                ItemId b1 = host.addBone(object, "B1", nullptr, 0);
                ItemId b2 = host.addBone(object, "B2", b1, boneFlagWeightMapOnly);
                ItemId b3 = host.addBone(object, "B3", nullptr, boneFlagActive);
                row.spoil(host, b1, b2);
                host.select(selectBones ? std::vector<ItemId>{b1, b2, b3} : std::vector<ItemId>{object});
                oracle::Expectation run;
                run.kind = command.kind;
                run.options = {1, 0, 1};
                run.hostile = host.item(b1).endsList || host.item(b2).reportedType.has_value();
                EXPECT_EQ(runChecked(host, command, run), std::vector<std::string>{});
                EXPECT_TRUE(host.rejectedLines().empty());
                if (host.item(b1).endsList && !selectBones && !oracle::isHierarchyKind(command.kind)) {
                    // The list said B1 was the last bone: only B1 is handled.
                    EXPECT_EQ(host.item(b2).weightMapNameSets + host.item(b3).weightMapNameSets, 0);
                    EXPECT_EQ(host.item(b2).flags, boneFlagWeightMapOnly);
                }
            }
}

}  // namespace
