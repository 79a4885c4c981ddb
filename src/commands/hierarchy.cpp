// The record-pivots and rest commands over a tree of the whole scene. No step
// recurses: the build climbs back up by the host's own child links, marking and
// the walk keep an explicit stack of frames (and go on by parent links when it
// cannot grow), and freeing climbs by parent links too.
#include "commands/hierarchy.h"

#include <algorithm>
#include <cstddef>
#include <new>

#include "commands/line.h"
#include "commands/memory.h"

namespace {

// [SECTION] Nodes

SceneNode *makeNode(ItemId item, SceneNode *parent, SceneNode *owner) {
    void *block = moduleAlloc(sizeof(SceneNode));
    return block != nullptr ? new (block) SceneNode(item, parent, owner) : nullptr;
}

void freeNode(SceneNode *node) {
    node->~SceneNode();
    moduleFree(node);
}

// Makes a node for item and appends it to the children of holder. Room is made
// first, so no node is made that could not be kept. Null: the item is left out.
SceneNode *addChild(SceneNode *holder, ItemId item, SceneNode *parent, SceneNode *owner) {
    GrowableList<SceneNode *> &children = holder->children;
    if (children.count == children.capacity &&
        (children.capacity > UINT32_MAX - children.growBy || !children.resize(children.capacity + children.growBy)))
        return nullptr;
    SceneNode *node = makeNode(item, parent, owner);
    if (node != nullptr)
        children.append(node);
    return node;
}

// The node above node, for a node inside the subtree of top. Top-level nodes
// keep a null parent; the only node above them is the root, which is then top.
SceneNode *above(SceneNode *node, SceneNode *top) { return node->parent != nullptr ? node->parent : top; }

// [SECTION] Building

// Builds everything below top, asking the host in the order a recursive build
// would: each child is built whole before the next child of its parent is asked
// for. Going back up needs no stack, since the host's next-child entry takes
// the child we came from.
void buildBelow(SceneNode *top, const ItemInfoService *itemInfo) {
    top->type = itemInfo->type(top->item);
    SceneNode *node = top;
    ItemId child = itemInfo->firstChild(node->item);
    for (;;) {
        if (child != nullptr) {
            int childType = itemInfo->type(child);
            // A bone belongs to the object it hangs below; everything else
            // passes on the owner of the node above it.
            SceneNode *owner = node->type == itemObject && childType == itemBone ? node : node->owner;
            SceneNode *added = addChild(node, child, node, owner);
            if (added != nullptr) {
                added->type = childType;
                node = added;
                child = itemInfo->firstChild(node->item);
            } else {
                child = itemInfo->nextChild(node->item, child);  // left out, and nothing below it is read
            }
            continue;
        }
        if (node == top)
            return;
        SceneNode *up = node->parent;  // below a top-level node every node has its parent
        child = itemInfo->nextChild(up->item, node->item);
        node = up;
    }
}

void buildTopLevel(SceneNode *root, const ItemInfoService *itemInfo) {
    root->type = -1;
    for (int type : {itemObject, itemLight, itemCamera})
        for (ItemId item = itemInfo->first(type, nullptr); item != nullptr; item = itemInfo->next(item))
            if (itemInfo->parent(item) == nullptr)
                addChild(root, item, nullptr, root);  // items with a parent are reached through it
    for (std::uint32_t i = 0; i < root->children.count; ++i)
        buildBelow(root->children.items[i], itemInfo);
}

// [SECTION] Visiting in tree order

// Visits every node below top, node before children and children in order,
// with no memory of its own: going up, the next sibling is found by looking
// for the node among its parent's children. Slow on wide trees, so it is only
// the way on when the frame stack cannot grow.
template <typename Visit>
void visitBelowByParentLinks(SceneNode *top, Visit &visit) {
    if (top->children.count == 0)
        return;
    SceneNode *node = top->children.items[0];
    visit(node);
    for (;;) {
        if (node->children.count > 0) {
            node = node->children.items[0];
            visit(node);
            continue;
        }
        for (;;) {  // climb to the first node with a next sibling
            SceneNode *up = above(node, top);
            std::uint32_t position = 0;
            while (up->children.items[position] != node)
                ++position;
            if (position + 1 < up->children.count) {
                node = up->children.items[position + 1];
                visit(node);
                break;
            }
            if (up == top)
                return;
            node = up;
        }
    }
}

struct Frame {
    SceneNode *node;       // borrowed
    std::uint32_t next;    // index of the child to visit next
};
using FrameStack = GrowableList<Frame>;

// The stack doubles, so a chain of a million bones costs a few dozen copies.
bool push(FrameStack &stack, SceneNode *node) {
    if (stack.count == stack.capacity)
        stack.growBy = stack.capacity > 0 ? stack.capacity : 10;
    std::uint32_t before = stack.count;
    stack.append({node, 0});
    return stack.count != before;
}

// Visits top and every node below it, node before children, children in order.
template <typename Visit>
void visitTree(SceneNode *top, Visit visit) {
    visit(top);
    FrameStack stack;
    if (!push(stack, top)) {
        visitBelowByParentLinks(top, visit);
        return;
    }
    while (stack.count > 0) {
        Frame &frame = stack.items[stack.count - 1];
        if (frame.next == frame.node->children.count) {
            --stack.count;
            continue;
        }
        SceneNode *child = frame.node->children.items[frame.next++];
        visit(child);
        if (child->children.count > 0 && !push(stack, child))
            visitBelowByParentLinks(child, visit);  // the frame stack is full: go on without it
    }
}

// [SECTION] The selected items

// The selected-items list read once into a sorted array, so that marking a
// scene of many bones with many of them selected takes a binary search a node
// instead of a pass over the list.
struct SelectedIndex {
    std::uintptr_t *ids = nullptr;  // owned; null when the list could not be copied
    std::size_t count = 0;

    explicit SelectedIndex(const ItemId *selected) {
        std::size_t listed = 0;
        while (selected[listed] != nullptr)
            ++listed;
        if (listed > SIZE_MAX / sizeof(std::uintptr_t))
            return;
        ids = static_cast<std::uintptr_t *>(moduleAlloc(listed * sizeof(std::uintptr_t)));
        if (ids == nullptr)
            return;
        for (std::size_t i = 0; i < listed; ++i)
            ids[i] = reinterpret_cast<std::uintptr_t>(selected[i]);
        count = listed;
        std::sort(ids, ids + count);
    }
    ~SelectedIndex() { moduleFree(ids); }
    SelectedIndex(const SelectedIndex &) = delete;
    SelectedIndex &operator=(const SelectedIndex &) = delete;

    bool contains(ItemId item) const {
        return std::binary_search(ids, ids + count, reinterpret_cast<std::uintptr_t>(item));
    }
};

// The plain look-up, for when the index cannot be had: one pass over the list.
bool listed(const ItemId *selected, ItemId item) {
    for (const ItemId *id = selected; *id != nullptr; ++id)
        if (*id == item)
            return true;
    return false;
}

// [SECTION] The command

const char *questionText(CommandKind kind, bool bonesSelected) {
    if (kind == commandRecordPivots)
        return bonesSelected ? "This will record pivot points for all selected bones.  Are you sure?"
                             : "This will record pivot points for bones in the selected objects.  Are you sure?";
    return bonesSelected ? "This will rest all selected bones.  Are you sure?"
                         : "This will rest all bones in the selected objects.  Are you sure?";
}
}  // namespace

void buildChildren(SceneNode *node, const ItemInfoService *itemInfo) {
    if (node == nullptr || itemInfo == nullptr)
        return;
    if (node->owner == nullptr)
        buildTopLevel(node, itemInfo);
    else
        buildBelow(node, itemInfo);
}

void markSelected(SceneNode *node, const ItemInfoService *itemInfo, const InterfaceInfo *interfaceInfo) {
    if (node == nullptr)
        return;
    const ItemId *selected = interfaceInfo != nullptr ? interfaceInfo->selectedItems : nullptr;
    int selectedType = -1;  // marks nothing: only types 0 to 3 are marked
    if (selected != nullptr && selected[0] != nullptr && itemInfo != nullptr && itemInfo->type != nullptr)
        selectedType = itemInfo->type(selected[0]);
    if (selectedType < 0) {
        visitTree(node, [](SceneNode *visited) { visited->marked = 0; });
        return;
    }
    SelectedIndex index(selected);
    visitTree(node, [&](SceneNode *visited) {
        visited->marked = 0;
        if (visited->type == selectedType &&
            (index.ids != nullptr ? index.contains(visited->item) : listed(selected, visited->item)))
            visited->marked = 1;
    });
}

void walkBones(SceneNode *node, CommandKind kind) {
    CommandContext *context = currentContext;
    const char *record = kind == commandRecordPivots ? "RecordPivotRotation"
                         : kind == commandRest       ? "RecordRestPosition"
                                                     : nullptr;
    if (node == nullptr || context == nullptr || record == nullptr)
        return;
    visitTree(node, [&](SceneNode *visited) {
        if (visited->type != itemBone)
            return;
        if (visited->marked == 0 && (visited->owner == nullptr || visited->owner->marked == 0))
            return;
        char line[100];
        formatItemLine(line, sizeof line, "SelectItem %x", visited->item);
        context->sendCommand(line);
        context->sendCommand(record);
    });
}

// Goes down to a node without children, frees it and climbs back by its parent
// link, so no stack is needed and nothing can fail. Children go last first.
void destroyChildren(SceneNode *node) {
    if (node == nullptr)
        return;
    SceneNode *current = node;
    for (;;) {
        GrowableList<SceneNode *> &children = current->children;
        if (children.count > 0) {
            current = children.items[--children.count];  // detached from its holder on the way down
            continue;
        }
        children.release();
        if (current == node)
            return;
        SceneNode *up = above(current, node);
        freeNode(current);
        current = up;
    }
}

int runHierarchyCommand(LayoutGeneric *generic, GlobalLookup globalLookup, CommandKind kind) {
    if (kind != commandRecordPivots && kind != commandRest)
        return 0;
    CommandContext context(globalLookup, generic);
    if (!context.requireServices(kind) || !context.validateSelection(kind))
        return 0;
    const char *title = kind == commandRecordPivots ? "Record Bone Pivots" : "Rest Bones";
    if (context.messages->yesNo(title, questionText(kind, context.selectionType == itemBone), "") == 0)
        return 0;
    context.snapshotSelection();
    SceneNode root(nullptr, nullptr, nullptr);
    buildChildren(&root, context.itemInfo);
    markSelected(&root, context.itemInfo, context.interfaceInfo);
    walkBones(&root, kind);
    context.restoreSelection();
    destroyChildren(&root);
    return 0;
}
