// Line composition without printf: the patterns are the module's own, and the
// item ID is printed at the full width of a pointer.
#include "commands/line.h"

#include <cstdint>

namespace {

struct LineWriter {
    char *buffer;
    std::size_t capacity;
    std::size_t length;  // characters the whole line needs so far

    void put(char c) {
        if (length + 1 < capacity)
            buffer[length] = c;
        ++length;
    }
};

}  // namespace

std::size_t formatLine(char *buffer, std::size_t capacity, const char *pattern, const char *text, ItemId id) {
    LineWriter out{buffer, capacity, 0};
    for (const char *p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            for (const char *t = text; t != nullptr && *t != '\0'; ++t)
                out.put(*t);
            ++p;
        } else if (p[0] == '%' && p[1] == 'x') {
            auto value = reinterpret_cast<std::uintptr_t>(id);
            char digits[2 * sizeof(value)];
            int count = 0;
            do {
                digits[count++] = "0123456789abcdef"[value & 0xfu];
                value >>= 4;
            } while (value != 0);
            while (count > 0)
                out.put(digits[--count]);
            ++p;
        } else {
            out.put(*p);
        }
    }
    if (capacity > 0)
        buffer[out.length < capacity ? out.length : capacity - 1] = '\0';
    return out.length;
}
