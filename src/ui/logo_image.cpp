// LogoImage: the module's logo and the pixel-by-pixel painter of a chunked
// picture stream. Nothing is cached: each call reads the stream from its start.
#include "ui/logo_image.h"

#include <new>

#include "commands/memory.h"
#include "ui/logo_data.h"

bool LogoImage::construct() {
    palette = nullptr;
    chunkSize = logoChunkSize;
    chunkCount = logoChunkCount;
    width = logoWidth;
    height = logoHeight;
    pixelType = pixelRgb;
    chunks = static_cast<const std::uint8_t **>(moduleAlloc(logoChunkCount * sizeof(const std::uint8_t *)));
    if (chunks == nullptr)
        return false;
    for (int k = 0; k < logoChunkCount; ++k)
        chunks[k] = logoChunks[k];
    return true;
}

void LogoImage::destroy() {
    moduleFree(static_cast<void *>(chunks));
    chunks = nullptr;
}

namespace {

// A read position in the chunk stream. It runs dry, rather than reading past
// the table, when a picture claims more bytes than its chunks hold.
struct StreamCursor {
    const LogoImage &image;
    std::int32_t chunk = 0;
    std::int32_t offset = 0;

    bool read(std::uint8_t &byte) {
        if (chunk >= image.chunkCount || image.chunks[chunk] == nullptr)
            return false;
        byte = image.chunks[chunk][offset];
        if (++offset == image.chunkSize) {
            offset = 0;
            ++chunk;
        }
        return true;
    }
};

int bytesPerPixel(std::int32_t pixelType) {
    switch (pixelType) {
    case pixelPalette: return 1;
    case pixelGrey: return 1;
    case pixelRgb: return 3;
    case pixelRgba: return 4;
    }
    return 0;
}

}  // namespace

void LogoImage::drawImage(void *panel, const DrawKit &kit, std::int32_t x0, std::int32_t y0) const {
    StreamCursor cursor{*this};
    int size = bytesPerPixel(pixelType);
    if (size == 0 || chunks == nullptr || chunkSize <= 0)
        return;
    // A palette picture without its palette has no colours to paint.
    if (pixelType == pixelPalette && palette == nullptr)
        return;
    for (std::int32_t row = 0; row < height; ++row)
        for (std::int32_t column = 0; column < width; ++column) {
            std::uint8_t bytes[4];
            for (int i = 0; i < size; ++i)
                if (!cursor.read(bytes[i]))
                    return;
            int red, green, blue;
            switch (pixelType) {
            case pixelPalette:
                // Entry v of the palette starts at byte v.
                red = palette[bytes[0]];
                green = palette[bytes[0] + 1];
                blue = palette[bytes[0] + 2];
                break;
            case pixelGrey:
                red = green = blue = bytes[0];
                break;
            default:
                red = bytes[0];
                green = bytes[1];
                blue = bytes[2];
                if (pixelType == pixelRgba && bytes[3] == 0)
                    continue;  // not painted; its bytes have been read
                break;
            }
            kit.pixel(panel, red, green, blue, x0 + column, y0 + row);
        }
}

LogoImage *makeLogoImage() {
    void *block = moduleAlloc(sizeof(LogoImage));
    if (block == nullptr)
        return nullptr;
    auto *image = new (block) LogoImage;
    if (!image->construct()) {
        moduleFree(block);
        return nullptr;
    }
    return image;
}

void freeLogoImage(LogoImage *image) {
    if (image == nullptr)
        return;
    image->destroy();
    image->~LogoImage();
    moduleFree(image);
}
