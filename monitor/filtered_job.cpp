// A filtered job's plumbing: the first-write decision, the parser plug-in
// loaded by maker code and run on a thread of its own, the input pipe and
// output buffer between the spooler thread and the plug-in, the output
// buffer's write function DownstreamWrite, and the tear-down at end of job.
#include <cstddef>

#include "CorvantaReg.h"
#include "VaskUtil.h"
#include "monitor_internal.h"
#include "platform.h"

namespace corvanta_lm {
namespace {

HMODULE g_plugins[3] = {};
volatile LONG g_runningThreads = 0;  // parse threads that have not yet returned from parseFile
HMODULE g_selfReference = nullptr;   // the module holding this code (the monitor DLL, or a test program)

constexpr DWORD kJobStatusDeleting = 0x4;  // JOB_STATUS_DELETING

// Whether the spooler is deleting the job; a failed query counts as not
// deleting and leaves the thread's last error as it was.
int jobBeingDeleted(const JobEntry* entry) {
  const DWORD savedError = GetLastError();
  int deleting = 0;
  HANDLE printer = nullptr;
  SystemCalls& calls = systemCalls();
  if (calls.openPrinterW(entry->printerName, &printer, nullptr)) {
    DWORD needed = 0;
    calls.getJobW(printer, entry->jobId, 1, nullptr, 0, &needed);
    if (needed > 0) {
      auto* info = static_cast<BYTE*>(platform::allocZeroed(needed));
      if (info && calls.getJobW(printer, entry->jobId, 1, info, needed, &needed))
        deleting = (reinterpret_cast<JOB_INFO_1W*>(info)->Status & kJobStatusDeleting) ? 1 : 0;
      platform::freeBlock(info);
    }
    calls.closePrinter(printer);
  }
  SetLastError(savedError);
  return deleting;
}

// The parse thread: the plug-in's parseFile, counted as running until it has
// returned. A plug-in may still run after it has handed the job back (VaskCA
// waits a second), so the thread holds a reference on this library for its
// whole life and leaves through FreeLibraryAndExitThread: unloading the
// monitor then cannot take its code, or the plug-in's (released at detach only
// once no thread runs), from under the thread.
void parseThread(void* parse) {
  const JobSession* session =
      reinterpret_cast<const JobSession*>(static_cast<char*>(parse) - offsetof(JobSession, parse));
  // The session may be freed once the plug-in has finished the job: read it first.
  const auto parseFile = procAddress<ParseFileFunction>(g_plugins[session->pluginIndex], "parseFile");
  parseFile(parse);
  InterlockedDecrement(&g_runningThreads);
  FreeLibraryAndExitThread(g_selfReference, 0);
}

// A reference on the module that holds this code, found from an address in it
// and loaded again by its file name (the calls every Windows version has).
HMODULE referenceSelf() {
  MEMORY_BASIC_INFORMATION region = {};
  if (!VirtualQuery(reinterpret_cast<const void*>(&parseThread), &region, sizeof(region))) return nullptr;
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryA(path);
}

// Starts the plug-in of the printer's maker on a new thread; 1 when it runs.
int startParseThread(const char* printerName, JobSession* session) {
  if (session->threadStarted) return 0;
  session->threadStarted = 1;
  const int index = pluginIndexFor(GetManufacturer(printerName));
  HMODULE module = g_plugins[index];
  if (!module) {
    module = LoadLibraryW(kPluginNames[index]);
    if (module) {
      HMODULE previous = static_cast<HMODULE>(
          InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_plugins[index]), module, nullptr));
      if (previous) {
        FreeLibrary(module);
        module = previous;
      }
    }
  }
  auto parseFile = module ? procAddress<ParseFileFunction>(module, "parseFile") : nullptr;
  HMODULE self = parseFile ? referenceSelf() : nullptr;
  if (!self) {
    session->threadStarted = 0;
    return 0;
  }
  session->pluginIndex = static_cast<uint32_t>(index);
  g_selfReference = self;
  InterlockedIncrement(&g_runningThreads);
  if (!platform::startThread(parseThread, &session->parse)) {
    InterlockedDecrement(&g_runningThreads);
    FreeLibrary(self);
    session->threadStarted = 0;
    return 0;
  }
  return 1;
}

// Calls the dialog's ordinal 1 through a frame that restores the stack
// pointer itself, so the call is sound whether the export pops its argument or not.
__attribute__((noinline, optimize("no-omit-frame-pointer"))) void callPrompt(void* function,
                                                                            const char* printerName) {
  reinterpret_cast<void (*)(const char*)>(function)(printerName);
}

// Per-job dialog: loaded for one call; the user may change the settings.
void offerJobDialog(const char* printerName) {
  HMODULE prompt = LoadLibraryW(L"JobPrompt.dll");
  OutputDebugStringW(L"Loading the JobPrompt.dll\n");
  if (!prompt) {
    OutputDebugStringW(L"JobPrompt.dll could not be loaded\n");
    return;
  }
  auto prompt1 = procAddress<void*>(prompt, MAKEINTRESOURCEA(1));
  if (prompt1) callPrompt(prompt1, printerName);
  FreeLibrary(prompt);
}

// Frees pipes no plug-in reads: the output is cancelled, the input closed.
void discardPipes(void* input, void* output) {
  if (output) OutBuffer_terminate(output, 1);
  if (input) {
    InBuffer_threadDone(input);
    InBuffer_terminate(input);
  }
}

// Creates the pipes and starts the plug-in; false leaves the job to pass through.
bool startFiltering(JobSession* session, const char* printerName) {
  void* input = InBuffer_initialize();
  void* output = input ? OutBuffer_initialize(downstreamWrite, session) : nullptr;
  char* nameBuffer = output ? static_cast<char*>(platform::allocZeroed(kPrinterNameBufferSize)) : nullptr;
  if (!nameBuffer) {
    discardPipes(input, output);
    return false;
  }
  const int colorLevel = GetColorLevel(printerName);
  const int blackLevel = GetBlackLevel(printerName);
  session->parse.colorKeepPercent = static_cast<int16_t>(colorLevel == -1 ? 101 : 100 - colorLevel);
  session->parse.blackKeepPercent = static_cast<int16_t>(blackLevel == -1 ? 101 : 100 - blackLevel);
  session->threadStarted = 0;
  session->bufferSized = 0;
  lstrcpynA(nameBuffer, printerName, kPrinterNameBufferSize);
  platform::freeBlock(session->parse.printerName);
  session->parse.printerName = nameBuffer;
  session->parse.inputPipe = input;
  session->parse.outputBuffer = output;
  if (!startParseThread(printerName, session)) {
    // Nobody would read the pipe: the job goes through unfiltered.
    discardPipes(input, output);
    session->parse.inputPipe = nullptr;
    session->parse.outputBuffer = nullptr;
    return false;
  }
  while (!*static_cast<void* volatile*>(&session->parse.inputPipe)) platform::sleepMs(1);
  return true;
}

}  // namespace

// End of a filtered job (EndDocPort's preparation step): the calibration
// write-back, end of input and the wait for the parse thread, the final flush
// (giving up at the first error while the job is being deleted).
void tearDownPipes(JobSession* session, JobEntry* entry) {
  char name[kStoreNameBytes];
  storeName(entry->printerName, name, sizeof(name));
  if (session->parse.calibrationFlag > 0)
    SetPrintCalibrationPage(name, session->parse.calibrationFlag == 2 ? 3 : 0);
  if (session->parse.inputPipe) InBuffer_terminate(session->parse.inputPipe);

  const int deleting = jobBeingDeleted(entry);
  if (void* output = session->parse.outputBuffer) {
    // The final delivery runs with the buffer still in the session, where
    // DownstreamWrite looks for it. The handle then leaves the session under
    // the port lock, which GetPrinterDataFromPort holds while it may cancel
    // the buffer, before the buffer is freed (with nothing left to deliver).
    uint32_t error = 0;
    OutBufferFlush(output, deleting, &error);
    {
      Guard port(portLock());
      session->parse.outputBuffer = nullptr;
    }
    OutBuffer_CancelPrint(output);
    OutBuffer_terminate(output, deleting);
  }

  Guard list(listLock());
  session->threadStarted = 0;
  session->parse.inputPipe = nullptr;
  session->parse.outputBuffer = nullptr;
}

// First write of a job: filter it or pass it through.
void decideJob(JobSession* session, JobEntry* entry) {
  char name[kStoreNameBytes] = {};
  storeName(entry->printerName, name, kStoreNameBytes);
  const int calibration = GetPrintCalibrationPage(name);
  int8_t calibrationFlag = 0;
  uint32_t filter = 0;
  if (calibration != -1) {
    calibrationFlag = static_cast<int8_t>(calibration & 0xFF);
    if (calibrationFlag != 0) {
      filter = 1;
    } else {
      offerJobDialog(name);
      filter = GetInkReduction(name) != 0 ? 1 : 0;
    }
  }
  entry->started = 1;

  if (filter) {
    // An older filtered job whose EndDocPort never came is ended now, with the
    // whole of EndDocPort's preparation step; the session's calibration flag
    // still is that job's.
    JobEntry* stale = nullptr;
    {
      Guard list(listLock());
      for (JobEntry** link = &entry->next; *link; link = &(*link)->next) {
        if ((*link)->state == kJobFiltered) {
          stale = *link;
          *link = stale->next;
          break;
        }
      }
    }
    if (stale) {
      tearDownPipes(session, stale);
      freeEntry(stale);
    }
    session->parse.calibrationFlag = calibrationFlag;
    if (!startFiltering(session, name)) filter = 0;
  }
  session->filter = filter;
  entry->state = filter ? kJobFiltered : kJobPassThrough;
}

int WINAPI downstreamWrite(void* context, const uint8_t* bytes, uint32_t count, uint32_t* written) {
  auto* session = static_cast<JobSession*>(context);
  BOOL result;
  DWORD error;
  {
    Guard port(portLock());
    Guard list(listLock());
    *written = 0;
    if (OutBuffer_GetWriteFunctionPtr(session->parse.outputBuffer)) {
      DWORD done = 0;
      result = callDownstream(session, &PortFunctions::writePort, const_cast<LPBYTE>(bytes), count, &done);
      *written = done;
    } else {
      *written = count;  // output cancelled: dropped
      result = TRUE;
    }
    error = GetLastError();
  }
  SetLastError(error);
  return result;
}

HMODULE cachedPlugin(int index) { return index >= 0 && index < 3 ? g_plugins[index] : nullptr; }
int runningParseThreads() { return static_cast<int>(g_runningThreads); }

void releasePlugins() {
  // A module stays while a parse thread may still run in it.
  if (g_runningThreads != 0) return;
  for (HMODULE& module : g_plugins) {
    if (module) FreeLibrary(module);
    module = nullptr;
  }
}

}  // namespace corvanta_lm
