// The operating-system services the portable modules (stream utilities,
// parsers, reduction, calibration, the data-folder builder) rely on: one
// interface, a Win32 and a POSIX implementation. Tests replace the sleep
// function, the debug sink and the allocator to check timing rules and
// failure paths without waiting or exhausting memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Sleeping. Every wait of the portable modules goes through sleepMs so a test
// can substitute a virtual clock.
using SleepFunction = void (*)(uint32_t milliseconds);
void sleepMs(uint32_t milliseconds);
// Installs fn (nullptr restores the real sleep); returns the previous one.
SleepFunction setSleepFunction(SleepFunction fn);

// A critical section. Opaque; created and freed explicitly because the
// records that own one hold it by pointer.
struct Lock;
Lock* lockCreate();  // nullptr when it cannot be allocated
void lockDelete(Lock* lock);
void lockEnter(Lock* lock);
void lockLeave(Lock* lock);

class LockGuard {
 public:
  explicit LockGuard(Lock* lock) : lock_(lock) { lockEnter(lock_); }
  ~LockGuard() { lockLeave(lock_); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock* lock_;
};

// Starts a detached thread running routine(argument) through the runtime
// library. Returns false when no thread could be started.
using ThreadRoutine = void (*)(void* argument);
bool startThread(ThreadRoutine routine, void* argument);

// The calling thread's last-error value, shared by every module of the process
// (GetLastError/SetLastError on Windows, errno elsewhere).
uint32_t getLastError();
void setLastError(uint32_t code);

// Debug output: OutputDebugStringA on Windows; natively stderr when the
// environment variable CORVANTA_DEBUG is set. A sink installed by a test
// receives every text instead.
using DebugSink = void (*)(const char* text);
void debugOutput(const char* text);
DebugSink setDebugSink(DebugSink sink);  // nullptr restores the default

// Zero-filled heap blocks (the global heap on Windows). An allocator hook lets
// a test make allocations fail.
using AllocHook = void* (*)(size_t bytes);
void* allocZeroed(size_t bytes);  // nullptr on failure
void freeBlock(void* block);      // nullptr is ignored
AllocHook setAllocHook(AllocHook hook);  // nullptr restores the real allocator
// The real allocator, bypassing the hook (for hooks that pass allocations on).
void* systemAllocZeroed(size_t bytes);

// The user's application-data folder (CSIDL_APPDATA on Windows;
// $XDG_DATA_HOME, else ~/.local/share natively), without a trailing
// separator. Empty when it cannot be determined.
std::string appDataFolder();

// Creates one directory; true when it exists afterwards.
bool createDirectory(const std::string& path);

// The separator between path components: '\\' on Windows, '/' elsewhere.
char pathSeparator();

// Shared libraries loaded at run time by file name: on Windows through the
// normal search order, elsewhere from the directory of the running program
// (where the build puts the libraries beside their users).
void* loadLibrary(const char* fileName);  // nullptr on failure
void* findSymbol(void* library, const char* name);  // nullptr when missing
void freeLibrary(void* library);                      // nullptr is ignored

// Owns one loaded library for a scope.
class SharedLibrary {
 public:
  explicit SharedLibrary(const char* fileName) : library_(loadLibrary(fileName)) {}
  ~SharedLibrary() { freeLibrary(library_); }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  bool loaded() const { return library_ != nullptr; }
  void* find(const char* name) const { return library_ ? findSymbol(library_, name) : nullptr; }
  template <class Function>
  Function get(const char* name) const {
    return reinterpret_cast<Function>(find(name));
  }

 private:
  void* library_;
};

}  // namespace platform
