// The About panel: AboutText, the layout arithmetic with scripted line heights
// and text widths, centring, the drawing pass (logo, centred lines, dividers,
// colours), keys, and the panel or logo that cannot be had.
#include <gtest/gtest.h>

#include "sim/sim_panels.h"
#include "test_support.h"
#include "ui/about_panel.h"

namespace {

// A host whose text is 7 pixels a character and whose lines are lineHeight high.
struct PanelHost {
    SimHost host;
    SimPanels panels{host};

    explicit PanelHost(int lineHeight = 15) {
        panels.display.textHeight = lineHeight;
        panels.textWidth = [](const std::string &text) { return 7 * static_cast<int>(text.size()); };
    }
    PanelServices *services() { return &panels.panelServices; }
};

using Texts = std::vector<const char *>;

// The lines as a null-terminated list.
std::vector<const char *> listOf(Texts lines) {
    lines.push_back(nullptr);
    return lines;
}

TEST(AboutText, HoldsTheFifteenLinesWithTheTagsFromTheTagTable) {
    const char *expected[15] = {"<YELLOW>", "Marrowlink", "<VTAB>", "<BLACK>", "Ossetry for Lightwave 3D", "<HDIV>",
                                "Jan 14 2001", nullptr, "<HDIV>", nullptr, nullptr, "<HDIV>", "Marrowlink,",
                                "ActivateBones, DeactivateBones, ToggleActiveBones,", "RecordBonePivots, RestBones"};
    for (int i = 0; i < 15; ++i) {
        ASSERT_NE(AboutText[i], nullptr) << i;
        if (expected[i] != nullptr) {
            EXPECT_STREQ(AboutText[i], expected[i]) << i;
        }
    }
    EXPECT_EQ(AboutText[15], nullptr);
    EXPECT_EQ(AboutText[0], aboutTags[aboutYellow]);
    EXPECT_EQ(AboutText[2], aboutTags[aboutVerticalTab]);
    EXPECT_EQ(AboutText[3], aboutTags[aboutBlack]);
    for (int i : {5, 8, 11})
        EXPECT_EQ(AboutText[i], aboutTags[aboutDivider]);
    EXPECT_NE(std::string(AboutText[9]).find("example.com"), std::string::npos);
    EXPECT_NE(std::string(AboutText[10]).find("@example.com"), std::string::npos);
}

TEST(AboutTag, MatchesTagsWithoutRegardToCaseAndNothingElse) {
    const std::pair<const char *, AboutTag> cases[] = {
        {"<HDIV>", aboutDivider}, {"<hdiv>", aboutDivider},   {"<HDiv>", aboutDivider}, {"<vtab>", aboutVerticalTab},
        {"<Yellow>", aboutYellow}, {"<black>", aboutBlack},   {"<HDIV", aboutTextLine}, {"<HDIV> ", aboutTextLine},
        {"HDIV", aboutTextLine},   {"", aboutTextLine},       {"<HDIVX>", aboutTextLine},
    };
    for (auto [line, tag] : cases)
        EXPECT_EQ(aboutTagOf(line), tag) << '"' << line << '"';
}

// Block height B, textTop and the panel's size, for a scripted line height.
TEST(AboutPanel, LayoutArithmetic) {
    const std::string ninety(10, 'w');  // 70 pixels wide
    struct Case {
        const char *name;
        int lineHeight;
        Texts lines;
        int textTop, width, height;
    };
    const Texts tenLines(10, "abc"), nineLines(9, "abc");
    std::vector<const char *> aboutText(AboutText, AboutText + 15);
    const Case cases[] = {
        {"empty list", 15, {}, 96, 120, 250},
        {"B 190 keeps textTop 10", 19, tenLines, 10, 141, 240},
        {"B 189 centres with -7", 21, nineLines, 2, 141, 250},
        {"AboutText at height 13", 13, aboutText, 4, 470, 250},
        {"AboutText at height 14", 14, aboutText, 10, 470, 247},
        {"tags take no width, any case", 20, {"<hdiv>", "<Vtab>", "<yellow>", "<BLACK>"}, (200 - 45 - 7) / 2, 120, 250},
        {"tall block", 30, tenLines, 10, 141, 350},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.name);
        PanelHost h(row.lineHeight);
        std::vector<const char *> lines = listOf(row.lines);
        {
            AboutPanel about(h.services(), "Marrowlink", lines.data(), nullptr, false);
            EXPECT_EQ(about.textTop, row.textTop);
            SimPanel *panel = h.panels.lastPanel();
            ASSERT_NE(panel, nullptr);
            EXPECT_EQ(panel->title, "About Marrowlink");
            EXPECT_EQ(panel->attributesSet, (std::vector<std::pair<int, long long>>{
                                                {2, row.width}, {3, row.height}, {12, 1}, {7, 1}, {13, 1}}));
            EXPECT_EQ(panel->userData, &about);
            EXPECT_FALSE(panel->isOpen);
            EXPECT_EQ(panel->openFlags, -1);
        }
        EXPECT_TRUE(h.panels.lastPanel()->destroyed);
        EXPECT_TRUE(h.panels.misuse.empty());
        EXPECT_EQ(moduleAllocLiveBlocks(), 0);
    }
}

// Each half is taken on its own, so the panel never lands above or left of
// its reference, and the position is set before and after opening.
TEST(AboutPanel, CentresOverTheDisplayOrTheParent) {
    struct Case {
        const char *name;
        bool parent;
        int referenceX, referenceY, referenceWidth, referenceHeight;
        int width, height;
        int x, y;
    };
    const Case cases[] = {
        {"121 over 1024 at 452", false, 0, 0, 1024, 768, 121, 250, 452, 259},
        {"even sizes", false, 0, 0, 1024, 768, 120, 250, 452, 259},
        {"larger than the display", false, 0, 0, 1024, 768, 1101, 800, 38, 16},
        {"over a parent", true, 100, 50, 400, 300, 121, 250, 240, 75},
        {"larger than its parent", true, 10, 20, 100, 100, 301, 250, 110, 95},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.name);
        PanelHost h;
        h.panels.display.width = row.referenceWidth;
        h.panels.display.height = row.referenceHeight;
        SimPanel *parent = row.parent ? h.panels.addHostPanel("parent", row.referenceX, row.referenceY,
                                                              row.referenceWidth, row.referenceHeight)
                                      : nullptr;
        std::vector<const char *> lines = listOf({"text"});
        AboutPanel about(h.services(), "Marrowlink", lines.data(), parent, false);
        SimPanel *panel = h.panels.lastPanel();
        panel->width = row.width;
        panel->height = row.height;
        h.panels.calls.clear();
        about.centreAndOpen();
        std::string x = std::to_string(row.x), y = std::to_string(row.y);
        std::vector<std::string> expected;
        if (row.parent)
            expected = {"panel.get 0", "panel.get 1", "panel.get 2", "panel.get 3"};
        expected.insert(expected.end(), {"panel.get 2", "panel.get 3", "panel.set 0 " + x, "panel.set 1 " + y,
                                         "panel.open 16", "panel.get 2" /* the first redraw */, "panel.set 0 " + x,
                                         "panel.set 1 " + y, "panel.handle 1"});
        EXPECT_EQ(h.panels.calls, expected);
        EXPECT_EQ(panel->xAtOpen, row.x);
        EXPECT_EQ(panel->yAtOpen, row.y);
        EXPECT_EQ(panel->waitArgument, 1);
        EXPECT_TRUE(panel->closedByUser);
    }
}

TEST(AboutPanel, ConstructionWithOpenReturnsOnlyAfterThePanelIsClosed) {
    PanelHost h;
    h.panels.panelEvents = {{SimPanelEvent::redraw, 0}, {SimPanelEvent::key, 13}, {SimPanelEvent::redraw, 0}};
    {
        AboutPanel about(h.services(), "Marrowlink", AboutText, nullptr, true);
        SimPanel *panel = h.panels.lastPanel();
        EXPECT_FALSE(panel->isOpen);
        EXPECT_TRUE(panel->closedByModule);
        EXPECT_EQ(panel->redraws, 2);  // on opening, and the scripted one
        EXPECT_FALSE(panel->destroyed);
    }
    EXPECT_EQ(h.panels.panelEvents.size(), 1u);  // what followed the Enter key is left
    EXPECT_EQ(h.panels.calls.back(), "panel.destroy");
    EXPECT_TRUE(h.panels.misuse.empty());
}

TEST(AboutPanel, EnterClosesAndOtherKeysDoNot) {
    struct Case {
        int key;
        bool closes;
    };
    const Case cases[] = {{13, true},     {0x1000d, true}, {-65523, true}, {10, false},
                          {27, false},    {32, false},     {0x010d, false},    {'a', false}};
    for (const Case &row : cases) {
        SCOPED_TRACE(row.key);
        PanelHost h;
        h.panels.panelEvents = {{SimPanelEvent::key, row.key}, {SimPanelEvent::redraw, 0}};
        AboutPanel about(h.services(), "Marrowlink", AboutText, nullptr, true);
        SimPanel *panel = h.panels.lastPanel();
        EXPECT_EQ(panel->closedByModule, row.closes);
        EXPECT_EQ(panel->redraws, row.closes ? 1 : 2);
    }
}

// One redraw of AboutText with the logo: every text line centred in the text
// area at its y, the dividers' boxes between them, the logo's 20000 pixels.
TEST(AboutPanel, DrawsTheLogoTheCentredLinesAndTheDividers) {
    PanelHost h(15);
    AboutPanel about(h.services(), "Marrowlink", AboutText, nullptr, true);
    SimPanel *panel = h.panels.lastPanel();
    ASSERT_EQ(panel->redraws, 1);
    EXPECT_EQ(panel->width, 470);
    const int left = 110, area = 470 - 120, top = about.textTop;
    EXPECT_EQ(top, 10);  // B = 13 * 15 + 15 = 210

    struct Expected {
        const char *text;
        int y;
    };
    const int h15 = 15, divider = 20;
    const Expected texts[] = {
        {"Marrowlink", top},
        {"Ossetry for Lightwave 3D", top + 2 * h15},
        {"Jan 14 2001", top + 3 * h15 + divider},
        {AboutText[7], top + 4 * h15 + divider},
        {AboutText[9], top + 5 * h15 + 2 * divider},
        {AboutText[10], top + 6 * h15 + 2 * divider},
        {"Marrowlink,", top + 7 * h15 + 3 * divider},
        {"ActivateBones, DeactivateBones, ToggleActiveBones,", top + 8 * h15 + 3 * divider},
        {"RecordBonePivots, RestBones", top + 9 * h15 + 3 * divider},
    };
    ASSERT_EQ(panel->texts.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) {
        SCOPED_TRACE(texts[i].text);
        const SimText &drawn = panel->texts[i];
        int width = 7 * static_cast<int>(std::string(texts[i].text).size());
        EXPECT_EQ(drawn.text, texts[i].text);
        EXPECT_EQ(drawn.x, left + area / 2 - width / 2);
        EXPECT_EQ(drawn.y, texts[i].y);
    }
    std::vector<SimBox> expectedBoxes;
    for (int y : {top + 3 * h15 + 8, top + 5 * h15 + divider + 8, top + 7 * h15 + 2 * divider + 8}) {
        int x = left + 10, width = area - 20;
        expectedBoxes.push_back({100, 100, 100, x + 1, y - 1, width - 2, 1, 1});
        expectedBoxes.push_back({0, 0, 0, x, y, width, 1, 1});
        expectedBoxes.push_back({200, 200, 200, x + 1, y + 1, width - 2, 1, 1});
    }
    EXPECT_EQ(panel->boxes, expectedBoxes);
    ASSERT_EQ(panel->pixels.size(), 20000u);
    EXPECT_EQ(panel->pixels.front().x, 3);
    EXPECT_EQ(panel->pixels.front().y, 3);
    EXPECT_EQ(panel->pixels.back().x, 102);
    EXPECT_EQ(panel->pixels.back().y, 202);
    // The divider shows on the canvas: grey, black, light grey from top to bottom.
    int dividerY = top + 3 * h15 + 8, middle = left + area / 2;
    EXPECT_EQ(panel->canvas.at(middle, dividerY - 1), (SimRgb{100, 100, 100}));
    EXPECT_EQ(panel->canvas.at(middle, dividerY), (SimRgb{0, 0, 0}));
    EXPECT_EQ(panel->canvas.at(middle, dividerY + 1), (SimRgb{200, 200, 200}));
}

// A colour tag holds across dividers and empty lines until the next one, and
// every redraw starts again in 4139, measuring and centring on the width the
// panel has at that moment.
TEST(AboutPanel, ColoursAndCentringStartAfreshOnEveryRedraw) {
    PanelHost h;
    std::vector<const char *> lines =
        listOf({"first", "<YELLOW>", "name", "<hDiv>", "<VTAB>", "still yellow", "<black>", "plain", "<yellow>"});
    h.panels.panelEvents = {{SimPanelEvent::redraw, 0}, {SimPanelEvent::resize, 300}};
    AboutPanel about(h.services(), "Marrowlink", lines.data(), nullptr, true);
    SimPanel *panel = h.panels.lastPanel();
    ASSERT_EQ(panel->redraws, 3);
    ASSERT_EQ(panel->texts.size(), 12u);
    for (int pass = 1; pass <= 3; ++pass) {
        SCOPED_TRACE(pass);
        const SimText *drawn = &panel->texts[static_cast<std::size_t>(pass - 1) * 4];
        EXPECT_EQ(drawn[0].pass, pass);
        EXPECT_EQ(drawn[0].colour, 4139);
        EXPECT_EQ(drawn[1].colour, 4146);
        EXPECT_EQ(drawn[2].colour, 4146);
        EXPECT_EQ(drawn[3].colour, 4139);
        int width = pass < 3 ? static_cast<int>(panel->attributesSet[0].second) : 300;
        int area = width - 120;
        EXPECT_EQ(drawn[1].x, 110 + area / 2 - 28 / 2);  // "name" is 28 wide
    }
    EXPECT_EQ(panel->boxes.size(), 9u);  // the lower-case divider tag draws a divider, not text
}

TEST(AboutPanel, AboutTextIsDrawnInYellowThenBlack) {
    PanelHost h;
    h.panels.panelEvents = {{SimPanelEvent::redraw, 0}};
    AboutPanel about(h.services(), "Marrowlink", AboutText, nullptr, true);
    SimPanel *panel = h.panels.lastPanel();
    ASSERT_EQ(panel->texts.size(), 18u);
    for (const SimText &drawn : panel->texts)
        EXPECT_EQ(drawn.colour, drawn.text == "Marrowlink" ? 4146 : 4139) << drawn.text;
}

TEST(DrawDivider, ThicknessIsAThirdOfTheSizeAndAtLeastOne) {
    const std::pair<int, int> cases[] = {{1, 1}, {5, 1}, {6, 2}, {9, 3}, {0, 1}, {-4, 1}, {-9, 1}};
    for (auto [size, thickness] : cases) {
        SCOPED_TRACE(size);
        PanelHost h;
        SimPanel *panel = h.panels.addHostPanel("canvas", 0, 0, 100, 50);
        drawDivider(panel, takeDrawKit(h.services()), 10, 20, 40, size);
        EXPECT_EQ(panel->boxes, (std::vector<SimBox>{{100, 100, 100, 11, 19, 38, thickness, 0},
                                                     {0, 0, 0, 10, 20, 40, thickness, 0},
                                                     {200, 200, 200, 11, 21, 38, thickness, 0}}));
        // The later boxes are drawn over the earlier ones where they overlap.
        EXPECT_EQ(panel->canvas.at(30, 21), (SimRgb{200, 200, 200}));
        EXPECT_EQ(panel->canvas.at(10, 20), (SimRgb{0, 0, 0}));
    }
}

TEST(AboutPanel, APanelTheHostCannotCreateIsNeitherLaidOutNorOpened) {
    PanelHost h;
    h.panels.failPanelCreate = true;
    {
        AboutPanel about(h.services(), "Marrowlink", AboutText, nullptr, true);
        EXPECT_EQ(about.panel, nullptr);
    }
    EXPECT_EQ(h.panels.calls, (std::vector<std::string>{"panel.create About Marrowlink"}));
    EXPECT_TRUE(h.panels.misuse.empty());
    EXPECT_EQ(moduleAllocLiveBlocks(), 0);
}

// Without its logo the panel is laid out as for a logo of 0 x 0 and still
// shows every line.
TEST(AboutPanel, WithoutItsLogoThePanelShowsItsTextFromTheLeftEdge) {
    for (int failAt : {1, 2}) {
        SCOPED_TRACE(failAt);
        PanelHost h(15);
        moduleAllocFailAt(failAt, false);
        {
            AboutPanel about(h.services(), "Marrowlink", AboutText, nullptr, true);
            EXPECT_EQ(moduleAllocDisarm(), 1);
            EXPECT_EQ(about.logo, nullptr);
            EXPECT_EQ(about.textTop, 10);
        }
        SimPanel *panel = h.panels.lastPanel();
        EXPECT_EQ(panel->attributesSet[0], (std::pair<int, long long>{2, 350 + 20}));
        EXPECT_EQ(panel->attributesSet[1], (std::pair<int, long long>{3, 210 + 50}));
        EXPECT_EQ(panel->openFlags, 16);
        EXPECT_TRUE(panel->pixels.empty());
        ASSERT_EQ(panel->texts.size(), 9u);
        EXPECT_EQ(panel->texts[7].x, 10);  // the widest line fills the text area
        EXPECT_EQ(panel->boxes.front().x, 10 + 10 + 1);
        EXPECT_TRUE(panel->destroyed);
        EXPECT_EQ(moduleAllocLiveBlocks(), 0);
    }
}

}  // namespace
