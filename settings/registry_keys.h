// Where the settings live in the registry, and an owner that closes a key.
#pragma once

#include <windows.h>

namespace settings {

// Machine settings key: HKEY_LOCAL_MACHINE\<kMachineRoot>\<kProductKey>.
constexpr const char kMachineRoot[] = "SOFTWARE\\Brenmoor";
// Shared settings key: HKEY_USERS\<kSharedRoot>\<kProductKey>.
constexpr const char kSharedRoot[] = ".DEFAULT\\SOFTWARE\\Brenmoor";
constexpr const char kProductKey[] = "Corvanta";
constexpr const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char kRunValue[] = "Corvanta";
constexpr const char kSpoolerPrinters[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";

constexpr const char kInkReduction[] = "InkReduction";
constexpr const char kDisplayInk[] = "DisplayInk";
constexpr const char kBlackLevel[] = "BlackLevel";
constexpr const char kColorLevel[] = "ColorLevel";
constexpr const char kBlackCost[] = "BlackCost";
constexpr const char kColorCost[] = "ColorCost";
constexpr const char kBlackCartPerYear[] = "BlackCartPerYear";
constexpr const char kColorCartPerYear[] = "ColorCartPerYear";
constexpr const char kPrintCalibrationPage[] = "PrintCalibrationPage";
constexpr const char kOriginalLM[] = "Original LM";
constexpr const char kManufacturer[] = "Manufacturer";
constexpr const char kLocale[] = "Locale";
constexpr const char kPerJob[] = "PerJob";
constexpr const char kLastUsed[] = "LastUsed";
constexpr const char kPagePath[] = "PagePath";

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { close(); }
  // Opens, never creates. False when the key is missing or cannot be opened.
  bool open(HKEY parent, const char* path, REGSAM access = KEY_ALL_ACCESS) {
    close();
    if (!parent || !path) return false;
    return RegOpenKeyExA(parent, path, 0, access, &key_) == ERROR_SUCCESS;
  }
  // Creates or opens; created tells whether the key is new.
  bool create(HKEY parent, const char* path, bool* created) {
    close();
    DWORD disposition = 0;
    if (!parent || !path) return false;
    if (RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key_, &disposition) != ERROR_SUCCESS) {
      key_ = nullptr;
      return false;
    }
    if (created) *created = disposition == REG_CREATED_NEW_KEY;
    return true;
  }
  void close() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace settings
