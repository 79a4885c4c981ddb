// Bounded composition of command lines and messages. Host texts (item names)
// are inserted as they are and never used as a format.
#pragma once

#include <cstddef>

#include "host/host.h"

// Writes pattern into buffer (capacity bytes, terminator included), replacing
// "%s" with text and "%x" with the item ID in lowercase hexadecimal digits,
// no prefix, no padding. Never writes past the buffer; the result is always
// terminated when capacity > 0. Returns the length the whole line needs,
// without the terminator, so a caller can tell a cut line from a whole one.
std::size_t formatLine(char *buffer, std::size_t capacity, const char *pattern,
                       const char *text, ItemId id);

inline std::size_t formatItemLine(char *buffer, std::size_t capacity, const char *pattern, ItemId id) {
    return formatLine(buffer, capacity, pattern, nullptr, id);
}
inline std::size_t formatTextLine(char *buffer, std::size_t capacity, const char *pattern, const char *text) {
    return formatLine(buffer, capacity, pattern, text, nullptr);
}
