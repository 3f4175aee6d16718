// The savings tab: cost fields, cartridge counts and the savings figures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "CorvantaReg.h"

namespace control_panel {

// The savings tab of the settings dialog. The dialog keeps one, made at its
// start, and hands it the notifications of the tab's controls.
class SavingsDisplay {
 public:
  void start(HMODULE resources, LCID locale);
  const std::string& separator() const { return separator_; }

  // Costs, counts and level labels from the printer's eight values.
  void fill(HWND dialog, const SettingPair* values, int count);
  void recompute(HWND dialog);

  // WM_NOTIFY or scroll messages from the up-downs 1061-1064.
  void upDownNotified(int control);
  // EN_CHANGE of an edit field; true when the savings were recomputed.
  bool fieldChanged(HWND dialog, int control);
  // A cost field's packed value.
  uint32_t packField(HWND dialog, int control) const;

 private:
  std::string separator_ = ".";
  uint32_t costs_[2] = {0x00640000, 0x00640000};
};

}  // namespace control_panel
