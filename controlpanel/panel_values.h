// The settings the dialog edits, as lists of value pairs the settings store
// reads and writes in one call, and the fixed tables of levels and preview
// bands.
#pragma once

#include <array>

#include "CorvantaReg.h"

namespace control_panel {

// Positions in the lists below.
enum ValueIndex {
  kInkReduction,
  kDisplayInk,
  kBlackLevel,
  kColorLevel,
  kBlackCost,
  kColorCost,
  kBlackCartPerYear,
  kColorCartPerYear,
  kPrintCalibrationPage,  // DefaultValues only
};
constexpr int kJobValueCount = 8;
constexpr int kDefaultValueCount = 9;

constexpr int kMaxLevel = 75;
constexpr int kMaxCartridges = 99;
constexpr int kMaxWholeCost = 999;
constexpr double kMaxCost = 999.99;

// The current printer's values as last loaded or saved.
extern SettingPair EditValues[kJobValueCount];
// Handed to SyncUserSettings for printers without settings.
extern const SettingPair DefaultValues[kDefaultValueCount];
// Scratch list for tray-menu commands and change detection.
extern SettingPair MenuValues[kJobValueCount];

// The levels of a tray level submenu, by position.
constexpr std::array<int, 9> kMenuLevels = {0, 5, 15, 25, 35, 45, 55, 65, 75};
// Position of level in kMenuLevels, or -1.
int menuLevelPosition(int level);

// Preview band of a level: the lowest level of each of the seven bands.
constexpr std::array<int, 7> kBandStarts = {0, 12, 25, 37, 50, 68, 74};
int previewBand(int level);

// Copies the values (names stay) from one list of the eight into another.
void copyValues(SettingPair (&to)[kJobValueCount], const SettingPair (&from)[kJobValueCount]);

}  // namespace control_panel
