// SimCanvas: an RGB framebuffer the simulator's panels paint into, with the
// simulator's text (FreeType and a DejaVu font where the build has them, fixed
// 7-pixel cells drawn as boxes where it has not) and PNG saving (libpng, where
// the build has it). Texts are host texts: bytes in Windows-1252.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SimRgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const SimRgb &) const = default;
};

struct SimCanvas {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;   // width * height * 3, rows from the top

    void resize(int newWidth, int newHeight, SimRgb fill);
    void fill(SimRgb colour);
    void plot(int x, int y, SimRgb colour);            // clipped to the canvas
    void blend(int x, int y, SimRgb colour, int alpha); // alpha 0 to 255, clipped
    void box(int x, int y, int boxWidth, int boxHeight, SimRgb colour);  // clipped
    void outline(int x, int y, int boxWidth, int boxHeight, SimRgb colour);
    void paste(const SimCanvas &from, int x, int y);
    SimRgb at(int x, int y) const;                     // black outside the canvas
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// The simulator's font. With FreeType the metrics come from the font;
// otherwise every character is 7 pixels wide and a line 15 pixels high.
bool simFontIsReal();
int simFontLineHeight();
int simTextWidth(const std::string &text);
// Draws text with the top of its line at y.
void simDrawText(SimCanvas &canvas, const std::string &text, int x, int y, SimRgb colour);

// Writes the canvas as an 8-bit RGB PNG. False, with the reason, when it
// cannot, also in a build without libpng.
bool simPngAvailable();
bool simSavePng(const SimCanvas &canvas, const std::string &path, std::string &why);
