// Activate, deactivate and the weight-map names, checked line for line where
// the order is the behaviour and on the simulator's scene afterwards.
#include <gtest/gtest.h>

#include <set>

#include "commands/bone_actions.h"
#include "commands/weight_map_options.h"
#include "test_support.h"

namespace {

int activate(SimHost &host) {
    host.activate();
    return runBoneCommand(host.genericRecord(), host.lookup(), commandActivate);
}
int deactivate(SimHost &host) {
    host.activate();
    return runBoneCommand(host.genericRecord(), host.lookup(), commandDeactivate);
}
// The per-bone lines of the weight-map command with the options as they stand.
void assignWeightMaps(SimHost &host, WeightMapFlags options) {
    host.activate();
    WeightMapOptions = options;
    CommandContext context(host.lookup(), host.genericRecord());
    ASSERT_TRUE(context.validateSelection(commandWeightMap));
    context.snapshotSelection();
    context.applyToBones(commandWeightMap);
}

struct ObjectsScene {
    SimHost host;
    ItemId o1, o2, b1, b2;
};
// O1 with B1 (inactive) and B2 (active), O2 without bones; O1 and O2 selected, O1 first.
void objectWithOneInactiveBone(ObjectsScene &s) {
    s.o1 = s.host.addObject("O1");
    s.b1 = s.host.addBone(s.o1, "B1", nullptr, 0);
    s.b2 = s.host.addBone(s.o1, "B2", nullptr, boneFlagActive);
    s.o2 = s.host.addObject("O2");
    s.host.select({s.o1, s.o2});
}

struct BonesScene {
    SimHost host;
    ItemId o1, b1, b2;
};
// B1 (active, weight-map-only off, normalization off) and B2 (inactive,
// weight-map-only on, normalization off); B1 and B2 selected, B1 first.
void twoSelectedBones(BonesScene &s) {
    s.o1 = s.host.addObject("O1");
    s.b1 = s.host.addBone(s.o1, "B1", nullptr, boneFlagActive);
    s.b2 = s.host.addBone(s.o1, "B2", s.b1, boneFlagWeightMapOnly);
    s.host.select({s.b1, s.b2});
}

TEST(RunBoneCommand, RoadOfOneRequestActivatesTheInactiveBoneAndGivesTheSelectionBack) {
    ObjectsScene s;
    objectWithOneInactiveBone(s);
    EXPECT_EQ(activate(s.host), 0);
    EXPECT_EQ(s.host.namedLines(), (Lines{"SelectItem O1", "EditBones", "SelectItem B1", "BoneActive",
                                          "SelectItem B2", "EditObjects", "SelectItem O2", "EditObjects",
                                          "EditObjects", "AddToSelection O2", "AddToSelection O1"}));
    EXPECT_TRUE(s.host.rejectedLines().empty());
    EXPECT_TRUE(s.host.item(s.b1).flags & boneFlagActive);
    EXPECT_TRUE(s.host.item(s.b2).flags & boneFlagActive);
    EXPECT_EQ(s.host.selected(), (std::vector<ItemId>{s.o1, s.o2}));
    EXPECT_EQ(s.host.editMode, itemObject);
    EXPECT_EQ(currentContext, nullptr);
}

TEST(RunBoneCommand, DeactivateOnSelectedObjects) {
    ObjectsScene s;
    objectWithOneInactiveBone(s);
    EXPECT_EQ(deactivate(s.host), 0);
    EXPECT_EQ(s.host.namedLines(), (Lines{"SelectItem O1", "EditBones", "SelectItem B1", "SelectItem B2",
                                          "BoneActive", "EditObjects", "SelectItem O2", "EditObjects",
                                          "EditObjects", "AddToSelection O2", "AddToSelection O1"}));
    EXPECT_FALSE(s.host.item(s.b1).flags & boneFlagActive);
    EXPECT_FALSE(s.host.item(s.b2).flags & boneFlagActive);
    EXPECT_EQ(s.host.selected(), (std::vector<ItemId>{s.o1, s.o2}));
}

TEST(RunBoneCommand, DeactivateOnSelectedBonesSendsNoEditModeLineBeforeTheRestore) {
    BonesScene s;
    twoSelectedBones(s);
    EXPECT_EQ(deactivate(s.host), 0);
    EXPECT_EQ(s.host.namedLines(), (Lines{"SelectItem B1", "BoneActive", "SelectItem B2", "EditBones",
                                          "AddToSelection B2", "AddToSelection B1"}));
    EXPECT_FALSE(s.host.item(s.b1).flags & boneFlagActive);
    EXPECT_FALSE(s.host.item(s.b2).flags & boneFlagActive);
    EXPECT_EQ(s.host.selected(), (std::vector<ItemId>{s.b1, s.b2}));
    EXPECT_EQ(s.host.editMode, itemBone);
}

TEST(ApplyToBones, WeightMapNamesOnSelectedObjectsLineForLine) {
    ObjectsScene s;
    objectWithOneInactiveBone(s);
    s.host.item(s.b1).flags |= boneFlagWeightMapOnly;  // settings are left alone with adjust off
    assignWeightMaps(s.host, {0, 1, 1});
    EXPECT_EQ(s.host.namedLines(),
              (Lines{"SelectItem O1", "EditBones", "SelectItem B1", "BoneWeightMapName B1", "SelectItem B2",
                     "BoneWeightMapName B2", "EditObjects", "SelectItem O2", "EditObjects", "EditObjects",
                     "AddToSelection O2", "AddToSelection O1"}));
    EXPECT_EQ(s.host.item(s.b1).weightMapName, "B1");
    EXPECT_EQ(s.host.item(s.b2).weightMapName, "B2");
    EXPECT_EQ(s.host.item(s.b1).flags, boneFlagWeightMapOnly);
    EXPECT_EQ(s.host.selected(), (std::vector<ItemId>{s.o1, s.o2}));
}

TEST(ApplyToBones, WeightMapNamesWithEverySettingOnSelectedBonesLineForLine) {
    BonesScene s;
    twoSelectedBones(s);
    assignWeightMaps(s.host, {1, 1, 1});
    EXPECT_EQ(s.host.namedLines(),
              (Lines{"SelectItem B1", "BoneWeightMapName B1", "BoneWeightMapOnly", "BoneNormalization",
                     "SelectItem B2", "BoneWeightMapName B2", "EditBones", "AddToSelection B2",
                     "AddToSelection B1"}));
    EXPECT_EQ(s.host.item(s.b1).flags, boneFlagActive | boneFlagWeightMapOnly | boneFlagNormalization);
    EXPECT_EQ(s.host.item(s.b2).flags, boneFlagWeightMapOnly);  // its normalization stays off
    EXPECT_EQ(s.host.selected(), (std::vector<ItemId>{s.b1, s.b2}));
}

// How the two settings are brought in line, for one bone: the normalization is
// only ever changed together with weight-map-only.
TEST(ApplyToBone, SettingsRules) {
    struct Case {
        const char *name;
        WeightMapFlags options;
        unsigned before;
        Lines settingLines;
        unsigned after;
    };
    const unsigned only = boneFlagWeightMapOnly, norm = boneFlagNormalization;
    const Case cases[] = {
        {"adjust off leaves both", {0, 1, 1}, 0, {}, 0},
        {"only already right keeps a wrong normalization", {1, 1, 1}, only, {}, only},
        {"only on and normalization on", {1, 1, 1}, 0, {"BoneWeightMapOnly", "BoneNormalization"}, only | norm},
        {"only on, normalization already right", {1, 1, 0}, 0, {"BoneWeightMapOnly"}, only},
        {"only off also brings normalization in line", {1, 0, 0}, only | norm,
         {"BoneWeightMapOnly", "BoneNormalization"}, 0},
        {"only off, normalization wanted on", {1, 0, 1}, only, {"BoneWeightMapOnly", "BoneNormalization"}, norm},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.name);
        SimHost host;
        ItemId object = host.addObject("O");
        ItemId bone = host.addBone(object, "Arm", nullptr, row.before);
        host.select({bone});
        assignWeightMaps(host, row.options);
        Lines expected = {"SelectItem Arm", "BoneWeightMapName Arm"};
        expected.insert(expected.end(), row.settingLines.begin(), row.settingLines.end());
        expected.insert(expected.end(), {"EditBones", "AddToSelection Arm"});
        EXPECT_EQ(host.namedLines(), expected);
        EXPECT_EQ(host.item(bone).flags, row.after);
        EXPECT_EQ(host.item(bone).weightMapName, "Arm");
    }
}

// Layout's panel switches normalization on with weight-map-only. Where the
// command does so too, the normalization must still end as asked.
TEST(ApplyToBone, NormalizationEndsAsAskedWhenTheHostSwitchesItOnWithWeightMapOnly) {
    for (bool sideEffect : {false, true})
        for (std::uint8_t wanted : {std::uint8_t{0}, std::uint8_t{1}}) {
            SCOPED_TRACE(testing::Message() << "side effect " << sideEffect << ", wanted " << int(wanted));
            SimHost host;
            host.weightMapOnlyTurnsOnNormalization = sideEffect;
            ItemId object = host.addObject("O");
            ItemId bone = host.addBone(object, "Arm", nullptr, 0);
            host.select({bone});
            assignWeightMaps(host, {1, 1, wanted});
            EXPECT_EQ(host.item(bone).flags, boneFlagWeightMapOnly | (wanted != 0 ? boneFlagNormalization : 0u));
        }
}

TEST(ApplyToBone, NamesAreSentWholeAndAsTheyAre) {
    const std::string longName(300, 'x');
    const std::string names[] = {"%s%x%n%%", "Arm \"left\" 2", longName,
                                 std::string(81, 'a'), std::string(82, 'b')};
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        SimHost host;
        ItemId object = host.addObject("O");
        ItemId bone = host.addBone(object, name);
        host.select({bone});
        assignWeightMaps(host, {0, 0, 0});
        EXPECT_EQ(host.lines().at(1), "BoneWeightMapName " + name);
        EXPECT_EQ(host.item(bone).weightMapName, name);
    }
}

TEST(ApplyToBone, ABoneWithoutANameKeepsItsMapButGetsItsOtherLines) {
    SimHost host;
    ItemId object = host.addObject("O");
    ItemId nameless = host.addBone(object, "Nameless", nullptr, 0);
    ItemId named = host.addBone(object, "Named", nullptr, 0);
    host.item(nameless).nameMissing = true;
    host.item(nameless).weightMapName = "kept";
    host.select({nameless, named});
    assignWeightMaps(host, {1, 1, 0});
    EXPECT_EQ(host.namedLines(), (Lines{"SelectItem Nameless", "BoneWeightMapOnly", "SelectItem Named",
                                        "BoneWeightMapName Named", "BoneWeightMapOnly", "EditBones",
                                        "AddToSelection Named", "AddToSelection Nameless"}));
    EXPECT_EQ(host.item(nameless).weightMapName, "kept");
    EXPECT_EQ(host.item(nameless).flags, boneFlagWeightMapOnly);
}

// Found by the command fuzzer (corpus entry hand-empty-bone-name): an empty
// name went out as "BoneWeightMapName " without a map name, which Layout
// answers by asking the user for one.
TEST(ApplyToBone, ABoneWithAnEmptyNameKeepsItsMapButGetsItsOtherLines) {
    SimHost host;
    ItemId object = host.addObject("O1");
    ItemId nameless = host.addBone(object, "", nullptr, 0);
    ItemId named = host.addBone(object, "Named", nullptr, 0);
    host.item(nameless).weightMapName = "kept";
    host.select({nameless, named});
    assignWeightMaps(host, {1, 1, 0});
    EXPECT_EQ(host.namedLines(), (Lines{"SelectItem ", "BoneWeightMapOnly", "SelectItem Named",
                                        "BoneWeightMapName Named", "BoneWeightMapOnly", "EditBones",
                                        "AddToSelection Named", "AddToSelection "}));
    EXPECT_TRUE(host.rejectedLines().empty());
    EXPECT_EQ(host.item(nameless).weightMapName, "kept");
    EXPECT_EQ(host.item(nameless).flags, boneFlagWeightMapOnly);
}

// Found by the command fuzzer (corpus entries hand-mixed-*): the first selected
// item sets the mode, and an entry of another type further down got that mode's
// lines: "BoneActive" and "BoneWeightMapName" with an object or a light
// selected, or a bone selected in object mode, after which Layout's switch back
// to objects picked the bone's object and the restore left it selected. Such
// entries are passed over; the restore still gives every entry back.
TEST(ApplyToBones, EntriesOfAnotherTypeThanTheFirstArePassedOver) {
    struct Case {
        const char *name;
        CommandKind kind;
        bool bonesFirst;
        Lines lines;
    };
    const Case cases[] = {
        {"activate, bone first", commandActivate, true,
         {"SelectItem B1", "BoneActive", "EditBones", "AddToSelection L1", "AddToSelection O1", "AddToSelection B1"}},
        {"weight map, bone first", commandWeightMap, true,
         {"SelectItem B1", "BoneWeightMapName B1", "EditBones", "AddToSelection L1", "AddToSelection O1",
          "AddToSelection B1"}},
        {"activate, object first", commandActivate, false,
         {"SelectItem O1", "EditBones", "SelectItem B1", "BoneActive", "EditObjects", "EditObjects",
          "AddToSelection B2", "AddToSelection L1", "AddToSelection O1"}},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.name);
        SimHost host;
        ItemId o1 = host.addObject("O1");
        ItemId b1 = host.addBone(o1, "B1", nullptr, 0);
        ItemId o2 = host.addObject("O2");
        ItemId b2 = host.addBone(o2, "B2", nullptr, 0);
        ItemId light = host.addLight("L1");
        std::vector<ItemId> selection = row.bonesFirst ? std::vector<ItemId>{b1, o1, light}
                                                       : std::vector<ItemId>{o1, light, b2};
        host.select(selection);
        if (row.kind == commandWeightMap)
            assignWeightMaps(host, {0, 0, 0});
        else
            activate(host);
        EXPECT_EQ(host.namedLines(), row.lines);
        EXPECT_TRUE(host.rejectedLines().empty());
        EXPECT_EQ(host.item(b2).flags, 0u);  // never in scope
        EXPECT_EQ(host.item(b2).weightMapNameSets, 0);
        std::vector<ItemId> after = host.selected();
        EXPECT_EQ(std::set<ItemId>(after.begin(), after.end()), std::set<ItemId>(selection.begin(), selection.end()));
        EXPECT_EQ(after.size(), selection.size());
    }
}

// Every bone in scope ends as asked, every other bone as it was, whatever the
// mix of states; several objects, bones in chains and objects without bones.
TEST(RunBoneCommand, SceneAfterActivateAndDeactivate) {
    for (CommandKind kind : {commandActivate, commandDeactivate}) {
        SCOPED_TRACE(kind);
        SimHost host;
        std::vector<ItemId> objects, inScope, outOfScope;
        for (int o = 0; o < 4; ++o) {
            ItemId object = host.addObject("Object" + std::to_string(o));
            objects.push_back(object);
            ItemId parent = nullptr;
            for (int b = 0; b < o * 2; ++b) {
                parent = host.addBone(object, "Bone" + std::to_string(o) + "_" + std::to_string(b), parent,
                                      b % 3 == 0 ? 0u : boneFlagActive | boneFlagNormalization);
                (o % 2 == 0 ? inScope : outOfScope).push_back(parent);
            }
        }
        std::vector<unsigned> flagsBefore;
        for (ItemId bone : outOfScope)
            flagsBefore.push_back(host.item(bone).flags);
        host.select({objects[2], objects[0]});
        kind == commandActivate ? activate(host) : deactivate(host);
        for (ItemId bone : inScope) {
            EXPECT_EQ((host.item(bone).flags & boneFlagActive) != 0, kind == commandActivate)
                << host.item(bone).name;
        }
        for (std::size_t i = 0; i < outOfScope.size(); ++i)
            EXPECT_EQ(host.item(outOfScope[i]).flags, flagsBefore[i]);
        EXPECT_EQ(host.selected(), (std::vector<ItemId>{objects[2], objects[0]}));
        EXPECT_TRUE(host.rejectedLines().empty());
    }
}

// Every allocation of the commands fails in turn, once and from then on: the
// commands end with 0, free everything and never send a line for an item they
// lost track of.
TEST(RunBoneCommand, SurvivesEveryAllocationFailing) {
    for (CommandKind kind : {commandActivate, commandDeactivate, commandWeightMap})
        for (bool persistent : {false, true})
            for (int failAt = 1;; ++failAt) {
                SCOPED_TRACE(testing::Message() << "kind " << kind << ", fail at " << failAt
                                                << (persistent ? " and after" : ""));
                SimHost host;
                ItemId object = host.addObject("O");
                std::vector<ItemId> bones;
                for (int b = 0; b < 25; ++b)
                    bones.push_back(host.addBone(object, std::string(b == 3 ? 120 : 4, 'n') + std::to_string(b),
                                                 nullptr, 0));
                host.select(bones);
                WeightMapOptions = {1, 1, 1};
                moduleAllocFailAt(failAt, persistent);
                int rc = kind == commandWeightMap
                             ? (assignWeightMaps(host, WeightMapOptions), 0)
                             : runBoneCommand(host.genericRecord(), host.lookup(), kind);
                int injected = moduleAllocDisarm();
                EXPECT_EQ(rc, 0);
                EXPECT_EQ(moduleAllocLiveBlocks(), 0);
                EXPECT_EQ(currentContext, nullptr);
                EXPECT_TRUE(host.rejectedLines().empty());
                EXPECT_EQ(host.invalidItemQueries, 0);
                if (injected == 0)
                    break;
            }
    WeightMapOptions = {0, 0, 0};
}

}  // namespace
