// Every export of CorvantaReg.dll is reachable by ordinal and by name, and
// both give the same function.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct Export {
  uintptr_t ordinal;
  const char* name;
};

constexpr Export kExports[] = {
    {2, "IsPrinterInstalled"},     {3, "GetOriginalLM"},         {4, "GetBlackLevel"},
    {5, "GetColorLevel"},          {6, "GetInkReduction"},       {7, "GetDisplayInk"},
    {8, "GetBlackCost"},           {9, "GetColorCost"},          {10, "GetBlackCartPerYear"},
    {11, "GetColorCartPerYear"},   {12, "GetPrintCalibrationPage"}, {13, "GetManufacturer"},
    {14, "GetLocale"},             {15, "GetPerJob"},            {16, "GetLastUsed"},
    {17, "GetPagePath"},           {18, "GetDataFilePath"},      {21, "SetOriginalLM"},
    {22, "SetBlackLevel"},         {23, "SetColorLevel"},        {24, "SetInkReduction"},
    {25, "SetDisplayInk"},         {26, "SetBlackCost"},         {27, "SetColorCost"},
    {28, "SetBlackCartPerYear"},   {29, "SetColorCartPerYear"},  {30, "SetPrintCalibrationPage"},
    {31, "SetLocale"},             {32, "SetPerJob"},            {33, "SetLastUsed"},
    {35, "WriteJobSettings"},      {36, "ReadJobSettings"},      {37, "AddStartupEntry"},
    {38, "RemoveStartupEntry"},    {39, "ValidateStartupEntry"}, {40, "SyncUserSettings"},
    {41, "DeletePrinterSettings"},
};

TEST(CorvantaRegExports, EveryOrdinalAndNameResolveToTheSameFunction) {
  HMODULE dll = LoadLibraryA("CorvantaReg.dll");
  ASSERT_NE(nullptr, dll) << GetLastError();
  for (const auto& e : kExports) {
    FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(e.ordinal));
    FARPROC byName = GetProcAddress(dll, e.name);
    EXPECT_NE(nullptr, byOrdinal) << e.ordinal;
    EXPECT_EQ(byOrdinal, byName) << e.name;
  }
  for (uintptr_t unused : {1u, 19u, 20u, 34u, 42u}) EXPECT_EQ(nullptr, GetProcAddress(dll, MAKEINTRESOURCEA(unused)));

  // A call through the ordinal reaches the store: no key, -1.
  using Getter = int (*)(const char*);
  auto getBlackLevel = reinterpret_cast<Getter>(GetProcAddress(dll, MAKEINTRESOURCEA(4)));
  ASSERT_NE(nullptr, getBlackLevel);
  EXPECT_EQ(-1, getBlackLevel("No Such Corvanta Printer"));
  FreeLibrary(dll);
}

}  // namespace
