// marrowlink-sim, run as a person or a script runs it: the built tool as a
// child process with the built module, its report, its exit status, the
// files it writes and the files it must leave alone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/lws_scene.h"
#include "scene_files.h"
#include "test_support.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path &path, const std::string &text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
}

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// Runs the tool with these arguments; stdout and stderr go through files so
// that neither pipe can fill up.
ToolRun tool(const std::vector<std::string> &args) {
    static int counter = 0;
    fs::path base = fs::temp_directory_path() / ("marrowlink_sim_test_" + std::to_string(::getpid()) + "_" +
                                                 std::to_string(++counter));
    std::string outPath = base.string() + ".out", errPath = base.string() + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> all = {MARROWLINK_SIM_TOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ToolRun run;
    pid_t child;
    if (posix_spawn(&child, MARROWLINK_SIM_TOOL, &actions, nullptr, argv.data(), environ) == 0) {
        int wstatus = 0;
        waitpid(child, &wstatus, 0);
        run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return run;
}

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

struct TempDir {
    fs::path path;
    TempDir() {
        static int counter = 0;
        path = fs::temp_directory_path() /
               ("marrowlink_sim_dir_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string operator/(const std::string &name) const { return (path / name).string(); }
    std::size_t files() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(path), fs::directory_iterator()));
    }
};

const char *const bundledScenes[] = {
    "lightwave3D-MCP/WeightTest_rig.lws", "assimp/move_x.lws",      "assimp/move_x_oldformat_6.lws",
    "assimp/move_x_oldformat_56.lws",     "assimp/QuickDraw v.2.2.lws", "blender-import-lwo/colors0.lws",
    "java3d-examples/ballcone.lws",
};
const char *const commands[] = {"weightmap", "activate", "deactivate", "pivots", "rest"};

TEST(MarrowlinkSim, ActivateOnTheSampleRigReportsLinesBonesAndSelection) {
    ToolRun run = tool({"activate", "--select", "Body"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(has(run.out, "Scene       bundled sample rig: 3 objects, 15 bones, 2 lights, 1 camera")) << run.out;
    EXPECT_TRUE(has(run.out, "Command     Ozrin_ActivateBones \"Ozrin  Activate Bones\"")) << run.out;
    EXPECT_TRUE(has(run.out, "    2  EditBones\n")) << run.out;
    EXPECT_TRUE(has(run.out, "    6  BoneActive\n")) << run.out;
    EXPECT_TRUE(has(run.out, "\nResult      0\n")) << run.out;
    EXPECT_TRUE(has(run.out, "Body/Chest       off \u2192 on")) << run.out;
    EXPECT_TRUE(has(run.out, "Body/Hips        on  ")) << run.out;
    EXPECT_FALSE(has(run.out, "Sword/")) << run.out;  // out of scope and unchanged
    EXPECT_TRUE(has(run.out, "Selection after  Body\n")) << run.out;
}

TEST(MarrowlinkSim, JsonCarriesTheSameReport) {
    ToolRun run = tool({"deactivate", "--select", "Sword/Tip", "--select", "Lantern/Grip", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.out, "\"command\": {\"server\": \"Ozrin_DeactivateBones\"")) << run.out;
    EXPECT_TRUE(has(run.out, "\"selectionBefore\": [\"Sword/Tip\", \"Lantern/Grip\"]")) << run.out;
    EXPECT_TRUE(has(run.out, "\"item\": \"Sword/Tip\", \"accepted\": true}")) << run.out;
    EXPECT_TRUE(has(run.out, "{\"number\": 5, \"line\": \"EditBones\", \"item\": \"\", \"accepted\": true}")) << run.out;
    EXPECT_TRUE(has(run.out, "\"line\": \"BoneActive\"")) << run.out;
    EXPECT_TRUE(has(run.out, "\"bone\": \"Sword/Tip\", \"id\": \"40010001\", \"inScope\": true")) << run.out;
    EXPECT_TRUE(has(run.out, "\"before\": {\"active\": true")) << run.out;
    EXPECT_TRUE(has(run.out, "\"after\": {\"active\": false")) << run.out;
    EXPECT_TRUE(has(run.out, "\"result\": 0,")) << run.out;
    EXPECT_TRUE(has(run.out, "\"selectionAfter\": [\"Sword/Tip\", \"Lantern/Grip\"]")) << run.out;
    EXPECT_TRUE(has(run.out, "\"written\": null")) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '{'), std::count(run.out.begin(), run.out.end(), '}'));
}

TEST(MarrowlinkSim, TheConfirmationIsAnsweredFromTheOptions) {
    ToolRun run = tool({"pivots", "--select", "Body", "--no"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.out, "Lines sent\n  (none)\n")) << run.out;
    EXPECT_TRUE(has(run.out, "  yesNo    \"Record Bone Pivots\": \"This will record pivot points for bones in the "
                             "selected objects.  Are you sure?\"  answered no\n"))
        << run.out;
    EXPECT_FALSE(has(run.out, "0 \u2192")) << run.out;  // nothing changed
    EXPECT_FALSE(has(run.out, "(recorded)")) << run.out;

    run = tool({"rest", "--select", "Body/UpperArm_L", "--select", "Body/Spine", "--yes"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.out, "\"This will rest all selected bones.  Are you sure?\"  answered yes")) << run.out;
    EXPECT_TRUE(has(run.out, "  RecordRestPosition\n")) << run.out;
    EXPECT_TRUE(has(run.out, "0 0 0 / 0 0 0 \u2192 0.2 0 0.1 / 90 0 -10")) << run.out;
    EXPECT_TRUE(has(run.out, "0 0 0 / 0 0 0 \u2192 0 0 0 / 0 15 0")) << run.out;
}

TEST(MarrowlinkSim, TheServerTableIsWalkedFromTheLoadedModule) {
    ToolRun run = tool({"--servers"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char *row : {"LayoutGeneric  Ozrin_Marrowlink        \"Ozrin  Marrowlink\"",
                            "Ozrin_ActivateBones", "Ozrin_DeactivateBones", "Ozrin_RecordBonePivots",
                            "Ozrin_RestBones"})
        EXPECT_TRUE(has(run.out, row)) << row << "\n" << run.out;
    EXPECT_TRUE(has(run.out, "startup returned 4, 5 servers")) << run.out;
    // Another build of the module, given by path.
    TempDir dir;
    std::string module = fs::path(MARROWLINK_SIM_TOOL).parent_path().parent_path() / "Marrowlink.p";
    fs::copy_file(module, dir / "Other.p");
    run = tool({"Ozrin_ActivateBones", "--module", dir / "Other.p"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.out, "Module      " + (dir / "Other.p"))) << run.out;
}

// Every command on every bundled scene: it runs, what it writes reads back,
// and a command that changes nothing writes the file back unchanged.
TEST(MarrowlinkSim, EveryCommandRunsOnEveryBundledSceneAndWritesWhatReadsBack) {
    REQUIRE_SCENES();
    TempDir dir;
    for (const char *scene : bundledScenes)
        for (const char *command : commands) {
            SCOPED_TRACE(std::string(scene) + " " + command);
            std::string input = scenesDir() + "/" + scene, output = dir / "out.lws";
            ToolRun run = tool({command, input, "--all-objects", "--yes", "--write", output});
            ASSERT_EQ(run.status, 0) << run.err << run.out;
            EXPECT_TRUE(has(run.out, "\nResult      0\n")) << run.out;
            EXPECT_FALSE(has(run.out, "(rejected:")) << run.out;
            LwsScene before, after;
            std::string error;
            ASSERT_TRUE(loadLwsFile(input, before, error)) << error;
            ASSERT_TRUE(loadLwsFile(output, after, error)) << error;
            ASSERT_EQ(after.items.size(), before.items.size());
            for (std::size_t i = 0; i < after.items.size(); ++i) {
                EXPECT_EQ(after.items[i].name, before.items[i].name);
                EXPECT_EQ(after.items[i].parent, before.items[i].parent);
            }
            if (before.count(itemBone) == 0) {
                EXPECT_EQ(readFile(output), readFile(input));
                fs::remove(output);
                continue;
            }
            for (const LwsItem &bone : after.items) {
                if (bone.type != itemBone)
                    continue;
                std::string name = command;
                if (name == "weightmap") {
                    EXPECT_EQ(bone.weightMapName, bone.name);
                } else if (name == "activate") {
                    EXPECT_TRUE(bone.active);
                } else if (name == "deactivate") {
                    EXPECT_FALSE(bone.active);
                }
            }
            fs::remove(output);
        }
    EXPECT_EQ(dir.files(), 0u);  // no temporary file left behind
}

TEST(MarrowlinkSim, InPlaceRewritesOnlyTheChangedLinesAndWriteNeverTouchesTheInput) {
    REQUIRE_SCENES();
    TempDir dir;
    std::string rig = dir / "rig.lws";
    std::string original = readFile(scenesDir() + "/lightwave3D-MCP/WeightTest_rig.lws");
    writeFile(rig, original);
    ToolRun run = tool({"weightmap", rig, "--write", dir / "named.lws"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(rig), original);
    EXPECT_TRUE(has(run.out, "(0 lines changed, 6 lines added)")) << run.out;

    run = tool({"weightmap", rig, "--in-place"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string named = readFile(rig);
    EXPECT_EQ(named, readFile(dir / "named.lws"));
    std::string expected = original;
    for (const char *bone : {"WT_Lower", "WT_Upper"}) {
        std::size_t length = expected.find("BoneRestLength 0.5\n", expected.find(std::string("BoneName ") + bone));
        expected.insert(length + std::strlen("BoneRestLength 0.5\n"),
                        std::string("BoneWeightMapName ") + bone + "\nBoneWeightMapOnly 0\nBoneNormalization 0\n");
    }
    EXPECT_EQ(named, expected);
    EXPECT_EQ(dir.files(), 2u);
}

// Scene files written for the cases the bundled ones lack: names that repeat,
// a pose between keys.
std::string twoPropsScene() {
    return "LWSC\n3\n\nCurrentFrame 5\nLoadObjectLayer 1 Sword.lwo\nAddBone\nBoneName Grip\nBoneActive 0\n"
           "ParentItem 10000000\nLoadObjectLayer 1 Lantern.lwo\nAddBone\nBoneName Grip\nBoneActive 0\n"
           "BoneMotion\nNumChannels 9\nChannel 0\n{ Envelope\n  2\n  Key 0 0 0 0 0 0 0 0 0\n"
           "  Key 1 1 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\nParentItem 10000001\nAddLight\nLightName Light\n";
}

TEST(MarrowlinkSim, NamesThatRepeatAreToldApartByPathOrNumber) {
    TempDir dir;
    std::string scene = dir / "props.lws";
    writeFile(scene, twoPropsScene());
    ToolRun run = tool({"activate", scene, "--select", "Grip"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(has(run.err, "'Grip' names 2 items: 'Sword/Grip' (id:40000000), 'Lantern/Grip' (id:40000001)"))
        << run.err;
    for (const char *selection : {"Lantern/Grip", "id:40000001"}) {
        run = tool({"activate", scene, "--select", selection, "--json"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(has(run.out, "\"selectionBefore\": [\"Lantern/Grip\"]")) << run.out;
        EXPECT_TRUE(has(run.out, "\"bone\": \"Lantern/Grip\", \"id\": \"40000001\", \"inScope\": true, \"poseExact\": false"))
            << run.out;
        EXPECT_FALSE(has(run.out, "Sword/Grip")) << run.out;
    }
}

// Pivots and rest need the pose at the current frame; a bone keyed only
// around it cannot be written, and then nothing is.
TEST(MarrowlinkSim, ARestThatCannotBeWrittenExactlyWritesNothing) {
    TempDir dir;
    std::string scene = dir / "props.lws";
    writeFile(scene, twoPropsScene());
    for (const char *command : {"rest", "pivots"}) {
        SCOPED_TRACE(command);
        ToolRun run = tool({command, scene, "--select", "Lantern", "--write", dir / "out.lws"});
        if (!has(run.out, "  RecordRestPosition\n") && !has(run.out, "  RecordPivotRotation\n")) {
            GTEST_SKIP() << "this build's module does not record rests or pivots yet";
        }
        EXPECT_EQ(run.status, 5) << run.out;
        EXPECT_TRUE(has(run.err, "nothing written")) << run.err;
        // Rest needs the whole pose: the X channel is keyed around frame 5; a
        // pivot needs the rotation, and the heading channel is not there.
        EXPECT_TRUE(has(run.err, std::string(command) == "rest"
                                     ? "the rest position of bone 'Lantern/Grip' cannot be written: its X channel "
                                       "has 2 keys and none at the current frame 5"
                                     : "the pivot rotation of bone 'Lantern/Grip' cannot be written: its heading "
                                       "channel is missing"))
            << run.err;
        EXPECT_FALSE(fs::exists(dir / "out.lws"));
        EXPECT_EQ(dir.files(), 1u);
    }
}

struct BadRun {
    const char *name;
    std::vector<std::string> args;
    int status;
    std::string message;
};

TEST(MarrowlinkSim, BadInputGetsAClearErrorAndANonZeroStatusWithNothingWritten) {
    REQUIRE_SCENES();
    TempDir dir;
    const std::string rig = scenesDir() + "/lightwave3D-MCP/WeightTest_rig.lws";
    std::string original = readFile(rig);
    writeFile(dir / "text.lws", "just some text\n");
    writeFile(dir / "v7.lws", "LWSC\n7\n\nFirstFrame 1\n");
    writeFile(dir / "cut.lws", original.substr(0, original.find("  Behaviors 1 1\n}\nChannel 5")));
    std::string orphan = original;
    orphan.replace(orphan.find("AddBone 40010000"), 16, "AddBone 40010004");
    writeFile(dir / "orphan.lws", orphan);
    writeFile(dir / "rig.lws", original);
    const std::string out = dir / "out.lws";
    const BadRun cases[] = {
        {"a file that is not a scene", {"activate", dir / "text.lws", "--write", out}, 3,
         "not a LightWave scene: the first line is not \"LWSC\""},
        {"an unsupported version", {"activate", dir / "v7.lws", "--write", out}, 3,
         "unsupported scene version 7: this reader knows LWSC versions 1, 2, 3, 4, 5 and 8"},
        {"a truncated block", {"activate", dir / "cut.lws", "--write", out}, 3,
         "the file ends inside this block (no closing '}'): truncated scene"},
        {"a bone naming an object that is not there", {"activate", dir / "orphan.lws", "--write", out}, 3,
         "bone 40010004 names object 10000004, which is not in the scene"},
        {"a scene file that is not there", {"activate", dir / "none.lws", "--write", out}, 3,
         "cannot open '" + (dir / "none.lws") + "'"},
        {"an unknown command", {"explode", rig, "--write", out}, 2,
         "unknown command 'explode': use weightmap, activate, deactivate, pivots or rest, or a server name "
         "(Ozrin_Marrowlink, Ozrin_ActivateBones, Ozrin_DeactivateBones, Ozrin_RecordBonePivots, Ozrin_RestBones)"},
        {"a selection name not in the scene", {"activate", rig, "--select", "WT_lowr", "--write", out}, 2,
         "no item named 'WT_lowr' in the scene; close names: 'WeightTest/WT_Lower'"},
        {"a selection name nothing is close to", {"activate", rig, "--select", "Zebra", "--write", out}, 2,
         "no item named 'Zebra' in the scene; its objects include 'WeightTest'"},
        {"a selection of two types", {"activate", "--select", "Body", "--select", "Hips"}, 2,
         "a Layout selection holds items of one type: 'Body' is an object, 'Hips' is a bone"},
        {"an item selected twice", {"activate", "--select", "Body", "--select", "Body"}, 2, "'Body' is selected twice"},
        {"an unknown option", {"activate", "--frobnicate"}, 2, "unknown option '--frobnicate' (see --help)"},
        {"no command", {}, 2, "no command given"},
        {"yes and no", {"rest", "--yes", "--no"}, 2, "--yes and --no together"},
        {"a write without a scene file", {"activate", "--write", out}, 2, "--write needs a scene file"},
        {"a write onto the input", {"activate", dir / "rig.lws", "--write", dir / "rig.lws"}, 2,
         "would overwrite the scene it reads; use --in-place for that"},
        {"a write into a folder that is not there", {"activate", rig, "--write", dir / "no/such/out.lws"}, 5,
         "cannot create a temporary file in '" + (dir / "no/such") + "'"},
        {"a module that is not a library", {"activate", "--module", rig}, 4, "cannot load the module"},
        {"a library that is not a module", {"activate", "--module", "libm.so.6"}, 4,
         "'libm.so.6' exports no _mod_descrip: not a plug-in module"},
        {"a form answer for a command without a form", {"activate", rig, "--only", "--write", out}, 2,
         "--only answers the options form of weightmap (Ozrin_Marrowlink) only"},
        {"a dismissed form with answers", {"weightmap", rig, "--cancel", "--adjust", "--write", out}, 2,
         "--cancel dismisses the form, so --adjust, --only and --normalize would not reach the module"},
    };
    for (const BadRun &row : cases) {
        SCOPED_TRACE(row.name);
        ToolRun run = tool(row.args);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(has(run.err, row.message)) << run.err;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_EQ(readFile(dir / "rig.lws"), original);
        if (row.status != 5) {
            EXPECT_EQ(run.out, "") << run.out;  // refused before anything ran
        }
        // --json puts the same error on standard output for a script.
        std::vector<std::string> args = row.args;
        args.push_back("--json");
        ToolRun json = tool(args);
        EXPECT_EQ(json.status, row.status);
        if (row.status != 5) {
            EXPECT_TRUE(has(json.out, "{\"error\": ")) << json.out;
        }
    }
    EXPECT_EQ(dir.files(), 5u);
}

// The form's answers reach the module the only way they can: through the
// form the simulator shows it.
TEST(MarrowlinkSim, TheOptionsFormIsAnsweredFromTheOptions) {
    REQUIRE_SCENES();
    TempDir dir;
    const std::string rig = scenesDir() + "/lightwave3D-MCP/WeightTest_rig.lws";
    ToolRun run = tool({"weightmap", rig, "--adjust", "--only", "--write", dir / "only.lws"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.out, "  shown with  Adjust Bone Settings off, Use Weight Map Only off, Weight Normalization off\n"))
        << run.out;
    EXPECT_TRUE(has(run.out, "  answered    Adjust Bone Settings on, Use Weight Map Only on, Weight Normalization off, "
                             "confirmed\n"))
        << run.out;
    LwsScene written;
    std::string error;
    ASSERT_TRUE(loadLwsFile(dir / "only.lws", written, error)) << error;
    for (const LwsItem &bone : written.items) {
        if (bone.type != itemBone)
            continue;
        EXPECT_EQ(bone.weightMapName, bone.name);
        EXPECT_TRUE(bone.weightMapOnly);
        EXPECT_FALSE(bone.normalization);
    }

    run = tool({"weightmap", rig, "--cancel", "--json", "--write", dir / "cancelled.lws"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.out, "\"confirmed\": false")) << run.out;
    EXPECT_EQ(readFile(dir / "cancelled.lws"), readFile(rig));

    run = tool({"weightmap", "--about-png", dir / "about.png", "--form-png", dir / "form.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(has(run.out, "  About       pressed 1 time, 1 panel opened\n")) << run.out;
    for (const char *picture : {"about.png", "form.png"})
        EXPECT_EQ(readFile(dir / picture).substr(0, 8), "\x89PNG\r\n\x1a\n") << picture;
}

TEST(MarrowlinkSim, HelpExplainsEverythingWithAnExample) {
    ToolRun run = tool({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char *part : {"--select", "--all-objects", "--yes", "--no", "--adjust", "--only", "--normalize",
                             "--cancel", "--about", "--about-png", "--form-png", "--json", "--write", "--in-place",
                             "--module", "Exit status", "Examples:", "marrowlink-sim rest rig.lws"})
        EXPECT_TRUE(has(run.out, part)) << part;
}

}  // namespace
