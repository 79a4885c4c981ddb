// The logo's pixel data: 100 x 200 RGB, one stream of 60000 bytes cut into
// eight constant chunks. The chunks are generated at build time by
// tools/logo/make_logo.cpp; nothing frees them.
#pragma once

#include <cstdint>

inline constexpr int logoWidth = 100;
inline constexpr int logoHeight = 200;
inline constexpr int logoChunkSize = 8192;
inline constexpr int logoChunkCount = 8;
inline constexpr int logoLastChunkSize = logoWidth * logoHeight * 3 - (logoChunkCount - 1) * logoChunkSize;  // 2656

extern const std::uint8_t *const logoChunks[logoChunkCount];
static_assert(logoLastChunkSize == 2656, "seven full chunks and one of 2656 bytes");
