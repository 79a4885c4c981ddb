// The weight-map command: the options form with its three questions, its About
// button, and then the weight-map names of the bones.
#pragma once

#include "commands/command_context.h"
#include "host/forms.h"

// Control IDs of the form; 0x8004 and 0x8005 exist only in the hint list.
enum : std::uint32_t {
    controlAbout = 0x8000,
    controlAdjustBoneSettings = 0x8001,
    controlUseWeightMapOnly = 0x8002,
    controlWeightNormalization = 0x8003,
    groupAdjust = 0x8004,
    groupBoneSettings = 0x8005,
};

// The tables the host builds the form from, each ended by an all-zero row.
extern const XPanelControl weightMapControls[5];
extern const XPanelControl weightMapData[5];
// The 35-word hint list; its title and action words are filled as the form is built.
extern XPanelHintWord weightMapHints[35];
// The form's title, formatted each time the form is built; module-wide so that
// it outlives the form, which the host may read until it is destroyed.
extern char weightMapTitle[256];

int runWeightMapCommand(LayoutGeneric *generic, GlobalLookup globalLookup);

// Builds, presets and posts the form. True when the command goes on to the
// bones; false when it stops, with the command's result in context.status.
bool runOptionsForm(CommandContext &context);

// The About button's action: the About panel over the display, modally.
void onAboutButton(void *form, int controlId);
