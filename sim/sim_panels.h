// SimPanels: the simulator's "LWXPanel" forms and "LWPanelServices" panels.
// Constructed beside a SimHost, it registers both records in host.services.
// Forms keep what the module gave them (controls, data description, hints,
// values); posting plays a scripted user (About presses, values left in the
// controls, confirm or cancel). Panels keep their attributes and callbacks;
// opening and running them plays scripted events (redraws, keys, closing),
// and the drawing functions paint into each panel's framebuffer and log what
// was drawn. Like SimHost, the records take no host argument, so one SimPanels
// at a time is the active one.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/forms.h"
#include "host/panels.h"
#include "sim/sim_canvas.h"
#include "sim/sim_host.h"

// ---- forms ----

struct SimControlRow {
    std::uint32_t id = 0;
    std::string label;
    std::string type;
    bool operator==(const SimControlRow &) const = default;
};

struct SimHint {
    XPanelHintWord tag = 0;
    std::vector<XPanelHintWord> fixed;   // the tag's fixed words
    std::vector<XPanelHintWord> ids;     // the ID list, without its closing zero
};

// What the scripted user does with one posted form.
struct SimFormUser {
    int result = 1;                                 // what the post returns: 1 confirms
    int aboutPresses = 0;                           // About pressed this often while the form is up
    std::map<std::uint32_t, std::int32_t> values;   // values left in these controls
    std::set<std::uint32_t> noAddress;              // get-value answers null for these controls
};

struct SimForm {
    int kind = 0;
    std::vector<SimControlRow> controls;            // as the module passed them, without the end row
    std::vector<SimControlRow> data;
    bool described = false;
    bool dataHasReaderOrWriter = false;
    std::uint32_t hintedControl = 0;
    std::vector<XPanelHintWord> hintWords;          // the whole list as passed, ending zero included
    std::vector<SimHint> hints;
    bool hintsMalformed = false;
    std::string title;                              // from the title hint, copied when hinted
    std::map<std::uint32_t, std::int32_t> values;   // current value of each control
    std::vector<std::pair<std::uint32_t, std::int32_t>> valuesSet;  // every set-value, in order
    std::vector<std::map<std::uint32_t, std::int32_t>> shownAtPost; // what the user saw at each post
    std::set<std::uint32_t> noAddress;
    int posts = 0;
    bool destroyed = false;
    long linesBeforeDestroy = -1;                   // command lines evaluated when it was destroyed
    SimCanvas picture;                              // the form at its last post, when rendering

    // The action named for a control in the hints, or null.
    XPanelButtonAction actionOf(std::uint32_t id) const;
    // The controls a tie hint makes depend on master.
    std::vector<std::uint32_t> tiedTo(std::uint32_t master) const;
};

// ---- panels ----

struct SimPanelEvent {
    enum Kind { redraw, key, close, resize } kind = redraw;
    int value = 0;          // key: the key argument; resize: the new width
};

struct SimBox {
    int red, green, blue, x, y, width, height;
    int pass;               // the redraw it belongs to (0 before the first)
    bool operator==(const SimBox &) const = default;
};

struct SimText {
    std::string text;
    int colour, x, y;
    int pass;
};

struct SimPixel {
    int red, green, blue, x, y;
    bool operator==(const SimPixel &) const = default;
};

struct SimPanel {
    std::string title;
    bool madeByModule = true;
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    PanelDrawCallback draw = nullptr;
    PanelKeyCallback key = nullptr;
    void *userData = nullptr;
    std::vector<std::pair<int, long long>> attributesSet;  // code and value (integers) in order; pointers as 1
    int openFlags = -1;
    int waitArgument = -1;
    bool isOpen = false;
    bool closedByModule = false;
    bool closedByUser = false;
    bool destroyed = false;
    int redraws = 0;
    std::int32_t xAtOpen = 0, yAtOpen = 0;
    SimCanvas canvas;
    std::vector<SimBox> boxes;
    std::vector<SimText> texts;
    std::vector<SimPixel> pixels;

    void clearDrawing();
};

struct SimPanels {
    SimHost &host;
    XPanelService formService{};
    PanelServices panelServices{};
    PanelDrawFunctions drawFunctions{};
    DisplayMetrics display{};               // 1024 x 768, the font's line height

    // ---- the scripted user ----
    std::deque<SimFormUser> formUsers;      // one per post, in order
    SimFormUser defaultFormUser;            // once the script is used up: confirms as preset
    std::deque<SimPanelEvent> panelEvents;  // played while a panel runs; a close ends one panel
    bool failFormCreate = false;
    bool failPanelCreate = false;
    bool renderForms = false;               // paint each form into its picture at post
    // Scripted text widths; when empty the font measures.
    std::function<int(const std::string &)> textWidth;

    // ---- what the module did ----
    std::vector<std::unique_ptr<SimForm>> forms;
    std::vector<std::unique_ptr<SimPanel>> panels;
    std::vector<std::string> calls;         // every call, in order, e.g. "form.post", "panel.open 16"
    std::vector<std::string> misuse;        // calls on handles that were never made or already destroyed

    static SimPanels *active;

    explicit SimPanels(SimHost &host);
    ~SimPanels();
    SimPanels(const SimPanels &) = delete;
    SimPanels &operator=(const SimPanels &) = delete;
    void activate() { active = this; }

    // A panel that the host made, not the module: a parent to centre over, or
    // an open panel to paint on directly.
    SimPanel *addHostPanel(const std::string &title, std::int32_t x, std::int32_t y, std::int32_t width,
                           std::int32_t height);
    SimPanel *lastPanel() const;            // the last panel made, or null
    SimForm *lastForm() const;

    // Pictures for people: a panel inside a window frame with its title, and
    // a form as the simulator lays it out.
    SimCanvas framedPanel(const SimPanel &panel) const;
    SimCanvas renderForm(const SimForm &form) const;

    // ---- host side ----
    SimPanel *panelOf(void *handle, const char *call);
    SimForm *formOf(void *handle, const char *call);
    void redraw(SimPanel &panel);
    void runPanel(SimPanel &panel);
    int post(SimForm &form);
};

// The colour a text colour code paints with.
SimRgb simTextColour(int code);
// The grey every panel is cleared to.
inline constexpr SimRgb simPanelGrey{150, 150, 150};
