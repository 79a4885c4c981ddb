// The weight-map command and its options form. The form is built from three
// module tables by the host's "LWXPanel" service; its confirmed answers become
// WeightMapOptions, which preset the next form while the module stays loaded.
#include "ui/weight_map_command.h"

#include "commands/line.h"
#include "commands/weight_map_options.h"
#include "ui/about_panel.h"

const XPanelControl weightMapControls[5] = {
    {controlAbout, "About", "vButton"},
    {controlAdjustBoneSettings, "Adjust Bone Settings", "iBoolean"},
    {controlUseWeightMapOnly, "Use Weight Map Only", "iBoolean"},
    {controlWeightNormalization, "Weight Normalization", "iBoolean"},
    {0, nullptr, nullptr},
};

const XPanelControl weightMapData[5] = {
    {controlAbout, "About", ""},
    {controlAdjustBoneSettings, "Adjust Bone Settings", "integer"},
    {controlUseWeightMapOnly, "Use Weight Map Only", "integer"},
    {controlWeightNormalization, "Weight Normalization", "integer"},
    {0, nullptr, nullptr},
};

char weightMapTitle[256];

namespace {
constexpr int hintTitleWord = 2;
constexpr int hintActionWord = 33;
}  // namespace

XPanelHintWord weightMapHints[35] = {
    0x3d000b03, 0, 0 /* title */, 0,                                       // the form's title
    0x3d01fe81, groupAdjust, controlAdjustBoneSettings, 0,                  // gathers "Adjust Bone Settings"
    0x3d021581, groupAdjust, 0,                                             // applies to that gathering
    0x3d01fe81, groupBoneSettings, controlUseWeightMapOnly, controlWeightNormalization, 0,  // the two settings
    0x3d01f984, controlAdjustBoneSettings, 0, 0, 0, controlUseWeightMapOnly, controlWeightNormalization, 0,
    0x3d01f984, controlUseWeightMapOnly, 0, 0, 0, controlWeightNormalization, 0,
    0x3d015f02, controlAbout, 0 /* onAboutButton */,                        // the About button's action
    0,
};

void onAboutButton(void *, int) {
    try {
        if (currentContext == nullptr || currentContext->panelServices == nullptr)
            return;
        AboutPanel about(currentContext->panelServices, "Marrowlink", AboutText, nullptr, true);
    } catch (...) {
        // nothing may reach the host; the form stays up
    }
}

namespace {

// The flags and their checkboxes, in the order they are preset and read back.
struct OptionControl {
    std::uint32_t id;
    std::uint8_t WeightMapFlags::*flag;
};
constexpr OptionControl optionControls[3] = {
    {controlAdjustBoneSettings, &WeightMapFlags::adjustBoneSettings},
    {controlUseWeightMapOnly, &WeightMapFlags::useWeightMapOnly},
    {controlWeightNormalization, &WeightMapFlags::weightNormalization},
};

}  // namespace

bool runOptionsForm(CommandContext &context) {
    formatTextLine(weightMapTitle, sizeof weightMapTitle, "%s -- \xa9 2001 the Marrowlink authors",
                   "Marrowlink");
    weightMapHints[hintTitleWord] = reinterpret_cast<XPanelHintWord>(weightMapTitle);
    weightMapHints[hintActionWord] = reinterpret_cast<XPanelHintWord>(&onAboutButton);

    XPanelService *form = context.globalLookup != nullptr
                              ? static_cast<XPanelService *>(context.globalLookup(formServiceName, 0))
                              : nullptr;
    context.formService = form;
    if (form == nullptr) {
        context.status = 2;
        return false;
    }
    context.formPanel = form->create != nullptr ? form->create(2, weightMapControls) : nullptr;
    if (context.formPanel == nullptr) {
        context.showError("Marrowlink Error: Unable to create XPanels interface");
        return false;
    }
    if (form->describe != nullptr)
        form->describe(context.formPanel, weightMapData, nullptr, nullptr);
    if (form->hint != nullptr)
        form->hint(context.formPanel, 0, weightMapHints);
    for (const OptionControl &option : optionControls) {
        std::int32_t value = WeightMapOptions.*option.flag;
        if (form->setValue != nullptr)
            form->setValue(context.formPanel, option.id, &value);
    }
    if (form->post == nullptr || form->post(context.formPanel) != 1)
        return false;  // dismissed: the earlier answers stand
    WeightMapFlags answers{};
    for (const OptionControl &option : optionControls) {
        // A control whose value the host cannot give counts as unchecked.
        const void *value = form->getValue != nullptr ? form->getValue(context.formPanel, option.id) : nullptr;
        answers.*option.flag = value != nullptr && *static_cast<const std::int32_t *>(value) > 0 ? 1 : 0;
    }
    WeightMapOptions = answers;
    return true;
}

int runWeightMapCommand(LayoutGeneric *generic, GlobalLookup globalLookup) {
    CommandContext context(globalLookup, generic);
    if (!context.requireServices(commandWeightMap) || !context.validateSelection(commandWeightMap))
        return 0;
    context.snapshotSelection();
    if (!runOptionsForm(context))
        return context.status;
    context.applyToBones(commandWeightMap);
    return 0;
}
