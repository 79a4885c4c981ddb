// The host's declarative form service "LWXPanel", as far as the weight-map
// options form uses it. Declarations only.
#pragma once

#include <cstddef>
#include <cstdint>

// A control or data row: control ID, label text, type text; an all-zero row ends a table.
struct XPanelControl {
    std::uint32_t id;
    const char *label;
    const char *type;
};

// One word of a hint list: as wide as an address.
using XPanelHintWord = std::uintptr_t;

// A button's action, named in a hint list; the host calls it with the form and the button's ID.
using XPanelButtonAction = void (*)(void *form, int controlId);

struct XPanelService {                                                                    // "LWXPanel"
    void (*unused0)();                                                                    // entry 0
    void (*unused1)();                                                                    // entry 1
    void *(*create)(int kind, const XPanelControl *controls);                             // entry 2
    void (*destroy)(void *form);                                                          // entry 3
    void (*describe)(void *form, const XPanelControl *data, void *reader, void *writer);  // entry 4
    void (*hint)(void *form, std::uint32_t id, const XPanelHintWord *hints);              // entry 5
    void (*unused6)();                                                                    // entry 6
    void (*unused7)();                                                                    // entry 7
    void *(*getValue)(void *form, std::uint32_t id);                                      // entry 8
    void (*setValue)(void *form, std::uint32_t id, void *value);                          // entry 9
    void (*unused10)();                                                                   // entry 10
    void (*unused11)();                                                                   // entry 11
    int (*post)(void *form);                                                              // entry 12
};

static_assert(offsetof(XPanelService, create) == 2 * sizeof(void *), "entry 2");
static_assert(offsetof(XPanelService, getValue) == 8 * sizeof(void *), "entry 8");
static_assert(offsetof(XPanelService, post) == 12 * sizeof(void *), "entry 12");
#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(XPanelService) == 13 * 4, "32-bit host layout");
static_assert(sizeof(XPanelControl) == 12, "32-bit host layout");
static_assert(sizeof(XPanelHintWord) == 4, "hint words are 32 bits");
#endif
