// The scene-file reader and writer: the real scene files of tests/scenes
// read as what they hold and written back byte for byte; hand-written scenes
// for what those files lack (bones with weight maps, items below bones and
// lights, poses between keys); bad input refused with a message that says
// what and where.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <unistd.h>

#include "sim/lws_scene.h"
#include "scene_files.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// What each real file holds, counted by reading it (the scenes folder's
// README gives the same counts).
struct SceneFacts {
    const char *file;
    int version, objects, bones, lights, cameras, parented;
};
const SceneFacts sceneFacts[] = {
    {"lightwave3D-MCP/WeightTest_rig.lws", 8, 1, 2, 1, 1, 2},
    {"assimp/move_x.lws", 5, 1, 0, 1, 1, 0},
    {"assimp/move_x_oldformat_6.lws", 3, 1, 0, 1, 1, 0},
    {"assimp/move_x_oldformat_56.lws", 2, 1, 0, 1, 1, 0},
    {"assimp/QuickDraw v.2.2.lws", 3, 20, 0, 1, 1, 19},
    {"blender-import-lwo/colors0.lws", 5, 1, 0, 1, 1, 0},
    {"java3d-examples/ballcone.lws", 1, 2, 0, 1, 1, 0},
};

LwsScene load(const std::string &relative) {
    LwsScene scene;
    std::string error;
    EXPECT_TRUE(loadLwsFile(scenesDir() + "/" + relative, scene, error)) << error;
    return scene;
}

LwsScene read(const std::string &text) {
    LwsScene scene;
    std::string error;
    EXPECT_TRUE(readLwsScene(text, scene, error)) << error;
    return scene;
}

std::string parentName(const LwsScene &scene, const LwsItem &item) {
    return item.parent >= 0 ? scene.pathOf(item.parent) : "-";
}

std::string noChangeWrite(const LwsScene &scene) {
    SimHost host;
    std::vector<ItemId> ids;
    fillHost(scene, host, ids);
    std::string out, error;
    EXPECT_TRUE(patchLwsScene(scene, host, ids, out, error)) << error;
    return out;
}

std::string withCrlf(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

TEST(LwsScene, EveryBundledFileIsInTheTableAndEveryRowIsThere) {
    REQUIRE_SCENES();
    std::set<std::string> listed;
    for (const SceneFacts &facts : sceneFacts) {
        listed.insert(facts.file);
        EXPECT_TRUE(fs::exists(scenesDir() + "/" + facts.file)) << facts.file;
    }
    for (const auto &entry : fs::recursive_directory_iterator(scenesDir())) {
        if (entry.path().extension() == ".lws") {
            EXPECT_EQ(listed.count(fs::relative(entry.path(), scenesDir()).string()), 1u) << entry.path();
        }
    }
}

TEST(LwsScene, EveryBundledFileReadsAsWhatItHolds) {
    REQUIRE_SCENES();
    for (const SceneFacts &facts : sceneFacts) {
        SCOPED_TRACE(facts.file);
        LwsScene scene = load(facts.file);
        EXPECT_EQ(scene.version, facts.version);
        EXPECT_EQ(scene.count(itemObject), facts.objects);
        EXPECT_EQ(scene.count(itemBone), facts.bones);
        EXPECT_EQ(scene.count(itemLight), facts.lights);
        EXPECT_EQ(scene.count(itemCamera), facts.cameras);
        int parented = 0;
        for (const LwsItem &item : scene.items)
            parented += item.parentLine >= 0 ? 1 : 0;
        EXPECT_EQ(parented, facts.parented);

        // The simulator holds the same items, parents and bones per object.
        SimHost host;
        std::vector<ItemId> ids;
        fillHost(scene, host, ids);
        ASSERT_EQ(host.items.size(), scene.items.size());
        EXPECT_EQ(host.itemsOfType[itemObject].size(), static_cast<std::size_t>(facts.objects));
        EXPECT_EQ(host.allBones().size(), static_cast<std::size_t>(facts.bones));
        for (std::size_t i = 0; i < scene.items.size(); ++i) {
            const LwsItem &item = scene.items[i];
            const SimItem &simItem = host.item(ids[i]);
            EXPECT_EQ(simItem.name, item.name);
            EXPECT_EQ(simItem.type, item.type);
            EXPECT_EQ(simItem.parent, item.parent >= 0 ? host.indexOf(ids[static_cast<std::size_t>(item.parent)]) : -1);
            if (item.type == itemBone) {
                EXPECT_EQ(simItem.object, host.indexOf(ids[static_cast<std::size_t>(item.object)]));
            }
        }
        // Layout opens a scene with its current object selected.
        if (facts.objects > 0) {
            EXPECT_EQ(host.selected(), std::vector<ItemId>{ids[0]});
        }
    }
}

TEST(LwsScene, NamesAndParentsOfTheRigAndTheForwardReference) {
    REQUIRE_SCENES();
    LwsScene rig = load("lightwave3D-MCP/WeightTest_rig.lws");
    std::vector<std::string> items;
    for (std::size_t i = 0; i < rig.items.size(); ++i)
        items.push_back(rig.pathOf(static_cast<int>(i)) + " < " + parentName(rig, rig.items[i]));
    EXPECT_EQ(items, (Lines{"WeightTest < -", "WeightTest/WT_Lower < WeightTest", "WeightTest/WT_Upper < WeightTest/WT_Lower",
                            "Light < -", "Camera < -"}));
    const LwsItem &lower = rig.items[1];
    EXPECT_EQ(lower.number, 0x40000000u);
    EXPECT_EQ(rig.items[2].number, 0x40010000u);
    EXPECT_TRUE(lower.active);
    EXPECT_EQ(lower.weightMapName, "");
    EXPECT_EQ(lower.restDirection, (SimVector{0, -90, 0}));
    EXPECT_EQ(rig.items[2].restPosition, (SimVector{0, 0, 0.5}));
    // The pitch key holds -pi/2 in single precision; the host gets degrees.
    SimHost host;
    std::vector<ItemId> ids;
    fillHost(rig, host, ids);
    EXPECT_NEAR(host.item(ids[1]).rotation.y, -90.0, 1e-5);
    EXPECT_TRUE(poseIsExact(rig, lower, true, true, nullptr));
    EXPECT_EQ(host.bonesOf(ids[0]), (std::vector<ItemId>{ids[1], ids[2]}));
    EXPECT_EQ(host.item(ids[1]).children, std::vector<int>{host.indexOf(ids[2])});

    LwsScene quickDraw = load("assimp/QuickDraw v.2.2.lws");
    const LwsItem &chassis = quickDraw.items[0];
    EXPECT_EQ(chassis.name, "QuickDraw--Chasis");
    EXPECT_EQ(parentName(quickDraw, chassis), "Quick Draw == HANDLE == MASTER");  // declared 14 items later
    EXPECT_EQ(quickDraw.items[13].name, "Quick Draw -- magnet -- Arm");
    EXPECT_EQ(parentName(quickDraw, quickDraw.items[13]), "QuickDraw--Arm-Tip");
    EXPECT_EQ(parentName(quickDraw, quickDraw.items[14]), "-");
}

TEST(LwsScene, OldVersionsGiveTheImplicitCameraAndThePoseOfTheirOwnLayouts) {
    REQUIRE_SCENES();
    LwsScene one = load("java3d-examples/ballcone.lws");
    EXPECT_EQ(one.items.back().type, itemCamera);
    EXPECT_EQ(one.items.back().name, "Camera");
    EXPECT_EQ(one.items[2].name, "Light");
    // Version 1: one key of nine values, degrees as written.
    SimHost host;
    std::vector<ItemId> ids;
    fillHost(one, host, ids);
    EXPECT_EQ(host.item(ids[2]).position, (SimVector{-163.7345, 2, 44.50352}));
    EXPECT_EQ(host.item(ids[2]).rotation, (SimVector{45, 35, 0}));
    EXPECT_FALSE(poseIsExact(one, one.items[1], true, false, nullptr));  // three keys, none at frame 1

    // Versions 1-2 name a parent object by its number, counted from 1 (assumed; 0 is none).
    LwsScene parented = read("LWSC\n1\n\nLoadObject a.lwo\nLoadObject b.lwo\nParentObject 1\n"
                             "LoadObject c.lwo\nParentObject 0\n");
    EXPECT_EQ(parentName(parented, parented.items[1]), "a");
    EXPECT_EQ(parentName(parented, parented.items[2]), "-");

    // Version 2: channel by channel.
    LwsScene two = load("assimp/move_x_oldformat_56.lws");
    SimHost host2;
    fillHost(two, host2, ids);
    EXPECT_EQ(host2.item(ids[1]).rotation, (SimVector{45, 35, 0}));
    EXPECT_EQ(host2.item(ids[2]).position, (SimVector{-0.1, 0.95, -6.384}));

    // Version 5: a key at the current frame 40 of three (0, 20, 40).
    LwsScene five = load("assimp/move_x.lws");
    LwsPoseValue x = five.poseValue(five.items[0], 0);
    EXPECT_TRUE(x.exact) << x.why;
    EXPECT_EQ(x.value, -2.3748657703399658);
}

TEST(LwsScene, WritingWithoutAChangeGivesTheFileBackByteForByte) {
    REQUIRE_SCENES();
    for (const SceneFacts &facts : sceneFacts) {
        SCOPED_TRACE(facts.file);
        std::string original = readFile(scenesDir() + "/" + facts.file);
        ASSERT_FALSE(original.empty());
        EXPECT_EQ(noChangeWrite(read(original)), original);
        // The same with Windows line ends, and with the last line end cut off.
        std::string crlf = withCrlf(original);
        LwsScene scene = read(crlf);
        EXPECT_EQ(scene.dominantEnd, "\r\n");
        EXPECT_EQ(scene.items.size(), read(original).items.size());
        EXPECT_EQ(noChangeWrite(scene), crlf);
        std::string cut = original.substr(0, original.size() - 1);
        EXPECT_EQ(noChangeWrite(read(cut)), cut);
    }
}

// ---- a hand-written rig ----
//
// Hand-written (no real file has these): object Rig with three bones, Root
// (no BoneActive and no weight-map lines), Arm (inactive, with a map, its
// parent Hand declared after it) and Hand (rotation keyed at frames 0 and 30,
// so its pose at the current frame 10 is between keys); a null below Hand; a
// lantern below the light; plug-in data and a block holding declaration
// lines that must create nothing.

struct Key {
    double value, time;
};
using Channels = std::vector<std::vector<Key>>;

std::string motion(const char *keyword, const Channels &channels) {
    std::string text = std::string(keyword) + "\nNumChannels 9\n";
    for (std::size_t c = 0; c < 9; ++c) {
        std::vector<Key> keys = c < channels.size() ? channels[c] : std::vector<Key>{{c >= 6 ? 1.0 : 0.0, 0}};
        text += "Channel " + std::to_string(c) + "\n{ Envelope\n  " + std::to_string(keys.size()) + "\n";
        for (const Key &key : keys) {
            std::ostringstream line;
            line.precision(17);
            line << "  Key " << key.value << " " << key.time << " 0 0 0 0 0 0 0\n";
            text += line.str();
        }
        text += "  Behaviors 1 1\n}\n";
    }
    return text;
}

std::string handWrittenRig() {
    return "LWSC\n3\n\nFirstFrame 0\nLastFrame 60\nCurrentFrame 10\nFramesPerSecond 30\n"
           "Plugin MasterHandler 1 Fake\nAddBone\nLoadObjectLayer 1 Fake.lwo\nEndPlugin\n\n"
           "LoadObjectLayer 1 Objects/Rig.lwo\nShowObject 6 7\n" +
           motion("ObjectMotion", {}) +
           "BoneFalloffType 5\n"
           "AddBone\nBoneName Root\nShowBone 1 1\nBoneRestPosition 0 0 0\nBoneRestDirection 0 0 0\n"
           "BoneRestLength 0.5\nBoneStrength 1\n" +
           motion("BoneMotion", {{{0.25, 0}}, {{0, 0}}, {{0, 0}}, {{0.5, 0}}}) +
           "PivotPosition 0 0 0\nPivotRotation 0 0 0\nParentItem 10000000\n"
           "AddBone\nBoneName Arm\nShowBone 1 2\nBoneActive 0\nBoneRestPosition 0 0 0.5\nBoneRestDirection 0 0 0\n"
           "BoneRestLength 0.25\nBoneWeightMapName arm_old\nBoneWeightMapOnly 1\nBoneNormalization 0\n"
           "BoneStrength 1\n" +
           motion("BoneMotion", {{{0, 0}}, {{0, 0}}, {{0.5, 0}}, {{0, 0}}, {{0.1, 0}, {0.2, 10.0 / 30}}}) +
           "PivotRotation 0 0 0\nParentItem 40020000\n"
           "AddBone\nBoneName Hand\nShowBone 1 3\nBoneActive 1\nBoneRestPosition 0 0 0.25\n"
           "BoneRestDirection 0 0 0\nBoneRestLength 0.1\nBoneStrength 1\n" +
           motion("BoneMotion", {{{0, 0}}, {{0, 0}}, {{0.25, 0}}, {{0, 0}}, {{0, 0}}, {{0, 0}, {1, 1}}}) +
           "PivotRotation 0 0 0\nParentItem 40000000\n"
           "Plugin MeshDeformerHandler 1 _Morphing\n{ Morphing\n  MorphTarget 0\n  AddBone\n}\nEndPlugin\n\n"
           "AddNullObject Prop\nParentItem 40020000\n\n"
           "LoadObjectLayer 2 Objects/Lantern.lwo\nParentItem 20000000\n"
           "BufferList\n{ BufferList\n  AddNullObject Fake\n  { Inner\n    LoadObject x.lwo\n  }\n}\nEndAttribute\n\n"
           "AddLight\nLightName Key\nShowLight 1 6\n\n"
           "AddCamera\nCameraName Cam\n// a comment line\n\nCurrentObject 0\n";
}

struct RigScene {
    LwsScene scene;
    SimHost host;
    std::vector<ItemId> ids;
    ItemId root, arm, hand;
};

void loadRig(RigScene &rig, const std::string &text) {
    std::string error;
    ASSERT_TRUE(readLwsScene(text, rig.scene, error)) << error;
    fillHost(rig.scene, rig.host, rig.ids);
    rig.root = rig.ids[1];
    rig.arm = rig.ids[2];
    rig.hand = rig.ids[3];
}

void run(SimHost &host, ItemId bone, const Lines &lines) {
    host.evaluate(("SelectItem " + simHex(bone)).c_str());
    for (const std::string &line : lines)
        host.evaluate(line.c_str());
    ASSERT_EQ(host.rejectedLines(), Lines{});
}

Lines splitLines(const std::string &text) {
    Lines lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// The line index of text within the lines from the one holding after.
std::size_t lineOf(const Lines &lines, const std::string &text, const std::string &after = "") {
    std::size_t start = 0;
    if (!after.empty())
        while (start < lines.size() && lines[start] != after)
            ++start;
    for (std::size_t i = start; i < lines.size(); ++i)
        if (lines[i] == text)
            return i;
    ADD_FAILURE() << "no line '" << text << "' after '" << after << "'";
    return 0;
}

TEST(LwsScene, TheHandWrittenRigReadsItsHierarchyAndSettings) {
    RigScene rig;
    loadRig(rig, handWrittenRig());
    std::vector<std::string> items;
    for (std::size_t i = 0; i < rig.scene.items.size(); ++i)
        items.push_back(rig.scene.pathOf(static_cast<int>(i)) + " < " + parentName(rig.scene, rig.scene.items[i]));
    EXPECT_EQ(items, (Lines{"Rig < -", "Rig/Root < Rig", "Rig/Arm < Rig/Hand", "Rig/Hand < Rig/Root", "Prop < Rig/Hand",
                            "Lantern < Key", "Key < -", "Cam < -"}));
    EXPECT_EQ(rig.scene.items[3].number, 0x40020000u);
    const SimItem &root = rig.host.item(rig.root), &arm = rig.host.item(rig.arm);
    EXPECT_EQ(root.flags, boneFlagActive);  // no BoneActive line: read as active, and said so
    EXPECT_EQ(rig.scene.notes, Lines{"bone 'Rig/Root' has no BoneActive line: read as active"});
    EXPECT_EQ(arm.flags, boneFlagWeightMapOnly);
    EXPECT_EQ(arm.weightMapName, "arm_old");
    EXPECT_EQ(arm.position, (SimVector{0, 0, 0.5}));
    EXPECT_NEAR(arm.rotation.y, 0.2 * 180 / 3.14159265358979323846, 1e-12);  // the key at frame 10
    EXPECT_NEAR(root.rotation.x, 0.5 * 180 / 3.14159265358979323846, 1e-12);
    std::string why;
    EXPECT_FALSE(poseIsExact(rig.scene, rig.scene.items[3], true, true, &why));
    EXPECT_NE(why.find("bank channel has 2 keys and none at the current frame 10"), std::string::npos) << why;
    // Children in file order: Hand holds Arm, then Prop.
    EXPECT_EQ(rig.host.item(rig.hand).children,
              (std::vector<int>{rig.host.indexOf(rig.arm), rig.host.indexOf(rig.ids[4])}));
}

TEST(LwsScene, WrittenChangesTouchOnlyTheirValuesAndAddMissingLinesWhereLightWaveWritesThem) {
    for (bool crlf : {false, true}) {
        SCOPED_TRACE(crlf ? "CRLF" : "LF");
        std::string text = handWrittenRig();
        RigScene rig;
        loadRig(rig, crlf ? withCrlf(text) : text);
        run(rig.host, rig.root, {"BoneActive", "BoneWeightMapName Root", "RecordPivotRotation"});
        run(rig.host, rig.arm, {"BoneActive", "BoneWeightMapName Arm", "BoneWeightMapOnly", "BoneNormalization",
                                "RecordRestPosition"});
        std::string out, error;
        int changed = 0, added = 0;
        ASSERT_TRUE(patchLwsScene(rig.scene, rig.host, rig.ids, out, error, &changed, &added)) << error;

        Lines expected = splitLines(text);
        // Root: BoneActive after ShowBone, the map lines after BoneRestLength,
        // the pivot takes the heading and the heading key goes to 0.
        expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(lineOf(expected, "ShowBone 1 1")) + 1,
                        "BoneActive 0");
        std::size_t length = lineOf(expected, "BoneRestLength 0.5");
        expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(length) + 1,
                        {"BoneWeightMapName Root", "BoneWeightMapOnly 0", "BoneNormalization 0"});
        expected[lineOf(expected, "  Key 0.5 0 0 0 0 0 0 0 0", "BoneName Root")] = "  Key 0 0 0 0 0 0 0 0 0";
        expected[lineOf(expected, "PivotRotation 0 0 0", "BoneName Root")] = "PivotRotation 28.64789 0 0";
        // Arm: values in place; rest direction from the key at frame 10.
        expected[lineOf(expected, "BoneActive 0", "BoneName Arm")] = "BoneActive 1";
        expected[lineOf(expected, "BoneWeightMapName arm_old")] = "BoneWeightMapName Arm";
        expected[lineOf(expected, "BoneWeightMapOnly 1", "BoneName Arm")] = "BoneWeightMapOnly 0";
        expected[lineOf(expected, "BoneNormalization 0", "BoneName Arm")] = "BoneNormalization 1";
        expected[lineOf(expected, "BoneRestDirection 0 0 0", "BoneName Arm")] = "BoneRestDirection 0 11.459156 0";
        std::string joined;
        for (const std::string &line : expected)
            joined += line + (crlf ? "\r\n" : "\n");
        EXPECT_EQ(out, joined);
        EXPECT_EQ(changed, 7);
        EXPECT_EQ(added, 4);

        // What was written reads back as the host's state.
        RigScene again;
        loadRig(again, out);
        EXPECT_EQ(again.host.item(again.root).flags, 0u);
        EXPECT_EQ(again.host.item(again.root).weightMapName, "Root");
        EXPECT_EQ(again.host.item(again.arm).flags, boneFlagActive | boneFlagNormalization);
        EXPECT_EQ(again.host.item(again.root).rotation, (SimVector{0, 0, 0}));
        EXPECT_NEAR(again.host.item(again.arm).restRotation.y, rig.host.item(rig.arm).restRotation.y, 1e-5);
    }
}

TEST(LwsScene, ALastLineWithoutItsLineEndStillTakesAnAddedLine) {
    std::string text = "LWSC\n3\n\nLoadObjectLayer 1 A.lwo\nAddBone\nBoneName B\nShowBone 1 1";
    RigScene rig;
    std::string error;
    ASSERT_TRUE(readLwsScene(text, rig.scene, error)) << error;
    fillHost(rig.scene, rig.host, rig.ids);
    run(rig.host, rig.ids[1], {"BoneActive"});
    std::string out;
    ASSERT_TRUE(patchLwsScene(rig.scene, rig.host, rig.ids, out, error)) << error;
    EXPECT_EQ(out, text + "\nBoneActive 0");
}

// A rest or pivot record needs the pose at the current frame; between keys
// the file does not give it, and a guess written into the scene would be a
// silent corruption.
TEST(LwsScene, ARecordOnABoneWhosePoseIsBetweenKeysIsRefusedWithItsName) {
    for (const char *command : {"RecordRestPosition", "RecordPivotRotation"}) {
        SCOPED_TRACE(command);
        RigScene rig;
        loadRig(rig, handWrittenRig());
        run(rig.host, rig.arm, {"BoneActive"});
        run(rig.host, rig.hand, {command});
        std::string out = "untouched", error;
        EXPECT_FALSE(patchLwsScene(rig.scene, rig.host, rig.ids, out, error));
        EXPECT_EQ(out, "untouched");
        EXPECT_NE(error.find("bone 'Rig/Hand' cannot be written: its bank channel has 2 keys"), std::string::npos)
            << error;
        EXPECT_EQ(error.find("Arm"), std::string::npos) << error;
    }
}

TEST(WriteFileAtomically, ReplacesTheTargetWholeAndLeavesNoTemporaryFile) {
    fs::path dir = fs::temp_directory_path() / ("lws_scene_test_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string target = (dir / "scene.lws").string();
    std::string error;
    ASSERT_TRUE(writeFileAtomically(target, "old", error)) << error;
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(writeFileAtomically(target, "new\r\n", error)) << error;
    EXPECT_EQ(readFile(target), "new\r\n");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    EXPECT_FALSE(writeFileAtomically((dir / "no" / "such" / "x.lws").string(), "x", error));
    EXPECT_NE(error.find("cannot create a temporary file"), std::string::npos) << error;
    fs::remove_all(dir);
}

// ---- bad input ----

struct BadScene {
    const char *name;
    std::string text;
    const char *message;
};

std::string rigWithout(const std::string &cut) {
    std::string text = handWrittenRig();
    return text.substr(0, text.find(cut));
}
std::string rigReplacing(const std::string &from, const std::string &to) {
    std::string text = handWrittenRig();
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(LwsScene, BadInputIsRefusedWithWhatAndWhere) {
    const BadScene cases[] = {
        {"empty file", "", "not a LightWave scene: the first line is not \"LWSC\""},
        {"another format", "\x89PNG\r\n\x1a\n", "not a LightWave scene: the first line is not \"LWSC\""},
        {"no version", "LWSC\n\nFirstFrame 1\n", "not a LightWave scene: line 2 should hold the format version"},
        {"version 0", "LWSC\n0\n", "unsupported scene version 0: this reader knows LWSC versions 1, 2, 3, 4, 5 and 8"},
        {"version 6", "LWSC\n6\n", "unsupported scene version 6"},
        {"version 7", "LWSC\n7\n", "unsupported scene version 7"},
        {"version 9", "LWSC\n9\n", "unsupported scene version 9"},
        {"cut inside an envelope", rigWithout("  Behaviors 1 1\n}\nChannel 4"),
         "the file ends inside this block (no closing '}'): truncated scene"},
        {"cut inside plug-in data", rigWithout("EndPlugin\n\nAddNullObject Prop"),
         "the file ends inside this plug-in's data (no EndPlugin): truncated scene"},
        {"cut inside old motion data", "LWSC\n1\n\nLoadObject a.lwo\nObjectMotion (unnamed)\n  9\n  2\n  0 0 0 0 0 0 1 1 1\n",
         "line 5: the motion data that starts here ends with the file"},
        {"a stray closing brace", rigReplacing("BoneFalloffType 5\n", "}\n"),
         "'}' closes a block that was never opened"},
        {"a bone before any object", "LWSC\n3\n\nAddBone\nBoneName Lost\n",
         "line 4: AddBone comes before any object"},
        {"a bone naming an object that is not there", "LWSC\n5\n\nLoadObjectLayer 1 10000000 a.lwo\nAddBone 40000003\n",
         "line 5: bone 40000003 names object 10000003, which is not in the scene"},
        {"a parent that is not there", rigReplacing("ParentItem 40020000\nAddBone", "ParentItem 40070000\nAddBone"),
         "ParentItem of bone 'Arm' names 40070000, which is not in the scene"},
        {"parents in a loop", rigReplacing("ParentItem 40000000\n", "ParentItem 40010000\n"), "form a loop"},
        {"a number used twice", "LWSC\n5\n\nLoadObjectLayer 1 10000000 a.lwo\nAddNullObject 10000000 b\n",
         "line 5: item number 10000000 is already used by 'a' on line 4"},
        {"a number of the wrong type", "LWSC\n5\n\nLoadObjectLayer 1 10000000 a.lwo\nAddLight 40000000\n",
         "line 5: item number 40000000 is not the number of a light"},
        {"a bone flag that is no flag", rigReplacing("BoneActive 0\n", "BoneActive yes\n"),
         "BoneActive needs 0 or 1, found 'yes'"},
        {"a rest position that is no vector", rigReplacing("BoneRestPosition 0 0 0.5\n", "BoneRestPosition 0 0\n"),
         "BoneRestPosition needs three numbers"},
        {"a parent that is no number", rigReplacing("ParentItem 40000000\n", "ParentItem Root\n"),
         "ParentItem needs an item number, found 'Root'"},
    };
    for (const BadScene &row : cases) {
        SCOPED_TRACE(row.name);
        LwsScene scene;
        std::string error;
        EXPECT_FALSE(readLwsScene(row.text, scene, error));
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
    }
}

}  // namespace
