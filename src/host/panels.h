// The host's classic panel service "LWPanelServices", its drawing-function
// record and its display metrics, as far as the About panel uses them.
// Declarations only; the host owns every record and the module borrows them.
#pragma once

#include <cstddef>
#include <cstdint>

// Attribute codes of entries 6 and 7.
enum : int {
    panelLeft = 0,          // screen x, through a pointer to a 32-bit integer
    panelTop = 1,           // screen y, likewise
    panelWidth = 2,         // width in pixels, likewise
    panelHeight = 3,        // height in pixels, likewise
    panelDrawCallback = 7,  // the callback itself
    panelUserData = 12,     // the pointer itself
    panelKeyCallback = 13,  // the callback itself
};

// Open flags of entry 2 that the module passes.
enum : int { panelOpenFlags = 16 };

// Text colour codes of drawing entry 7.
enum : int { panelColourBlack = 4139, panelColourYellow = 4146 };

// Callbacks the host calls with the panel and the user data set as attribute 12.
using PanelDrawCallback = void (*)(void *panel, void *userData, int mode);
using PanelKeyCallback = void (*)(void *panel, void *userData, int key);  // key: low 16 bits

// Record of signed 32-bit integers; the module reads fields 0, 1 and 6.
struct DisplayMetrics {
    std::int32_t width;        // field 0: the display's width in pixels
    std::int32_t height;       // field 1: the display's height in pixels
    std::int32_t unused2;      // field 2
    std::int32_t unused3;      // field 3
    std::int32_t unused4;      // field 4
    std::int32_t unused5;      // field 5
    std::int32_t textHeight;   // field 6: the height of one line of text
};

struct PanelDrawFunctions {                                                                  // nine entries
    void (*unused0)();                                                                       // entry 0
    void (*drawPixel)(void *panel, int red, int green, int blue, int x, int y);              // entry 1
    void (*unused2)();                                                                       // entry 2
    void (*unused3)();                                                                       // entry 3
    void (*drawBox)(void *panel, int red, int green, int blue, int x, int y, int width, int height);  // entry 4
    void (*unused5)();                                                                       // entry 5
    int (*textWidth)(void *panel, const char *text);                                         // entry 6
    void (*drawText)(void *panel, const char *text, int colour, int x, int y);               // entry 7
    const DisplayMetrics *(*displayMetrics)();                                               // entry 8
};

struct PanelServices {                                                  // "LWPanelServices"
    void *(*create)(const char *title, PanelServices *services);        // entry 0
    void (*destroy)(void *panel);                                       // entry 1
    int (*open)(void *panel, int flags);                                // entry 2
    int (*handle)(void *panel, int wait);                               // entry 3
    void (*unused4)();                                                  // entry 4
    void (*close)(void *panel);                                         // entry 5
    void (*get)(void *panel, int attribute, void *value);               // entry 6
    void (*set)(void *panel, int attribute, void *value);               // entry 7
    void (*unused8)();                                                  // entry 8
    void (*unused9)();                                                  // entry 9
    PanelDrawFunctions *drawFunctions;                                  // entry 10: data, not a function
};

static_assert(offsetof(DisplayMetrics, height) == 4, "field 1");
static_assert(offsetof(DisplayMetrics, textHeight) == 24, "field 6");
static_assert(offsetof(PanelDrawFunctions, drawPixel) == 1 * sizeof(void *), "entry 1");
static_assert(offsetof(PanelDrawFunctions, drawBox) == 4 * sizeof(void *), "entry 4");
static_assert(offsetof(PanelDrawFunctions, textWidth) == 6 * sizeof(void *), "entry 6");
static_assert(offsetof(PanelDrawFunctions, drawText) == 7 * sizeof(void *), "entry 7");
static_assert(offsetof(PanelDrawFunctions, displayMetrics) == 8 * sizeof(void *), "entry 8");
static_assert(offsetof(PanelServices, destroy) == 1 * sizeof(void *), "entry 1");
static_assert(offsetof(PanelServices, open) == 2 * sizeof(void *), "entry 2");
static_assert(offsetof(PanelServices, handle) == 3 * sizeof(void *), "entry 3");
static_assert(offsetof(PanelServices, close) == 5 * sizeof(void *), "entry 5");
static_assert(offsetof(PanelServices, get) == 6 * sizeof(void *), "entry 6");
static_assert(offsetof(PanelServices, set) == 7 * sizeof(void *), "entry 7");
static_assert(offsetof(PanelServices, drawFunctions) == 10 * sizeof(void *), "entry 10");
#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(PanelDrawFunctions) == 9 * 4, "32-bit host layout");
static_assert(sizeof(PanelServices) == 11 * 4, "32-bit host layout");
static_assert(offsetof(PanelServices, drawFunctions) == 40, "entry 10 at byte 40");
static_assert(offsetof(PanelDrawFunctions, displayMetrics) == 32, "entry 8 at byte 32");
#endif
