// SimHost: the project's stand-in for Layout. A scene of typed items in a
// hierarchy with bone flags and a selection, the host's service records at the
// host's entry positions backed by that scene, a message sink that answers from
// a script, and a command evaluator that applies every line to the scene and
// logs it. Tests, tools and benchmarks run the module against it.
//
// The host's service functions take no host argument, so one SimHost at a time
// is the active one (the most recently constructed or activated).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"

struct SimVector {
    double x = 0, y = 0, z = 0;
    bool operator==(const SimVector &) const = default;
};

struct SimItem {
    // What the query services read comes first, so that a query touches one
    // cache line of the item: a large scene is far bigger than the caches.
    int type = itemObject;
    int parent = -1;                // index into SimHost::items; -1 for top level
    int object = -1;                // bones: the owning object
    int orderIndex = 0;             // position among the items of its type (bones: among the object's bones)
    int childIndex = -1;            // position in the parent's children
    unsigned flags = boneFlagActive;  // bone state the commands touch (more below)
    bool nameMissing = false;       // entry 8 answers null for this item
    bool endsList = false;          // entry 1 answers null after this item, as if its list ended here
    std::optional<int> reportedType;  // entry 7 answers this instead of the type (a hostile host)
    std::vector<int> children;      // in the host's child order
    std::vector<int> bones;         // objects: their bones, in bone order
    std::string name;

    // Bone state the commands touch.
    std::string weightMapName;
    SimVector position, rotation;   // current pose (rotation as heading, pitch, bank in degrees)
    SimVector pivotRotation;
    SimVector restPosition, restRotation;
    int restRecords = 0;            // times "RecordRestPosition" acted on the item
    int pivotRecords = 0;           // times "RecordPivotRotation" acted on the item
    int weightMapNameSets = 0;      // times "BoneWeightMapName" acted on the item
    int selectedTimes = 0;          // entries of the selected-items list that name the item
};

// The selected-items list as the host hands it out: contiguous and ended by a
// null entry, with room at both ends so that adding at the front or the back
// costs no copying of the whole list.
struct SimSelection {
    std::vector<ItemId> storage{nullptr};
    std::size_t head = 0;
    std::size_t count = 0;

    const ItemId *data() const { return storage.data() + head; }
    const ItemId *begin() const { return data(); }
    const ItemId *end() const { return data() + count; }
    bool empty() const { return count == 0; }
    void clear();
    void pushFront(ItemId id);
    void pushBack(ItemId id);
    void remove(ItemId id);                 // its first entry

  private:
    void regrow(std::size_t front);
};

struct SimMessage {
    std::string kind;               // "info", "error", "warning", "okCancel", "yesNo"
    std::string title;              // questions only
    std::string text;
    std::string text2;              // second text; "(null)" when the module passed none
    int answer = 0;                 // questions only
};

struct SimLogEntry {
    std::string line;
    bool accepted = true;
    std::string why;                // why a line was rejected
};

enum class SimAddOrder { prepend, append };

struct SimHost {
    // ---- scene ----
    std::vector<SimItem> items;
    std::vector<int> itemsOfType[3];        // objects, lights, cameras in scene order
    SimSelection selectionList;             // the selected items, first selected first
    int editMode = itemObject;              // the item type Layout is editing
    int current[4] = {-1, -1, -1, -1};      // last selected item of each type

    // ---- behaviour switches ----
    // Where "AddToSelection" puts the item it adds in the selected-items list.
    SimAddOrder addOrder = SimAddOrder::prepend;
    // Layout's bone panel switches normalization on when weight-map-only is
    // switched on; whether the command does too is unknown, so it is a switch.
    bool weightMapOnlyTurnsOnNormalization = false;
    bool countOnly = false;                 // the evaluator only counts lines (benchmark floor)
    bool keepLog = true;

    // ---- what the module did ----
    std::vector<SimLogEntry> log;
    long linesEvaluated = 0;
    std::vector<SimMessage> messages;
    std::deque<int> answers;                // answers to questions, in order
    int defaultAnswer = 1;                  // once the script is used up
    std::vector<std::string> lookups;       // every name asked of globalLookup
    long hostCalls = 0;                     // every call into any service, lookups included
    long invalidItemQueries = 0;            // queries about IDs that name no item

    // ---- services ----
    LayoutGeneric generic{};
    MessageService messageService{};
    InterfaceInfo interfaceInfo{};
    ItemInfoService itemInfo{};
    BoneInfoService boneInfo{};
    std::map<std::string, void *> services;  // name -> record
    std::set<std::string> withheld;          // names whose lookup answers null

    static SimHost *active;

    SimHost();
    ~SimHost();
    SimHost(const SimHost &) = delete;
    SimHost &operator=(const SimHost &) = delete;
    void activate() { active = this; }

    // ---- builder ----
    ItemId addObject(const std::string &name, ItemId parent = nullptr);
    ItemId addLight(const std::string &name, ItemId parent = nullptr);
    ItemId addCamera(const std::string &name, ItemId parent = nullptr);
    // A bone of object, hanging below parent (the object itself when null).
    ItemId addBone(ItemId object, const std::string &name, ItemId parent = nullptr, unsigned flags = boneFlagActive);
    void setParent(ItemId item, ItemId parent);
    void select(const std::vector<ItemId> &selection);
    void reserve(std::size_t itemCount);

    // ---- reading the scene ----
    ItemId idOf(int index) const;
    int indexOf(ItemId id) const;           // -1 when the ID names no item
    SimItem &item(ItemId id);
    const SimItem &item(ItemId id) const;
    ItemId find(const std::string &name) const;  // first item of that name, or null
    std::vector<ItemId> selected() const;   // without the null terminator
    std::vector<ItemId> bonesOf(ItemId object) const;
    std::vector<ItemId> allBones() const;

    // ---- the log ----
    std::vector<std::string> lines() const;       // every evaluated line, as sent
    // Lines with the item IDs of "SelectItem" and "AddToSelection" replaced by item names.
    std::vector<std::string> namedLines() const;
    std::vector<std::string> rejectedLines() const;
    std::vector<std::string> errors() const;      // texts of the error messages
    void clearRecords();                          // log, messages, lookups and counters

    // ---- host side ----
    GlobalLookup lookup() const;
    LayoutGeneric *genericRecord() { return &generic; }
    int evaluate(const char *line);
    void refreshSelection();
    void setSelection(const std::vector<ItemId> &selection);

  private:
    ItemId addItem(int type, const std::string &name, ItemId parent);
    bool apply(const std::string &line, std::string &why);
};

// "%x" of an item ID, as the module prints it.
std::string simHex(ItemId id);
