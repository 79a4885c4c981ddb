// marrowlink-logo: draws the About panel's logo and writes it as the module's
// eight constant chunks. This file is the logo's editable form: change the
// shapes or colours here and the build regenerates the chunks.
//
//   marrowlink-logo OUT.cpp [PREVIEW.ppm]
//
// The picture, 100 x 200 RGB: two bones, knuckle ends out, whose inner ends
// carry an eyelet, held together by one chain link, on a dark slate tile.
// Built for the build machine, so it uses only the standard library.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int width = 100;
constexpr int height = 200;
constexpr int chunkSize = 8192;
constexpr int samples = 4;  // per axis, for smooth edges

struct Colour {
    double r, g, b;
};

Colour mix(Colour a, Colour b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Signed distances: negative inside.
double circle(double x, double y, double cx, double cy, double r) { return std::hypot(x - cx, y - cy) - r; }

double capsule(double x, double y, double ax, double ay, double bx, double by, double r) {
    double px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    double h = std::clamp((px * dx + py * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(px - dx * h, py - dy * h) - r;
}

double smoothUnion(double a, double b, double k) {
    double h = std::clamp(0.5 + 0.5 * (b - a) / k, 0.0, 1.0);
    return b + (a - b) * h - k * h * (1.0 - h);
}

// One bone: two knuckles at the outer end, a shaft, and an eyelet with a hole
// at the inner end. direction is +1 for the upper bone (knuckles at the top).
double bone(double x, double y, double knuckleY, double eyeY) {
    double dir = eyeY > knuckleY ? 1.0 : -1.0;
    double d = capsule(x, y, 50, knuckleY + 6 * dir, 50, eyeY, 6.5);
    d = smoothUnion(d, circle(x, y, 41.5, knuckleY, 10.5), 5);
    d = smoothUnion(d, circle(x, y, 58.5, knuckleY, 10.5), 5);
    d = smoothUnion(d, circle(x, y, 50, eyeY, 10), 4);
    return std::max(d, -circle(x, y, 50, eyeY, 4.6));  // the hole
}

constexpr double upperEye = 78, lowerEye = 122;
constexpr double linkRadius = 13;  // half the link's width

// The chain link, seen face on: a stadium ring whose two ends pass through
// the holes of the eyelets.
double linkSpine(double x, double y) {
    return capsule(x, y, 50, upperEye + linkRadius, 50, lowerEye - linkRadius, linkRadius);
}
double link(double x, double y) { return std::fabs(linkSpine(x, y)) - 3.0; }

const Colour tileTop{52, 70, 98}, tileBottom{26, 36, 56}, frame{118, 136, 164};
const Colour ivory{242, 234, 212}, ivoryShade{190, 172, 138}, boneLine{48, 38, 30};
const Colour marrow{168, 58, 52};
const Colour amber{236, 156, 52}, amberLight{255, 214, 140}, linkLine{84, 46, 14};

Colour boneColour(double d, double x, double y, double eyeY) {
    if (d > -1.1)
        return boneLine;
    Colour c = mix(ivoryShade, ivory, (-d - 1.1) / 4.0);
    // A soft light from the upper left.
    c = mix(c, Colour{255, 252, 240}, 0.35 * std::clamp((-d - 3.0) / 6.0, 0.0, 1.0) * (x < 50 ? 1.0 : 0.4));
    // The marrow line down the shaft, fading out towards the knuckles.
    double shaft = std::fabs(x - 50.0);
    double along = std::fabs(y - eyeY);
    if (shaft < 1.6 && along > 14 && along < 44)
        c = mix(c, marrow, 0.75 * std::clamp((44 - along) / 10.0, 0.0, 1.0));
    return c;
}

Colour linkColour(double d, double x, double y) {
    if (d > -0.9)
        return linkLine;
    Colour c = amber;
    // Highlight along the ring's inner left side.
    double rim = linkSpine(x, y);
    if (rim < 0 && x < 50)
        c = mix(c, amberLight, 0.7 * std::clamp((-rim) / 2.0, 0.0, 1.0));
    return c;
}

Colour sample(double x, double y) {
    Colour c = mix(tileTop, tileBottom, y / height);
    // A faint glow behind the link.
    double glow = std::hypot((x - 50) / 40.0, (y - 100) / 52.0);
    c = mix(c, Colour{86, 104, 132}, 0.55 * std::clamp(1.0 - glow, 0.0, 1.0));
    if (x < 2 || y < 2 || x > width - 2 || y > height - 2)
        c = frame;
    else if (x < 3 || y < 3 || x > width - 3 || y > height - 3)
        c = mix(frame, tileTop, 0.6);

    double upper = bone(x, y, 26, upperEye);
    double lower = bone(x, y, 174, lowerEye);
    double ring = link(x, y);
    // The link lies behind the eyelets and shows through their holes, so the
    // three pieces read as hooked into one another.
    if (ring < 0)
        c = linkColour(ring, x, y);
    if (upper < 0)
        c = boneColour(upper, x, y, upperEye);
    if (lower < 0)
        c = boneColour(lower, x, y, lowerEye);
    return c;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.cpp [PREVIEW.ppm]\n", argv[0]);
        return 2;
    }
    std::vector<unsigned char> stream;
    stream.reserve(width * height * 3);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) {
            Colour sum{0, 0, 0};
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx) {
                    Colour c = sample(column + (sx + 0.5) / samples, row + (sy + 0.5) / samples);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                }
            for (double v : {sum.r, sum.g, sum.b})
                stream.push_back(static_cast<unsigned char>(std::lround(std::clamp(v / (samples * samples), 0.0, 255.0))));
        }

    std::FILE *out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out, "// Generated by marrowlink-logo (tools/logo/make_logo.cpp) at build time; not kept in the repository.\n");
    std::fprintf(out, "#include \"ui/logo_data.h\"\n\n");
    int chunkCount = static_cast<int>((stream.size() + chunkSize - 1) / chunkSize);
    for (int k = 0; k < chunkCount; ++k) {
        std::size_t begin = static_cast<std::size_t>(k) * chunkSize;
        std::size_t end = std::min(stream.size(), begin + chunkSize);
        std::fprintf(out, "static const std::uint8_t logoChunk%d[%zu] = {", k, end - begin);
        for (std::size_t i = begin; i < end; ++i)
            std::fprintf(out, "%s%u,", (i - begin) % 24 == 0 ? "\n" : "", stream[i]);
        std::fprintf(out, "\n};\n");
    }
    std::fprintf(out, "\nconst std::uint8_t *const logoChunks[logoChunkCount] = {");
    for (int k = 0; k < chunkCount; ++k)
        std::fprintf(out, "%slogoChunk%d", k == 0 ? "" : ", ", k);
    std::fprintf(out, "};\n");
    std::fprintf(out, "static_assert(sizeof logoChunk%d == logoLastChunkSize, \"last chunk\");\n", chunkCount - 1);
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }

    if (argc > 2) {
        std::FILE *preview = std::fopen(argv[2], "wb");
        if (preview == nullptr) {
            std::perror(argv[2]);
            return 1;
        }
        std::fprintf(preview, "P6\n%d %d\n255\n", width, height);
        std::fwrite(stream.data(), 1, stream.size(), preview);
        std::fclose(preview);
    }
    return 0;
}
