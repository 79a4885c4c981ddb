// Line composition without printf: the patterns are the module's own, and the
// item ID is printed at the full width of a pointer. A walk over a large rig
// composes a line for every bone, so this is kept to plain loops: no library
// call for the pattern's runs of a dozen characters, one copy for a name, and
// an ID's digits two at a time, straight into the buffer when they fit.
#include "commands/line.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

const char hexPairs[] =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
    "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f"
    "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f"
    "606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f"
    "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f"
    "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf"
    "c0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedf"
    "e0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff";

// How many digits "%x" prints for value: no padding, "0" for 0.
std::size_t hexLength(std::uintptr_t value) {
    return value == 0 ? 1 : (static_cast<std::size_t>(std::bit_width(value)) + 3) / 4;
}

// Writes the count digits of value ending just before end.
void writeHex(std::uintptr_t value, std::size_t count, char *end) {
    for (; count >= 2; count -= 2, value >>= 8) {
        end -= 2;
        std::memcpy(end, hexPairs + 2 * (value & 0xffu), 2);
    }
    if (count == 1)
        end[-1] = "0123456789abcdef"[value & 0xfu];
}

}  // namespace

std::size_t formatLine(char *buffer, std::size_t capacity, const char *pattern, const char *text, ItemId id) {
    std::size_t room = capacity > 0 ? capacity - 1 : 0;  // characters that fit before the terminator
    std::size_t length = 0;                              // characters the whole line needs so far
    for (const char *p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            std::size_t count = text != nullptr ? std::strlen(text) : 0;
            if (count > 0 && length < room)
                std::memcpy(buffer + length, text, count <= room - length ? count : room - length);
            length += count;
            ++p;
        } else if (p[0] == '%' && p[1] == 'x') {
            auto value = reinterpret_cast<std::uintptr_t>(id);
            std::size_t count = hexLength(value);
            if (length < room && count <= room - length) {
                writeHex(value, count, buffer + length + count);
            } else {
                char digits[2 * sizeof value];
                writeHex(value, count, digits + count);
                for (std::size_t i = 0; i < count; ++i)
                    if (length + i < room)
                        buffer[length + i] = digits[i];
            }
            length += count;
            ++p;
        } else {
            if (length < room)
                buffer[length] = *p;
            ++length;
        }
    }
    if (capacity > 0)
        buffer[length < room ? length : room] = '\0';
    return length;
}
