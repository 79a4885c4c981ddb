// ItemIdList: a growable array of item IDs in the order appended, 10 slots at
// first and 10 more each time it is full. The same rules hold the child lists
// of the scene tree, so the list is written once for any element type.
#pragma once

#include <cstdint>
#include <cstring>

#include "commands/memory.h"
#include "host/host.h"

template <typename Element>
struct GrowableList {
    std::uint32_t growBy = 10;
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;
    Element *items = nullptr;  // owned; null when the first storage could not be had, and after release

    GrowableList() {
        // A list whose first storage cannot be had starts with no slots and
        // tries again at its first append.
        items = static_cast<Element *>(moduleAlloc(10 * sizeof(Element)));
        if (items != nullptr)
            capacity = 10;
    }
    ~GrowableList() { release(); }
    GrowableList(const GrowableList &) = delete;
    GrowableList &operator=(const GrowableList &) = delete;

    void append(Element element) {
        if (count == capacity && (capacity > UINT32_MAX - growBy || !resize(capacity + growBy)))
            return;  // cannot grow: drop this entry, keep the rest
        items[count++] = element;
    }

    bool resize(std::uint32_t newCapacity) {
        if (static_cast<std::size_t>(newCapacity) > SIZE_MAX / sizeof(Element))
            return false;
        auto *grown = static_cast<Element *>(moduleAlloc(static_cast<std::size_t>(newCapacity) * sizeof(Element)));
        if (grown == nullptr)
            return false;
        std::uint32_t kept = newCapacity < capacity ? newCapacity : capacity;
        if (count < kept)
            kept = count;
        if (kept > 0)
            std::memcpy(static_cast<void *>(grown), items, kept * sizeof(Element));
        moduleFree(items);
        items = grown;
        capacity = newCapacity;
        if (count > newCapacity)
            count = newCapacity;
        return true;
    }

    void release() {
        moduleFree(items);
        items = nullptr;
        capacity = 0;
        count = 0;
    }
};

using ItemIdList = GrowableList<ItemId>;
