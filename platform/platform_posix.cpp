// POSIX implementation of the platform layer (native build).
#include "platform.h"

#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace platform {
namespace detail {
void realSleep(uint32_t milliseconds) {
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void realDebugOutput(const char* text) {
  static const bool enabled = std::getenv("CORVANTA_DEBUG") != nullptr;
  if (enabled) std::fputs(text, stderr);
}

void* realAllocZeroed(size_t bytes) { return std::calloc(1, bytes ? bytes : 1); }
}  // namespace detail

struct Lock {
  pthread_mutex_t mutex;
};

Lock* lockCreate() {
  Lock* lock = static_cast<Lock*>(std::calloc(1, sizeof(Lock)));
  if (!lock) return nullptr;
  // Recursive, like a Windows critical section.
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&lock->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  return lock;
}

void lockDelete(Lock* lock) {
  if (!lock) return;
  pthread_mutex_destroy(&lock->mutex);
  std::free(lock);
}

void lockEnter(Lock* lock) { pthread_mutex_lock(&lock->mutex); }
void lockLeave(Lock* lock) { pthread_mutex_unlock(&lock->mutex); }

namespace {
struct ThreadStart {
  ThreadRoutine routine;
  void* argument;
};

void* threadTrampoline(void* p) {
  ThreadStart start = *static_cast<ThreadStart*>(p);
  delete static_cast<ThreadStart*>(p);
  start.routine(start.argument);
  return nullptr;
}

}  // namespace

bool startThread(ThreadRoutine routine, void* argument) {
  auto* start = new (std::nothrow) ThreadStart{routine, argument};
  if (!start) return false;
  pthread_t thread;
  if (pthread_create(&thread, nullptr, threadTrampoline, start) != 0) {
    delete start;
    return false;
  }
  pthread_detach(thread);
  return true;
}

// The thread's last-error value is its errno: one per thread for the whole
// process, so a value set through one module's copy of this layer (a write
// function in the filter) is the one another module's copy reads (the output
// buffer in libVaskUtil.so), as GetLastError is on Windows. Like that value it
// is read right after the call that set it, before any other call can change it.
uint32_t getLastError() { return static_cast<uint32_t>(errno); }
void setLastError(uint32_t code) { errno = static_cast<int>(code); }

void freeBlock(void* block) { std::free(block); }

std::string appDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg) return xdg;
  const char* home = std::getenv("HOME");
  if (!home || !*home) return {};
  return std::string(home) + "/.local/share";
}

bool createDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0) return true;
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

char pathSeparator() { return '/'; }

void* loadLibrary(const char* fileName) {
  if (!fileName || !*fileName) return nullptr;
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", &path[0], path.size() - 1);
  path.resize(n > 0 ? static_cast<size_t>(n) : 0);
  path = path.substr(0, path.rfind('/') + 1) + fileName;
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* findSymbol(void* library, const char* name) { return library ? dlsym(library, name) : nullptr; }

void freeLibrary(void* library) {
  if (library) dlclose(library);
}

}  // namespace platform
