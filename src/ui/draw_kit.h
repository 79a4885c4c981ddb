// DrawKit: the host's nine drawing operations, copied in the host's order for
// one drawing pass, with a pointer back to the host's record (borrowed). The
// helpers skip an operation the host left out, so a pass never calls null.
#pragma once

#include "host/panels.h"

struct DrawKit {
    PanelDrawFunctions operations{};            // copied from the host's record
    const PanelDrawFunctions *record = nullptr;  // borrowed; null when the host has none

    void pixel(void *panel, int red, int green, int blue, int x, int y) const {
        if (operations.drawPixel != nullptr)
            operations.drawPixel(panel, red, green, blue, x, y);
    }
    void box(void *panel, int red, int green, int blue, int x, int y, int width, int height) const {
        if (operations.drawBox != nullptr)
            operations.drawBox(panel, red, green, blue, x, y, width, height);
    }
    int textWidth(void *panel, const char *text) const {
        return operations.textWidth != nullptr ? operations.textWidth(panel, text) : 0;
    }
    void text(void *panel, const char *text, int colour, int x, int y) const {
        if (operations.drawText != nullptr)
            operations.drawText(panel, text, colour, x, y);
    }
    // The display metrics; all zero when the host gives none.
    DisplayMetrics metrics() const {
        const DisplayMetrics *found = operations.displayMetrics != nullptr ? operations.displayMetrics() : nullptr;
        return found != nullptr ? *found : DisplayMetrics{};
    }
};

// A fresh kit from the panel services, for one drawing pass.
inline DrawKit takeDrawKit(const PanelServices *services) {
    DrawKit kit;
    if (services != nullptr && services->drawFunctions != nullptr) {
        kit.record = services->drawFunctions;
        kit.operations = *services->drawFunctions;
    }
    return kit;
}
