// AboutPanel: layout, centring, drawing and keys of the About box, and the
// AboutText list it shows. The panel is modal: construction returns only after
// the user has closed it, and the host calls onDraw and onKey in between.
#include "ui/about_panel.h"

#include "commands/line.h"

const char *const aboutTags[4] = {"<HDIV>", "<VTAB>", "<YELLOW>", "<BLACK>"};

const char *AboutText[16];

namespace {

// The module's one static initializer: the tag entries come from the tag table.
struct AboutTextFill {
    AboutTextFill() {
        const char *const filled[16] = {
            aboutTags[aboutYellow],
            "Marrowlink",
            aboutTags[aboutVerticalTab],
            aboutTags[aboutBlack],
            "Ossetry for Lightwave 3D",
            aboutTags[aboutDivider],
            "Jan 14 2001",
            "Made by the Marrowlink authors, free to use",
            aboutTags[aboutDivider],
            "www.example.com/marrowlink",
            "marrowlink@example.com",
            aboutTags[aboutDivider],
            "Marrowlink,",
            "ActivateBones, DeactivateBones, ToggleActiveBones,",
            "RecordBonePivots, RestBones",
            nullptr,
        };
        for (int i = 0; i < 16; ++i)
            AboutText[i] = filled[i];
    }
};
const AboutTextFill aboutTextFill;

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(const char *a, const char *b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (lowerAscii(*a) != lowerAscii(*b))
            return false;
    return *a == *b;
}

std::int32_t larger(std::int32_t a, std::int32_t b) { return a > b ? a : b; }
std::int32_t smaller(std::int32_t a, std::int32_t b) { return a < b ? a : b; }

}  // namespace

AboutTag aboutTagOf(const char *line) {
    for (int tag = aboutDivider; tag <= aboutBlack; ++tag)
        if (equalIgnoringCase(line, aboutTags[tag]))
            return static_cast<AboutTag>(tag);
    return aboutTextLine;
}

// Without a logo (it could not be allocated) the panel is laid out as for a
// logo of 0 x 0: the text column starts 10 pixels from the left edge and the
// first line 10 pixels from the top, so the text still shows in full.
AboutPanel::AboutPanel(PanelServices *services, const char *name, const char *const *shown, void *parent, bool open)
    : panelServices(services), parentPanel(parent), lines(shown) {
    logo = makeLogoImage();
    if (services == nullptr || services->create == nullptr)
        return;
    char title[256];
    formatTextLine(title, sizeof title, "About %s", name);
    panel = services->create(title, services);
    if (panel == nullptr)
        return;  // no panel to lay out, configure or open

    DrawKit kit = takeDrawKit(services);
    std::int32_t lineHeight = kit.metrics().textHeight;
    std::int32_t block = 0, widest = 0;
    for (const char *const *line = lines; line != nullptr && *line != nullptr; ++line)
        switch (aboutTagOf(*line)) {
        case aboutDivider: block += lineHeight + 5; break;
        case aboutVerticalTab: block += lineHeight; break;
        case aboutYellow:
        case aboutBlack: break;
        case aboutTextLine:
            widest = larger(widest, kit.textWidth(panel, *line));
            block += lineHeight;
            break;
        }
    std::int32_t logoWidth = logo != nullptr ? logo->width : 0;
    std::int32_t logoHeight = logo != nullptr ? logo->height : 0;
    textTop = 10;
    if (block + 10 < logoHeight) {
        textTop = (logoHeight - block - 7) / 2;
        block = logoHeight;
    }
    std::int32_t width = logoWidth + widest + 20;
    std::int32_t height = block + 50;
    setAttribute(panelWidth, &width);
    setAttribute(panelHeight, &height);
    setAttribute(panelUserData, this);
    setAttribute(panelDrawCallback, reinterpret_cast<void *>(&AboutPanel::onDraw));
    setAttribute(panelKeyCallback, reinterpret_cast<void *>(&AboutPanel::onKey));
    if (open)
        centreAndOpen();
}

AboutPanel::~AboutPanel() {
    if (panel != nullptr && panelServices->destroy != nullptr)
        panelServices->destroy(panel);
    panel = nullptr;
    freeLogoImage(logo);
    logo = nullptr;
}

std::int32_t AboutPanel::attribute(void *of, int code) const {
    std::int32_t value = 0;
    if (panelServices->get != nullptr)
        panelServices->get(of, code, &value);
    return value;
}

void AboutPanel::setAttribute(int code, void *value) const {
    if (panelServices->set != nullptr)
        panelServices->set(panel, code, value);
}

// Centres over the parent or the display. Each half is taken on its own, so
// a panel larger than its reference moves right and down, never left or up.
void AboutPanel::centreAndOpen() {
    if (panel == nullptr)
        return;
    std::int32_t referenceX = 0, referenceY = 0, referenceWidth, referenceHeight;
    if (parentPanel != nullptr) {
        referenceX = attribute(parentPanel, panelLeft);
        referenceY = attribute(parentPanel, panelTop);
        referenceWidth = attribute(parentPanel, panelWidth);
        referenceHeight = attribute(parentPanel, panelHeight);
    } else {
        DisplayMetrics display = takeDrawKit(panelServices).metrics();
        referenceWidth = display.width;
        referenceHeight = display.height;
    }
    std::int32_t width = attribute(panel, panelWidth);
    std::int32_t height = attribute(panel, panelHeight);
    std::int32_t x = referenceX + larger(referenceWidth, width) / 2 - smaller(referenceWidth, width) / 2;
    std::int32_t y = referenceY + larger(referenceHeight, height) / 2 - smaller(referenceHeight, height) / 2;
    setAttribute(panelLeft, &x);
    setAttribute(panelTop, &y);
    if (panelServices->open != nullptr)
        panelServices->open(panel, panelOpenFlags);
    // The host may move a panel as it opens it, so the position is set again.
    setAttribute(panelLeft, &x);
    setAttribute(panelTop, &y);
    if (panelServices->handle != nullptr)
        panelServices->handle(panel, 1);
}

void AboutPanel::onDraw(void *, void *userData, int) {
    try {
        auto *about = static_cast<AboutPanel *>(userData);
        if (about != nullptr && about->panel != nullptr)
            about->draw();
    } catch (...) {
        // nothing may reach the host; the redraw is simply incomplete
    }
}

void AboutPanel::onKey(void *, void *userData, int key) {
    try {
        auto *about = static_cast<AboutPanel *>(userData);
        if (about != nullptr && about->panel != nullptr && (key & 0xffff) == 13 &&
            about->panelServices->close != nullptr)
            about->panelServices->close(about->panel);
    } catch (...) {
    }
}

// Every redraw starts afresh: metrics, colour and the panel's width as it is now.
void AboutPanel::draw() const {
    DrawKit kit = takeDrawKit(panelServices);
    std::int32_t lineHeight = kit.metrics().textHeight;
    if (logo != nullptr)
        logo->drawImage(panel, kit, 3, 3);
    std::int32_t logoWidth = logo != nullptr ? logo->width : 0;
    std::int32_t left = logoWidth + 10;
    std::int32_t area = attribute(panel, panelWidth) - logoWidth - 20;
    std::int32_t y = textTop;
    int colour = panelColourBlack;
    for (const char *const *line = lines; line != nullptr && *line != nullptr; ++line)
        switch (aboutTagOf(*line)) {
        case aboutDivider:
            drawDivider(panel, kit, left + 10, y + 8, area - 20, 1);
            y += lineHeight + 5;
            break;
        case aboutVerticalTab: y += lineHeight; break;
        case aboutYellow: colour = panelColourYellow; break;
        case aboutBlack: colour = panelColourBlack; break;
        case aboutTextLine: {
            std::int32_t textWidth = kit.textWidth(panel, *line);
            kit.text(panel, *line, colour, left + area / 2 - textWidth / 2, y);
            y += lineHeight;
            break;
        }
        }
}

void drawDivider(void *panel, const DrawKit &kit, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t size) {
    std::int32_t thickness = size / 3;
    if (thickness < 1)
        thickness = 1;
    kit.box(panel, 100, 100, 100, x + 1, y - 1, width - 2, thickness);
    kit.box(panel, 0, 0, 0, x, y, width, thickness);
    kit.box(panel, 200, 200, 200, x + 1, y + 1, width - 2, thickness);
}
