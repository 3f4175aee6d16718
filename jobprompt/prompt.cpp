// The export: decides whether the dialog is offered, loads the resource
// library of the stored language and runs the dialog.
#include <windows.h>
#include <commctrl.h>

#include "CorvantaReg.h"
#include "job_prompt.h"

namespace {

struct ResourceLibrary {
  int language;  // low 8 bits of the stored Locale
  const char* file;
  const char* missingText;
};
constexpr ResourceLibrary kLibraries[] = {
    {7, "CorvantaResDeu.dll", "Can't load CorvantaResDeu.dll!"},
    {12, "CorvantaResFre.dll", "Can't load CorvantaResFre.dll!"},
};
constexpr ResourceLibrary kDefaultLibrary = {0, "CorvantaRes.dll", "Can't load CorvantaRes.dll!"};

const ResourceLibrary& libraryFor(int locale) {
  for (const ResourceLibrary& library : kLibraries)
    if (library.language == (locale & 0xFF)) return library;
  return kDefaultLibrary;
}

}  // namespace

extern "C" int ShowJobPrompt(const char* printerName) {
  job_prompt::InitBlock block = {};
  // A name that does not fit is cut; it then names no configured printer
  // (registry key names are shorter), so the getters below fail and no dialog opens.
  if (printerName) lstrcpynA(block.printerName, printerName, sizeof(block.printerName));

  if (GetDisplayInk(block.printerName) == 0 || GetInkReduction(block.printerName) == 0) return 0;
  if (const int calibration = GetPrintCalibrationPage(block.printerName)) return calibration;

  const ResourceLibrary& library = libraryFor(GetLocale());
  block.resources = LoadLibraryA(library.file);
  if (!block.resources) {
    MessageBoxA(nullptr, library.missingText, nullptr, MB_OK);
    return 0;
  }
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES |
                                                         ICC_COOL_CLASSES | ICC_INTERNET_CLASSES | ICC_PAGESCROLLER_CLASS |
                                                         ICC_NATIVEFNTCTL_CLASS | ICC_STANDARD_CLASSES |
                                                         ICC_LINK_CLASS};
  if (!InitCommonControlsEx(&controls)) {
    const BOOL released = FreeLibrary(block.resources);
    MessageBoxA(nullptr, "Can't init controls", "None", MB_OK);
    return released;
  }
  job_prompt::runDialog(block);
  return FreeLibrary(block.resources);
}
