// Money on the savings tab: the packed cost a cost field is stored as, the
// cost as the field shows it, the locale's currency format, and what the
// cartridges cost and the reduction saves per cartridge and per year, as
// texts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace control_panel {

// A cost field's text as a packed cost: whole units (0 to 999) in the low 16
// bits, the fraction code in the high 16. Of the fraction the first two
// digits count; a fraction beginning with 0 has 100 added to its code, no
// fraction gives 100.
uint32_t PackMoney(const char* text, const char* separator);

// The packed cost as a cost field shows it: "12.50", in the locale's number
// format.
std::string packedMoneyText(uint32_t packed, LCID locale);

// The decimal separator of the locale's currency format: the character after
// the first 2 of 12.34 as currency; empty when there is none.
std::string currencySeparator(LCID locale);

// value with two decimals in the locale's currency format (the plain number
// when the locale cannot format it).
std::string money(double value, LCID locale);

// The texts of the savings results, computed from the fields' texts.
struct SavingsFields {
  std::string blackLevel, colorLevel;  // 1041, 1043
  std::string blackCarts, colorCarts;  // 1054, 1056
  std::string blackCost, colorCost;    // 1050, 1051
};
struct SavingsTexts {
  std::string blackPerYear, colorPerYear, costPerYear;             // 1066, 1067, 1068
  std::string blackSaving, colorSaving;                            // 1045, 1046
  std::string blackPerCartridge, colorPerCartridge;                // 1084, 1085
  std::string blackSavedPerYear, colorSavedPerYear, savedPerYear;  // 1087, 1088, 1089
};
SavingsTexts savingsTexts(const SavingsFields& fields, LCID locale, const std::string& perYear,
                          const std::string& perCartridge);

}  // namespace control_panel
