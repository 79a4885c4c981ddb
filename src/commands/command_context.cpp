// CommandContext: service lookup, the selection check, the snapshot and the
// restore that gives the user their selection back.
#include "commands/command_context.h"

#include "commands/line.h"

CommandContext *currentContext = nullptr;

const char *commandDisplayName(CommandKind kind) {
    switch (kind) {
    case commandWeightMap: return "Marrowlink";
    case commandActivate: return "Activate Bones";
    case commandDeactivate: return "Deactivate Bones";
    case commandRecordPivots: return "Record Bone Pivots";
    case commandRest: return "Rest Bones";
    }
    return "Marrowlink";
}

CommandContext::CommandContext(GlobalLookup lookup, LayoutGeneric *record) : globalLookup(lookup), generic(record) {
    if (lookup != nullptr) {
        messages = static_cast<MessageService *>(lookup(messageServiceName, 0));
        interfaceInfo = static_cast<InterfaceInfo *>(lookup(interfaceInfoName, 0));
        itemInfo = static_cast<ItemInfoService *>(lookup(itemInfoName, 0));
        boneInfo = static_cast<BoneInfoService *>(lookup(boneInfoName, 0));
        panelServices = static_cast<PanelServices *>(lookup(panelServicesName, 0));
    }
    const ItemId *selected = selectedItems();
    if (selected != nullptr && selected[0] != nullptr && itemInfo != nullptr && itemInfo->type != nullptr)
        selectionType = itemInfo->type(selected[0]);
    currentContext = this;
}

CommandContext::~CommandContext() {
    if (formPanel != nullptr && formService != nullptr && formService->destroy != nullptr)
        formService->destroy(formPanel);
    formPanel = nullptr;
    currentContext = nullptr;
    selection.release();
}

const ItemId *CommandContext::selectedItems() const {
    return interfaceInfo != nullptr ? interfaceInfo->selectedItems : nullptr;
}

void CommandContext::showError(const char *text) {
    if (messages != nullptr && messages->error != nullptr)
        messages->error(text, nullptr);
}

bool CommandContext::requireServices(CommandKind kind) {
    const char *missing = nullptr;
    if (generic == nullptr || generic->evaluator == nullptr)
        missing = "command evaluator";
    else if (interfaceInfo == nullptr)
        missing = interfaceInfoName;
    else if (itemInfo == nullptr || itemInfo->first == nullptr || itemInfo->next == nullptr ||
             itemInfo->type == nullptr || itemInfo->name == nullptr ||
             ((kind == commandRecordPivots || kind == commandRest) &&
              (itemInfo->firstChild == nullptr || itemInfo->nextChild == nullptr || itemInfo->parent == nullptr)))
        missing = itemInfoName;
    else if ((kind == commandWeightMap || kind == commandActivate || kind == commandDeactivate) &&
             (boneInfo == nullptr || boneInfo->flags == nullptr))
        missing = boneInfoName;
    else if ((kind == commandRecordPivots || kind == commandRest) && (messages == nullptr || messages->yesNo == nullptr))
        missing = messageServiceName;  // the confirmation cannot be asked
    if (missing == nullptr)
        return true;
    char text[512];
    std::size_t used = formatTextLine(text, sizeof text, "%s Error: Layout service is not available: ",
                                      commandDisplayName(kind));
    if (used < sizeof text)
        formatTextLine(text + used, sizeof text - used, "%s", missing);
    showError(text);
    return false;
}

bool CommandContext::validateSelection(CommandKind kind) {
    const ItemId *selected = selectedItems();
    if (selected == nullptr || selected[0] == nullptr || (selectionType != itemObject && selectionType != itemBone)) {
        char text[512];
        formatTextLine(text, sizeof text, "%s Error: At least one object or bone must be selected",
                       commandDisplayName(kind));
        showError(text);
        return false;
    }
    return true;
}

bool CommandContext::snapshotSelection() {
    const ItemId *selected = selectedItems();
    if (selected == nullptr || selected[0] == nullptr)
        return false;
    for (const ItemId *id = selected; *id != nullptr; ++id)
        selection.append(*id);
    return true;
}

void CommandContext::sendCommand(const char *line) {
    if (generic != nullptr && generic->evaluator != nullptr)
        generic->evaluator(generic->evaluatorData, line);
}

void CommandContext::restoreSelection() {
    sendCommand(selectionType == itemBone ? "EditBones" : "EditObjects");
    char line[100];
    for (std::uint32_t i = selection.count; i > 0; --i) {
        formatItemLine(line, sizeof line, "AddToSelection %x", selection.items[i - 1]);
        sendCommand(line);
    }
}
