// The settings store against the real registry of the test prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CorvantaReg.h"
#include "registry_guard.h"

using namespace settings_test;

namespace {

const std::string kPrinter = "Settings Test Printer";
const std::string kOther = "Settings Test Other";

class SettingsStore : public ::testing::Test {
 protected:
  RegistryGuard guard;
};

struct DwordAccessor {
  const char* name;
  int (*get)(const char*);
  void (*set)(const char*, int32_t);
};

constexpr DwordAccessor kAccessors[] = {
    {"BlackLevel", GetBlackLevel, SetBlackLevel},
    {"ColorLevel", GetColorLevel, SetColorLevel},
    {"InkReduction", GetInkReduction, SetInkReduction},
    {"DisplayInk", GetDisplayInk, SetDisplayInk},
    {"BlackCartPerYear", GetBlackCartPerYear, SetBlackCartPerYear},
    {"ColorCartPerYear", GetColorCartPerYear, SetColorCartPerYear},
    {"PrintCalibrationPage", GetPrintCalibrationPage, SetPrintCalibrationPage},
};

TEST_F(SettingsStore, PrinterDwordsRoundTripUnderTheSharedKey) {
  createKey(HKEY_USERS, sharedPrinter(kPrinter));
  int32_t value = 17;
  for (const auto& a : kAccessors) {
    EXPECT_EQ(-1, a.get(kPrinter.c_str())) << a.name << " before it is written";
    a.set(kPrinter.c_str(), value);
    EXPECT_EQ(value, a.get(kPrinter.c_str())) << a.name;
    EXPECT_EQ(value, readDword(HKEY_USERS, sharedPrinter(kPrinter), a.name)) << a.name;
    a.set(kPrinter.c_str(), 150);  // no range checks
    EXPECT_EQ(150, a.get(kPrinter.c_str())) << a.name;
    ++value;
  }
}

TEST_F(SettingsStore, MissingKeysReadMinusOneAndAreNeverCreated) {
  for (const auto& a : kAccessors) {
    EXPECT_EQ(-1, a.get(kPrinter.c_str())) << a.name;
    a.set(kPrinter.c_str(), 5);
    EXPECT_EQ(-1, a.get(kPrinter.c_str())) << a.name;
    EXPECT_EQ(-1, a.get("")) << a.name;
    EXPECT_EQ(-1, a.get(nullptr)) << a.name;
    a.set("", 5);
    a.set(nullptr, 5);
  }
  SetBlackCost(kPrinter.c_str(), 3.5f);
  SetOriginalLM(kPrinter.c_str(), "x.dll");
  EXPECT_FALSE(keyExists(HKEY_USERS, sharedPrinter(kPrinter)));
  EXPECT_FALSE(keyExists(HKEY_USERS, kSharedKey));
  EXPECT_EQ(-1.0f, GetBlackCost(kPrinter.c_str()));
  EXPECT_EQ(-1.0f, GetColorCost(kPrinter.c_str()));
  EXPECT_EQ(-1, GetManufacturer(kPrinter.c_str()));
  EXPECT_EQ(-1, GetLocale());
  EXPECT_EQ(-1, GetPerJob());
  SetLocale(7);
  SetPerJob(1);
  SetLastUsed("x");
  EXPECT_FALSE(keyExists(HKEY_USERS, kSharedKey));
  char text[kSettingsTextSize];
  std::strcpy(text, "stale");
  GetLastUsed(text);
  EXPECT_STREQ("", text);
  std::strcpy(text, "stale");
  GetPagePath(text);
  EXPECT_STREQ("", text);
  std::strcpy(text, "stale");
  GetOriginalLM(kPrinter.c_str(), text);
  EXPECT_STREQ("", text);

  // An empty or null name must not address the settings key itself.
  createKey(HKEY_USERS, kSharedKey);
  createKey(HKEY_LOCAL_MACHINE, kMachineKey);
  SetBlackLevel("", 9);
  SetBlackLevel(nullptr, 9);
  SetPrintCalibrationPage(nullptr, 2);
  EXPECT_EQ(-2, readDword(HKEY_USERS, kSharedKey, "BlackLevel"));
  EXPECT_EQ(-2, readDword(HKEY_USERS, kSharedKey, "PrintCalibrationPage"));
  const DWORD nine = 9;
  setRaw(HKEY_USERS, kSharedKey, "BlackLevel", REG_DWORD, &nine, sizeof nine);
  setRaw(HKEY_LOCAL_MACHINE, kMachineKey, "Manufacturer", REG_DWORD, &nine, sizeof nine);
  EXPECT_EQ(-1, GetBlackLevel(nullptr));
  EXPECT_EQ(-1, GetManufacturer(nullptr));
}

TEST_F(SettingsStore, ValuesOfOtherSizesReadMinusOne) {
  createKey(HKEY_USERS, sharedPrinter(kPrinter));
  const unsigned char eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  const unsigned char two[2] = {1, 0};
  setRaw(HKEY_USERS, sharedPrinter(kPrinter), "BlackLevel", REG_BINARY, eight, sizeof eight);
  setRaw(HKEY_USERS, sharedPrinter(kPrinter), "ColorLevel", REG_BINARY, two, sizeof two);
  setRaw(HKEY_USERS, sharedPrinter(kPrinter), "BlackCost", REG_BINARY, eight, sizeof eight);
  EXPECT_EQ(-1, GetBlackLevel(kPrinter.c_str()));
  EXPECT_EQ(-1, GetColorLevel(kPrinter.c_str()));
  EXPECT_EQ(-1.0f, GetBlackCost(kPrinter.c_str()));
  setDword(HKEY_USERS, sharedPrinter(kPrinter), "InkReduction", 0xFFFFFFFFu);
  EXPECT_EQ(-1, GetInkReduction(kPrinter.c_str()));
}

TEST_F(SettingsStore, ManufacturerComesFromTheMachineKey) {
  createKey(HKEY_LOCAL_MACHINE, machinePrinter(kPrinter));
  createKey(HKEY_USERS, sharedPrinter(kPrinter));
  EXPECT_EQ(-1, GetManufacturer(kPrinter.c_str()));
  setDword(HKEY_USERS, sharedPrinter(kPrinter), "Manufacturer", 0);
  EXPECT_EQ(-1, GetManufacturer(kPrinter.c_str()));
  setDword(HKEY_LOCAL_MACHINE, machinePrinter(kPrinter), "Manufacturer", 1);
  EXPECT_EQ(1, GetManufacturer(kPrinter.c_str()));
}

TEST_F(SettingsStore, CostsArePackedAndUnpacked) {
  createKey(HKEY_USERS, sharedPrinter(kPrinter));
  struct Case {
    float amount;
    DWORD word;
    float decoded;
  };
  const Case cases[] = {
      {12.34f, 0x0022000C, 12.34f}, {12.05f, 0x0069000C, 12.05f}, {0.0f, 0x00640000, 0.0f},
      {7.5f, 0x00320007, 7.5f},     {12.5f, 0x0032000C, 12.5f},   {-3.0f, 0x00640000, 0.0f},
      {70000.0f, 0x0063FFFF, 65535.99f},
  };
  for (const auto& c : cases) {
    SetBlackCost(kPrinter.c_str(), c.amount);
    SetColorCost(kPrinter.c_str(), c.amount);
    EXPECT_EQ(c.word, static_cast<DWORD>(readDword(HKEY_USERS, sharedPrinter(kPrinter), "BlackCost"))) << c.amount;
    EXPECT_EQ(c.word, static_cast<DWORD>(readDword(HKEY_USERS, sharedPrinter(kPrinter), "ColorCost"))) << c.amount;
    EXPECT_FLOAT_EQ(c.decoded, GetBlackCost(kPrinter.c_str())) << c.amount;
    EXPECT_FLOAT_EQ(c.decoded, GetColorCost(kPrinter.c_str())) << c.amount;
  }
  // Codes 1..9, written by the control program for one typed digit, are tenths.
  for (DWORD code = 1; code <= 9; ++code) {
    setDword(HKEY_USERS, sharedPrinter(kPrinter), "BlackCost", code << 16 | 12);
    EXPECT_FLOAT_EQ(12.0f + code / 10.0f, GetBlackCost(kPrinter.c_str())) << code;
  }
  setDword(HKEY_USERS, sharedPrinter(kPrinter), "BlackCost", 109u << 16 | 3);
  EXPECT_FLOAT_EQ(3.09f, GetBlackCost(kPrinter.c_str()));
}

TEST_F(SettingsStore, UserWideValuesAndTexts) {
  createKey(HKEY_USERS, kSharedKey);
  createKey(HKEY_LOCAL_MACHINE, kMachineKey);
  SetLocale(0x407);
  SetPerJob(1);
  EXPECT_EQ(0x407, GetLocale());
  EXPECT_EQ(1, GetPerJob());

  SetLastUsed("HP Deskjet 990C Series");
  char text[kSettingsTextSize];
  std::memset(text, 'x', sizeof text);
  GetLastUsed(text);
  EXPECT_STREQ("HP Deskjet 990C Series", text);
  // Text data stored without a NUL (the byte after it is no NUL, so the
  // registry cannot add one) reads back terminated.
  setRaw(HKEY_USERS, kSharedKey, "LastUsed", REG_SZ, "Deskjet X", 7);
  std::memset(text, 'x', sizeof text);
  GetLastUsed(text);
  EXPECT_STREQ("Deskjet", text);

  // 260 characters without a NUL do not fit: empty, never unterminated.
  const std::string full(kSettingsTextSize, 'a');
  setRaw(HKEY_USERS, kSharedKey, "LastUsed", REG_SZ, full.data(), static_cast<DWORD>(full.size()));
  GetLastUsed(text);
  EXPECT_STREQ("", text);
  const std::string fits(kSettingsTextSize - 1, 'b');
  SetLastUsed(fits.c_str());
  GetLastUsed(text);
  EXPECT_EQ(fits, text);

  const char page[] = "C:\\Program Files\\Corvanta";
  setRaw(HKEY_LOCAL_MACHINE, kMachineKey, "PagePath", REG_SZ, page, sizeof page);
  GetPagePath(text);
  EXPECT_STREQ(page, text);
}

TEST_F(SettingsStore, OriginalMonitorName) {
  createKey(HKEY_USERS, sharedPrinter(kPrinter));
  SetOriginalLM(kPrinter.c_str(), "hpzlnt.dll");
  EXPECT_EQ(std::strlen("hpzlnt.dll") + 1,
            [] {
              HKEY key = nullptr;
              DWORD size = 0;
              RegOpenKeyExA(HKEY_USERS, sharedPrinter(kPrinter).c_str(), 0, KEY_READ, &key);
              RegQueryValueExA(key, "Original LM", nullptr, nullptr, nullptr, &size);
              RegCloseKey(key);
              return static_cast<size_t>(size);
            }());
  char text[kSettingsTextSize];
  GetOriginalLM(kPrinter.c_str(), text);
  EXPECT_STREQ("hpzlnt.dll", text);
}

TEST_F(SettingsStore, JobSettingsListsStopAtTheFirstFailure) {
  SettingPair pairs[] = {{"InkReduction", 0}, {"BlackLevel", 40}, {"BlackCost", 0x0022000C}};
  EXPECT_EQ(1, WriteJobSettings(0, pairs, kPrinter.c_str(), 3));
  EXPECT_EQ(-1, ReadJobSettings(kPrinter.c_str(), pairs, 3));
  createKey(HKEY_USERS, sharedPrinter(kPrinter));
  EXPECT_EQ(0, WriteJobSettings(12345, pairs, kPrinter.c_str(), 3));
  EXPECT_EQ(40, GetBlackLevel(kPrinter.c_str()));
  EXPECT_FLOAT_EQ(12.34f, GetBlackCost(kPrinter.c_str()));

  SettingPair read[] = {{"InkReduction", 7}, {"BlackLevel", 7}, {"Missing", 7}, {"BlackCost", 7}};
  EXPECT_EQ(-1, ReadJobSettings(kPrinter.c_str(), read, 4));
  EXPECT_EQ(0, read[0].value);
  EXPECT_EQ(40, read[1].value);
  EXPECT_EQ(7, read[2].value);
  EXPECT_EQ(7, read[3].value);
  EXPECT_EQ(0, ReadJobSettings(kPrinter.c_str(), read, 2));
  EXPECT_EQ(1, WriteJobSettings(0, nullptr, kPrinter.c_str(), 2));
  EXPECT_EQ(-1, ReadJobSettings(kPrinter.c_str(), nullptr, 2));
}

TEST_F(SettingsStore, DeletePrinterSettingsRemovesBothKeys) {
  createKey(HKEY_LOCAL_MACHINE, machinePrinter(kPrinter));
  createKey(HKEY_USERS, sharedPrinter(kPrinter));
  createKey(HKEY_USERS, sharedPrinter(kOther));
  DeletePrinterSettings(kPrinter.c_str());
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, machinePrinter(kPrinter)));
  EXPECT_FALSE(keyExists(HKEY_USERS, sharedPrinter(kPrinter)));
  EXPECT_TRUE(keyExists(HKEY_USERS, sharedPrinter(kOther)));
  DeletePrinterSettings("");
  DeletePrinterSettings(nullptr);
  DeletePrinterSettings(kPrinter.c_str());  // already gone
  EXPECT_TRUE(keyExists(HKEY_USERS, kSharedKey));
}

TEST(DataFilePath, SanitisedFolderUnderApplicationData) {
  char appData[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA("APPDATA", appData, MAX_PATH);
  ASSERT_GT(length, 0u);
  const char name[] = "My Printer: \"2\" */?<>|";
  char name_copy[sizeof name];
  std::memcpy(name_copy, name, sizeof name);
  char out[kDataFilePathSize + 16];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(out, GetDataFilePath(name_copy, out));
  EXPECT_STREQ(name, name_copy);
  const std::string expected = std::string(appData) + "\\Corvanta\\My_Printer___2________\\";
  EXPECT_STREQ(expected.c_str(), out);
  const DWORD attributes = GetFileAttributesA(out);
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  RemoveDirectoryA(out);
}

TEST(DataFilePath, NameThatDoesNotFitGivesAnEmptyPath) {
  const std::string name(kDataFilePathSize, 'n');
  char out[kDataFilePathSize + 16];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(out, GetDataFilePath(name.c_str(), out));
  EXPECT_STREQ("", out);
  for (size_t i = kDataFilePathSize; i < sizeof out; ++i) ASSERT_EQ('#', out[i]) << i;
  EXPECT_EQ(nullptr, GetDataFilePath(kPrinter.c_str(), nullptr));
}

// The nine defaults the control program passes.
const SettingPair kDefaults[] = {
    {"InkReduction", 1},          {"DisplayInk", 0},       {"BlackLevel", 25},
    {"ColorLevel", 25},           {"BlackCost", 0x00640000}, {"ColorCost", 0x00640000},
    {"BlackCartPerYear", 0},      {"ColorCartPerYear", 0}, {"PrintCalibrationPage", 0},
};

void expectDefaults(const std::string& printer) {
  for (const auto& d : kDefaults)
    EXPECT_EQ(d.value, readDword(HKEY_USERS, sharedPrinter(printer), d.name)) << printer << " " << d.name;
}

TEST_F(SettingsStore, SyncBringsTheSharedKeyInLineWithTheMachineList) {
  createKey(HKEY_LOCAL_MACHINE, machinePrinter("A"));
  createKey(HKEY_LOCAL_MACHINE, machinePrinter("B"));
  createKey(HKEY_USERS, sharedPrinter("A"));
  createKey(HKEY_USERS, sharedPrinter("C"));
  setDword(HKEY_USERS, sharedPrinter("A"), "BlackLevel", 60);
  setDword(HKEY_USERS, sharedPrinter("A"), "PrintCalibrationPage", 2);
  setDword(HKEY_USERS, kSharedKey, "Locale", 0x40C);

  static char names[260][260];
  int32_t count = 0;
  ASSERT_EQ(0, SyncUserSettings(names, &count, kDefaults, 9));
  ASSERT_EQ(2, count);
  EXPECT_STREQ("A", names[0]);
  EXPECT_STREQ("B", names[1]);
  EXPECT_FALSE(keyExists(HKEY_USERS, sharedPrinter("C")));
  expectDefaults("B");
  EXPECT_EQ(60, readDword(HKEY_USERS, sharedPrinter("A"), "BlackLevel"));
  EXPECT_EQ(0, readDword(HKEY_USERS, sharedPrinter("A"), "PrintCalibrationPage"));
  EXPECT_EQ(1, readDword(HKEY_USERS, sharedPrinter("A"), "InkReduction"));
  EXPECT_EQ(0x40C, GetLocale());
  EXPECT_EQ(0, GetPerJob());
}

TEST_F(SettingsStore, SyncOnAFreshSystemCreatesEverything) {
  RegDeleteTreeA(HKEY_USERS, ".DEFAULT\\SOFTWARE\\Brenmoor");
  RegDeleteKeyA(HKEY_USERS, ".DEFAULT\\SOFTWARE\\Brenmoor");
  static char names[260][260];
  int32_t count = 0;
  EXPECT_EQ(1, SyncUserSettings(names, &count, kDefaults, 9)) << "no machine key";
  createKey(HKEY_LOCAL_MACHINE, kMachineKey);
  count = 0;
  EXPECT_EQ(1, SyncUserSettings(names, &count, kDefaults, 9)) << "no printer listed";
  EXPECT_FALSE(keyExists(HKEY_USERS, kSharedKey));

  createKey(HKEY_LOCAL_MACHINE, machinePrinter(kPrinter));
  count = 0;
  ASSERT_EQ(0, SyncUserSettings(names, &count, kDefaults, 9));
  EXPECT_EQ(1, count);
  EXPECT_EQ(9, GetLocale());
  EXPECT_EQ(0, GetPerJob());
  expectDefaults(kPrinter);
  EXPECT_EQ(1, SyncUserSettings(nullptr, &count, kDefaults, 9));
  EXPECT_EQ(1, SyncUserSettings(names, nullptr, kDefaults, 9));
}

TEST_F(SettingsStore, SyncTakesAtMost260Printers) {
  for (int i = 0; i < 300; ++i) createKey(HKEY_LOCAL_MACHINE, machinePrinter("P" + std::to_string(1000 + i)));
  static char names[261][260];
  std::memset(names[260], '#', sizeof names[260]);
  int32_t count = 0;
  // The defaults are left out to keep the run short; keys are still created.
  ASSERT_EQ(0, SyncUserSettings(names, &count, kDefaults, 0));
  EXPECT_EQ(260, count);
  EXPECT_EQ('#', names[260][0]);
  EXPECT_STREQ("P1000", names[0]);
  EXPECT_STREQ("P1259", names[259]);
  EXPECT_TRUE(keyExists(HKEY_USERS, sharedPrinter("P1259")));
  EXPECT_FALSE(keyExists(HKEY_USERS, sharedPrinter("P1260")));
}

TEST_F(SettingsStore, SyncSkipsAStaleKeyThatCannotBeDeleted) {
  createKey(HKEY_LOCAL_MACHINE, machinePrinter("A"));
  createKey(HKEY_USERS, sharedPrinter("Stale1"));
  createKey(HKEY_USERS, sharedPrinter("Stale2") + "\\Child");  // a key with subkeys cannot be deleted
  createKey(HKEY_USERS, sharedPrinter("Stale3"));
  static char names[260][260];
  int32_t count = 0;
  ASSERT_EQ(0, SyncUserSettings(names, &count, kDefaults, 9));
  EXPECT_FALSE(keyExists(HKEY_USERS, sharedPrinter("Stale1")));
  EXPECT_TRUE(keyExists(HKEY_USERS, sharedPrinter("Stale2")));
  EXPECT_FALSE(keyExists(HKEY_USERS, sharedPrinter("Stale3")));
  expectDefaults("A");
}

std::string runValue() {
  HKEY key = nullptr;
  char text[600] = {};
  DWORD size = sizeof text - 1;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return "<no key>";
  const LONG status = RegQueryValueExA(key, "Corvanta", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::string(text) : "<none>";
}

void setRunValue(const std::string& text) {
  setRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Corvanta", REG_SZ, text.c_str(),
         static_cast<DWORD>(text.size() + 1));
}

TEST_F(SettingsStore, StartupEntry) {
  // The test program itself is the program found on the search path.
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string stem = std::strrchr(self, '\\') + 1;
  stem.resize(stem.size() - 4);  // without ".exe"
  const std::string command = std::string(self) + " hide";

  RemoveStartupEntry();
  EXPECT_EQ(-1, ValidateStartupEntry(stem.c_str())) << "no entry";
  EXPECT_EQ(-1, AddStartupEntry("NoSuchCorvantaProgram"));
  EXPECT_EQ("<none>", runValue());
  EXPECT_EQ(0, AddStartupEntry(stem.c_str()));
  EXPECT_EQ(command, runValue());
  EXPECT_EQ(0, AddStartupEntry(stem.c_str()));
  EXPECT_EQ(0, ValidateStartupEntry(stem.c_str()));

  std::string upper = command;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  setRunValue(upper);
  EXPECT_EQ(0, ValidateStartupEntry(stem.c_str()));
  EXPECT_EQ(upper, runValue());

  const std::string elsewhere = "C:\\Elsewhere\\" + stem + ".exe hide";
  setRunValue(elsewhere);
  EXPECT_EQ(-1, ValidateStartupEntry(stem.c_str()));
  EXPECT_EQ("<none>", runValue());
  setRunValue(command + "x");
  EXPECT_EQ(-1, ValidateStartupEntry(stem.c_str()));
  EXPECT_EQ("<none>", runValue());

  setRunValue(command);
  EXPECT_EQ(-1, ValidateStartupEntry("NoSuchCorvantaProgram"));
  EXPECT_EQ(command, runValue());
  EXPECT_EQ(0, RemoveStartupEntry());
  EXPECT_EQ("<none>", runValue());
  EXPECT_EQ(0, RemoveStartupEntry());
}

}  // namespace
