// The loop the control panel's watcher threads share: wait for a change
// under a registry key or for the stop event, check on each change, arm the
// notification again. What differs per watcher is one row of WatchRules.
#pragma once

#include <windows.h>

#include <functional>

namespace control_panel {

struct WatchRules {
  HKEY root;
  const char* path;
  DWORD filter;                // REG_NOTIFY_CHANGE_* flags, subtree always
  const char* waitErrorText;   // debug text of a failed wait (nullptr: none)
  const char* keyCloseText;    // debug text of a failed key close (nullptr: none)
  bool keyCloseEnds;           // a failed key close ends the watcher
  const char* eventCloseText;  // debug text of a failed event close
};

// What a check found: keep watching, or the watcher's work is done.
enum class Watch { Continue, Done };

// Runs the watch until the stop event, a check that reports Done or a failed
// wait; returns the thread's exit code (1 after a failed wait, else 0). ended
// is set to 1 when it returns. A key that cannot be opened leaves the watcher
// waiting for the stop event.
DWORD watchRegistry(const WatchRules& rules, HANDLE stopEvent, volatile LONG* ended,
                    const std::function<Watch()>& check);

}  // namespace control_panel
