#include <windows.h>

#include "bidi_on.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  tools::enableBidiOnConfiguredPrinters();
  return 0;
}
