// The weight-map command with its options form: presets and remembered
// answers, the outcomes of the form, the tables and hints the host gets, the
// About button, and every allocation failing in turn.
#include <gtest/gtest.h>

#include "commands/weight_map_options.h"
#include "sim/sim_panels.h"
#include "test_support.h"
#include "ui/about_panel.h"
#include "ui/weight_map_command.h"

namespace {

using Flags = std::vector<int>;

Flags flagsOf(const WeightMapFlags &options) {
    return {options.adjustBoneSettings, options.useWeightMapOnly, options.weightNormalization};
}

// O with B1 (weight-map-only off, normalization off) and B2 (weight-map-only
// on, normalization on); B1 and B2 selected. A second object's bone is never
// in scope.
struct Rig {
    SimHost host;
    SimPanels panels{host};
    ItemId object, b1, b2, other, otherBone;

    Rig() {
        object = host.addObject("O");
        b1 = host.addBone(object, "B1", nullptr, boneFlagActive);
        b2 = host.addBone(object, "B2", b1, boneFlagActive | boneFlagWeightMapOnly | boneFlagNormalization);
        other = host.addObject("Other");
        otherBone = host.addBone(other, "Far", nullptr, boneFlagActive);
        host.select({b1, b2});
    }
    int run() {
        host.activate();
        panels.activate();
        return runWeightMapCommand(host.genericRecord(), host.lookup());
    }
    void answer(int result, std::map<std::uint32_t, std::int32_t> values, int aboutPresses = 0) {
        panels.formUsers.push_back({result, aboutPresses, std::move(values), {}});
    }
};

struct WeightMapCommand : testing::Test {
    void SetUp() override { WeightMapOptions = {0, 0, 0}; }
    void TearDown() override { WeightMapOptions = {0, 0, 0}; }
};

using ValuesSet = std::vector<std::pair<std::uint32_t, std::int32_t>>;

TEST_F(WeightMapCommand, FirstUsePresetsNothingCheckedAndConfirmedAnswersAreRememberedForTheNextUse) {
    Rig rig;
    rig.answer(1, {{0x8001, 1}, {0x8002, 1}, {0x8003, 0}});
    EXPECT_EQ(rig.run(), 0);
    SimForm *first = rig.panels.lastForm();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->valuesSet, (ValuesSet{{0x8001, 0}, {0x8002, 0}, {0x8003, 0}}));
    EXPECT_EQ(flagsOf(WeightMapOptions), (Flags{1, 1, 0}));
    // B1 gets weight-map-only; B2 has it already and keeps its normalization.
    EXPECT_EQ(rig.host.namedLines(),
              (Lines{"SelectItem B1", "BoneWeightMapName B1", "BoneWeightMapOnly", "SelectItem B2",
                     "BoneWeightMapName B2", "EditBones", "AddToSelection B2", "AddToSelection B1"}));
    EXPECT_EQ(rig.host.item(rig.b1).flags, boneFlagActive | boneFlagWeightMapOnly);
    EXPECT_EQ(rig.host.item(rig.b2).flags, boneFlagActive | boneFlagWeightMapOnly | boneFlagNormalization);
    EXPECT_EQ(rig.host.item(rig.b1).weightMapName, "B1");
    EXPECT_EQ(rig.host.item(rig.b2).weightMapName, "B2");
    EXPECT_EQ(rig.host.item(rig.otherBone).weightMapName, "");
    EXPECT_EQ(rig.host.selected(), (std::vector<ItemId>{rig.b1, rig.b2}));

    rig.host.clearRecords();
    rig.answer(0, {{0x8001, 0}, {0x8002, 0}, {0x8003, 1}});  // dismissed
    EXPECT_EQ(rig.run(), 0);
    EXPECT_EQ(rig.panels.lastForm()->valuesSet, (ValuesSet{{0x8001, 1}, {0x8002, 1}, {0x8003, 0}}));
    EXPECT_EQ(flagsOf(WeightMapOptions), (Flags{1, 1, 0}));
    EXPECT_TRUE(rig.host.log.empty());

    rig.answer(1, {});  // confirmed as preset
    EXPECT_EQ(rig.run(), 0);
    EXPECT_EQ(rig.panels.lastForm()->valuesSet, (ValuesSet{{0x8001, 1}, {0x8002, 1}, {0x8003, 0}}));
    EXPECT_EQ(flagsOf(WeightMapOptions), (Flags{1, 1, 0}));
    EXPECT_EQ(rig.panels.forms.size(), 3u);
    EXPECT_TRUE(rig.panels.misuse.empty());
}

// Only a post result of 1 confirms; any other leaves the options and the scene alone.
TEST_F(WeightMapCommand, OnlyAPostResultOfOneConfirms) {
    for (int result : {0, 2, -1, 100}) {
        SCOPED_TRACE(result);
        Rig rig;
        WeightMapOptions = {1, 0, 1};
        rig.answer(result, {{0x8001, 0}, {0x8002, 1}, {0x8003, 0}});
        EXPECT_EQ(rig.run(), 0);
        EXPECT_EQ(flagsOf(WeightMapOptions), (Flags{1, 0, 1}));
        EXPECT_TRUE(rig.host.log.empty());
        EXPECT_TRUE(rig.host.messages.empty());
        EXPECT_EQ(rig.host.item(rig.b1).weightMapName, "");
        SimForm *form = rig.panels.lastForm();
        EXPECT_TRUE(form->destroyed);
        EXPECT_EQ(rig.panels.calls.back(), "form.destroy");
        EXPECT_EQ(std::count(rig.panels.calls.begin(), rig.panels.calls.end(), "form.get 0x8001"), 0);
    }
}

// A value above 0 is checked; 0, a negative value and a control whose value
// the host cannot give are unchecked.
TEST_F(WeightMapCommand, AnswersReadBackAsCheckedOnlyWhenAboveZero) {
    struct Case {
        const char *name;
        std::map<std::uint32_t, std::int32_t> values;
        std::set<std::uint32_t> noAddress;
        Flags expected;
    };
    const Case cases[] = {
        {"all checked", {{0x8001, 1}, {0x8002, 1}, {0x8003, 1}}, {}, {1, 1, 1}},
        {"negative values", {{0x8001, -1}, {0x8002, 7}, {0x8003, -2147483647 - 1}}, {}, {0, 1, 0}},
        {"no address", {{0x8001, 1}, {0x8002, 1}, {0x8003, 1}}, {0x8002}, {1, 0, 1}},
        {"no address at all", {{0x8001, 1}, {0x8002, 1}, {0x8003, 1}}, {0x8001, 0x8002, 0x8003}, {0, 0, 0}},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.name);
        Rig rig;
        WeightMapOptions = {1, 1, 1};
        rig.panels.formUsers.push_back({1, 0, row.values, row.noAddress});
        EXPECT_EQ(rig.run(), 0);
        EXPECT_EQ(flagsOf(WeightMapOptions), row.expected);
        std::vector<std::string> gets;
        for (const std::string &call : rig.panels.calls)
            if (call.rfind("form.get", 0) == 0)
                gets.push_back(call);
        EXPECT_EQ(gets, (std::vector<std::string>{"form.get 0x8001", "form.get 0x8002", "form.get 0x8003"}));
    }
}

TEST_F(WeightMapCommand, WithoutTheFormServiceReturnsTwoAfterTheSelectionCheckAndShowsNothing) {
    Rig rig;
    rig.host.withheld.insert("LWXPanel");
    EXPECT_EQ(rig.run(), 2);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_TRUE(rig.host.log.empty());
    EXPECT_TRUE(rig.panels.calls.empty());
    EXPECT_EQ(rig.host.lookups.back(), "LWXPanel");
    EXPECT_EQ(currentContext, nullptr);

    // With nothing selected the selection check comes first: its message and 0.
    rig.host.clearRecords();
    rig.host.select({});
    EXPECT_EQ(rig.run(), 0);
    EXPECT_EQ(rig.host.errors(), (Lines{"Marrowlink Error: At least one object or bone must be selected"}));
    EXPECT_EQ(std::count(rig.host.lookups.begin(), rig.host.lookups.end(), "LWXPanel"), 0);
    EXPECT_TRUE(rig.panels.calls.empty());
}

TEST_F(WeightMapCommand, AFormThatCannotBeMadeShowsItsMessageAndSendsNothing) {
    Rig rig;
    WeightMapOptions = {1, 1, 0};
    rig.panels.failFormCreate = true;
    EXPECT_EQ(rig.run(), 0);
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].kind, "error");
    EXPECT_EQ(rig.host.messages[0].text, "Marrowlink Error: Unable to create XPanels interface");
    EXPECT_EQ(rig.host.messages[0].text2, "(null)");
    EXPECT_TRUE(rig.host.log.empty());
    EXPECT_EQ(rig.panels.calls, (std::vector<std::string>{"form.create 2"}));
    EXPECT_EQ(flagsOf(WeightMapOptions), (Flags{1, 1, 0}));
}

// The host's calls in order; the form outlives the bone lines and is destroyed
// with the context, after the last of them.
TEST_F(WeightMapCommand, TheFormIsBuiltPostedReadAndDestroyedAfterTheBoneLines) {
    Rig rig;
    rig.answer(1, {{0x8001, 1}});
    EXPECT_EQ(rig.run(), 0);
    EXPECT_EQ(rig.panels.calls,
              (std::vector<std::string>{"form.create 2", "form.describe", "form.hint 0x0", "form.set 0x8001 0",
                                        "form.set 0x8002 0", "form.set 0x8003 0", "form.post", "form.get 0x8001",
                                        "form.get 0x8002", "form.get 0x8003", "form.destroy"}));
    SimForm *form = rig.panels.lastForm();
    EXPECT_TRUE(form->destroyed);
    // Adjust on, weight-map-only off: B2 loses weight-map-only and, with it, normalization.
    EXPECT_EQ(rig.host.namedLines(),
              (Lines{"SelectItem B1", "BoneWeightMapName B1", "SelectItem B2", "BoneWeightMapName B2",
                     "BoneWeightMapOnly", "BoneNormalization", "EditBones", "AddToSelection B2",
                     "AddToSelection B1"}));
    EXPECT_EQ(rig.host.item(rig.b2).flags, boneFlagActive);
    EXPECT_EQ(form->linesBeforeDestroy, 9);
    EXPECT_EQ(form->posts, 1);
}

TEST_F(WeightMapCommand, TheHostGetsTheControlTableTheDataTableAndTheHintListWordByWord) {
    Rig rig;
    rig.answer(0, {});
    rig.run();
    SimForm *form = rig.panels.lastForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->kind, 2);
    EXPECT_EQ(form->controls, (std::vector<SimControlRow>{{0x8000, "About", "vButton"},
                                                           {0x8001, "Adjust Bone Settings", "iBoolean"},
                                                           {0x8002, "Use Weight Map Only", "iBoolean"},
                                                           {0x8003, "Weight Normalization", "iBoolean"}}));
    EXPECT_TRUE(form->described);
    EXPECT_FALSE(form->dataHasReaderOrWriter);
    EXPECT_EQ(form->data, (std::vector<SimControlRow>{{0x8000, "About", ""},
                                                       {0x8001, "Adjust Bone Settings", "integer"},
                                                       {0x8002, "Use Weight Map Only", "integer"},
                                                       {0x8003, "Weight Normalization", "integer"}}));
    // The tables end with an all-zero row.
    EXPECT_EQ(weightMapControls[4].id, 0u);
    EXPECT_EQ(weightMapControls[4].label, nullptr);
    EXPECT_EQ(weightMapControls[4].type, nullptr);
    EXPECT_EQ(weightMapData[4].id, 0u);
    EXPECT_EQ(weightMapData[4].label, nullptr);
    EXPECT_EQ(weightMapData[4].type, nullptr);

    auto title = reinterpret_cast<XPanelHintWord>(weightMapTitle);
    auto action = reinterpret_cast<XPanelHintWord>(&onAboutButton);
    const std::vector<XPanelHintWord> words = {
        0x3d000b03, 0,      title,  0,      0x3d01fe81, 0x8004, 0x8001,     0,      0x3d021581,
        0x8004,     0,      0x3d01fe81, 0x8005, 0x8002, 0x8003, 0,          0x3d01f984, 0x8001,
        0,          0,      0,      0x8002, 0x8003, 0,      0x3d01f984, 0x8002, 0,
        0,          0,      0x8003, 0,      0x3d015f02, 0x8000, action, 0};
    ASSERT_EQ(words.size(), 35u);
    EXPECT_EQ(form->hintWords, words);
    EXPECT_EQ(std::vector<XPanelHintWord>(weightMapHints, weightMapHints + 35), words);
    EXPECT_EQ(form->hintedControl, 0u);
    EXPECT_FALSE(form->hintsMalformed);
    EXPECT_EQ(form->hints.size(), 7u);
    EXPECT_EQ(form->actionOf(0x8000), &onAboutButton);

    // The title: the module's name, " -- ", then the notice opening with byte 169.
    const std::string prefix = "Marrowlink -- \xa9";
    EXPECT_EQ(form->title.compare(0, prefix.size(), prefix), 0) << form->title;
    EXPECT_GT(form->title.size(), prefix.size() + 4);
    EXPECT_LT(form->title.size(), 256u);
    EXPECT_EQ(form->title, std::string(weightMapTitle));
}

// Pressing About while the form is up shows the About panel over the display
// and gives the form back once the panel is closed, as often as it is pressed.
TEST_F(WeightMapCommand, AboutShowsTheAboutPanelWhileTheFormIsUp) {
    Rig rig;
    rig.panels.panelEvents = {{SimPanelEvent::redraw, 0}, {SimPanelEvent::key, 13}, {SimPanelEvent::close, 0}};
    rig.answer(1, {{0x8001, 0}}, 2);
    EXPECT_EQ(rig.run(), 0);
    ASSERT_EQ(rig.panels.panels.size(), 2u);
    for (const auto &panel : rig.panels.panels) {
        EXPECT_EQ(panel->title, "About Marrowlink");
        EXPECT_EQ(panel->openFlags, 16);
        EXPECT_TRUE(panel->destroyed);
        ASSERT_FALSE(panel->texts.empty());
        EXPECT_EQ(panel->texts.front().text, "Marrowlink");
        EXPECT_EQ(panel->pixels.size() % 20000, 0u);
    }
    EXPECT_TRUE(rig.panels.panels[0]->closedByModule);  // Enter
    EXPECT_TRUE(rig.panels.panels[1]->closedByUser);
    // Both panels come and go inside the post, before the answers are read.
    std::vector<std::string> order;
    for (const std::string &call : rig.panels.calls)
        if (call == "form.post" || call == "panel.create About Marrowlink" || call == "panel.destroy" ||
            call == "form.get 0x8001")
            order.push_back(call);
    EXPECT_EQ(order, (std::vector<std::string>{"form.post", "panel.create About Marrowlink", "panel.destroy",
                                               "panel.create About Marrowlink", "panel.destroy",
                                               "form.get 0x8001"}));
    EXPECT_EQ(rig.host.lines().size(), 7u);  // names only, adjust off
    EXPECT_TRUE(rig.panels.misuse.empty());
    EXPECT_EQ(moduleAllocLiveBlocks(), 0);
}

TEST_F(WeightMapCommand, TheAboutButtonDoesNothingWithoutAContextOrPanelServices) {
    Rig rig;
    onAboutButton(nullptr, 0x8000);
    EXPECT_TRUE(rig.panels.calls.empty());

    rig.host.withheld.insert("LWPanelServices");
    rig.answer(1, {}, 1);
    EXPECT_EQ(rig.run(), 0);
    EXPECT_TRUE(rig.panels.panels.empty());
    EXPECT_EQ(rig.host.lines().size(), 7u);  // the command still ran to its end
}

// Every allocation of a confirmed run with two About presses fails in turn,
// once and from then on: the command ends with 0, frees everything, destroys
// every panel and form it made and never works on a bone it lost track of.
TEST_F(WeightMapCommand, SurvivesEveryAllocationFailing) {
    for (bool persistent : {false, true})
        for (int failAt = 1;; ++failAt) {
            SCOPED_TRACE(testing::Message() << "fail at " << failAt << (persistent ? " and after" : ""));
            Rig rig;
            std::vector<ItemId> bones;
            for (int b = 0; b < 12; ++b)
                bones.push_back(rig.host.addBone(rig.object, std::string(b == 5 ? 120 : 3, 'n') + std::to_string(b),
                                                 nullptr, 0));
            rig.host.select(bones);
            rig.answer(1, {{0x8001, 1}, {0x8002, 1}, {0x8003, 1}}, 2);
            moduleAllocFailAt(failAt, persistent);
            int rc = rig.run();
            int injected = moduleAllocDisarm();
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(moduleAllocLiveBlocks(), 0);
            EXPECT_EQ(currentContext, nullptr);
            EXPECT_TRUE(rig.panels.misuse.empty());
            EXPECT_TRUE(rig.host.rejectedLines().empty());
            EXPECT_EQ(rig.host.invalidItemQueries, 0);
            ASSERT_EQ(rig.panels.panels.size(), 2u);
            for (const auto &panel : rig.panels.panels) {
                EXPECT_TRUE(panel->destroyed);
                EXPECT_FALSE(panel->texts.empty());  // with or without its logo, the text shows
            }
            ASSERT_EQ(rig.panels.forms.size(), 1u);
            EXPECT_TRUE(rig.panels.forms[0]->destroyed);
            EXPECT_EQ(flagsOf(WeightMapOptions), (Flags{1, 1, 1}));
            WeightMapOptions = {0, 0, 0};
            if (injected == 0)
                break;
        }
}

}  // namespace
