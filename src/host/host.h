// The host's records that the bone commands use: the LayoutGeneric record of an
// activation and the scene, selection, message and bone services looked up by
// name. Declarations only; the host owns every record and the module borrows them.
#pragma once

#include <cstddef>
#include <cstdint>

// An item's opaque, pointer-sized handle; null means none.
struct HostItem;
using ItemId = HostItem *;

// Host item types, as entry 7 of "LW Item Info 3" reports them.
enum : int { itemObject = 0, itemLight = 1, itemCamera = 2, itemBone = 3 };

// Bits of the bone flag word (entry 0 of "LW Bone Info 2") that the module reads.
enum : unsigned { boneFlagActive = 1u, boneFlagWeightMapOnly = 8u, boneFlagNormalization = 16u };

// globalLookup: the service record of that name, or null.
using GlobalLookup = void *(*)(const char *name, int use);

// The host's evaluator: runs one zero-terminated command line to completion.
using CommandEvaluator = int (*)(void *data, const char *line);

// Third argument of every activation.
struct LayoutGeneric {
    void (*unused0)();            // word 0
    void (*unused1)();            // word 1
    void *evaluatorData;          // word 2, byte 8
    void (*unused3)();            // word 3
    void (*unused4)();            // word 4
    CommandEvaluator evaluator;   // word 5, byte 20
};

struct MessageService {                                                         // "Info Messages 2"
    void (*info)(const char *text, const char *text2);                          // entry 0
    void (*error)(const char *text, const char *text2);                         // entry 1
    void (*warning)(const char *text, const char *text2);                       // entry 2
    int (*okCancel)(const char *title, const char *text, const char *text2);    // entry 3
    int (*yesNo)(const char *title, const char *text, const char *text2);       // entry 4
};

struct InterfaceInfo {                   // "LW Interface Info 2": data, not functions
    void *unused0;                       // word 0
    void *unused1;                       // word 1
    const ItemId *selectedItems;         // word 2, byte 8: null-terminated, first selected first
};

struct ItemInfoService {                                   // "LW Item Info 3"
    ItemId (*first)(int type, ItemId object);               // entry 0
    ItemId (*next)(ItemId item);                            // entry 1
    ItemId (*firstChild)(ItemId item);                      // entry 2
    ItemId (*nextChild)(ItemId item, ItemId child);         // entry 3
    ItemId (*parent)(ItemId item);                          // entry 4
    void (*unused5)();                                      // entry 5
    void (*unused6)();                                      // entry 6
    int (*type)(ItemId item);                               // entry 7
    const char *(*name)(ItemId item);                       // entry 8
};

struct BoneInfoService {                 // "LW Bone Info 2"
    unsigned (*flags)(ItemId bone);      // entry 0
};

// Service names, spelt as the host spells them.
inline constexpr const char *messageServiceName = "Info Messages 2";
inline constexpr const char *interfaceInfoName = "LW Interface Info 2";
inline constexpr const char *itemInfoName = "LW Item Info 3";
inline constexpr const char *boneInfoName = "LW Bone Info 2";
inline constexpr const char *panelServicesName = "LWPanelServices";
inline constexpr const char *formServiceName = "LWXPanel";

// Every record keeps the host's sequence of pointer-sized entries.
static_assert(offsetof(LayoutGeneric, evaluatorData) == 2 * sizeof(void *), "word 2");
static_assert(offsetof(LayoutGeneric, evaluator) == 5 * sizeof(void *), "word 5");
static_assert(offsetof(MessageService, error) == 1 * sizeof(void *), "entry 1");
static_assert(offsetof(MessageService, yesNo) == 4 * sizeof(void *), "entry 4");
static_assert(offsetof(InterfaceInfo, selectedItems) == 2 * sizeof(void *), "word 2");
static_assert(offsetof(ItemInfoService, parent) == 4 * sizeof(void *), "entry 4");
static_assert(offsetof(ItemInfoService, type) == 7 * sizeof(void *), "entry 7");
static_assert(offsetof(ItemInfoService, name) == 8 * sizeof(void *), "entry 8");
static_assert(sizeof(ItemId) == sizeof(void *), "item IDs are pointer-sized");

#if defined(_M_IX86) || defined(__i386__)
static_assert(offsetof(LayoutGeneric, evaluatorData) == 8, "evaluatorData at byte 8");
static_assert(offsetof(LayoutGeneric, evaluator) == 20, "evaluator at byte 20");
static_assert(offsetof(InterfaceInfo, selectedItems) == 8, "selectedItems at byte 8");
static_assert(offsetof(MessageService, yesNo) == 16, "entry 4 at byte 16");
static_assert(offsetof(ItemInfoService, type) == 28, "entry 7 at byte 28");
static_assert(sizeof(ItemInfoService) == 9 * 4, "32-bit host layout");
static_assert(sizeof(BoneInfoService) == 4, "32-bit host layout");
#endif
