#include "tool_test_support.h"

#include <winspool.h>

#include <gtest/gtest.h>

#include "registry_keys.h"

namespace tools_test {

std::string binFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\'));
}

RunningTool::RunningTool(const std::string& programPath, const std::string& arguments,
                         const std::vector<std::string>& environment) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE write = nullptr;
  if (!CreatePipe(&outputPipe_, &write, &inherit, 0)) return;
  SetHandleInformation(outputPipe_, HANDLE_FLAG_INHERIT, 0);
  // The environment block: the current one plus the extra entries.
  std::string block;
  for (const std::string& entry : environment) block += entry + '\0';
  char* current = GetEnvironmentStringsA();
  for (const char* p = current; p && *p; p += strlen(p) + 1) block += std::string(p) + '\0';
  FreeEnvironmentStringsA(current);
  block += '\0';
  std::string commandLine = "\"" + programPath + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION info = {};
  if (CreateProcessA(programPath.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                     environment.empty() ? nullptr : &block[0], nullptr, &startup, &info)) {
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    CloseHandle(info.hThread);
  }
  CloseHandle(write);
}

RunningTool::~RunningTool() {
  if (process_) {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
  }
  if (outputPipe_) CloseHandle(outputPipe_);
}

void RunningTool::drain() {
  DWORD available = 0;
  while (outputPipe_ && PeekNamedPipe(outputPipe_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char chunk[4096];
    DWORD got = 0;
    if (!ReadFile(outputPipe_, chunk, available < sizeof chunk ? available : sizeof chunk, &got, nullptr) || !got)
      break;
    output_.append(chunk, got);
  }
}

bool RunningTool::wait(DWORD timeoutMs, DWORD* exitCode) {
  if (!process_) return false;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    drain();
    if (WaitForSingleObject(process_, 20) == WAIT_OBJECT_0) break;
    if (GetTickCount64() >= deadline) return false;
  }
  drain();
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  if (exitCode) *exitCode = code;
  return true;
}

bool runToolToEnd(const std::string& program, const std::string& arguments, std::string* output) {
  RunningTool tool(binFolder() + "\\" + program, arguments);
  DWORD code = 1;
  const bool ended = tool.started() && tool.wait(20000, &code);
  if (output) *output = tool.output();
  return ended && code == 0;
}

TestDriver::TestDriver(const std::string& name, const std::string& monitor) : name_(name) {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  std::string file = std::string(system) + "\\wineps.drv";
  DRIVER_INFO_3A info = {};
  info.cVersion = 3;
  info.pName = const_cast<char*>(name_.c_str());
  info.pDriverPath = info.pDataFile = info.pConfigFile = &file[0];
  info.pMonitorName = monitor.empty() ? nullptr : const_cast<char*>(monitor.c_str());
  installed_ = AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES);
  if (!installed_) ADD_FAILURE() << "AddPrinterDriverEx " << name_ << ": " << GetLastError();
}

TestDriver::~TestDriver() {
  if (installed_) DeletePrinterDriverA(nullptr, nullptr, const_cast<char*>(name_.c_str()));
}

TestPrinter::TestPrinter(const std::string& name, const std::string& port, const std::string& driver,
                         DWORD attributes)
    : name_(name) {
  PRINTER_INFO_2A info = {};
  info.pPrinterName = const_cast<char*>(name.c_str());
  info.pPortName = const_cast<char*>(port.c_str());
  info.pDriverName = const_cast<char*>(driver.c_str());
  info.pPrintProcessor = const_cast<char*>("WinPrint");
  info.pDatatype = const_cast<char*>("RAW");
  info.Attributes = attributes;
  handle_ = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  error_ = handle_ ? 0 : GetLastError();
}

TestPrinter::~TestPrinter() {
  if (!handle_) return;
  DeletePrinter(handle_);
  ClosePrinter(handle_);
}

namespace {

// Level-2 information of a printer, read into buffer; null when unreadable.
const PRINTER_INFO_2A* printerInfo(const std::string& printer, std::vector<BYTE>* buffer) {
  HANDLE handle = nullptr;
  if (!OpenPrinterA(const_cast<char*>(printer.c_str()), &handle, nullptr)) return nullptr;
  DWORD needed = 0;
  GetPrinterA(handle, 2, nullptr, 0, &needed);
  buffer->assign(needed, 0);
  const bool read = needed && GetPrinterA(handle, 2, buffer->data(), needed, &needed);
  ClosePrinter(handle);
  return read ? reinterpret_cast<const PRINTER_INFO_2A*>(buffer->data()) : nullptr;
}

constexpr const char kPortsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

}  // namespace

std::string printerPort(const std::string& printer) {
  std::vector<BYTE> buffer;
  const PRINTER_INFO_2A* info = printerInfo(printer, &buffer);
  return info && info->pPortName ? info->pPortName : "";
}

DWORD printerAttributes(const std::string& printer) {
  std::vector<BYTE> buffer;
  const PRINTER_INFO_2A* info = printerInfo(printer, &buffer);
  return info ? info->Attributes : 0xFFFFFFFF;
}

LocalPort::LocalPort(const std::string& name) : name_(name) {
  if (valueExists(HKEY_LOCAL_MACHINE, kPortsKey, name_.c_str())) return;
  writeString(HKEY_LOCAL_MACHINE, kPortsKey, name_.c_str(), "");
  added_ = true;
}

LocalPort::~LocalPort() {
  if (!added_) return;
  settings::RegKey ports;
  if (ports.open(HKEY_LOCAL_MACHINE, kPortsKey)) RegDeleteValueA(ports.get(), name_.c_str());
}

void configurePrinter(const std::string& printer) {
  settings::RegKey key;
  key.create(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\Brenmoor\\Corvanta\\" + printer).c_str(), nullptr);
}

bool readString(HKEY root, const std::string& path, const char* name, std::string* value, DWORD* type) {
  settings::RegKey key;
  if (!key.open(root, path.c_str(), KEY_READ)) return false;
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  DWORD kind = 0;
  if (RegQueryValueExA(key.get(), name, nullptr, &kind, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
    return false;
  *value = data;
  if (type) *type = kind;
  return true;
}

void writeValue(HKEY root, const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
  settings::RegKey key;
  ASSERT_TRUE(key.create(root, path.c_str(), nullptr)) << path;
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size)) << name;
}

void writeString(HKEY root, const std::string& path, const char* name, const std::string& value, DWORD type) {
  writeValue(root, path, name, type, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool valueExists(HKEY root, const std::string& path, const char* name) {
  settings::RegKey key;
  return key.open(root, path.c_str(), KEY_READ) &&
         RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace tools_test
