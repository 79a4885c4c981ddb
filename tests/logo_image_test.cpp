// The logo's chunked stream and its painter: pixels that straddle chunks, the
// last pixel, repeat calls, pictures that paint nothing, and every pixel type.
#include <gtest/gtest.h>

#include <climits>

#include "sim/sim_panels.h"
#include "test_support.h"
#include "ui/logo_data.h"
#include "ui/logo_image.h"

namespace {

struct Painting {
    SimHost host;
    SimPanels panels{host};
    SimPanel *panel = panels.addHostPanel("canvas", 0, 0, 120, 220);
    DrawKit kit = takeDrawKit(&panels.panelServices);
};

// The logo's stream byte at an offset, read straight from the chunks.
std::uint8_t streamByte(int offset) { return logoChunks[offset / logoChunkSize][offset % logoChunkSize]; }

TEST(LogoImage, ConstructDescribesTheLogoAndItsEightChunks) {
    LogoImage logo;
    ASSERT_TRUE(logo.construct());
    EXPECT_EQ(logo.width, 100);
    EXPECT_EQ(logo.height, 200);
    EXPECT_EQ(logo.pixelType, pixelRgb);
    EXPECT_EQ(logo.chunkSize, 8192);
    EXPECT_EQ(logo.chunkCount, 8);
    EXPECT_EQ(logo.palette, nullptr);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(logo.chunks[k], logoChunks[k]);
    EXPECT_EQ(moduleAllocLiveBlocks(), 1);
    logo.destroy();
    EXPECT_EQ(moduleAllocLiveBlocks(), 0);
}

TEST(LogoImage, PaintsEveryPixelOnceFromTheStreamInRowOrder) {
    Painting p;
    LogoImage logo;
    ASSERT_TRUE(logo.construct());
    logo.drawImage(p.panel, p.kit, 3, 3);
    ASSERT_EQ(p.panel->pixels.size(), 20000u);
    for (int i = 0; i < 20000; ++i) {
        const SimPixel &pixel = p.panel->pixels[static_cast<std::size_t>(i)];
        SimPixel expected{streamByte(3 * i), streamByte(3 * i + 1), streamByte(3 * i + 2), 3 + i % 100, 3 + i / 100};
        if (pixel != expected) {
            ADD_FAILURE() << "pixel " << i << " at (" << pixel.x << ", " << pixel.y << ")";
            break;
        }
    }
    // Pixels whose bytes straddle chunks, one that starts a chunk, and the last one.
    struct Case {
        int row, column;
        int chunkOfRed, byteOfRed, chunkOfGreen, byteOfGreen, chunkOfBlue, byteOfBlue;
    };
    const Case cases[] = {
        {27, 30, 0, 8190, 0, 8191, 1, 0},
        {54, 61, 1, 8191, 2, 0, 2, 1},
        {81, 92, 3, 0, 3, 1, 3, 2},
        {199, 99, 7, 2653, 7, 2654, 7, 2655},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(testing::Message() << "row " << row.row << ", column " << row.column);
        const SimPixel &pixel = p.panel->pixels[static_cast<std::size_t>(row.row * 100 + row.column)];
        EXPECT_EQ(pixel.x, 3 + row.column);
        EXPECT_EQ(pixel.y, 3 + row.row);
        EXPECT_EQ(pixel.red, logoChunks[row.chunkOfRed][row.byteOfRed]);
        EXPECT_EQ(pixel.green, logoChunks[row.chunkOfGreen][row.byteOfGreen]);
        EXPECT_EQ(pixel.blue, logoChunks[row.chunkOfBlue][row.byteOfBlue]);
    }
    EXPECT_EQ(p.panel->pixels.back().x, 102);
    EXPECT_EQ(p.panel->pixels.back().y, 202);
    // The canvas shows it: the last pixel is the last three bytes of chunk 7.
    EXPECT_EQ(p.panel->canvas.at(102, 202), (SimRgb{logoChunks[7][2653], logoChunks[7][2654], logoChunks[7][2655]}));
    logo.destroy();
}

TEST(LogoImage, TwoCallsPaintTheSamePicture) {
    Painting p;
    LogoImage logo;
    ASSERT_TRUE(logo.construct());
    logo.drawImage(p.panel, p.kit, 3, 3);
    std::vector<SimPixel> first = p.panel->pixels;
    p.panel->clearDrawing();
    logo.drawImage(p.panel, p.kit, 3, 3);
    EXPECT_EQ(p.panel->pixels, first);
    logo.destroy();
}

// A small picture in chunks of five bytes, so that its pixels straddle chunks too.
struct SmallPicture {
    std::vector<std::uint8_t> stream;
    std::vector<std::vector<std::uint8_t>> parts;
    std::vector<const std::uint8_t *> table;

    LogoImage image(std::int32_t width, std::int32_t height, std::int32_t type, std::int32_t chunkSize = 5) {
        parts.clear();
        table.clear();
        for (std::size_t at = 0; at < stream.size(); at += static_cast<std::size_t>(chunkSize))
            parts.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                               stream.begin() + static_cast<std::ptrdiff_t>(
                                                    std::min(stream.size(), at + static_cast<std::size_t>(chunkSize))));
        for (auto &part : parts) {
            part.resize(static_cast<std::size_t>(chunkSize));  // the last chunk is read no further than its bytes
            table.push_back(part.data());
        }
        LogoImage picture;
        picture.chunks = table.data();
        picture.chunkSize = chunkSize;
        picture.chunkCount = static_cast<std::int32_t>(table.size());
        picture.width = width;
        picture.height = height;
        picture.pixelType = type;
        return picture;
    }
};

TEST(LogoImage, ZeroSizesAndUnknownPixelTypesPaintNothing) {
    struct Case {
        const char *name;
        std::int32_t width, height, type;
    };
    const Case cases[] = {
        {"width 0", 0, 2, pixelRgb},       {"height 0", 2, 0, pixelRgb},     {"negative width", -3, 2, pixelGrey},
        {"negative height", 2, -1, pixelGrey}, {"type 4", 2, 2, 4},            {"type -1", 2, 2, -1},
        {"type INT_MIN", 2, 2, INT_MIN},   {"type 99", 2, 2, 99},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.name);
        Painting p;
        SmallPicture small;
        small.stream.assign(64, 77);
        LogoImage picture = small.image(row.width, row.height, row.type);
        picture.drawImage(p.panel, p.kit, 0, 0);
        EXPECT_TRUE(p.panel->pixels.empty());
        EXPECT_EQ(p.host.hostCalls, 0);
    }
}

TEST(LogoImage, RgbaPaintsFullColourUnlessTheFourthByteIsZero) {
    Painting p;
    p.panel->canvas.fill({9, 9, 9});
    SmallPicture small;
    small.stream = {10, 20, 30, 0, 40, 50, 60, 1, 70, 80, 90, 255, 1, 2, 3, 128};
    LogoImage picture = small.image(2, 2, pixelRgba);
    picture.drawImage(p.panel, p.kit, 5, 6);
    EXPECT_EQ(p.panel->pixels, (std::vector<SimPixel>{{40, 50, 60, 6, 6}, {70, 80, 90, 5, 7}, {1, 2, 3, 6, 7}}));
    EXPECT_EQ(p.panel->canvas.at(5, 6), (SimRgb{9, 9, 9}));  // skipped: what the panel showed stays
    EXPECT_EQ(p.panel->canvas.at(6, 6), (SimRgb{40, 50, 60}));
}

TEST(LogoImage, GreyAndPalettePixels) {
    Painting p;
    SmallPicture small;
    small.stream = {200, 0, 255, 3};
    LogoImage grey = small.image(4, 1, pixelGrey, 3);
    grey.drawImage(p.panel, p.kit, 0, 0);
    EXPECT_EQ(p.panel->pixels, (std::vector<SimPixel>{{200, 200, 200, 0, 0}, {0, 0, 0, 1, 0},
                                                      {255, 255, 255, 2, 0}, {3, 3, 3, 3, 0}}));

    // Without a palette a palette picture paints nothing and reads no palette.
    p.panel->clearDrawing();
    small.stream = {0, 1, 2};
    LogoImage indexed = small.image(3, 1, pixelPalette);
    indexed.drawImage(p.panel, p.kit, 0, 0);
    EXPECT_TRUE(p.panel->pixels.empty());

    // With one, entry v is the three bytes from offset v.
    std::vector<std::uint8_t> palette(258);
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = static_cast<std::uint8_t>(i * 3);
    indexed.palette = palette.data();
    indexed.drawImage(p.panel, p.kit, 0, 0);
    EXPECT_EQ(p.panel->pixels, (std::vector<SimPixel>{{0, 3, 6, 0, 0}, {3, 6, 9, 1, 0}, {6, 9, 12, 2, 0}}));
}

// A picture that claims more pixels than its chunks hold stops where the
// stream ends instead of reading past the chunk table.
TEST(LogoImage, AStreamShorterThanThePictureStopsAtItsEnd) {
    Painting p;
    SmallPicture small;
    small.stream = {1, 2, 3, 4, 5};
    LogoImage picture = small.image(10, 10, pixelRgb);
    picture.drawImage(p.panel, p.kit, 0, 0);
    EXPECT_EQ(p.panel->pixels, (std::vector<SimPixel>{{1, 2, 3, 0, 0}}));
}

TEST(LogoImage, MakeLogoImageGivesNothingWhenTheRecordOrItsTableCannotBeHad) {
    for (int failAt : {1, 2}) {
        SCOPED_TRACE(failAt);
        moduleAllocFailAt(failAt, false);
        LogoImage *logo = makeLogoImage();
        EXPECT_EQ(moduleAllocDisarm(), 1);
        EXPECT_EQ(logo, nullptr);
        EXPECT_EQ(moduleAllocLiveBlocks(), 0);
    }
    LogoImage *logo = makeLogoImage();
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(moduleAllocLiveBlocks(), 2);
    freeLogoImage(logo);
    freeLogoImage(nullptr);
    EXPECT_EQ(moduleAllocLiveBlocks(), 0);
}

}  // namespace
