#include "page_printer.h"

#include "gui_driver.h"

#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace page_test {
namespace {

constexpr char kDriverName[] = "Corvanta Page Test Driver";

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Unix paths of the build tree are reached through drive Z:.
std::string windowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool installDriver(std::string& error) {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  std::string driver = std::string(system) + "\\wineps.drv";
  // Wine's PostScript driver takes its PPD from the driver folder.
  char folder[MAX_PATH] = {};
  DWORD needed = 0;
  GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof folder, &needed);
  std::string ppd = std::string(folder) + "\\corvanta_page_test.ppd";
  const std::string source = windowsPath(env("CORVANTA_SOURCE_DIR") + "/controlpanel/tests/page_test.ppd");
  if (!CopyFileA(source.c_str(), ppd.c_str(), FALSE)) {
    error = "cannot copy " + source + ": " + std::to_string(GetLastError());
    return false;
  }
  DRIVER_INFO_3A info = {};
  info.cVersion = 3;
  info.pName = const_cast<char*>(kDriverName);
  info.pDriverPath = info.pConfigFile = &driver[0];
  info.pDataFile = &ppd[0];
  if (!AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES)) {
    error = "AddPrinterDriverEx: " + std::to_string(GetLastError());
    return false;
  }
  return true;
}

void removePrinter(const std::string& name) {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSA access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (OpenPrinterA(const_cast<char*>(name.c_str()), &printer, &access)) {
    DeletePrinter(printer);
    ClosePrinter(printer);
  }
}

}  // namespace

FilePrinter::FilePrinter(const std::string& name) : name_(name) {
  const std::string unixDir = env("CORVANTA_BINARY_DIR") + "/page-jobs/" + name;
  jobDir_ = windowsPath(unixDir);
  // An empty job folder.
  for (int n = 0; n < 100; ++n)
    for (const char* extension : {".ps", ".png", ".pgm"}) DeleteFileA(jobFile(n, extension).c_str());
  if (!installDriver(error_)) return;
  removePrinter(name);
  const std::string port = "|/bin/sh " + env("CORVANTA_SOURCE_DIR") + "/controlpanel/tests/save_page_job.sh '" +
                           unixDir + "'";
  PRINTER_INFO_2A info = {};
  info.pPrinterName = const_cast<char*>(name_.c_str());
  info.pPortName = const_cast<char*>(port.c_str());
  info.pDriverName = const_cast<char*>(kDriverName);
  info.pPrintProcessor = const_cast<char*>("WinPrint");
  info.pDatatype = const_cast<char*>("RAW");
  handle_ = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (!handle_) error_ = "AddPrinter " + name + ": " + std::to_string(GetLastError());
}

FilePrinter::~FilePrinter() {
  if (!handle_) return;
  DeletePrinter(handle_);
  ClosePrinter(handle_);
}

std::string FilePrinter::jobFile(int n, const char* extension) const {
  return jobDir_ + "\\job" + std::to_string(n) + extension;
}

int FilePrinter::jobCount() const {
  int n = 0;
  while (GetFileAttributesA(jobFile(n, ".ps").c_str()) != INVALID_FILE_ATTRIBUTES) ++n;
  return n;
}

int FilePrinter::waitForJobs(int count, int timeoutMs) const {
  gui::waitUntil([&] { return jobCount() >= count; }, timeoutMs);
  return jobCount();
}

DeviceGeometry geometryOf(const std::string& printer) {
  DeviceGeometry g;
  HDC dc = CreateDCA(nullptr, printer.c_str(), nullptr, nullptr);
  if (!dc) return g;
  g.ox = GetDeviceCaps(dc, PHYSICALOFFSETX);
  g.oy = GetDeviceCaps(dc, PHYSICALOFFSETY);
  g.hr = GetDeviceCaps(dc, HORZRES);
  g.vr = GetDeviceCaps(dc, VERTRES);
  g.dpi = GetDeviceCaps(dc, LOGPIXELSY);
  DeleteDC(dc);
  return g;
}

GreyImage readPgm(const std::string& path, int dpi) {
  GreyImage image;
  std::ifstream file(path, std::ios::binary);
  std::string magic;
  file >> magic;
  if (magic != "P5") return image;
  auto number = [&] {
    file >> std::ws;
    while (file.peek() == '#') {
      std::string comment;
      std::getline(file, comment);
      file >> std::ws;
    }
    int value = 0;
    file >> value;
    return value;
  };
  const int width = number(), height = number(), maximum = number();
  file.get();
  if (width <= 0 || height <= 0 || width > 10000 || height > 10000 || maximum != 255) return image;
  image.pixels.resize(static_cast<size_t>(width) * height);
  if (!file.read(reinterpret_cast<char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()))) {
    image.pixels.clear();
    return image;
  }
  image.width = width;
  image.height = height;
  image.dpi = dpi;
  return image;
}

std::vector<PrintedRow> printedRows(const GreyImage& page, const DeviceGeometry& g, int fromDeviceY) {
  std::vector<PrintedRow> rows;
  if (page.pixels.empty() || g.dpi <= 0) return rows;
  // Device pixels start at the printable area, the rendering at the paper's corner.
  auto toImage = [&](int device, int offset) { return (device + offset) * page.dpi / g.dpi; };
  const int kidsX = toImage(g.ox + g.W() * 170 / 192, g.ox);
  const int labelLeft = toImage(g.ox, g.ox), labelRight = toImage(g.ox + g.W() * 26 / 384, g.ox);
  const int start = toImage(fromDeviceY, g.oy) + 2;
  if (kidsX >= page.width || labelRight >= page.width) return rows;
  int runStart = -1;
  for (int y = start; y <= page.height; ++y) {
    const bool ink = y < page.height && page.dark(kidsX, y);
    if (ink && runStart < 0) runStart = y;
    if (!ink && runStart >= 0) {
      if (y - runStart >= 3) {  // lines of a frame are thinner
        bool labelled = false;
        for (int ly = runStart; ly < y && !labelled; ++ly)
          for (int lx = labelLeft; lx <= labelRight && !labelled; ++lx) labelled = page.dark(lx, ly);
        rows.push_back({runStart, y, labelled});
      }
      runStart = -1;
    }
  }
  return rows;
}

std::string pageFolder() { return windowsPath(env("CORVANTA_BINARY_DIR") + "/page"); }

void setPageFolder(const std::string& folder) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brenmoor\\Corvanta", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, "PagePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>(folder.size() + 1));
  RegCloseKey(key);
}

bool keepScreenshot(const std::string& file, const std::string& name) {
  return CopyFileA(file.c_str(), (gui::screenshotDir() + "\\" + name + ".png").c_str(), FALSE) != 0;
}

}  // namespace page_test
