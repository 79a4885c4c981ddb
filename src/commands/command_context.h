// CommandContext: the record one bone command works through. Borrows the host
// services for one activation; owns the selection snapshot and the options form.
#pragma once

#include <cstdint>

#include "commands/item_id_list.h"
#include "host/forms.h"
#include "host/host.h"

struct PanelServices;  // "LWPanelServices", used only by the options form's About button

enum CommandKind : std::int32_t {
    commandWeightMap = 0,
    commandActivate = 1,
    commandDeactivate = 2,
    commandRecordPivots = 4,
    commandRest = 5,
};

// The name a command goes by in its messages.
const char *commandDisplayName(CommandKind kind);

struct CommandContext {
    std::int32_t status = 0;                   // result of a failed options-form step
    GlobalLookup globalLookup = nullptr;       // borrowed
    LayoutGeneric *generic = nullptr;          // borrowed
    MessageService *messages = nullptr;        // borrowed
    InterfaceInfo *interfaceInfo = nullptr;    // borrowed
    ItemInfoService *itemInfo = nullptr;       // borrowed
    BoneInfoService *boneInfo = nullptr;       // borrowed
    XPanelService *formService = nullptr;      // borrowed; null until the form step looks it up
    PanelServices *panelServices = nullptr;    // borrowed
    void *formPanel = nullptr;                 // owned; null until the form is made
    ItemIdList selection;                      // owned snapshot of the selected items
    std::int32_t selectionType = -1;           // type of the first selected item; -1 for none

    CommandContext(GlobalLookup lookup, LayoutGeneric *record);
    ~CommandContext();
    CommandContext(const CommandContext &) = delete;
    CommandContext &operator=(const CommandContext &) = delete;

    // True when every service the kind needs is there; otherwise shows which
    // one is missing (when it can) and the command must stop without a line.
    bool requireServices(CommandKind kind);
    bool validateSelection(CommandKind kind);
    bool snapshotSelection();
    void sendCommand(const char *line);
    void restoreSelection();

    void applyToBones(CommandKind kind);
    void applyToBone(CommandKind kind, ItemId bone);

    // The host's selected-items list; null when there is none to read.
    const ItemId *selectedItems() const;
    void showError(const char *text);
};

// The context that is alive, null between commands. The host runs one
// activation at a time on its interface thread, so one pointer is enough.
extern CommandContext *currentContext;
