// Until the savings tab is built: the costs stay as loaded.
#include "money.h"

#include "resource_ids.h"

namespace control_panel {

void SavingsDisplay::start(HMODULE, LCID) {}

void SavingsDisplay::fill(HWND, const SettingPair* values, int count) {
  if (count >= 6) costs_[0] = values[4].value, costs_[1] = values[5].value;
}

void SavingsDisplay::recompute(HWND) {}

void SavingsDisplay::upDownNotified(int) {}

bool SavingsDisplay::fieldChanged(HWND, int) { return false; }

uint32_t SavingsDisplay::packField(HWND, int control) const {
  return costs_[control == IDC_BLACK_COST_EDIT ? 0 : 1];
}

}  // namespace control_panel
