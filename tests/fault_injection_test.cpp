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
    oracle::Session session;
    SimHost &host = session.host;
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

// Runs one command with the oracle's expectation, from the weight-map options
// given, and reports what it broke.
std::vector<std::string> runChecked(oracle::Session &session, const oracle::CommandUnderTest &command,
                                    const oracle::Expectation &run, WeightMapFlags options = {0, 0, 0}) {
    oracle::prepare(session, run);
    WeightMapOptions = options;
    oracle::SceneState before = oracle::capture(session.host);
    session.host.clearRecords();
    int result = command.run(session);
    std::vector<std::string> broken = oracle::checkRun(session, before, run, result);
    WeightMapOptions = {0, 0, 0};
    return broken;
}

// The form the weight-map command posts, confirmed with every option checked
// and About pressed twice.
oracle::Expectation everyOption(CommandKind kind) {
    oracle::Expectation run;
    run.kind = kind;
    run.form = {1, 2, {{controlAdjustBoneSettings, 1}, {controlUseWeightMapOnly, 1}, {controlWeightNormalization, 1}}, {}};
    return run;
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
                    oracle::Expectation run = everyOption(command.kind);
                    oracle::prepare(s.session, run);
                    WeightMapOptions = {0, 0, 0};
                    oracle::SceneState before = oracle::capture(s.host);
                    s.host.clearRecords();
                    moduleAllocFailAt(failAt, persistent);
                    int result = command.run(s.session);
                    int injected = moduleAllocDisarm();
                    run.allocationFailed = injected > 0;
                    EXPECT_EQ(oracle::checkRun(s.session, before, run, result), std::vector<std::string>{});
                    WeightMapOptions = {0, 0, 0};
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
                oracle::Session reference;
                build(reference.host);
                oracle::Expectation run = everyOption(command.kind);
                EXPECT_EQ(runChecked(reference, command, run), std::vector<std::string>{});

                oracle::Session session;
                SimHost &host = session.host;
                build(host);
                run.withheld.insert(service);
                EXPECT_EQ(runChecked(session, command, run), std::vector<std::string>{});
                if (oracle::needsService(command.kind, service)) {
                    EXPECT_TRUE(host.log.empty());
                } else {
                    EXPECT_EQ(host.lines(), reference.host.lines());
                    if (std::string(service) == messageServiceName) {
                        EXPECT_TRUE(host.messages.empty());
                    } else if (std::string(service) == panelServicesName) {
                        EXPECT_TRUE(host.errors().empty());  // About simply opens nothing
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
                oracle::Session session;
                SimHost &host = session.host;
                ItemId object = host.addObject("O1");
                ItemId b1 = host.addBone(object, "B1", nullptr, 0);
                ItemId b2 = host.addBone(object, "B2", nullptr, 0);
                ItemId odd = host.addObject("Odd");
                host.item(odd).reportedType = reported;
                host.select(first ? std::vector<ItemId>{odd, b1, b2} : std::vector<ItemId>{b1, odd, b2});
                oracle::Expectation run;
                run.kind = command.kind;
                EXPECT_EQ(runChecked(session, command, run), std::vector<std::string>{});
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
                oracle::Session session;
                SimHost &host = session.host;
                ItemId object = host.addObject("O1");
                ItemId b1 = host.addBone(object, "B1", nullptr, 0);
                ItemId b2 = host.addBone(object, "B2", b1, boneFlagWeightMapOnly);
                ItemId b3 = host.addBone(object, "B3", nullptr, boneFlagActive);
                row.spoil(host, b1, b2);
                host.select(selectBones ? std::vector<ItemId>{b1, b2, b3} : std::vector<ItemId>{object});
                oracle::Expectation run;
                run.kind = command.kind;
                run.form.values = {{controlAdjustBoneSettings, 1}, {controlUseWeightMapOnly, 0},
                                   {controlWeightNormalization, 1}};
                run.hostile = host.item(b1).endsList || host.item(b2).reportedType.has_value();
                EXPECT_EQ(runChecked(session, command, run), std::vector<std::string>{});
                EXPECT_TRUE(host.rejectedLines().empty());
                if (host.item(b1).endsList && !selectBones && !oracle::isHierarchyKind(command.kind)) {
                    // The list said B1 was the last bone: only B1 is handled.
                    EXPECT_EQ(host.item(b2).weightMapNameSets + host.item(b3).weightMapNameSets, 0);
                    EXPECT_EQ(host.item(b2).flags, boneFlagWeightMapOnly);
                }
            }
}

}  // namespace

namespace {

// What the options form hands back: a post result other than 1 (confirmation
// is 1 alone), values below 0 or far above 1, a control whose value the host
// cannot give, a form the host cannot make. Each ends as the oracle says: not
// confirmed stops with no line and the options as they were; a confirmed form
// counts only values above 0 as checked.
TEST(FaultInjection, UnexpectedAnswersOfTheOptionsForm) {
    struct Case {
        const char *name;
        SimFormUser user;
        bool cannotBeMade;
    };
    const Case cases[] = {
        {"post returns 0", {0, 0, {}, {}}, false},
        {"post returns 2", {2, 0, {}, {}}, false},
        {"post returns -1", {-1, 1, {}, {}}, false},
        {"post returns INT32_MIN", {INT32_MIN, 0, {}, {}}, false},
        {"values -1, 2, INT32_MAX", {1, 0, {{0x8001, -1}, {0x8002, 2}, {0x8003, INT32_MAX}}, {}}, false},
        {"values INT32_MIN, 1, 0", {1, 0, {{0x8001, INT32_MIN}, {0x8002, 1}, {0x8003, 0}}, {}}, false},
        {"no value for two controls", {1, 0, {{0x8001, 1}, {0x8002, 1}, {0x8003, 1}}, {0x8001, 0x8003}}, false},
        {"the form cannot be made", {1, 0, {}, {}}, true},
    };
    for (const Case &row : cases)
        for (WeightMapFlags preset : {WeightMapFlags{0, 0, 0}, WeightMapFlags{1, 1, 1}}) {
            SCOPED_TRACE(testing::Message() << row.name << ", preset " << int(preset.adjustBoneSettings));
            oracle::Session session;
            ItemId object = session.host.addObject("O1");
            ItemId b1 = session.host.addBone(object, "B1", nullptr, boneFlagActive);
            session.host.addBone(object, "B2", b1, boneFlagActive | boneFlagWeightMapOnly);
            session.host.select({object});
            oracle::Expectation run;
            run.kind = commandWeightMap;
            run.form = row.user;
            run.formCannotBeMade = row.cannotBeMade;
            EXPECT_EQ(runChecked(session, oracle::commandsUnderTest[0], run, preset), std::vector<std::string>{});
        }
}

}  // namespace
