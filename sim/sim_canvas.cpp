// SimCanvas: framebuffer, text and PNG output of the simulator's panels.
#include "sim/sim_canvas.h"

#include <algorithm>
#include <cstdio>

#if MARROWLINK_SIM_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#endif
#if MARROWLINK_SIM_PNG
#include <png.h>
#endif

void SimCanvas::resize(int newWidth, int newHeight, SimRgb colour) {
    width = std::max(newWidth, 0);
    height = std::max(newHeight, 0);
    rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    fill(colour);
}

void SimCanvas::fill(SimRgb colour) {
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
        rgb[i] = colour.r;
        rgb[i + 1] = colour.g;
        rgb[i + 2] = colour.b;
    }
}

void SimCanvas::plot(int x, int y, SimRgb colour) {
    if (!inside(x, y))
        return;
    std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    rgb[at] = colour.r;
    rgb[at + 1] = colour.g;
    rgb[at + 2] = colour.b;
}

void SimCanvas::blend(int x, int y, SimRgb colour, int alpha) {
    if (!inside(x, y) || alpha <= 0)
        return;
    SimRgb under = at(x, y);
    auto mix = [alpha](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>((a * (255 - alpha) + b * alpha + 127) / 255);
    };
    plot(x, y, {mix(under.r, colour.r), mix(under.g, colour.g), mix(under.b, colour.b)});
}

void SimCanvas::box(int x, int y, int boxWidth, int boxHeight, SimRgb colour) {
    int left = std::max(x, 0), top = std::max(y, 0);
    int right = std::min(x + boxWidth, width), bottom = std::min(y + boxHeight, height);
    for (int row = top; row < bottom; ++row)
        for (int column = left; column < right; ++column)
            plot(column, row, colour);
}

void SimCanvas::outline(int x, int y, int boxWidth, int boxHeight, SimRgb colour) {
    if (boxWidth <= 0 || boxHeight <= 0)
        return;
    box(x, y, boxWidth, 1, colour);
    box(x, y + boxHeight - 1, boxWidth, 1, colour);
    box(x, y, 1, boxHeight, colour);
    box(x + boxWidth - 1, y, 1, boxHeight, colour);
}

void SimCanvas::paste(const SimCanvas &from, int x, int y) {
    for (int row = 0; row < from.height; ++row)
        for (int column = 0; column < from.width; ++column)
            plot(x + column, y + row, from.at(column, row));
}

SimRgb SimCanvas::at(int x, int y) const {
    if (!inside(x, y))
        return {};
    std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

namespace {

constexpr int fallbackCell = 7;
constexpr int fallbackLine = 15;

#if MARROWLINK_SIM_FREETYPE
// Windows-1252 to Unicode; bytes outside 0x80 to 0x9f are Latin-1.
unsigned codePoint(unsigned char byte) {
    static const unsigned high[32] = {0x20ac, 0x81,   0x201a, 0x192,  0x201e, 0x2026, 0x2020, 0x2021,
                                      0x2c6,  0x2030, 0x160,  0x2039, 0x152,  0x8d,   0x17d,  0x8f,
                                      0x90,   0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
                                      0x2dc,  0x2122, 0x161,  0x203a, 0x153,  0x9d,   0x17e,  0x178};
    return byte >= 0x80 && byte < 0xa0 ? high[byte - 0x80] : byte;
}

// One face for the whole run, loaded on first use; null when the font is missing.
struct Font {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    int ascent = 0;
    int lineHeight = fallbackLine;

    Font() {
        if (FT_Init_FreeType(&library) != 0) {
            library = nullptr;
            return;
        }
        if (FT_New_Face(library, MARROWLINK_SIM_FONT_FILE, 0, &face) != 0) {
            face = nullptr;
            return;
        }
        FT_Set_Pixel_Sizes(face, 0, 12);
        ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
        lineHeight = static_cast<int>((face->size->metrics.height + 63) >> 6) + 1;
    }
    ~Font() {
        if (face != nullptr)
            FT_Done_Face(face);
        if (library != nullptr)
            FT_Done_FreeType(library);
    }
    Font(const Font &) = delete;
    Font &operator=(const Font &) = delete;
};

Font &font() {
    static Font loaded;
    return loaded;
}
#endif

}  // namespace

bool simFontIsReal() {
#if MARROWLINK_SIM_FREETYPE
    return font().face != nullptr;
#else
    return false;
#endif
}

int simFontLineHeight() {
#if MARROWLINK_SIM_FREETYPE
    if (font().face != nullptr)
        return font().lineHeight;
#endif
    return fallbackLine;
}

int simTextWidth(const std::string &text) {
#if MARROWLINK_SIM_FREETYPE
    if (FT_Face face = font().face) {
        long advance = 0;
        for (char c : text)
            if (FT_Load_Char(face, codePoint(static_cast<unsigned char>(c)), FT_LOAD_DEFAULT) == 0)
                advance += face->glyph->advance.x;
        return static_cast<int>((advance + 32) >> 6);
    }
#endif
    return static_cast<int>(text.size()) * fallbackCell;
}

void simDrawText(SimCanvas &canvas, const std::string &text, int x, int y, SimRgb colour) {
#if MARROWLINK_SIM_FREETYPE
    if (FT_Face face = font().face) {
        long pen = static_cast<long>(x) << 6;
        int baseline = y + font().ascent;
        for (char c : text) {
            if (FT_Load_Char(face, codePoint(static_cast<unsigned char>(c)), FT_LOAD_RENDER) != 0)
                continue;
            const FT_Bitmap &bitmap = face->glyph->bitmap;
            int left = static_cast<int>((pen + 32) >> 6) + face->glyph->bitmap_left;
            int top = baseline - face->glyph->bitmap_top;
            for (unsigned row = 0; row < bitmap.rows; ++row)
                for (unsigned column = 0; column < bitmap.width; ++column)
                    canvas.blend(left + static_cast<int>(column), top + static_cast<int>(row), colour,
                                 bitmap.buffer[static_cast<long>(row) * bitmap.pitch + column]);
            pen += face->glyph->advance.x;
        }
        return;
    }
#endif
    // No font: a box for every visible character, so lines still show where they are.
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != ' ')
            canvas.outline(x + static_cast<int>(i) * fallbackCell + 1, y + 3, fallbackCell - 2, 9, colour);
}

bool simPngAvailable() { return MARROWLINK_SIM_PNG != 0; }

#if MARROWLINK_SIM_PNG
namespace {
// libpng reports errors by longjmp, so nothing here may need destroying.
bool writePng(png_structp png, png_infop info, std::FILE *file, int width, int height, png_bytep *rows) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}
}  // namespace
#endif

bool simSavePng(const SimCanvas &canvas, const std::string &path, std::string &why) {
#if MARROWLINK_SIM_PNG
    if (canvas.width <= 0 || canvas.height <= 0) {
        why = "the picture is empty";
        return false;
    }
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        why = "cannot open " + path + " for writing";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(file);
        why = "libpng cannot start";
        return false;
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(canvas.height));
    for (int row = 0; row < canvas.height; ++row)
        rows[static_cast<std::size_t>(row)] = const_cast<png_bytep>(
            canvas.rgb.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(canvas.width) * 3);
    if (!writePng(png, info, file, canvas.width, canvas.height, rows.data())) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        why = "libpng failed while writing " + path;
        return false;
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        why = "cannot finish writing " + path;
        return false;
    }
    return true;
#else
    (void)canvas;
    (void)path;
    why = "PNG saving is not available in this build (no libpng)";
    return false;
#endif
}
