// The records a module hands the host at load: the module descriptor, exported
// as `_mod_descrip`, its server table and each server's tags. The host reads
// them as words of its own width (32 bits, little-endian), so every field is
// pointer-sized or a 32-bit code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host.h"

// A server's activation: the interface version, globalLookup and the
// LayoutGeneric record of this call; returns the result code.
using ActivationFunction = int (*)(int version, GlobalLookup globalLookup, void *local);

struct ServerTag {
    const char *text;              // zero-terminated label
    std::uint32_t code;            // 0x0409: full label, 0x00010409: short label
};

struct ServerRecord {
    const char *serverClass;       // "LayoutGeneric"
    const char *serverName;
    ActivationFunction activationFunction;
    const ServerTag *tags;         // ends with a row of two zero words
};

struct ModuleDescriptor {
    std::uintptr_t syncWord;       // 0x04121994
    std::uintptr_t formatVersion;  // 3
    std::uintptr_t machineWord;    // 0x00000300
    void *(*startupFunction)();
    void (*shutdownFunction)();
    const ServerRecord *serverTable;  // ends with a row of four zero words
};

inline constexpr std::uint32_t tagFullLabel = 0x00000409u;
inline constexpr std::uint32_t tagShortLabel = 0x00010409u;

static_assert(offsetof(ModuleDescriptor, serverTable) == 5 * sizeof(void *), "word 6");
static_assert(offsetof(ServerRecord, tags) == 3 * sizeof(void *), "word 4");
#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(ModuleDescriptor) == 24, "six 32-bit words");
static_assert(sizeof(ServerRecord) == 16, "four 32-bit words");
static_assert(sizeof(ServerTag) == 8, "two 32-bit words");
#endif
