#include "panel_values.h"

#include "registry_keys.h"

namespace control_panel {

SettingPair EditValues[kJobValueCount] = {
    {settings::kInkReduction, 1},         {settings::kDisplayInk, 0},       {settings::kBlackLevel, 25},      {settings::kColorLevel, 25},
    {settings::kBlackCost, 0x00640000},   {settings::kColorCost, 0x00640000}, {settings::kBlackCartPerYear, 0}, {settings::kColorCartPerYear, 0},
};

const SettingPair DefaultValues[kDefaultValueCount] = {
    {settings::kInkReduction, 1},       {settings::kDisplayInk, 0},         {settings::kBlackLevel, 25},      {settings::kColorLevel, 25},
    {settings::kBlackCost, 0x00640000}, {settings::kColorCost, 0x00640000}, {settings::kBlackCartPerYear, 0}, {settings::kColorCartPerYear, 0},
    {settings::kPrintCalibrationPage, 0},
};

SettingPair MenuValues[kJobValueCount] = {
    {settings::kInkReduction, 0}, {settings::kDisplayInk, 0}, {settings::kBlackLevel, 0},       {settings::kColorLevel, 0},
    {settings::kBlackCost, 0},    {settings::kColorCost, 0},  {settings::kBlackCartPerYear, 0}, {settings::kColorCartPerYear, 0},
};

int menuLevelPosition(int level) {
  for (size_t i = 0; i < kMenuLevels.size(); ++i)
    if (kMenuLevels[i] == level) return static_cast<int>(i);
  return -1;
}

int previewBand(int level) {
  int band = 0;
  for (size_t i = 0; i < kBandStarts.size(); ++i)
    if (level >= kBandStarts[i]) band = static_cast<int>(i);
  return band;
}

void copyValues(SettingPair (&to)[kJobValueCount], const SettingPair (&from)[kJobValueCount]) {
  for (int i = 0; i < kJobValueCount; ++i) to[i].value = from[i].value;
}

}  // namespace control_panel
