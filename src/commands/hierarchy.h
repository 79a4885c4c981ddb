// The record-pivots and rest commands: a tree of the whole scene hierarchy,
// walked in the host's order, for the bones in scope. The tree is built,
// marked, walked and freed without recursion: a rig's chain can be far deeper
// than the host's interface thread has stack for.
#pragma once

#include <cstdint>

#include "commands/command_context.h"
#include "commands/item_id_list.h"

// One node of the scene tree. The root stands for the scene itself (no item);
// every other node is made by buildChildren and owned by the node above it.
struct SceneNode {
    ItemId item = nullptr;                // borrowed; null for the root
    std::int32_t type = -1;               // host item type; -1 for the root and until buildChildren has run on it
    SceneNode *parent = nullptr;          // borrowed; null for the root and the top-level nodes
    SceneNode *owner = nullptr;           // borrowed; a bone's object node, the root for top level, null for the root alone
    GrowableList<SceneNode *> children;   // owned nodes, in the host's child order
    std::uint8_t marked = 0;              // 1: the item is selected and of the first selected item's type

    SceneNode(ItemId nodeItem, SceneNode *nodeParent, SceneNode *nodeOwner)
        : item(nodeItem), parent(nodeParent), owner(nodeOwner) {}
};

// Fills node's children and, below them, the whole subtree; on the root (the
// one node without an owner) the top-level objects, lights and cameras. A child
// whose node cannot be made or added is left out, and nothing below it is read.
void buildChildren(SceneNode *node, const ItemInfoService *itemInfo);
// Sets marked on node and every node below it from the host's selected items.
void markSelected(SceneNode *node, const ItemInfoService *itemInfo, const InterfaceInfo *interfaceInfo);
// Sends, through the running context, "SelectItem %x" and the record line for
// every bone at or below node that is marked itself or whose owner is marked.
void walkBones(SceneNode *node, CommandKind kind);
// Frees every node below node and releases node's children storage.
void destroyChildren(SceneNode *node);

int runHierarchyCommand(LayoutGeneric *generic, GlobalLookup globalLookup, CommandKind kind);
