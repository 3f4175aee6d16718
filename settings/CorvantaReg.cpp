// The settings store: every export opens the keys it needs, does one piece
// of work and closes them again. No state is kept between calls.
#include "CorvantaReg.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "cost.h"
#include "data_folder.h"
#include "registry_keys.h"

using settings::RegKey;

namespace {

constexpr DWORD kTextSize = kSettingsTextSize;

// A usable printer name: an empty name would address the settings key itself.
bool validName(const char* name) { return name && name[0] != '\0'; }

// A key and, when printer is given, the printer's subkey in it. A printer
// accessor given a null or empty name opens nothing: either would address the
// settings key itself.
bool openProductKey(RegKey& key, HKEY hive, const char* root, const char* printer, bool forPrinter) {
  if (forPrinter && !validName(printer)) return false;
  RegKey rootKey;
  if (!rootKey.open(hive, root)) return false;
  if (!forPrinter) return key.open(rootKey.get(), settings::kProductKey);
  RegKey product;
  if (!product.open(rootKey.get(), settings::kProductKey)) return false;
  return key.open(product.get(), printer);
}

// The machine settings key.
bool openMachine(RegKey& key) {
  return openProductKey(key, HKEY_LOCAL_MACHINE, settings::kMachineRoot, nullptr, false);
}
// A printer's subkey in the machine settings key.
bool openMachinePrinter(RegKey& key, const char* printer) {
  return openProductKey(key, HKEY_LOCAL_MACHINE, settings::kMachineRoot, printer, true);
}
// The shared settings key under HKEY_USERS\.DEFAULT.
bool openShared(RegKey& key) { return openProductKey(key, HKEY_USERS, settings::kSharedRoot, nullptr, false); }
// A printer's subkey in the shared settings key.
bool openSharedPrinter(RegKey& key, const char* printer) {
  return openProductKey(key, HKEY_USERS, settings::kSharedRoot, printer, true);
}

// Reads exactly four bytes; anything longer or shorter is a failure.
bool readDword(HKEY key, const char* name, int32_t* value) {
  if (!key || !name) return false;
  DWORD data = 0;
  DWORD size = sizeof data;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
      size != sizeof data)
    return false;
  *value = static_cast<int32_t>(data);
  return true;
}

bool writeDword(HKEY key, const char* name, int32_t value) {
  if (!key || !name) return false;
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) ==
         ERROR_SUCCESS;
}

// A number in a printer's subkey of the shared settings key (or, for no
// printer, in the key itself); -1 when missing.
int getSharedDword(const char* printer, const char* name, bool forPrinter = true) {
  RegKey key;
  int32_t value = -1;
  const bool open = forPrinter ? openSharedPrinter(key, printer) : openShared(key);
  if (!open || !readDword(key.get(), name, &value)) return -1;
  return value;
}

bool setSharedDword(const char* printer, const char* name, int32_t value, bool forPrinter = true) {
  RegKey key;
  const bool open = forPrinter ? openSharedPrinter(key, printer) : openShared(key);
  return open && writeDword(key.get(), name, value);
}

// Reads a text value into out (kTextSize bytes), always terminated; the data
// may be stored with or without its NUL. Returns the registry status; a text
// that does not fit gives ERROR_MORE_DATA and leaves out empty.
LONG readText(HKEY key, const char* name, char* out) {
  out[0] = '\0';
  char buffer[kTextSize + 1] = {};
  DWORD size = kTextSize;
  const LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  if (status != ERROR_SUCCESS) return status;
  if (size > kTextSize) return ERROR_MORE_DATA;
  buffer[size] = '\0';
  // Without a NUL inside the 260 bytes the text has 260 characters: too long.
  if (std::strlen(buffer) >= kTextSize) return ERROR_MORE_DATA;
  std::memcpy(out, buffer, std::strlen(buffer) + 1);
  return ERROR_SUCCESS;
}

// The full start-up command "<program path> hide", or false when the program
// is not found on the search path.
constexpr DWORD kCommandSize = MAX_PATH + 8;

bool buildStartupCommand(const char* program, char (&command)[kCommandSize]) {
  command[0] = '\0';
  if (!validName(program)) return false;
  char path[MAX_PATH] = {};
  const DWORD length = SearchPathA(nullptr, program, ".exe", MAX_PATH, path, nullptr);
  if (length == 0 || length >= MAX_PATH) return false;
  std::snprintf(command, kCommandSize, "%s %s", path, "hide");
  return true;
}

// Two characters match when equal or when they differ by exactly 32.
bool sameIgnoringCase(const char* a, const char* b) {
  const size_t length = std::strlen(a);
  if (length != std::strlen(b)) return false;
  for (size_t i = 0; i < length; ++i) {
    const int difference = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
    if (difference != 0 && difference != 32 && difference != -32) return false;
  }
  return true;
}

}  // namespace

extern "C" {

int IsPrinterInstalled(const char* printerName) {
  RegKey printers;
  if (!printers.open(HKEY_LOCAL_MACHINE, settings::kSpoolerPrinters, KEY_READ)) return -1;
  for (DWORD index = 0;; ++index) {
    char name[kTextSize] = {};
    DWORD size = kTextSize;
    const LONG status = RegEnumKeyExA(printers.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;  // a name longer than any printer name; not ours
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
    if (printerName && std::strcmp(name, printerName) == 0) return 0;
  }
}

void GetOriginalLM(const char* printerName, char* text) {
  if (!text) return;
  text[0] = '\0';
  RegKey key;
  if (!openSharedPrinter(key, printerName)) return;
  if (readText(key.get(), settings::kOriginalLM, text) == ERROR_MORE_DATA)
    MessageBoxA(nullptr, "The name of LM dll is too long", "Corvanta", MB_OK);
}

void SetOriginalLM(const char* printerName, const char* text) {
  RegKey key;
  if (!text || !openSharedPrinter(key, printerName)) return;
  RegSetValueExA(key.get(), settings::kOriginalLM, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text) + 1));
}

int GetBlackLevel(const char* printerName) { return getSharedDword(printerName, settings::kBlackLevel); }
int GetColorLevel(const char* printerName) { return getSharedDword(printerName, settings::kColorLevel); }
int GetInkReduction(const char* printerName) { return getSharedDword(printerName, settings::kInkReduction); }
int GetDisplayInk(const char* printerName) { return getSharedDword(printerName, settings::kDisplayInk); }
int GetBlackCartPerYear(const char* printerName) {
  return getSharedDword(printerName, settings::kBlackCartPerYear);
}
int GetColorCartPerYear(const char* printerName) {
  return getSharedDword(printerName, settings::kColorCartPerYear);
}
int GetPrintCalibrationPage(const char* printerName) {
  return getSharedDword(printerName, settings::kPrintCalibrationPage);
}

int GetManufacturer(const char* printerName) {
  RegKey key;
  int32_t value = -1;
  if (!openMachinePrinter(key, printerName) || !readDword(key.get(), settings::kManufacturer, &value)) return -1;
  return value;
}

static float getCost(const char* printerName, const char* name) {
  RegKey key;
  int32_t word = 0;
  if (!openSharedPrinter(key, printerName) || !readDword(key.get(), name, &word)) return -1.0f;
  return settings::decodeCost(static_cast<uint32_t>(word));
}

float GetBlackCost(const char* printerName) { return getCost(printerName, settings::kBlackCost); }
float GetColorCost(const char* printerName) { return getCost(printerName, settings::kColorCost); }

void SetBlackLevel(const char* printerName, int32_t value) {
  setSharedDword(printerName, settings::kBlackLevel, value);
}
void SetColorLevel(const char* printerName, int32_t value) {
  setSharedDword(printerName, settings::kColorLevel, value);
}
void SetInkReduction(const char* printerName, int32_t value) {
  setSharedDword(printerName, settings::kInkReduction, value);
}
void SetDisplayInk(const char* printerName, int32_t value) {
  setSharedDword(printerName, settings::kDisplayInk, value);
}
void SetBlackCartPerYear(const char* printerName, int32_t value) {
  setSharedDword(printerName, settings::kBlackCartPerYear, value);
}
void SetColorCartPerYear(const char* printerName, int32_t value) {
  setSharedDword(printerName, settings::kColorCartPerYear, value);
}

void SetPrintCalibrationPage(const char* printerName, int32_t value) {
  RegKey key;
  if (!openSharedPrinter(key, printerName)) return;
  if (!writeDword(key.get(), settings::kPrintCalibrationPage, value))
    OutputDebugStringA("Failed to set up calPage\n");
}

void SetBlackCost(const char* printerName, float amount) {
  setSharedDword(printerName, settings::kBlackCost, static_cast<int32_t>(settings::encodeCost(amount)));
}
void SetColorCost(const char* printerName, float amount) {
  setSharedDword(printerName, settings::kColorCost, static_cast<int32_t>(settings::encodeCost(amount)));
}

int GetLocale(void) { return getSharedDword(nullptr, settings::kLocale, false); }
int GetPerJob(void) { return getSharedDword(nullptr, settings::kPerJob, false); }
void SetLocale(int32_t value) { setSharedDword(nullptr, settings::kLocale, value, false); }
void SetPerJob(int32_t value) { setSharedDword(nullptr, settings::kPerJob, value, false); }

void GetLastUsed(char* text) {
  if (!text) return;
  text[0] = '\0';
  RegKey key;
  if (openShared(key)) readText(key.get(), settings::kLastUsed, text);
}

void SetLastUsed(const char* text) {
  RegKey key;
  if (!text || !openShared(key)) return;
  // Stored without its terminating NUL; readers terminate it.
  RegSetValueExA(key.get(), settings::kLastUsed, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text)));
}

void GetPagePath(char* text) {
  if (!text) return;
  text[0] = '\0';
  RegKey key;
  if (openMachine(key)) readText(key.get(), settings::kPagePath, text);
}

char* GetDataFilePath(const char* printerName, char* outPath) {
  if (!outPath) return outPath;
  settings::buildDataFolder(printerName, outPath, kDataFilePathSize);
  return outPath;
}

void DeletePrinterSettings(const char* printerName) {
  if (!validName(printerName)) return;
  char path[64];
  RegKey machine;
  std::snprintf(path, sizeof path, "%s\\%s", settings::kMachineRoot, settings::kProductKey);
  if (machine.open(HKEY_LOCAL_MACHINE, path)) RegDeleteKeyA(machine.get(), printerName);
  RegKey shared;
  std::snprintf(path, sizeof path, "%s\\%s", settings::kSharedRoot, settings::kProductKey);
  if (shared.open(HKEY_USERS, path)) RegDeleteKeyA(shared.get(), printerName);
}

int WriteJobSettings(int32_t /*ignored*/, const SettingPair* pairs, const char* printerName, int32_t count) {
  RegKey key;
  if (!openSharedPrinter(key, printerName)) return 1;
  if (count > 0 && !pairs) return 1;
  for (int32_t i = 0; i < count; ++i)
    if (!writeDword(key.get(), pairs[i].name, pairs[i].value)) return 1;
  return 0;
}

int ReadJobSettings(const char* printerName, SettingPair* pairs, int32_t count) {
  RegKey key;
  if (!openSharedPrinter(key, printerName)) return -1;
  if (count > 0 && !pairs) return -1;
  for (int32_t i = 0; i < count; ++i)
    if (!readDword(key.get(), pairs[i].name, &pairs[i].value)) return -1;
  return 0;
}

int AddStartupEntry(const char* programFileName) {
  char command[kCommandSize];
  if (!buildStartupCommand(programFileName, command)) return -1;
  RegKey run;
  if (!run.open(HKEY_LOCAL_MACHINE, settings::kRunKey, KEY_QUERY_VALUE | KEY_SET_VALUE)) return -1;
  char stored[kCommandSize + 1] = {};
  DWORD size = kCommandSize;
  if (RegQueryValueExA(run.get(), settings::kRunValue, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size) ==
          ERROR_SUCCESS &&
      std::strcmp(stored, command) == 0)
    return 0;
  return RegSetValueExA(run.get(), settings::kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                        static_cast<DWORD>(std::strlen(command) + 1)) == ERROR_SUCCESS
             ? 0
             : -1;
}

int RemoveStartupEntry(void) {
  RegKey run;
  if (!run.open(HKEY_LOCAL_MACHINE, settings::kRunKey, KEY_QUERY_VALUE | KEY_SET_VALUE)) return -1;
  // Removed whatever its length, so an over-long entry cannot linger.
  if (RegQueryValueExA(run.get(), settings::kRunValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
    RegDeleteValueA(run.get(), settings::kRunValue);
  return 0;
}

int ValidateStartupEntry(const char* programFileName) {
  char command[kCommandSize];
  if (!buildStartupCommand(programFileName, command)) return -1;
  RegKey run;
  if (!run.open(HKEY_LOCAL_MACHINE, settings::kRunKey, KEY_QUERY_VALUE | KEY_SET_VALUE)) return -1;
  char stored[kCommandSize + 1] = {};
  DWORD size = kCommandSize;
  if (RegQueryValueExA(run.get(), settings::kRunValue, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size) !=
      ERROR_SUCCESS)
    return -1;
  stored[size < kCommandSize ? size : kCommandSize] = '\0';
  if (!sameIgnoringCase(stored, command)) {
    RegDeleteValueA(run.get(), settings::kRunValue);
    return -1;
  }
  return 0;
}

int SyncUserSettings(char (*names)[260], int32_t* count, const SettingPair* defaults, int32_t defaultCount) {
  constexpr int32_t kMaxNames = 260;
  if (!names || !count || (defaultCount > 0 && !defaults)) return 1;
  if (*count < 0 || *count > kMaxNames) *count = 0;
  {
    RegKey machine;
    if (!openMachine(machine)) return 1;
    for (DWORD index = 0; *count < kMaxNames; ++index) {
      char name[kTextSize] = {};
      DWORD size = kTextSize;
      const LONG status = RegEnumKeyExA(machine.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_MORE_DATA) continue;  // cannot fit a slot; skipped rather than cut
      if (status != ERROR_SUCCESS) break;
      std::memcpy(names[*count], name, std::strlen(name) + 1);
      ++*count;
    }
  }
  if (*count == 0) return 1;
  auto listed = [&](const char* name) {
    for (int32_t i = 0; i < *count; ++i)
      if (std::strcmp(names[i], name) == 0) return true;
    return false;
  };

  RegKey root;
  RegKey shared;
  bool created = false;
  if (!root.create(HKEY_USERS, settings::kSharedRoot, nullptr) ||
      !shared.create(root.get(), settings::kProductKey, &created))
    return 1;
  if (!created) {
    for (DWORD index = 0;;) {
      char name[kTextSize] = {};
      DWORD size = kTextSize;
      const LONG status = RegEnumKeyExA(shared.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_MORE_DATA) {
        ++index;  // no configured printer has such a name, but it cannot be named to delete
        continue;
      }
      if (status != ERROR_SUCCESS) break;
      // A stale key that cannot be deleted (it has subkeys, or is protected) is skipped.
      if (listed(name) || RegDeleteKeyA(shared.get(), name) != ERROR_SUCCESS) ++index;
    }
  }
  int32_t value = 0;
  if (!readDword(shared.get(), settings::kLocale, &value) && !writeDword(shared.get(), settings::kLocale, 9)) return 1;
  if (!readDword(shared.get(), settings::kPerJob, &value) && !writeDword(shared.get(), settings::kPerJob, 0)) return 1;
  for (int32_t i = 0; i < *count; ++i) {
    RegKey printer;
    bool fresh = false;
    if (!printer.create(shared.get(), names[i], &fresh)) return 1;
    for (int32_t d = 0; d < defaultCount; ++d) {
      const bool write = fresh || !readDword(printer.get(), defaults[d].name, &value) ||
                         (defaults[d].name && std::strcmp(defaults[d].name, settings::kPrintCalibrationPage) == 0);
      if (write && !writeDword(printer.get(), defaults[d].name, defaults[d].value)) return 1;
    }
  }
  return 0;
}

}  // extern "C"
