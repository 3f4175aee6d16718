#include <windows.h>

#include "monitor_rehook.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  tools::rehookConfiguredPrinters();
  return 0;
}
