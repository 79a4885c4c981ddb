// Record bone pivots and rest bones: the scene tree, its order and its owner
// rule line for line, the scene after each command, a chain far deeper than
// the host's stack would take by recursion, and every allocation failing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "commands/hierarchy.h"
#include "sim/sample_rig.h"
#include "test_support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace {

int runHierarchy(SimHost &host, CommandKind kind) {
    host.activate();
    return runHierarchyCommand(host.genericRecord(), host.lookup(), kind);
}

const char *recordLine(CommandKind kind) {
    return kind == commandRecordPivots ? "RecordPivotRotation" : "RecordRestPosition";
}

// The selected items as a set, for runs that may restore only part of the
// selection: a snapshot that lost an entry to a failed allocation cannot give
// that item back.
std::vector<ItemId> asSet(std::vector<ItemId> items) {
    std::sort(items.begin(), items.end(), std::less<ItemId>());
    return items;
}

std::vector<ItemId> named(const SimHost &host, const std::vector<std::string> &names) {
    std::vector<ItemId> ids;
    for (const std::string &name : names)
        ids.push_back(host.find(name));
    return ids;
}

// The lines of a walk over the named bones followed by the restore lines.
Lines walkThenRestore(CommandKind kind, const Lines &bones, const char *editMode, const Lines &restored) {
    Lines lines;
    for (const std::string &bone : bones) {
        lines.push_back("SelectItem " + bone);
        lines.push_back(recordLine(kind));
    }
    lines.push_back(editMode);
    for (const std::string &item : restored)
        lines.push_back("AddToSelection " + item);
    return lines;
}

// Runs body on a thread with the 1 MB of stack the host's interface thread has.
#if defined(_WIN32)
template <typename Body>
DWORD WINAPI runBody(LPVOID body) {
    (*static_cast<Body *>(body))();
    return 0;
}
template <typename Body>
void onHostSizedStack(Body body) {
    HANDLE thread = CreateThread(nullptr, 1u << 20, runBody<Body>, &body, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}
#else
template <typename Body>
void *runBody(void *body) {
    (*static_cast<Body *>(body))();
    return nullptr;
}
template <typename Body>
void onHostSizedStack(Body body) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 1u << 20);
    pthread_t thread;
    int started = pthread_create(&thread, &attributes, runBody<Body>, &body);
    pthread_attr_destroy(&attributes);
    ASSERT_EQ(started, 0);
    pthread_join(thread, nullptr);
}
#endif

// The scene of the worked sequences, in the host's order: objects O1, O2, O3,
// light L, camera C. O1 has the bones B1 (with B2 below it) and B3; O2 has no
// bones; O3 hangs below L and has the bone B4.
void workedScene(SimHost &host) {
    ItemId light = host.addLight("L");
    ItemId o1 = host.addObject("O1");
    host.addObject("O2");
    ItemId o3 = host.addObject("O3", light);
    host.addCamera("C");
    ItemId b1 = host.addBone(o1, "B1");
    host.addBone(o1, "B2", b1);
    host.addBone(o1, "B3");
    host.addBone(o3, "B4");
}

// Objects below objects and below bones: Outer has the bone Arm; Inner hangs
// below Outer and has Pin; Held hangs below Arm and has Grip, with Finger
// below Grip.
void nestedObjects(SimHost &host) {
    ItemId outer = host.addObject("Outer");
    ItemId arm = host.addBone(outer, "Arm");
    ItemId inner = host.addObject("Inner", outer);
    host.addBone(inner, "Pin");
    ItemId held = host.addObject("Held", arm);
    ItemId grip = host.addBone(held, "Grip");
    host.addBone(held, "Finger", grip);
}

struct LinesCase {
    const char *name;
    void (*scene)(SimHost &);
    CommandKind kind;
    Lines selection;
    const char *title;
    const char *question;
    Lines lines;
};

const char *pivotsOnObjects = "This will record pivot points for bones in the selected objects.  Are you sure?";
const char *pivotsOnBones = "This will record pivot points for all selected bones.  Are you sure?";
const char *restOnObjects = "This will rest all bones in the selected objects.  Are you sure?";
const char *restOnBones = "This will rest all selected bones.  Are you sure?";

TEST(RunHierarchyCommand, AsksItsQuestionThenWalksTheTreeInItsOrderLineForLine) {
    const CommandKind pivots = commandRecordPivots, rest = commandRest;
    const LinesCase cases[] = {
        {"(a) pivots on O1 and O2", workedScene, pivots, {"O1", "O2"}, "Record Bone Pivots", pivotsOnObjects,
         walkThenRestore(pivots, {"B1", "B2", "B3"}, "EditObjects", {"O2", "O1"})},
        {"(a) rest on O1 and O2", workedScene, rest, {"O1", "O2"}, "Rest Bones", restOnObjects,
         walkThenRestore(rest, {"B1", "B2", "B3"}, "EditObjects", {"O2", "O1"})},
        {"(b) rest on B3 and B2: tree order, not selection order", workedScene, rest, {"B3", "B2"}, "Rest Bones",
         restOnBones, walkThenRestore(rest, {"B2", "B3"}, "EditBones", {"B2", "B3"})},
        {"(b) pivots on B3 and B2", workedScene, pivots, {"B3", "B2"}, "Record Bone Pivots", pivotsOnBones,
         walkThenRestore(pivots, {"B2", "B3"}, "EditBones", {"B2", "B3"})},
        {"O3 below the light, pivots", workedScene, pivots, {"O3"}, "Record Bone Pivots", pivotsOnObjects,
         walkThenRestore(pivots, {"B4"}, "EditObjects", {"O3"})},
        {"O3 below the light, rest", workedScene, rest, {"O3"}, "Rest Bones", restOnObjects,
         walkThenRestore(rest, {"B4"}, "EditObjects", {"O3"})},
        {"an object without bones gets only the restore", workedScene, rest, {"O2"}, "Rest Bones", restOnObjects,
         walkThenRestore(rest, {}, "EditObjects", {"O2"})},
        {"objects first: a listed bone counts only through its object", workedScene, rest, {"O2", "B4", "B2"},
         "Rest Bones", restOnObjects, walkThenRestore(rest, {}, "EditObjects", {"B2", "B4", "O2"})},
        {"objects first: a listed bone of a selected object gets its lines once", workedScene, pivots,
         {"O1", "B2"}, "Record Bone Pivots", pivotsOnObjects,
         walkThenRestore(pivots, {"B1", "B2", "B3"}, "EditObjects", {"B2", "O1"})},
        {"bones first: listed objects have no effect", workedScene, pivots, {"B3", "O1", "O3"},
         "Record Bone Pivots", pivotsOnBones, walkThenRestore(pivots, {"B3"}, "EditBones", {"O3", "O1", "B3"})},
        {"an object below a selected object keeps its bones to itself", nestedObjects, rest, {"Outer"},
         "Rest Bones", restOnObjects, walkThenRestore(rest, {"Arm"}, "EditObjects", {"Outer"})},
        {"an object below a bone of a selected object keeps its bones to itself", nestedObjects, pivots,
         {"Outer"}, "Record Bone Pivots", pivotsOnObjects,
         walkThenRestore(pivots, {"Arm"}, "EditObjects", {"Outer"})},
        {"objects below objects and bones, each selected", nestedObjects, rest, {"Inner", "Held"}, "Rest Bones",
         restOnObjects, walkThenRestore(rest, {"Grip", "Finger", "Pin"}, "EditObjects", {"Held", "Inner"})},
        {"bones through objects below bones", nestedObjects, rest, {"Finger", "Pin", "Arm"}, "Rest Bones",
         restOnBones, walkThenRestore(rest, {"Arm", "Finger", "Pin"}, "EditBones", {"Arm", "Pin", "Finger"})},
    };
    for (const LinesCase &row : cases) {
        SCOPED_TRACE(row.name);
        SimHost host;
        row.scene(host);
        host.select(named(host, row.selection));
        EXPECT_EQ(runHierarchy(host, row.kind), 0);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].kind, "yesNo");
        EXPECT_EQ(host.messages[0].title, row.title);
        EXPECT_EQ(host.messages[0].text, row.question);
        EXPECT_EQ(host.messages[0].text2, "");
        EXPECT_EQ(host.namedLines(), row.lines);
        EXPECT_TRUE(host.rejectedLines().empty());
        EXPECT_EQ(host.invalidItemQueries, 0);
        EXPECT_EQ(currentContext, nullptr);
        EXPECT_EQ(moduleAllocLiveBlocks(), 0);
    }
}

// Nothing is sent on a declined question, a rejected selection or a missing
// service, and the question is never asked before the selection has passed.
TEST(RunHierarchyCommand, StopsWithoutALineAndWithResultZero) {
    struct Case {
        const char *name;
        CommandKind kind;
        Lines selection;
        const char *withheld;
        Lines errors;
        bool asked;
    };
    const Case cases[] = {
        {"pivots declined on objects", commandRecordPivots, {"O1", "O2"}, nullptr, {}, true},
        {"rest declined on bones", commandRest, {"B3", "B2"}, nullptr, {}, true},
        {"nothing selected", commandRest, {}, nullptr,
         {"Rest Bones Error: At least one object or bone must be selected"}, false},
        {"a light first", commandRecordPivots, {"L", "O1"}, nullptr,
         {"Record Bone Pivots Error: At least one object or bone must be selected"}, false},
        {"no item service", commandRest, {"O1"}, "LW Item Info 3",
         {"Rest Bones Error: Layout service is not available: LW Item Info 3"}, false},
        {"no message service to ask with", commandRecordPivots, {"O1"}, "Info Messages 2", {}, false},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.name);
        SimHost host;
        workedScene(host);
        host.select(named(host, row.selection));
        host.defaultAnswer = 0;
        if (row.withheld != nullptr)
            host.withheld.insert(row.withheld);
        std::vector<ItemId> before = host.selected();
        EXPECT_EQ(runHierarchy(host, row.kind), 0);
        EXPECT_TRUE(host.log.empty());
        EXPECT_EQ(host.errors(), row.errors);
        EXPECT_EQ(host.messages.size(), row.errors.size() + (row.asked ? 1u : 0u));
        EXPECT_EQ(host.selected(), before);
        EXPECT_EQ(currentContext, nullptr);
        EXPECT_EQ(moduleAllocLiveBlocks(), 0);
    }
}

// The sample rig with an object below the body: after the command exactly the
// bones in scope have been recorded, once each and by the right command, no
// other item has, and the selection is back as it was.
TEST(RunHierarchyCommand, RecordsExactlyTheBonesInScopeOnceAndGivesTheSelectionBack) {
    struct Case {
        const char *name;
        Lines selection;
    };
    const Case cases[] = {
        {"the body", {"Body"}},
        {"the sword below the body's hand", {"Sword"}},
        {"the stand below the body and the lantern below a light", {"Stand", "Lantern"}},
        {"every object", {"Lantern", "Sword", "Stand", "Body"}},
        {"bones of every object", {"Tip", "Head", "Handle", "Spine", "Foot"}},
        {"one bone in the middle of a chain", {"Chest"}},
    };
    for (CommandKind kind : {commandRecordPivots, commandRest})
        for (const Case &row : cases) {
            SCOPED_TRACE(testing::Message() << row.name << ", kind " << kind);
            SimHost host;
            buildSampleRig(host);
            ItemId body = host.find("Body");
            ItemId stand = host.addObject("Stand", body);
            host.addBone(stand, "Foot");
            double turn = 1;
            for (ItemId bone : host.allBones()) {
                host.item(bone).position = {turn, 2 * turn, 0};
                host.item(bone).rotation = {0, 0, 10 * turn};
                turn += 1;
            }
            host.select(named(host, row.selection));
            std::vector<ItemId> before = host.selected();
            int editModeBefore = host.editMode;
            std::set<ItemId> listedItems(before.begin(), before.end());
            bool bonesSelected = host.item(before.front()).type == itemBone;
            std::map<ItemId, SimItem> was;
            for (std::size_t i = 0; i < host.items.size(); ++i)
                was[host.idOf(static_cast<int>(i))] = host.items[i];

            EXPECT_EQ(runHierarchy(host, kind), 0);

            int recorded = 0;
            for (const auto &[id, old] : was) {
                const SimItem &now = host.item(id);
                bool inScope = old.type == itemBone &&
                               (bonesSelected ? listedItems.count(id) != 0
                                              : listedItems.count(host.idOf(old.object)) != 0);
                SCOPED_TRACE(old.name);
                recorded += inScope ? 1 : 0;
                EXPECT_EQ(now.pivotRecords, inScope && kind == commandRecordPivots ? 1 : 0);
                EXPECT_EQ(now.restRecords, inScope && kind == commandRest ? 1 : 0);
                if (inScope && kind == commandRecordPivots) {
                    EXPECT_EQ(now.pivotRotation, old.rotation);
                    EXPECT_EQ(now.rotation, SimVector{});
                } else {
                    EXPECT_EQ(now.rotation, old.rotation);
                    EXPECT_EQ(now.pivotRotation, old.pivotRotation);
                }
                if (inScope && kind == commandRest)
                    EXPECT_EQ(now.restPosition, old.position);
                else
                    EXPECT_EQ(now.restPosition, old.restPosition);
                EXPECT_EQ(now.flags, old.flags);
            }
            EXPECT_GT(recorded, 0);
            EXPECT_EQ(host.selected(), before);
            EXPECT_EQ(host.editMode, editModeBefore);
            EXPECT_TRUE(host.rejectedLines().empty());
            EXPECT_EQ(host.invalidItemQueries, 0);
        }
}

// A chain of a million bones below one object, far deeper than the host's
// stack would take one frame per bone, run on a thread with the host's 1 MB.
TEST(RunHierarchyCommand, AMillionBoneChainOnTheHostsStack) {
    constexpr int chainLength = 1000000;
    SimHost host;
    host.reserve(chainLength + 2);
    ItemId body = host.addObject("Tail");
    ItemId first = host.addBone(body, "first");
    ItemId last = first;
    for (int i = 2; i < chainLength; ++i)
        last = host.addBone(body, "c", last);
    last = host.addBone(body, "last", last);
    host.addLight("Key");

    host.keepLog = false;
    host.select({body});
    int pivotsResult = -1;
    onHostSizedStack([&] { pivotsResult = runHierarchy(host, commandRecordPivots); });
    EXPECT_EQ(pivotsResult, 0);
    EXPECT_EQ(host.linesEvaluated, 2L * chainLength + 2);
    bool everyBoneOnce = true;
    for (int i = 1; i <= chainLength; ++i)
        everyBoneOnce = everyBoneOnce && host.items[static_cast<std::size_t>(i)].pivotRecords == 1;
    EXPECT_TRUE(everyBoneOnce);
    EXPECT_EQ(host.selected(), std::vector<ItemId>{body});

    // The two ends of the chain, selected deepest first, come in tree order.
    host.keepLog = true;
    host.select({last, first});
    host.clearRecords();
    int restResult = -1;
    onHostSizedStack([&] { restResult = runHierarchy(host, commandRest); });
    EXPECT_EQ(restResult, 0);
    EXPECT_EQ(host.namedLines(), walkThenRestore(commandRest, {"first", "last"}, "EditBones", {"first", "last"}));
    EXPECT_EQ(host.item(first).restRecords, 1);
    EXPECT_EQ(host.item(last).restRecords, 1);
    EXPECT_EQ(host.selected(), (std::vector<ItemId>{last, first}));
    EXPECT_EQ(host.items[2].restRecords, 0);
    EXPECT_EQ(moduleAllocLiveBlocks(), 0);
}

// The worked scene and a wider, deeper object, so that child lists, frame
// stacks and the snapshot all grow past their first ten slots: O4 has twelve
// bones K0 to K11 directly, and a chain of twelve (D0 to D11) below K0.
void scenePastTenSlots(SimHost &host) {
    workedScene(host);
    ItemId o4 = host.addObject("O4");
    std::vector<ItemId> direct;
    for (int i = 0; i < 12; ++i)
        direct.push_back(host.addBone(o4, "K" + std::to_string(i)));
    ItemId below = direct.front();
    for (int i = 0; i < 12; ++i)
        below = host.addBone(o4, "D" + std::to_string(i), below);
}

// Bones whose lines come before the lines of any bone below them in the tree.
std::vector<ItemId> boneAncestors(const SimHost &host, ItemId bone) {
    std::vector<ItemId> ancestors;
    for (int up = host.item(bone).parent; up >= 0; up = host.items[static_cast<std::size_t>(up)].parent)
        if (host.items[static_cast<std::size_t>(up)].type == itemBone)
            ancestors.push_back(host.idOf(up));
    return ancestors;
}

bool isSubsequence(const Lines &part, const Lines &whole) {
    auto at = whole.begin();
    for (const std::string &line : part) {
        at = std::find(at, whole.end(), line);
        if (at == whole.end())
            return false;
        ++at;
    }
    return true;
}

// Every allocation of both commands fails in turn, once and from then on. The
// command ends with 0, frees everything and gives the selection back; it sends
// either nothing or lines in the order of the full run, never a line for a
// bone whose node was lost or for anything below such a bone, and records no
// bone out of scope or twice.
TEST(RunHierarchyCommand, SurvivesEveryAllocationFailing) {
    const Lines selections[] = {
        {"O4", "O1", "O2"},
        {"D11", "K3", "D0", "B2", "K11", "D5", "K0", "B4", "K1", "K2", "D1", "D2", "B3"},
    };
    for (CommandKind kind : {commandRecordPivots, commandRest})
        for (const Lines &selection : selections) {
            SimHost reference;
            scenePastTenSlots(reference);
            reference.select(named(reference, selection));
            runHierarchy(reference, kind);
            const Lines full = reference.namedLines();

            for (bool persistent : {false, true})
                for (int failAt = 1;; ++failAt) {
                    SCOPED_TRACE(testing::Message() << "kind " << kind << ", " << selection.front() << " first, fail at "
                                                    << failAt << (persistent ? " and after" : ""));
                    SimHost host;
                    scenePastTenSlots(host);
                    std::vector<ItemId> before = named(host, selection);
                    host.select(before);
                    moduleAllocFailAt(failAt, persistent);
                    int rc = runHierarchy(host, kind);
                    int injected = moduleAllocDisarm();
                    EXPECT_EQ(rc, 0);
                    EXPECT_EQ(moduleAllocLiveBlocks(), 0);
                    EXPECT_EQ(currentContext, nullptr);
                    EXPECT_TRUE(host.rejectedLines().empty());
                    EXPECT_EQ(host.invalidItemQueries, 0);
                    // Whatever was restored was selected before; all of it when
                    // nothing failed.
                    std::vector<ItemId> after = asSet(host.selected()), was = asSet(before);
                    EXPECT_TRUE(std::includes(was.begin(), was.end(), after.begin(), after.end(), std::less<ItemId>()));
                    if (injected == 0) {
                        EXPECT_EQ(host.selected(), before);
                    }
                    const Lines sent = host.namedLines();
                    EXPECT_TRUE(isSubsequence(sent, full));
                    if (injected == 0) {
                        EXPECT_EQ(sent, full);
                    }
                    for (ItemId bone : host.allBones()) {
                        const SimItem &item = host.item(bone);
                        int records = item.pivotRecords + item.restRecords;
                        EXPECT_LE(records, 1) << item.name;
                        if (records == 0)
                            continue;
                        EXPECT_EQ(reference.item(bone).pivotRecords + reference.item(bone).restRecords, 1)
                            << item.name;
                        for (ItemId above : boneAncestors(host, bone)) {
                            const SimItem &reached = reference.item(above);
                            if (reached.pivotRecords + reached.restRecords == 1) {
                                EXPECT_EQ(host.item(above).pivotRecords + host.item(above).restRecords, 1)
                                    << item.name << " recorded below the lost " << reached.name;
                            }
                        }
                    }
                    if (injected == 0)
                        break;
                }
        }
}

// Marking and the walk lose nothing when their own memory fails: without the
// index they look through the list, and without room on their frame stack
// they go on by parent links, in the same order.
TEST(MarkAndWalk, GiveTheSameLinesWhateverAllocationFails) {
    for (const Lines &selection : {Lines{"O4", "O1"}, Lines{"D11", "K0", "B2", "K11", "D4", "B3"}}) {
        SimHost host;
        scenePastTenSlots(host);
        const std::vector<ItemId> selected = named(host, selection);
        host.select(selected);
        CommandContext context(host.lookup(), host.genericRecord());
        SceneNode root(nullptr, nullptr, nullptr);
        buildChildren(&root, context.itemInfo);

        auto markAndWalk = [&] {
            host.select(selected);  // the walk of the run before changed it
            host.clearRecords();
            markSelected(&root, context.itemInfo, context.interfaceInfo);
            walkBones(&root, commandRest);
            return host.namedLines();
        };
        const Lines unfailed = markAndWalk();
        EXPECT_FALSE(unfailed.empty());
        for (bool persistent : {false, true})
            for (int failAt = 1;; ++failAt) {
                SCOPED_TRACE(testing::Message() << selection.front() << " first, fail at " << failAt
                                                << (persistent ? " and after" : ""));
                moduleAllocFailAt(failAt, persistent);
                Lines lines = markAndWalk();
                int injected = moduleAllocDisarm();
                EXPECT_EQ(lines, unfailed);
                if (injected == 0)
                    break;
            }
        destroyChildren(&root);
    }
    EXPECT_EQ(moduleAllocLiveBlocks(), 0);
}

// The nodes below root, node before children and children in order.
std::vector<const SceneNode *> treeOrder(const SceneNode &root) {
    std::vector<const SceneNode *> order, pending{&root};
    while (!pending.empty()) {
        const SceneNode *node = pending.back();
        pending.pop_back();
        if (node != &root)
            order.push_back(node);
        for (std::uint32_t i = node->children.count; i > 0; --i)
            pending.push_back(node->children.items[i - 1]);
    }
    return order;
}

std::vector<std::string> namesOf(const SimHost &host, const std::vector<const SceneNode *> &nodes) {
    std::vector<std::string> names;
    for (const SceneNode *node : nodes)
        names.push_back(host.item(node->item).name);
    return names;
}

// The tree itself: its order, and owners, parents and types as the owner rule
// gives them.
TEST(BuildChildren, OwnersFollowTheObjectABoneHangsBelow) {
    SimHost host;
    workedScene(host);
    nestedObjects(host);
    CommandContext context(host.lookup(), host.genericRecord());
    SceneNode root(nullptr, nullptr, nullptr);
    buildChildren(&root, context.itemInfo);

    std::map<std::string, const SceneNode *> nodes;
    for (const SceneNode *node : treeOrder(root))
        nodes[host.item(node->item).name] = node;
    EXPECT_EQ(namesOf(host, treeOrder(root)),
              (Lines{"O1", "B1", "B2", "B3", "O2", "Outer", "Arm", "Held", "Grip", "Finger", "Inner", "Pin", "L",
                     "O3", "B4", "C"}));
    auto ownerOf = [&](const char *name) -> std::string {
        const SceneNode *owner = nodes.at(name)->owner;
        return owner == &root ? "root" : host.item(owner->item).name;
    };
    const std::pair<const char *, const char *> owners[] = {
        {"O1", "root"},   {"B1", "O1"},     {"B2", "O1"},      {"B3", "O1"},      {"L", "root"},
        {"O3", "root"},   {"B4", "O3"},     {"Arm", "Outer"},  {"Inner", "root"}, {"Pin", "Inner"},
        {"Held", "Outer"}, {"Grip", "Held"}, {"Finger", "Held"},
    };
    for (const auto &[name, owner] : owners)
        EXPECT_EQ(ownerOf(name), owner) << name;
    EXPECT_EQ(nodes.at("O1")->parent, nullptr);
    EXPECT_EQ(nodes.at("B2")->parent, nodes.at("B1"));
    EXPECT_EQ(nodes.at("O3")->parent, nodes.at("L"));
    EXPECT_EQ(nodes.at("L")->type, itemLight);
    EXPECT_EQ(nodes.at("C")->type, itemCamera);
    EXPECT_EQ(nodes.at("Finger")->type, itemBone);
    EXPECT_EQ(root.type, -1);
    destroyChildren(&root);
    EXPECT_EQ(root.children.items, nullptr);
}

// A node that cannot be made or kept is left out with everything below it:
// whatever fails, every node there is hangs below the node of its own parent
// item, in the order of the whole tree, and nothing is asked about an item
// the host does not know.
TEST(BuildChildren, LeavesOutWhatItCannotAllocateAndNothingElse) {
    SimHost host;
    scenePastTenSlots(host);
    nestedObjects(host);
    CommandContext context(host.lookup(), host.genericRecord());
    Lines whole;
    {
        SceneNode root(nullptr, nullptr, nullptr);
        buildChildren(&root, context.itemInfo);
        whole = namesOf(host, treeOrder(root));
        destroyChildren(&root);
    }
    for (bool persistent : {false, true})
        for (int failAt = 1;; ++failAt) {
            SCOPED_TRACE(testing::Message() << "fail at " << failAt << (persistent ? " and after" : ""));
            host.clearRecords();
            moduleAllocFailAt(failAt, persistent);
            SceneNode root(nullptr, nullptr, nullptr);
            buildChildren(&root, context.itemInfo);
            int injected = moduleAllocDisarm();
            const std::vector<const SceneNode *> built = treeOrder(root);
            EXPECT_TRUE(isSubsequence(namesOf(host, built), whole));
            if (injected == 0) {
                EXPECT_EQ(namesOf(host, built), whole);
            }
            for (const SceneNode *node : built) {
                int parentItem = host.item(node->item).parent;
                EXPECT_EQ(node->parent == nullptr ? -1 : host.indexOf(node->parent->item), parentItem)
                    << host.item(node->item).name;
                EXPECT_EQ(node->type, host.item(node->item).type);
            }
            EXPECT_EQ(host.invalidItemQueries, 0);
            destroyChildren(&root);
            if (injected == 0)
                break;
        }
}

}  // namespace
