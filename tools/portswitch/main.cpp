#include <windows.h>

#include "port_switch.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string name = tools::commandLineTail(GetCommandLineA());
  const std::string output = tools::switchPrinterPort(name, tools::systemPlatformId());
  if (!output.empty()) {
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE)
      WriteFile(out, output.data(), static_cast<DWORD>(output.size()), &written, nullptr);
  }
  return 0;
}
