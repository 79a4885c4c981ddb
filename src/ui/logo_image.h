// LogoImage: a picture held as a stream of fixed-size chunks, and its painter.
// construct() describes the module's logo and owns the chunk table it
// allocates; the chunks themselves and any palette are borrowed constant data.
#pragma once

#include <cstdint>

#include "ui/draw_kit.h"

enum : std::int32_t { pixelPalette = 0, pixelGrey = 1, pixelRgb = 2, pixelRgba = 3 };

struct LogoImage {
    const std::uint8_t **chunks = nullptr;   // owned table of borrowed chunks, in stream order
    const std::uint8_t *palette = nullptr;   // borrowed; type 0 only: entry v is bytes v to v + 2, 258 bytes
    std::int32_t chunkSize = 0;              // bytes in each chunk; the last may hold fewer
    std::int32_t chunkCount = 0;             // entries in chunks
    std::int32_t width = 0;                  // pixels per row
    std::int32_t height = 0;                 // rows
    std::int32_t pixelType = pixelRgb;

    // Sets the logo's values and allocates its chunk table. False when the
    // table cannot be had: then chunks is null and the record paints nothing.
    bool construct();
    // Frees the chunk table that construct() allocated.
    void destroy();

    // Paints the picture pixel by pixel with its top left at (x0, y0).
    void drawImage(void *panel, const DrawKit &kit, std::int32_t x0, std::int32_t y0) const;
};

// A LogoImage of the module's logo from the module allocator; null when either
// the record or its chunk table cannot be had. freeLogoImage undoes it.
LogoImage *makeLogoImage();
void freeLogoImage(LogoImage *image);
