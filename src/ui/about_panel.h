// AboutPanel: the modal About box with the logo at its left and a column of
// centred text lines with markup tags. Borrows the panel services and the
// lines; owns the host panel it has created and its LogoImage.
#pragma once

#include <cstdint>

#include "host/panels.h"
#include "ui/draw_kit.h"
#include "ui/logo_image.h"

// The markup tags, in the order layout and drawing test a line against them.
enum AboutTag : int { aboutDivider = 0, aboutVerticalTab = 1, aboutYellow = 2, aboutBlack = 3, aboutTextLine = 4 };
extern const char *const aboutTags[4];   // "<HDIV>", "<VTAB>", "<YELLOW>", "<BLACK>"

// Which tag a line is, compared without regard to case; aboutTextLine for any other line.
AboutTag aboutTagOf(const char *line);

// The About panel's 15 lines and the ending null, filled when the module is loaded.
extern const char *AboutText[16];

struct AboutPanel {
    PanelServices *panelServices = nullptr;   // borrowed
    void *panel = nullptr;                    // owned; null until the host has created it
    void *parentPanel = nullptr;              // borrowed; null: centre over the display
    std::int32_t textTop = 10;                // y of the first text line
    const char *const *lines = nullptr;       // borrowed, null-terminated
    LogoImage *logo = nullptr;                // owned; null when it could not be made

    // Lays out and configures the panel; with open set, centres and opens it
    // and returns only once the user has closed it.
    AboutPanel(PanelServices *services, const char *name, const char *const *shown, void *parent, bool open);
    ~AboutPanel();
    AboutPanel(const AboutPanel &) = delete;
    AboutPanel &operator=(const AboutPanel &) = delete;

    void centreAndOpen();

    // The host's callbacks; both work on the panel held in the user data.
    static void onDraw(void *panelHandle, void *userData, int mode);
    static void onKey(void *panelHandle, void *userData, int key);

  private:
    void draw() const;
    std::int32_t attribute(void *of, int code) const;
    void setAttribute(int code, void *value) const;
};

// One engraved horizontal divider: grey above, black, light grey below.
void drawDivider(void *panel, const DrawKit &kit, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t size);
