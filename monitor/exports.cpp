// The exports of CorvantaLM.dll.
#include "monitor_internal.h"

extern "C" {

corvanta_lm::MonitorTable* WINAPI InitializePrintMonitor(LPWSTR registryRoot) {
  return corvanta_lm::initializePrintMonitor(registryRoot);
}

// Version query some vendor tools make of the monitor; nothing to report.
void WINAPI EpsonVersion(void) {}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  if (reason == DLL_PROCESS_DETACH) corvanta_lm::releasePlugins();
  return TRUE;
}

}  // extern "C"
