// JobPrompt: the dialog a user sees before a job of a printer whose per-job
// dialog is switched on. The language monitor loads the library for one call
// of ordinal 1 and reads the printer's settings again when it returns.
#pragma once

#include <windows.h>

namespace job_prompt {

// The printer name buffer of the dialog; longer names are cut to fit.
constexpr size_t kPrinterNameSize = 260;

// What the dialog starts from: the language resource library and the printer.
struct InitBlock {
  HMODULE resources;
  char printerName[kPrinterNameSize];
};

// Runs the modal dialog of the template "CURRENTINKSETTINGS" of the block's
// resource library on the calling thread; returns when the user has saved or
// closed it.
void runDialog(const InitBlock& block);

}  // namespace job_prompt

// Ordinal 1: the printer name as a NUL-terminated narrow string. Returns 0 when
// the dialog is not offered (DisplayInk or InkReduction 0), the calibration
// page value when it is nonzero (no dialog), else the result of releasing the
// resource library after the dialog step.
extern "C" int ShowJobPrompt(const char* printerName);
