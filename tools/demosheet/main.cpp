#include <windows.h>

#include "demo_sheet.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return tools::runDemoSheet(); }
