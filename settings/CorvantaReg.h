// CorvantaReg: the settings store. Every other part reads and writes the
// product's settings through these functions (bound by ordinal on Windows):
// per-printer values under the shared settings key, user-wide values, the
// start-up entry and the reconciliation of printer keys. Getters return -1
// (-1.0 for costs, an empty string for texts) on any failure; setters never
// create keys and fail silently. Narrow strings throughout.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SettingPair {
  const char* name;  // registry value name
  int32_t value;
} SettingPair;

// Size of the text buffers the text getters fill, and of the data-file path
// buffer GetDataFilePath fills.
enum { kSettingsTextSize = 260, kDataFilePathSize = 512 };

int IsPrinterInstalled(const char* printerName);                 // 2
void GetOriginalLM(const char* printerName, char* text);         // 3
int GetBlackLevel(const char* printerName);                      // 4
int GetColorLevel(const char* printerName);                      // 5
int GetInkReduction(const char* printerName);                    // 6
int GetDisplayInk(const char* printerName);                      // 7
float GetBlackCost(const char* printerName);                     // 8
float GetColorCost(const char* printerName);                     // 9
int GetBlackCartPerYear(const char* printerName);                // 10
int GetColorCartPerYear(const char* printerName);                // 11
int GetPrintCalibrationPage(const char* printerName);            // 12
int GetManufacturer(const char* printerName);                    // 13
int GetLocale(void);                                             // 14
int GetPerJob(void);                                             // 15
void GetLastUsed(char* text);                                    // 16
void GetPagePath(char* text);                                    // 17
char* GetDataFilePath(const char* printerName, char* outPath);   // 18, outPath holds kDataFilePathSize
void SetOriginalLM(const char* printerName, const char* text);   // 21
void SetBlackLevel(const char* printerName, int32_t value);      // 22
void SetColorLevel(const char* printerName, int32_t value);      // 23
void SetInkReduction(const char* printerName, int32_t value);    // 24
void SetDisplayInk(const char* printerName, int32_t value);      // 25
void SetBlackCost(const char* printerName, float amount);        // 26
void SetColorCost(const char* printerName, float amount);        // 27
void SetBlackCartPerYear(const char* printerName, int32_t value);  // 28
void SetColorCartPerYear(const char* printerName, int32_t value);  // 29
void SetPrintCalibrationPage(const char* printerName, int32_t value);  // 30
void SetLocale(int32_t value);                                   // 31
void SetPerJob(int32_t value);                                   // 32
void SetLastUsed(const char* text);                              // 33
int WriteJobSettings(int32_t ignored, const SettingPair* pairs, const char* printerName, int32_t count);  // 35
int ReadJobSettings(const char* printerName, SettingPair* pairs, int32_t count);                           // 36
int AddStartupEntry(const char* programFileName);                // 37
int RemoveStartupEntry(void);                                    // 38
int ValidateStartupEntry(const char* programFileName);           // 39
int SyncUserSettings(char (*names)[260], int32_t* count, const SettingPair* defaults, int32_t defaultCount);  // 40
void DeletePrinterSettings(const char* printerName);             // 41

#ifdef __cplusplus
}
#endif
