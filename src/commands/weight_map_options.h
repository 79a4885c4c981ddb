// WeightMapOptions: the three answers of the weight-map options form. Module-wide,
// 0 at load, replaced as a whole by a confirmed form and never saved anywhere.
#pragma once

#include <cstdint>

struct WeightMapFlags {
    std::uint8_t adjustBoneSettings;   // adjust the two bone settings at all
    std::uint8_t useWeightMapOnly;     // wanted weight-map-only state
    std::uint8_t weightNormalization;  // wanted weight-normalization state
};

extern WeightMapFlags WeightMapOptions;
