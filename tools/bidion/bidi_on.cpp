#include "bidi_on.h"

#include <windows.h>
#include <winspool.h>

#include <vector>

#include "configured_printers.h"

namespace tools {
namespace {

void enableBidi(const char* name) {
  PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterA(const_cast<char*>(name), &printer, &defaults) || !printer) return;
  DWORD needed = 0;
  GetPrinterA(printer, 2, nullptr, 0, &needed);
  if (needed > 0) {
    std::vector<BYTE> buffer(needed);
    if (GetPrinterA(printer, 2, buffer.data(), needed, &needed)) {
      auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
      info->Attributes |= PRINTER_ATTRIBUTE_ENABLE_BIDI;
      SetPrinterA(printer, 2, buffer.data(), 0);
    }
  }
  ClosePrinter(printer);
}

}  // namespace

void enableBidiOnConfiguredPrinters() { forEachConfiguredPrinter(KEY_ALL_ACCESS, enableBidi); }

}  // namespace tools
