// The savings tab of the settings dialog: cost fields, cartridge counts, the
// up-down arrows and the savings figures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "CorvantaReg.h"
#include "money_format.h"

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

  // UDN_DELTAPOS of the up-downs 1061-1064: the next text change of their
  // buddy is theirs.
  void upDownNotified(int control);
  // EN_CHANGE of an edit field; true when the savings were recomputed.
  bool fieldChanged(HWND dialog, int control);
  // A cost field's packed value.
  uint32_t packField(HWND dialog, int control) const;

 private:
  HMODULE resources_ = nullptr;
  LCID locale_ = LOCALE_USER_DEFAULT;
  std::string separator_;
  bool upDownChanged_ = false;
};

}  // namespace control_panel
