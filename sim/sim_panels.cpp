// SimPanels: the form and panel services of the Layout stand-in, their
// scripted user, and pictures of both for people to look at.
#include "sim/sim_panels.h"

#include <algorithm>
#include <cstring>

SimPanels *SimPanels::active = nullptr;

namespace {

SimPanels &panels() { return *SimPanels::active; }

std::string textOf(const char *text) { return text != nullptr ? text : "(null)"; }

std::string hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", value);
    return buffer;
}

void called(const std::string &what) {
    SimPanels &p = panels();
    ++p.host.hostCalls;
    p.calls.push_back(what);
}

// Rows up to the all-zero row; a table without one is cut off after 256 rows.
std::vector<SimControlRow> copyRows(const XPanelControl *rows) {
    std::vector<SimControlRow> copied;
    for (int i = 0; rows != nullptr && i < 256; ++i) {
        if (rows[i].id == 0 && rows[i].label == nullptr && rows[i].type == nullptr)
            break;
        copied.push_back({rows[i].id, textOf(rows[i].label), textOf(rows[i].type)});
    }
    return copied;
}

constexpr XPanelHintWord titleTag = 0x3d000b03;
constexpr XPanelHintWord groupTag = 0x3d01fe81;
constexpr XPanelHintWord tieTag = 0x3d01f984;
constexpr XPanelHintWord buttonActionTag = 0x3d015f02;

// ---- "LWXPanel" ----

void *formCreate(int kind, const XPanelControl *controls) {
    SimPanels &p = panels();
    called("form.create " + std::to_string(kind));
    if (p.failFormCreate)
        return nullptr;
    auto form = std::make_unique<SimForm>();
    form->kind = kind;
    form->controls = copyRows(controls);
    for (const SimControlRow &row : form->controls)
        form->values[row.id] = 0;
    p.forms.push_back(std::move(form));
    return p.forms.back().get();
}

void formDestroy(void *handle) {
    SimPanels &p = panels();
    called("form.destroy");
    if (SimForm *form = p.formOf(handle, "form.destroy")) {
        form->destroyed = true;
        form->linesBeforeDestroy = p.host.linesEvaluated;
    }
}

void formDescribe(void *handle, const XPanelControl *data, void *reader, void *writer) {
    SimPanels &p = panels();
    called("form.describe");
    if (SimForm *form = p.formOf(handle, "form.describe")) {
        form->data = copyRows(data);
        form->described = true;
        form->dataHasReaderOrWriter = reader != nullptr || writer != nullptr;
    }
}

void formHint(void *handle, std::uint32_t id, const XPanelHintWord *words) {
    SimPanels &p = panels();
    called("form.hint " + hex(id));
    SimForm *form = p.formOf(handle, "form.hint");
    if (form == nullptr)
        return;
    form->hintedControl = id;
    form->hintWords.clear();
    form->hints.clear();
    // Each tag: the low seven bits count its fixed words; bit 7 means an ID
    // list closed by a zero follows. A zero tag ends the list.
    const std::size_t limit = 4096;
    std::size_t at = 0;
    auto word = [&](XPanelHintWord &out) {
        if (words == nullptr || at >= limit)
            return false;
        out = words[at++];
        form->hintWords.push_back(out);
        return true;
    };
    for (;;) {
        SimHint hint;
        if (!word(hint.tag)) {
            form->hintsMalformed = true;
            return;
        }
        if (hint.tag == 0)
            break;
        for (XPanelHintWord n = hint.tag & 0x7f; n > 0; --n) {
            XPanelHintWord fixed;
            if (!word(fixed)) {
                form->hintsMalformed = true;
                return;
            }
            hint.fixed.push_back(fixed);
        }
        if ((hint.tag & 0x80) != 0)
            for (;;) {
                XPanelHintWord listed;
                if (!word(listed)) {
                    form->hintsMalformed = true;
                    return;
                }
                if (listed == 0)
                    break;
                hint.ids.push_back(listed);
            }
        if (hint.tag == titleTag && hint.fixed.size() == 3)
            form->title = textOf(reinterpret_cast<const char *>(hint.fixed[1]));
        form->hints.push_back(std::move(hint));
    }
}

void *formGetValue(void *handle, std::uint32_t id) {
    SimPanels &p = panels();
    called("form.get " + hex(id));
    SimForm *form = p.formOf(handle, "form.get");
    if (form == nullptr || form->noAddress.count(id) != 0)
        return nullptr;
    auto found = form->values.find(id);
    return found != form->values.end() ? &found->second : nullptr;
}

void formSetValue(void *handle, std::uint32_t id, void *value) {
    SimPanels &p = panels();
    std::int32_t v = value != nullptr ? *static_cast<const std::int32_t *>(value) : 0;
    called("form.set " + hex(id) + " " + std::to_string(v));
    SimForm *form = p.formOf(handle, "form.set");
    if (form == nullptr)
        return;
    if (value == nullptr) {
        p.misuse.push_back("form.set without a value");
        return;
    }
    form->values[id] = v;
    form->valuesSet.emplace_back(id, v);
}

int formPost(void *handle) {
    SimPanels &p = panels();
    called("form.post");
    SimForm *form = p.formOf(handle, "form.post");
    return form != nullptr ? p.post(*form) : 0;
}

// ---- "LWPanelServices" ----

void *panelCreate(const char *title, PanelServices *services) {
    SimPanels &p = panels();
    called("panel.create " + textOf(title));
    if (services != &p.panelServices)
        p.misuse.push_back("panel.create without the services record");
    if (p.failPanelCreate)
        return nullptr;
    auto panel = std::make_unique<SimPanel>();
    panel->title = textOf(title);
    p.panels.push_back(std::move(panel));
    return p.panels.back().get();
}

void panelDestroy(void *handle) {
    SimPanels &p = panels();
    called("panel.destroy");
    if (SimPanel *panel = p.panelOf(handle, "panel.destroy")) {
        panel->destroyed = true;
        panel->isOpen = false;
    }
}

int panelOpen(void *handle, int flags) {
    SimPanels &p = panels();
    called("panel.open " + std::to_string(flags));
    SimPanel *panel = p.panelOf(handle, "panel.open");
    if (panel == nullptr)
        return 0;
    panel->openFlags = flags;
    panel->isOpen = true;
    panel->xAtOpen = panel->x;
    panel->yAtOpen = panel->y;
    panel->canvas.resize(panel->width, panel->height, simPanelGrey);
    p.redraw(*panel);  // the host draws a panel as it opens it
    return 1;
}

int panelHandle(void *handle, int wait) {
    SimPanels &p = panels();
    called("panel.handle " + std::to_string(wait));
    SimPanel *panel = p.panelOf(handle, "panel.handle");
    if (panel == nullptr)
        return 0;
    panel->waitArgument = wait;
    if (wait != 0)
        p.runPanel(*panel);
    return 0;
}

void panelClose(void *handle) {
    SimPanels &p = panels();
    called("panel.close");
    if (SimPanel *panel = p.panelOf(handle, "panel.close")) {
        panel->isOpen = false;
        panel->closedByModule = true;
    }
}

void panelGet(void *handle, int code, void *value) {
    SimPanels &p = panels();
    called("panel.get " + std::to_string(code));
    SimPanel *panel = p.panelOf(handle, "panel.get");
    if (panel == nullptr || value == nullptr)
        return;
    std::int32_t found = 0;
    switch (code) {
    case panelLeft: found = panel->x; break;
    case panelTop: found = panel->y; break;
    case panelWidth: found = panel->width; break;
    case panelHeight: found = panel->height; break;
    default: break;
    }
    std::memcpy(value, &found, sizeof found);
}

void panelSet(void *handle, int code, void *value) {
    SimPanels &p = panels();
    SimPanel *panel = p.panelOf(handle, "panel.set");
    std::int32_t number = 0;
    bool integer = code == panelLeft || code == panelTop || code == panelWidth || code == panelHeight;
    if (integer && value != nullptr)
        std::memcpy(&number, value, sizeof number);
    called("panel.set " + std::to_string(code) + (integer ? " " + std::to_string(number) : ""));
    if (panel == nullptr)
        return;
    if (integer && value == nullptr) {
        p.misuse.push_back("panel.set " + std::to_string(code) + " without a value");
        return;
    }
    panel->attributesSet.emplace_back(code, integer ? number : (value != nullptr ? 1 : 0));
    switch (code) {
    case panelLeft: panel->x = number; break;
    case panelTop: panel->y = number; break;
    case panelWidth: panel->width = number; break;
    case panelHeight: panel->height = number; break;
    case panelDrawCallback: panel->draw = reinterpret_cast<PanelDrawCallback>(value); break;
    case panelUserData: panel->userData = value; break;
    case panelKeyCallback: panel->key = reinterpret_cast<PanelKeyCallback>(value); break;
    default: break;
    }
}

std::uint8_t channel(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

void drawPixel(void *handle, int red, int green, int blue, int x, int y) {
    SimPanels &p = panels();
    ++p.host.hostCalls;
    if (SimPanel *panel = p.panelOf(handle, "draw.pixel")) {
        panel->pixels.push_back({red, green, blue, x, y});
        panel->canvas.plot(x, y, {channel(red), channel(green), channel(blue)});
    }
}

void drawBox(void *handle, int red, int green, int blue, int x, int y, int width, int height) {
    SimPanels &p = panels();
    ++p.host.hostCalls;
    if (SimPanel *panel = p.panelOf(handle, "draw.box")) {
        panel->boxes.push_back({red, green, blue, x, y, width, height, panel->redraws});
        panel->canvas.box(x, y, width, height, {channel(red), channel(green), channel(blue)});
    }
}

int textWidth(void *handle, const char *text) {
    SimPanels &p = panels();
    ++p.host.hostCalls;
    p.panelOf(handle, "draw.textWidth");
    std::string measured = textOf(text);
    return p.textWidth ? p.textWidth(measured) : simTextWidth(measured);
}

void drawText(void *handle, const char *text, int colour, int x, int y) {
    SimPanels &p = panels();
    ++p.host.hostCalls;
    if (SimPanel *panel = p.panelOf(handle, "draw.text")) {
        panel->texts.push_back({textOf(text), colour, x, y, panel->redraws});
        simDrawText(panel->canvas, textOf(text), x, y, simTextColour(colour));
    }
}

const DisplayMetrics *displayMetrics() {
    SimPanels &p = panels();
    ++p.host.hostCalls;
    return &p.display;
}

// ---- pictures ----

const SimRgb white{255, 255, 255}, black{0, 0, 0}, shadow{96, 96, 96}, light{212, 212, 212};
const SimRgb buttonFace{178, 178, 178}, greyedText{104, 104, 104}, titleBar{58, 64, 76};

void bevel(SimCanvas &canvas, int x, int y, int width, int height, bool raised) {
    SimRgb top = raised ? light : shadow, bottom = raised ? shadow : light;
    canvas.box(x, y, width, 1, top);
    canvas.box(x, y, 1, height, top);
    canvas.box(x, y + height - 1, width, 1, bottom);
    canvas.box(x + width - 1, y, 1, height, bottom);
}

void button(SimCanvas &canvas, const std::string &label, int x, int y, int width, int height) {
    canvas.box(x, y, width, height, buttonFace);
    bevel(canvas, x, y, width, height, true);
    simDrawText(canvas, label, x + (width - simTextWidth(label)) / 2, y + (height - simFontLineHeight()) / 2 + 1,
                black);
}

void tick(SimCanvas &canvas, int x, int y, SimRgb colour) {
    const int points[][2] = {{2, 6}, {3, 7}, {4, 8}, {5, 9}, {6, 8}, {7, 7}, {8, 6}, {9, 5}, {10, 4}, {11, 3}};
    for (const auto &point : points) {
        canvas.box(x + point[0], y + point[1] - 1, 1, 3, colour);
    }
}

void checkbox(SimCanvas &canvas, const std::string &label, bool checked, bool enabled, int x, int y,
              int rowHeight) {
    int boxTop = y + (rowHeight - 14) / 2;
    canvas.box(x, boxTop, 14, 14, enabled ? white : light);
    bevel(canvas, x, boxTop, 14, 14, false);
    if (checked)
        tick(canvas, x, boxTop, enabled ? black : greyedText);
    simDrawText(canvas, label, x + 22, y + (rowHeight - simFontLineHeight()) / 2, enabled ? black : greyedText);
}

SimCanvas windowFrame(const SimCanvas &content, const std::string &title) {
    const int bar = 22;
    SimCanvas framed;
    framed.resize(content.width + 2, content.height + bar + 2, titleBar);
    simDrawText(framed, title, 8, (bar - simFontLineHeight()) / 2 + 1, white);
    framed.paste(content, 1, bar + 1);
    return framed;
}

}  // namespace

// ---- SimForm ----

XPanelButtonAction SimForm::actionOf(std::uint32_t id) const {
    for (const SimHint &hint : hints)
        if (hint.tag == buttonActionTag && hint.fixed.size() == 2 && hint.fixed[0] == id)
            return reinterpret_cast<XPanelButtonAction>(hint.fixed[1]);
    return nullptr;
}

std::vector<std::uint32_t> SimForm::tiedTo(std::uint32_t master) const {
    std::vector<std::uint32_t> tied;
    for (const SimHint &hint : hints)
        if (hint.tag == tieTag && !hint.fixed.empty() && hint.fixed[0] == master)
            for (XPanelHintWord id : hint.ids)
                tied.push_back(static_cast<std::uint32_t>(id));
    return tied;
}

void SimPanel::clearDrawing() {
    boxes.clear();
    texts.clear();
    pixels.clear();
}

SimRgb simTextColour(int code) {
    switch (code) {
    case panelColourBlack: return {0, 0, 0};
    case panelColourYellow: return {255, 226, 72};
    default: return {255, 0, 255};  // a code the simulator does not know shows up plainly
    }
}

// ---- SimPanels ----

SimPanels::SimPanels(SimHost &simHost) : host(simHost) {
    formService = XPanelService{
        .unused0 = nullptr,
        .unused1 = nullptr,
        .create = formCreate,
        .destroy = formDestroy,
        .describe = formDescribe,
        .hint = formHint,
        .unused6 = nullptr,
        .unused7 = nullptr,
        .getValue = formGetValue,
        .setValue = formSetValue,
        .unused10 = nullptr,
        .unused11 = nullptr,
        .post = formPost,
    };
    drawFunctions = PanelDrawFunctions{
        .unused0 = nullptr,
        .drawPixel = drawPixel,
        .unused2 = nullptr,
        .unused3 = nullptr,
        .drawBox = drawBox,
        .unused5 = nullptr,
        .textWidth = ::textWidth,
        .drawText = drawText,
        .displayMetrics = displayMetrics,
    };
    panelServices = PanelServices{
        .create = panelCreate,
        .destroy = panelDestroy,
        .open = panelOpen,
        .handle = panelHandle,
        .unused4 = nullptr,
        .close = panelClose,
        .get = panelGet,
        .set = panelSet,
        .unused8 = nullptr,
        .unused9 = nullptr,
        .drawFunctions = &drawFunctions,
    };
    display = DisplayMetrics{.width = 1024, .height = 768, .unused2 = 0, .unused3 = 0, .unused4 = 0, .unused5 = 0,
                             .textHeight = simFontLineHeight()};
    host.services[formServiceName] = &formService;
    host.services[panelServicesName] = &panelServices;
    active = this;
}

SimPanels::~SimPanels() {
    host.services.erase(formServiceName);
    host.services.erase(panelServicesName);
    if (active == this)
        active = nullptr;
}

SimPanel *SimPanels::addHostPanel(const std::string &title, std::int32_t x, std::int32_t y, std::int32_t width,
                                  std::int32_t height) {
    auto panel = std::make_unique<SimPanel>();
    panel->title = title;
    panel->madeByModule = false;
    panel->x = x;
    panel->y = y;
    panel->width = width;
    panel->height = height;
    panel->isOpen = true;
    panel->canvas.resize(width, height, simPanelGrey);
    panels.push_back(std::move(panel));
    return panels.back().get();
}

SimPanel *SimPanels::lastPanel() const {
    for (auto it = panels.rbegin(); it != panels.rend(); ++it)
        if ((*it)->madeByModule)
            return it->get();
    return nullptr;
}

SimForm *SimPanels::lastForm() const { return forms.empty() ? nullptr : forms.back().get(); }

SimPanel *SimPanels::panelOf(void *handle, const char *call) {
    for (const auto &panel : panels)
        if (panel.get() == handle) {
            if (panel->destroyed)
                misuse.push_back(std::string(call) + " on a destroyed panel");
            return panel.get();
        }
    misuse.push_back(std::string(call) + " on a panel that was never made");
    return nullptr;
}

SimForm *SimPanels::formOf(void *handle, const char *call) {
    for (const auto &form : forms)
        if (form.get() == handle) {
            if (form->destroyed)
                misuse.push_back(std::string(call) + " on a destroyed form");
            return form.get();
        }
    misuse.push_back(std::string(call) + " on a form that was never made");
    return nullptr;
}

void SimPanels::redraw(SimPanel &panel) {
    ++panel.redraws;
    if (panel.canvas.width != panel.width || panel.canvas.height != panel.height)
        panel.canvas.resize(panel.width, panel.height, simPanelGrey);
    else
        panel.canvas.fill(simPanelGrey);
    if (panel.draw != nullptr)
        panel.draw(&panel, panel.userData, 0);
}

// Plays the scripted events until the panel is closed; when they run out with
// the panel still open, the user closes it with the window's own button.
void SimPanels::runPanel(SimPanel &panel) {
    while (panel.isOpen && !panel.destroyed) {
        if (panelEvents.empty()) {
            panel.isOpen = false;
            panel.closedByUser = true;
            return;
        }
        SimPanelEvent event = panelEvents.front();
        panelEvents.pop_front();
        switch (event.kind) {
        case SimPanelEvent::redraw: redraw(panel); break;
        case SimPanelEvent::key:
            if (panel.key != nullptr)
                panel.key(&panel, panel.userData, event.value);
            break;
        case SimPanelEvent::close:
            panel.isOpen = false;
            panel.closedByUser = true;
            break;
        case SimPanelEvent::resize:
            panel.width = event.value;
            redraw(panel);
            break;
        }
    }
}

int SimPanels::post(SimForm &form) {
    ++form.posts;
    form.shownAtPost.push_back(form.values);
    if (renderForms)
        form.picture = renderForm(form);
    SimFormUser user = defaultFormUser;
    if (!formUsers.empty()) {
        user = formUsers.front();
        formUsers.pop_front();
    }
    for (int press = 0; press < user.aboutPresses; ++press) {
        XPanelButtonAction action = form.actionOf(0x8000);
        if (action == nullptr) {
            misuse.push_back("About pressed on a form without an action for it");
            break;
        }
        action(&form, 0x8000);
    }
    for (const auto &[id, value] : user.values)
        form.values[id] = value;
    form.noAddress = user.noAddress;
    return user.result;
}

SimCanvas SimPanels::framedPanel(const SimPanel &panel) const { return windowFrame(panel.canvas, panel.title); }

// The form as the simulator lays it out: controls in table order, a gathering
// framed around its members, a tied control greyed while its master is off,
// and OK and Cancel at the bottom.
SimCanvas SimPanels::renderForm(const SimForm &form) const {
    const int margin = 12;
    const int width = std::max(320, simTextWidth(form.title) + 2 * margin);
    const int row = simFontLineHeight() + 9;
    SimCanvas body;
    body.resize(width, 1000, simPanelGrey);

    std::map<std::uint32_t, std::uint32_t> groupOf;
    std::map<std::uint32_t, std::vector<std::uint32_t>> members;
    for (const SimHint &hint : form.hints)
        if (hint.tag == groupTag && hint.fixed.size() == 1)
            for (XPanelHintWord id : hint.ids) {
                groupOf[static_cast<std::uint32_t>(id)] = static_cast<std::uint32_t>(hint.fixed[0]);
                members[static_cast<std::uint32_t>(hint.fixed[0])].push_back(static_cast<std::uint32_t>(id));
            }
    std::set<std::uint32_t> disabled;
    for (const SimControlRow &control : form.controls) {
        auto value = form.values.find(control.id);
        if (value == form.values.end() || value->second <= 0 || disabled.count(control.id) != 0)
            for (std::uint32_t tied : form.tiedTo(control.id))
                disabled.insert(tied);
    }
    auto valueOf = [&](std::uint32_t id) {
        auto found = form.values.find(id);
        return found != form.values.end() ? found->second : 0;
    };
    auto drawControl = [&](const SimControlRow &control, int x, int y) {
        if (control.type == "vButton")
            button(body, control.label, x, y + 2, simTextWidth(control.label) + 32, row - 4);
        else if (control.type == "iBoolean")
            checkbox(body, control.label, valueOf(control.id) > 0, disabled.count(control.id) == 0, x, y, row);
        else
            simDrawText(body, control.label + ": " + std::to_string(valueOf(control.id)), x,
                        y + (row - simFontLineHeight()) / 2, black);
    };

    int y = margin;
    std::set<std::uint32_t> drawnGroups;
    for (const SimControlRow &control : form.controls) {
        auto group = groupOf.find(control.id);
        if (group == groupOf.end()) {
            drawControl(control, margin, y);
            y += row + 4;
            continue;
        }
        if (!drawnGroups.insert(group->second).second)
            continue;
        const std::vector<std::uint32_t> &inGroup = members[group->second];
        int height = static_cast<int>(inGroup.size()) * row + 10;
        bevel(body, margin, y, width - 2 * margin, height, false);
        bevel(body, margin + 1, y + 1, width - 2 * margin - 2, height - 2, true);
        int memberY = y + 5;
        for (std::uint32_t id : inGroup)
            for (const SimControlRow &member : form.controls)
                if (member.id == id) {
                    drawControl(member, margin + 12, memberY);
                    memberY += row;
                }
        y += height + 8;
    }
    y += 4;
    body.box(margin, y, width - 2 * margin, 1, shadow);
    body.box(margin, y + 1, width - 2 * margin, 1, light);
    y += 10;
    int buttonWidth = 76;
    button(body, "OK", width - margin - 2 * buttonWidth - 8, y, buttonWidth, row);
    button(body, "Cancel", width - margin - buttonWidth, y, buttonWidth, row);
    y += row + margin;

    SimCanvas cropped;
    cropped.resize(width, y, simPanelGrey);
    cropped.paste(body, 0, 0);
    return windowFrame(cropped, form.title);
}
