#include "money.h"

#include <commctrl.h>
#include <richedit.h>

#include <cstdio>
#include <cstring>

#include "registry_keys.h"
#include "resource_ids.h"

namespace control_panel {
namespace {

constexpr int kFieldTextSize = 64;
constexpr int kTextSize = 260;
constexpr COLORREF kCostTotalColor = 0x00FFFFFF;
constexpr COLORREF kSavedTotalColor = 0x00FAFAFA;
constexpr COLORREF kTotalBackground = 0x00DC8A1A;

std::string resourceString(HMODULE resources, int id) {
  char text[kTextSize] = {};
  return LoadStringA(resources, id, text, sizeof text) > 0 ? text : "";
}

std::string fieldText(HWND dialog, int control) {
  char text[kFieldTextSize] = {};
  GetDlgItemTextA(dialog, control, text, sizeof text);
  return text;
}

int32_t valueOf(const SettingPair* values, int count, const char* name) {
  for (int i = 0; values && i < count; ++i)
    if (values[i].name && std::strcmp(values[i].name, name) == 0) return values[i].value;
  return 0;
}

std::string percentText(int32_t level) {
  char text[16];
  std::snprintf(text, sizeof text, "%d%%", static_cast<int>(level));
  return text;
}

// Bold light text on blue for a rich edit total, once its text is set: a
// rich edit may give new text its default format (Wine's does), and the
// whole text then takes this one.
void paintTotal(HWND dialog, int control, COLORREF textColor) {
  HWND edit = GetDlgItem(dialog, control);
  if (!edit) return;
  CHARFORMATA format = {};
  format.cbSize = sizeof format;
  SendMessageA(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  format.dwEffects = CFE_BOLD;
  format.dwMask |= CFM_COLOR | CFM_BOLD;
  format.crTextColor = textColor;
  SendMessageA(edit, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  SendMessageA(edit, EM_SETBKGNDCOLOR, 0, kTotalBackground);
}

}  // namespace

void SavingsDisplay::start(HMODULE resources, LCID locale) {
  resources_ = resources;
  locale_ = locale;
  separator_ = currencySeparator(locale);
  upDownChanged_ = false;
}

void SavingsDisplay::fill(HWND dialog, const SettingPair* values, int count) {
  struct Cost {
    const char* name;
    int upDown, field;
  };
  for (const Cost& cost : {Cost{settings::kBlackCost, IDC_BLACK_COST_SPIN, IDC_BLACK_COST_EDIT},
                           Cost{settings::kColorCost, IDC_COLOR_COST_SPIN, IDC_COLOR_COST_EDIT}}) {
    const uint32_t packed = static_cast<uint32_t>(valueOf(values, count, cost.name));
    SendDlgItemMessageA(dialog, cost.upDown, UDM_SETPOS, 0, MAKELPARAM(packed & 0xFFFF, 0));
    SetDlgItemTextA(dialog, cost.field, packedMoneyText(packed, locale_).c_str());
  }
  struct Count {
    const char* name;
    int upDown, field;
  };
  for (const Count& carts : {Count{settings::kBlackCartPerYear, IDC_BLACK_CARTRIDGES_SPIN, IDC_BLACK_CARTRIDGES_EDIT},
                             Count{settings::kColorCartPerYear, IDC_COLOR_CARTRIDGES_SPIN, IDC_COLOR_CARTRIDGES_EDIT}}) {
    const uint32_t number = static_cast<uint32_t>(valueOf(values, count, carts.name)) & 0xFFFF;
    SendDlgItemMessageA(dialog, carts.upDown, UDM_SETPOS, 0, MAKELPARAM(number, 0));
    SetDlgItemInt(dialog, carts.field, number, FALSE);
  }
  SetDlgItemTextA(dialog, IDC_BLACK_LEVEL_LABEL, percentText(valueOf(values, count, settings::kBlackLevel)).c_str());
  SetDlgItemTextA(dialog, IDC_COLOR_LEVEL_LABEL, percentText(valueOf(values, count, settings::kColorLevel)).c_str());
  upDownChanged_ = false;
}

void SavingsDisplay::recompute(HWND dialog) {
  const SavingsFields fields{fieldText(dialog, IDC_BLACK_LEVEL_EDIT), fieldText(dialog, IDC_COLOR_LEVEL_EDIT),
                             fieldText(dialog, IDC_BLACK_CARTRIDGES_EDIT), fieldText(dialog, IDC_COLOR_CARTRIDGES_EDIT),
                             fieldText(dialog, IDC_BLACK_COST_EDIT),  fieldText(dialog, IDC_COLOR_COST_EDIT)};
  const SavingsTexts texts = savingsTexts(fields, locale_, resourceString(resources_, IDS_UNIT_PER_YEAR),
                                          resourceString(resources_, IDS_UNIT_PER_CARTRIDGE));
  SetDlgItemTextA(dialog, IDC_BLACK_YEAR_COST, texts.blackPerYear.c_str());
  SetDlgItemTextA(dialog, IDC_COLOR_YEAR_COST, texts.colorPerYear.c_str());
  SetDlgItemTextA(dialog, IDC_TOTAL_YEAR_COST, texts.costPerYear.c_str());
  paintTotal(dialog, IDC_TOTAL_YEAR_COST, kCostTotalColor);
  SetDlgItemTextA(dialog, IDC_BLACK_CART_SAVING, texts.blackSaving.c_str());
  SetDlgItemTextA(dialog, IDC_BLACK_CART_SAVING_2, texts.blackPerCartridge.c_str());
  SetDlgItemTextA(dialog, IDC_COLOR_CART_SAVING_2, texts.colorPerCartridge.c_str());
  SetDlgItemTextA(dialog, IDC_COLOR_CART_SAVING, texts.colorSaving.c_str());
  SetDlgItemTextA(dialog, IDC_BLACK_YEAR_SAVING, texts.blackSavedPerYear.c_str());
  SetDlgItemTextA(dialog, IDC_COLOR_YEAR_SAVING, texts.colorSavedPerYear.c_str());
  SetDlgItemTextA(dialog, IDC_TOTAL_YEAR_SAVING, texts.savedPerYear.c_str());
  paintTotal(dialog, IDC_TOTAL_YEAR_SAVING, kSavedTotalColor);
}

void SavingsDisplay::upDownNotified(int control) {
  if (control >= IDC_BLACK_COST_SPIN && control <= IDC_COLOR_CARTRIDGES_SPIN) upDownChanged_ = true;
}

bool SavingsDisplay::fieldChanged(HWND dialog, int control) {
  const bool cost = control == IDC_BLACK_COST_EDIT || control == IDC_COLOR_COST_EDIT;
  if (!upDownChanged_ || (!cost && control != IDC_BLACK_CARTRIDGES_EDIT && control != IDC_COLOR_CARTRIDGES_EDIT)) return false;
  upDownChanged_ = false;
  // The up-down wrote whole units; the field shows them with no cents. Without
  // a separator digits are all a cost field takes, and the units stand alone.
  if (cost && !separator_.empty())
    SetDlgItemTextA(dialog, control, (fieldText(dialog, control) + separator_ + "00").c_str());
  recompute(dialog);
  return true;
}

uint32_t SavingsDisplay::packField(HWND dialog, int control) const {
  return PackMoney(fieldText(dialog, control).c_str(), separator_.c_str());
}

}  // namespace control_panel
