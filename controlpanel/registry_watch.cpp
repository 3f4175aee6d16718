#include "registry_watch.h"

#include "platform.h"

namespace control_panel {
namespace {

// The key opened for notification and armed to signal changed; nullptr when
// it cannot be opened.
HKEY armedKey(const WatchRules& rules, HANDLE changed) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(rules.root, rules.path, 0, KEY_NOTIFY, &key) != ERROR_SUCCESS) return nullptr;
  if (changed) RegNotifyChangeKeyValue(key, TRUE, rules.filter, changed, TRUE);
  return key;
}

// False when the failed close ends the watcher.
bool closeKey(const WatchRules& rules, HKEY key) {
  if (!key || RegCloseKey(key) == ERROR_SUCCESS) return true;
  if (rules.keyCloseText) platform::debugOutput(rules.keyCloseText);
  return !rules.keyCloseEnds;
}

}  // namespace

DWORD watchRegistry(const WatchRules& rules, HANDLE stopEvent, volatile LONG* ended,
                    const std::function<Watch()>& check) {
  auto finish = [ended](DWORD code) {
    if (ended) InterlockedExchange(ended, 1);
    return code;
  };
  HANDLE changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HKEY key = armedKey(rules, changed);
  bool done = false;
  while (!done) {
    // Without a change event there is still the stop event to wait for.
    const HANDLE events[] = {changed, stopEvent};
    DWORD woken = WAIT_FAILED;
    if (changed)
      woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    else if (WaitForSingleObject(stopEvent, INFINITE) == WAIT_OBJECT_0)
      woken = WAIT_OBJECT_0 + 1;
    if (woken == WAIT_OBJECT_0) {
      // Armed again before the check, so that a change made while checking
      // is not missed.
      HKEY next = armedKey(rules, changed);
      done = check() == Watch::Done;
      done = !closeKey(rules, key) || done;
      key = next;
    } else if (woken == WAIT_OBJECT_0 + 1) {
      done = true;
    } else {
      if (rules.waitErrorText) platform::debugOutput(rules.waitErrorText);
      if (key) RegCloseKey(key);
      if (changed) CloseHandle(changed);
      return finish(1);
    }
  }
  closeKey(rules, key);
  if (changed && !CloseHandle(changed)) platform::debugOutput(rules.eventCloseText);
  return finish(0);
}

}  // namespace control_panel
