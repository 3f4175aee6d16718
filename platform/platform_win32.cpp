// Win32 implementation of the platform layer.
#include "platform.h"

#include <windows.h>
#include <process.h>
#include <shlobj.h>

#include <atomic>
#include <new>

namespace platform {
namespace detail {
void realSleep(uint32_t milliseconds) { ::Sleep(milliseconds); }
void realDebugOutput(const char* text) { ::OutputDebugStringA(text); }
void* realAllocZeroed(size_t bytes) { return ::GlobalAlloc(GPTR, bytes); }
}  // namespace detail

struct Lock {
  CRITICAL_SECTION section;
};

Lock* lockCreate() {
  Lock* lock = static_cast<Lock*>(::GlobalAlloc(GPTR, sizeof(Lock)));
  if (lock) ::InitializeCriticalSection(&lock->section);
  return lock;
}

void lockDelete(Lock* lock) {
  if (!lock) return;
  ::DeleteCriticalSection(&lock->section);
  ::GlobalFree(lock);
}

void lockEnter(Lock* lock) { ::EnterCriticalSection(&lock->section); }
void lockLeave(Lock* lock) { ::LeaveCriticalSection(&lock->section); }

namespace {
struct ThreadStart {
  ThreadRoutine routine;
  void* argument;
};

unsigned __stdcall threadTrampoline(void* p) {
  ThreadStart start = *static_cast<ThreadStart*>(p);
  delete static_cast<ThreadStart*>(p);
  start.routine(start.argument);
  return 0;
}
}  // namespace

bool startThread(ThreadRoutine routine, void* argument) {
  auto* start = new (std::nothrow) ThreadStart{routine, argument};
  if (!start) return false;
  uintptr_t handle = ::_beginthreadex(nullptr, 0, threadTrampoline, start, 0, nullptr);
  if (handle == 0) {
    delete start;
    return false;
  }
  ::CloseHandle(reinterpret_cast<HANDLE>(handle));
  return true;
}

uint32_t getLastError() { return ::GetLastError(); }
void setLastError(uint32_t code) { ::SetLastError(code); }

void freeBlock(void* block) {
  if (block) ::GlobalFree(block);
}

std::string appDataFolder() {
  char path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path))) return {};
  return path;
}

bool createDirectory(const std::string& path) {
  if (::CreateDirectoryA(path.c_str(), nullptr)) return true;
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

char pathSeparator() { return '\\'; }

#if !defined(_WIN64)
namespace {
// The 32-bit libraries run in spoolers back to Windows XP and the 9x family,
// whose kernel has no GetTickCount64; the threading runtime linked into every
// DLL asks for it, so its import slot is filled here from GetTickCount, counting
// the wraps of the 32-bit value.
ULONGLONG WINAPI tickCount64() {
  static std::atomic<uint64_t> last{0};
  uint64_t previous = last.load();
  for (;;) {
    uint64_t now = (previous & ~uint64_t{0xFFFFFFFF}) | ::GetTickCount();
    if (now < previous) now += uint64_t{1} << 32;
    if (last.compare_exchange_weak(previous, now)) return now;
  }
}
}  // namespace
}  // namespace platform
extern "C" __attribute__((used)) ULONGLONG(WINAPI* const corvantaTickCount64Slot)(void) __asm__(
    "__imp__GetTickCount64@0") = platform::tickCount64;
namespace platform {
#endif

void* loadLibrary(const char* fileName) {
  if (!fileName || !*fileName) return nullptr;
  return reinterpret_cast<void*>(::LoadLibraryA(fileName));
}

void* findSymbol(void* library, const char* name) {
  return library ? reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name)) : nullptr;
}

void freeLibrary(void* library) {
  if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace platform
