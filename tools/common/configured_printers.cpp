#include "configured_printers.h"

#include "registry_keys.h"

namespace tools {

bool forEachConfiguredPrinter(REGSAM access, const std::function<void(const char*)>& visit) {
  settings::RegKey root;
  settings::RegKey machine;
  if (!root.open(HKEY_LOCAL_MACHINE, settings::kMachineRoot, access) ||
      !machine.open(root.get(), settings::kProductKey, access))
    return false;
  char name[261];
  for (DWORD index = 0;; ++index) {
    const LONG status = RegEnumKeyA(machine.get(), index, name, sizeof name);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    name[sizeof name - 1] = '\0';
    visit(name);
  }
  return true;
}

}  // namespace tools
