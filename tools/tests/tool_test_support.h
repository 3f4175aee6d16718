// What the setup tools' tests share: printers and drivers in the test
// prefix's real spooler, the tools run as processes, and registry values
// saved and put back around a test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tools_test {

// The folder of the running test program, where the tools are built.
std::string binFolder();

// A tool started as a process, command line "<path> <arguments>", with
// extra KEY=value environment entries and its standard output collected. A
// process still running at the end is terminated.
class RunningTool {
 public:
  RunningTool(const std::string& programPath, const std::string& arguments,
              const std::vector<std::string>& environment = {});
  ~RunningTool();
  RunningTool(const RunningTool&) = delete;
  RunningTool& operator=(const RunningTool&) = delete;
  bool started() const { return process_ != nullptr; }
  DWORD processId() const { return id_; }
  // Waits for the end, collecting output; false on time-out.
  bool wait(DWORD timeoutMs, DWORD* exitCode = nullptr);
  const std::string& output() const { return output_; }

 private:
  void drain();
  HANDLE process_ = nullptr;
  HANDLE outputPipe_ = nullptr;
  DWORD id_ = 0;
  std::string output_;
};

// Runs a tool of the bin folder to its end: true when it ended in time with
// exit code 0.
bool runToolToEnd(const std::string& program, const std::string& arguments, std::string* output = nullptr);

// A printer driver of Wine's PostScript files whose driver data names the
// given language monitor (none when empty); removed again at the end.
class TestDriver {
 public:
  TestDriver(const std::string& name, const std::string& monitor);
  ~TestDriver();
  TestDriver(const TestDriver&) = delete;
  TestDriver& operator=(const TestDriver&) = delete;
  const std::string& name() const { return name_; }
  bool installed() const { return installed_; }

 private:
  std::string name_;
  bool installed_ = false;
};

// A printer in the spooler, deleted at the end.
class TestPrinter {
 public:
  TestPrinter(const std::string& name, const std::string& port, const std::string& driver, DWORD attributes = 0);
  ~TestPrinter();
  TestPrinter(const TestPrinter&) = delete;
  TestPrinter& operator=(const TestPrinter&) = delete;
  bool added() const { return handle_ != nullptr; }
  DWORD error() const { return error_; }

 private:
  std::string name_;
  HANDLE handle_ = nullptr;
  DWORD error_ = 0;
};

// The printer's current port name and attributes ("" / 0xFFFFFFFF when it
// cannot be read).
std::string printerPort(const std::string& printer);
DWORD printerAttributes(const std::string& printer);

// A port of the local port monitor, for printers to stand on; removed at the end.
class LocalPort {
 public:
  explicit LocalPort(const std::string& name);
  ~LocalPort();
  LocalPort(const LocalPort&) = delete;
  LocalPort& operator=(const LocalPort&) = delete;

 private:
  std::string name_;
  bool added_ = false;
};

// A registry key deleted with everything below it at the end.
class ScopedKey {
 public:
  ScopedKey(HKEY root, std::string path) : root_(root), path_(std::move(path)) {}
  ~ScopedKey() { RegDeleteTreeA(root_, path_.c_str()), RegDeleteKeyA(root_, path_.c_str()); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  const std::string& path() const { return path_; }

 private:
  HKEY root_;
  std::string path_;
};

// A configured printer: its subkey in the machine settings key.
void configurePrinter(const std::string& printer);

// Registry string values.
bool readString(HKEY root, const std::string& path, const char* name, std::string* value, DWORD* type = nullptr);
void writeValue(HKEY root, const std::string& path, const char* name, DWORD type, const void* data, DWORD size);
void writeString(HKEY root, const std::string& path, const char* name, const std::string& value, DWORD type = REG_SZ);
bool valueExists(HKEY root, const std::string& path, const char* name);

}  // namespace tools_test
