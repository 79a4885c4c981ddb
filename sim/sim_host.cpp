// SimHost: scene, services and command evaluator of the Layout stand-in.
#include "sim/sim_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

SimHost *SimHost::active = nullptr;

namespace {

// Item IDs look like the host's handles: the type in the top nibble as Layout
// numbers items (1 object, 2 light, 3 camera, 4 bone), letters in the hex form,
// and on a 64-bit build high bits set so that every digit of "%x" matters.
constexpr std::uintptr_t idMarker = 0x0a000000u;
constexpr std::uintptr_t idIndexMask = 0x00ffffffu;
#if UINTPTR_MAX > 0xffffffffu
constexpr std::uintptr_t idHighBits = static_cast<std::uintptr_t>(0x00007fedull << 32);
#else
constexpr std::uintptr_t idHighBits = 0;
#endif

SimHost &host() { return *SimHost::active; }

// ---- "Info Messages 2" ----
std::string textOf(const char *text) { return text != nullptr ? text : "(null)"; }

void recordMessage(const char *kind, const char *title, const char *text, const char *text2, int answer) {
    SimHost &h = host();
    ++h.hostCalls;
    h.messages.push_back({kind, title != nullptr ? title : "", textOf(text), textOf(text2), answer});
}
void messageInfo(const char *text, const char *text2) { recordMessage("info", nullptr, text, text2, 0); }
void messageError(const char *text, const char *text2) { recordMessage("error", nullptr, text, text2, 0); }
void messageWarning(const char *text, const char *text2) { recordMessage("warning", nullptr, text, text2, 0); }
int scriptedAnswer() {
    SimHost &h = host();
    if (h.answers.empty())
        return h.defaultAnswer;
    int answer = h.answers.front();
    h.answers.pop_front();
    return answer;
}
int messageOkCancel(const char *title, const char *text, const char *text2) {
    int answer = scriptedAnswer();
    recordMessage("okCancel", title, text, text2, answer);
    return answer;
}
int messageYesNo(const char *title, const char *text, const char *text2) {
    int answer = scriptedAnswer();
    recordMessage("yesNo", title, text, text2, answer);
    return answer;
}

// ---- "LW Item Info 3" ----
int queried(ItemId id) {
    SimHost &h = host();
    ++h.hostCalls;
    int index = h.indexOf(id);
    if (index < 0)
        ++h.invalidItemQueries;
    return index;
}

ItemId itemFirst(int type, ItemId object) {
    SimHost &h = host();
    ++h.hostCalls;
    if (type == itemBone) {
        // Since 7.5 Layout answers none for the first bone of no object.
        int index = object != nullptr ? h.indexOf(object) : -1;
        if (object != nullptr && index < 0)
            ++h.invalidItemQueries;
        if (index < 0 || h.items[static_cast<std::size_t>(index)].bones.empty())
            return nullptr;
        return h.idOf(h.items[static_cast<std::size_t>(index)].bones.front());
    }
    if (type < 0 || type > 2 || h.itemsOfType[type].empty())
        return nullptr;
    return h.idOf(h.itemsOfType[type].front());
}

ItemId itemNext(ItemId id) {
    SimHost &h = host();
    int index = queried(id);
    if (index < 0)
        return nullptr;
    const SimItem &item = h.items[static_cast<std::size_t>(index)];
    const std::vector<int> &order =
        item.type == itemBone ? h.items[static_cast<std::size_t>(item.object)].bones : h.itemsOfType[item.type];
    auto next = static_cast<std::size_t>(item.orderIndex) + 1;
    return next < order.size() ? h.idOf(order[next]) : nullptr;
}

ItemId itemFirstChild(ItemId id) {
    SimHost &h = host();
    int index = queried(id);
    if (index < 0 || h.items[static_cast<std::size_t>(index)].children.empty())
        return nullptr;
    return h.idOf(h.items[static_cast<std::size_t>(index)].children.front());
}

ItemId itemNextChild(ItemId id, ItemId child) {
    SimHost &h = host();
    int index = queried(id);
    int childIndex = queried(child);
    if (index < 0 || childIndex < 0)
        return nullptr;
    const SimItem &c = h.items[static_cast<std::size_t>(childIndex)];
    if (c.parent != index)
        return nullptr;
    const std::vector<int> &children = h.items[static_cast<std::size_t>(index)].children;
    auto next = static_cast<std::size_t>(c.childIndex) + 1;
    return next < children.size() ? h.idOf(children[next]) : nullptr;
}

ItemId itemParent(ItemId id) {
    SimHost &h = host();
    int index = queried(id);
    if (index < 0 || h.items[static_cast<std::size_t>(index)].parent < 0)
        return nullptr;
    return h.idOf(h.items[static_cast<std::size_t>(index)].parent);
}

int itemType(ItemId id) {
    SimHost &h = host();
    int index = queried(id);
    return index < 0 ? -1 : h.items[static_cast<std::size_t>(index)].type;
}

const char *itemName(ItemId id) {
    SimHost &h = host();
    int index = queried(id);
    if (index < 0)
        return nullptr;
    const SimItem &item = h.items[static_cast<std::size_t>(index)];
    return item.nameMissing ? nullptr : item.name.c_str();
}

// ---- "LW Bone Info 2" ----
unsigned boneFlags(ItemId id) {
    SimHost &h = host();
    int index = queried(id);
    if (index < 0 || h.items[static_cast<std::size_t>(index)].type != itemBone)
        return 0;
    return h.items[static_cast<std::size_t>(index)].flags;
}

// ---- globalLookup ----
void *simLookup(const char *name, int use) {
    (void)use;
    SimHost &h = host();
    ++h.hostCalls;
    std::string key = name != nullptr ? name : "";
    h.lookups.push_back(key);
    if (h.withheld.count(key) != 0)
        return nullptr;
    auto found = h.services.find(key);
    return found != h.services.end() ? found->second : nullptr;
}

int simEvaluate(void *data, const char *line) {
    auto *h = static_cast<SimHost *>(data);
    ++h->hostCalls;
    return h->evaluate(line);
}

bool parseHex(const std::string &text, std::uintptr_t &value) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty() || digits.size() > 2 * sizeof(std::uintptr_t))
        return false;
    value = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = (value << 4) | static_cast<std::uintptr_t>(digit);
    }
    return true;
}

}  // namespace

void SimSelection::clear() {
    head = 0;
    count = 0;
    storage.assign(1, nullptr);
}

void SimSelection::regrow(std::size_t front) {
    std::vector<ItemId> grown(front + count + count + 16, nullptr);
    std::copy(begin(), end(), grown.begin() + static_cast<std::ptrdiff_t>(front));
    storage.swap(grown);
    head = front;
}

void SimSelection::pushFront(ItemId id) {
    if (head == 0)
        regrow(count + 16);
    storage[--head] = id;
    ++count;
}

void SimSelection::pushBack(ItemId id) {
    if (head + count + 1 >= storage.size())
        regrow(head);
    storage[head + count] = id;
    ++count;
    storage[head + count] = nullptr;
}

void SimSelection::remove(ItemId id) {
    ItemId *first = storage.data() + head;
    ItemId *last = first + count;
    ItemId *found = std::find(first, last, id);
    if (found == last)
        return;
    std::copy(found + 1, last + 1, found);  // the terminator moves along
    --count;
}

std::string simHex(ItemId id) {
    auto value = reinterpret_cast<std::uintptr_t>(id);
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdef"[value & 0xfu]);
        value >>= 4;
    } while (value != 0);
    return digits;
}

SimHost::SimHost() {
    messageService = MessageService{
        .info = messageInfo,
        .error = messageError,
        .warning = messageWarning,
        .okCancel = messageOkCancel,
        .yesNo = messageYesNo,
    };
    itemInfo = ItemInfoService{
        .first = itemFirst,
        .next = itemNext,
        .firstChild = itemFirstChild,
        .nextChild = itemNextChild,
        .parent = itemParent,
        .unused5 = nullptr,
        .unused6 = nullptr,
        .type = itemType,
        .name = itemName,
    };
    boneInfo = BoneInfoService{
        .flags = boneFlags,
    };
    generic = LayoutGeneric{
        .unused0 = nullptr,
        .unused1 = nullptr,
        .evaluatorData = this,
        .unused3 = nullptr,
        .unused4 = nullptr,
        .evaluator = simEvaluate,
    };
    services[messageServiceName] = &messageService;
    services[interfaceInfoName] = &interfaceInfo;
    services[itemInfoName] = &itemInfo;
    services[boneInfoName] = &boneInfo;
    refreshSelection();
    active = this;
}

SimHost::~SimHost() {
    if (active == this)
        active = nullptr;
}

GlobalLookup SimHost::lookup() const { return simLookup; }

// ---- builder ----

void SimHost::reserve(std::size_t itemCount) { items.reserve(itemCount); }

ItemId SimHost::addItem(int type, const std::string &name, ItemId parent) {
    SimItem item;
    item.type = type;
    item.name = name;
    int index = static_cast<int>(items.size());
    if (type != itemBone) {
        item.orderIndex = static_cast<int>(itemsOfType[type].size());
        itemsOfType[type].push_back(index);
    }
    items.push_back(std::move(item));
    ItemId id = idOf(index);
    if (parent != nullptr)
        setParent(id, parent);
    return id;
}

ItemId SimHost::addObject(const std::string &name, ItemId parent) { return addItem(itemObject, name, parent); }
ItemId SimHost::addLight(const std::string &name, ItemId parent) { return addItem(itemLight, name, parent); }
ItemId SimHost::addCamera(const std::string &name, ItemId parent) { return addItem(itemCamera, name, parent); }

ItemId SimHost::addBone(ItemId object, const std::string &name, ItemId parent, unsigned flags) {
    int objectIndex = indexOf(object);
    ItemId id = addItem(itemBone, name, nullptr);
    SimItem &bone = items.back();
    bone.flags = flags;
    bone.object = objectIndex;
    if (objectIndex >= 0) {
        SimItem &owner = items[static_cast<std::size_t>(objectIndex)];
        bone.orderIndex = static_cast<int>(owner.bones.size());
        owner.bones.push_back(indexOf(id));
    }
    setParent(id, parent != nullptr ? parent : object);
    return id;
}

void SimHost::setParent(ItemId id, ItemId parent) {
    int index = indexOf(id);
    SimItem &child = items[static_cast<std::size_t>(index)];
    if (child.parent >= 0) {
        std::vector<int> &siblings = items[static_cast<std::size_t>(child.parent)].children;
        siblings.erase(siblings.begin() + child.childIndex);
        for (std::size_t i = static_cast<std::size_t>(child.childIndex); i < siblings.size(); ++i)
            items[static_cast<std::size_t>(siblings[i])].childIndex = static_cast<int>(i);
        child.parent = -1;
        child.childIndex = -1;
    }
    int parentIndex = parent != nullptr ? indexOf(parent) : -1;
    if (parentIndex < 0)
        return;
    SimItem &p = items[static_cast<std::size_t>(parentIndex)];
    child.parent = parentIndex;
    child.childIndex = static_cast<int>(p.children.size());
    p.children.push_back(index);
}

void SimHost::select(const std::vector<ItemId> &selection) {
    setSelection(selection);
    if (!selection.empty() && indexOf(selection.front()) >= 0)
        editMode = item(selection.front()).type;
    for (ItemId id : selection)
        if (indexOf(id) >= 0)
            current[item(id).type] = indexOf(id);
    refreshSelection();
}

void SimHost::setSelection(const std::vector<ItemId> &selection) {
    for (ItemId id : selectionList)
        if (indexOf(id) >= 0)
            item(id).selectedTimes = 0;
    selectionList.clear();
    for (ItemId id : selection) {
        selectionList.pushBack(id);
        if (indexOf(id) >= 0)
            ++item(id).selectedTimes;
    }
    refreshSelection();
}

void SimHost::refreshSelection() { interfaceInfo.selectedItems = selectionList.data(); }

// ---- reading the scene ----

ItemId SimHost::idOf(int index) const {
    auto typeNibble = static_cast<std::uintptr_t>(items[static_cast<std::size_t>(index)].type + 1);
    return reinterpret_cast<ItemId>(idHighBits | (typeNibble << 28) | idMarker | static_cast<std::uintptr_t>(index));
}

int SimHost::indexOf(ItemId id) const {
    auto value = reinterpret_cast<std::uintptr_t>(id);
    if ((value & ~static_cast<std::uintptr_t>(0xffffffffu)) != idHighBits || (value & 0x0f000000u) != idMarker)
        return -1;
    std::uintptr_t index = value & idIndexMask;
    if (index >= items.size() || idOf(static_cast<int>(index)) != id)
        return -1;
    return static_cast<int>(index);
}

SimItem &SimHost::item(ItemId id) { return items.at(static_cast<std::size_t>(indexOf(id))); }
const SimItem &SimHost::item(ItemId id) const { return items.at(static_cast<std::size_t>(indexOf(id))); }

ItemId SimHost::find(const std::string &name) const {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].name == name)
            return idOf(static_cast<int>(i));
    return nullptr;
}

std::vector<ItemId> SimHost::selected() const { return {selectionList.begin(), selectionList.end()}; }

std::vector<ItemId> SimHost::bonesOf(ItemId object) const {
    std::vector<ItemId> bones;
    for (int index : item(object).bones)
        bones.push_back(idOf(index));
    return bones;
}

std::vector<ItemId> SimHost::allBones() const {
    std::vector<ItemId> bones;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].type == itemBone)
            bones.push_back(idOf(static_cast<int>(i)));
    return bones;
}

// ---- the log ----

std::vector<std::string> SimHost::lines() const {
    std::vector<std::string> all;
    for (const SimLogEntry &entry : log)
        all.push_back(entry.line);
    return all;
}

std::vector<std::string> SimHost::namedLines() const {
    std::vector<std::string> named;
    for (const SimLogEntry &entry : log) {
        std::string line = entry.line;
        for (const char *command : {"SelectItem ", "AddToSelection "}) {
            std::size_t length = std::strlen(command);
            std::uintptr_t value;
            if (line.compare(0, length, command) == 0 && parseHex(line.substr(length), value)) {
                int index = indexOf(reinterpret_cast<ItemId>(value));
                if (index >= 0)
                    line = command + items[static_cast<std::size_t>(index)].name;
            }
        }
        named.push_back(line);
    }
    return named;
}

std::vector<std::string> SimHost::rejectedLines() const {
    std::vector<std::string> rejected;
    for (const SimLogEntry &entry : log)
        if (!entry.accepted)
            rejected.push_back(entry.line);
    return rejected;
}

std::vector<std::string> SimHost::errors() const {
    std::vector<std::string> texts;
    for (const SimMessage &message : messages)
        if (message.kind == "error")
            texts.push_back(message.text);
    return texts;
}

void SimHost::clearRecords() {
    log.clear();
    messages.clear();
    lookups.clear();
    hostCalls = 0;
    invalidItemQueries = 0;
    linesEvaluated = 0;
}

// ---- the command evaluator ----
//
// What the simulator does with each line. Layout's own behaviour is followed
// where it is known; where it is not, the choice is marked "assumed".
//
//   SelectItem <id>       selection := [item]; edit mode := the item's type (assumed);
//                         the item becomes the current item of its type.
//   AddToSelection <id>   adds the item to the selected items, at the front of
//                         the list (addOrder = prepend, assumed) or at the end:
//                         the list is kept in order of selection, the most
//                         recent first. An item already selected is selected
//                         again, so it moves to that end too (assumed). Mode
//                         and the other items are left alone.
//   EditObjects           edit mode := objects. A selection that already holds
//                         only objects stays; otherwise it becomes the owning
//                         object of the first selected bone, or the current
//                         object, or the first object of the scene (assumed).
//   EditBones             edit mode := bones. A selection that already holds
//                         only bones stays; otherwise it becomes the first bone
//                         of the first selected object, or nothing (assumed).
//   BoneActive            flips the active flag (bit 0) of every selected bone.
//   BoneWeightMapOnly     flips weight-map-only (bit 3) of every selected bone;
//                         with weightMapOnlyTurnsOnNormalization, switching it on
//                         also switches normalization (bit 4) on.
//   BoneNormalization     flips normalization (bit 4) of every selected bone.
//   BoneWeightMapName <n> sets the weight-map name of every selected bone to the
//                         rest of the line after the one blank, quotes and all.
//   RecordPivotRotation   for every selected item, of any type: pivot rotation +=
//                         rotation; rotation := 0, 0, 0.
//   RecordRestPosition    for every selected bone: rest position := position,
//                         rest rotation := rotation (assumed); length and the
//                         active flag are left alone (assumed).
//
// A line is rejected, and changes nothing, when its command is unknown (names
// are case-sensitive), an argument is missing, extra or malformed, its item
// does not exist, or a bone command finds no selected bone. Every line is
// logged in order with its outcome.

int SimHost::evaluate(const char *text) {
    ++linesEvaluated;
    if (countOnly)
        return 1;
    std::string line = text != nullptr ? text : "";
    std::string why;
    bool accepted = apply(line, why);
    if (keepLog)
        log.push_back({line, accepted, why});
    return accepted ? 1 : 0;
}

bool SimHost::apply(const std::string &line, std::string &why) {
    std::size_t blank = line.find(' ');
    std::string command = line.substr(0, blank);
    bool hasArgument = blank != std::string::npos;
    std::string argument = hasArgument ? line.substr(blank + 1) : "";

    auto selectedIndices = [&](int type) {
        std::vector<int> found;
        for (ItemId id : selectionList) {
            int index = indexOf(id);
            if (index >= 0 && (type < 0 || items[static_cast<std::size_t>(index)].type == type))
                found.push_back(index);
        }
        return found;
    };
    auto onlyType = [&](int type) {
        return !selectionList.empty() && selectedIndices(type).size() == selectionList.count;
    };

    if (command == "SelectItem" || command == "AddToSelection") {
        std::uintptr_t value;
        if (!hasArgument || !parseHex(argument, value)) {
            why = "needs one hexadecimal item ID";
            return false;
        }
        auto id = reinterpret_cast<ItemId>(value);
        int index = indexOf(id);
        if (index < 0) {
            why = "no such item";
            return false;
        }
        int type = items[static_cast<std::size_t>(index)].type;
        current[type] = index;
        if (command == "SelectItem") {
            setSelection({id});
            editMode = type;
        } else {
            SimItem &added = items[static_cast<std::size_t>(index)];
            if (added.selectedTimes > 0)
                selectionList.remove(id);
            else
                ++added.selectedTimes;
            if (addOrder == SimAddOrder::prepend)
                selectionList.pushFront(id);
            else
                selectionList.pushBack(id);
            refreshSelection();
        }
        return true;
    }

    if (hasArgument && command != "BoneWeightMapName") {
        why = "takes no argument";
        return false;
    }

    if (command == "EditObjects") {
        editMode = itemObject;
        if (!onlyType(itemObject)) {
            int chosen = -1;
            std::vector<int> bones = selectedIndices(itemBone);
            if (!bones.empty())
                chosen = items[static_cast<std::size_t>(bones.front())].object;
            if (chosen < 0)
                chosen = current[itemObject];
            if (chosen < 0 && !itemsOfType[itemObject].empty())
                chosen = itemsOfType[itemObject].front();
            setSelection(chosen >= 0 ? std::vector<ItemId>{idOf(chosen)} : std::vector<ItemId>{});
        }
        return true;
    }
    if (command == "EditBones") {
        editMode = itemBone;
        if (!onlyType(itemBone)) {
            std::vector<int> objects = selectedIndices(itemObject);
            std::vector<ItemId> bones;
            if (!objects.empty() && !items[static_cast<std::size_t>(objects.front())].bones.empty())
                bones.push_back(idOf(items[static_cast<std::size_t>(objects.front())].bones.front()));
            setSelection(bones);
        }
        return true;
    }
    if (command == "RecordPivotRotation") {
        std::vector<int> targets = selectedIndices(-1);
        if (targets.empty()) {
            why = "no item selected";
            return false;
        }
        for (int index : targets) {
            SimItem &item = items[static_cast<std::size_t>(index)];
            item.pivotRotation = {item.pivotRotation.x + item.rotation.x, item.pivotRotation.y + item.rotation.y,
                                  item.pivotRotation.z + item.rotation.z};
            item.rotation = {};
            ++item.pivotRecords;
        }
        return true;
    }

    static const char *const boneCommands[] = {"BoneActive", "BoneWeightMapOnly", "BoneNormalization",
                                               "BoneWeightMapName", "RecordRestPosition"};
    if (std::find_if(std::begin(boneCommands), std::end(boneCommands),
                     [&](const char *name) { return command == name; }) == std::end(boneCommands)) {
        why = "unknown command";
        return false;
    }
    if (command == "BoneWeightMapName" && argument.empty()) {
        why = "needs a weight-map name";  // Layout would ask the user for it
        return false;
    }
    std::vector<int> bones = selectedIndices(itemBone);
    if (bones.empty()) {
        why = "no bone selected";
        return false;
    }
    for (int index : bones) {
        SimItem &bone = items[static_cast<std::size_t>(index)];
        if (command == "BoneActive") {
            bone.flags ^= boneFlagActive;
        } else if (command == "BoneWeightMapOnly") {
            bone.flags ^= boneFlagWeightMapOnly;
            if (weightMapOnlyTurnsOnNormalization && (bone.flags & boneFlagWeightMapOnly) != 0)
                bone.flags |= boneFlagNormalization;
        } else if (command == "BoneNormalization") {
            bone.flags ^= boneFlagNormalization;
        } else if (command == "BoneWeightMapName") {
            bone.weightMapName = argument;
            ++bone.weightMapNameSets;
        } else {
            bone.restPosition = bone.position;
            bone.restRotation = bone.rotation;
            ++bone.restRecords;
        }
    }
    return true;
}
