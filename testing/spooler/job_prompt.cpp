// Per-job dialog stand-in: ordinal 1 acts as a user would in the dialog. With
// CORVANTA_TEST_PROMPT=off in the environment it switches the printer's
// reduction off and saves; every call is counted in CORVANTA_TEST_PROMPT_CALLS.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "CorvantaReg.h"

extern "C" int JobPromptStandIn(const char* printerName) {
  char text[32] = {};
  GetEnvironmentVariableA("CORVANTA_TEST_PROMPT_CALLS", text, sizeof(text));
  snprintf(text, sizeof(text), "%d", atoi(text) + 1);
  SetEnvironmentVariableA("CORVANTA_TEST_PROMPT_CALLS", text);
  char action[16] = {};
  GetEnvironmentVariableA("CORVANTA_TEST_PROMPT", action, sizeof(action));
  if (lstrcmpA(action, "off") == 0) {
    SetInkReduction(printerName, 0);
    SetPerJob(1);
  }
  return 0;
}
