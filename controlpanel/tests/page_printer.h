// A printer of the test's Wine prefix whose jobs reach files: Wine's
// PostScript driver with the tests' PPD, and a pipe port that hands each job
// to save_page_job.sh, which keeps it with its Ghostscript renderings in a
// folder of the build tree. Also reads the renderings back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace page_test {

class FilePrinter {
 public:
  // Adds the printer (replacing one of the same name) with an empty job folder.
  explicit FilePrinter(const std::string& name);
  ~FilePrinter();
  FilePrinter(const FilePrinter&) = delete;
  FilePrinter& operator=(const FilePrinter&) = delete;
  bool ready() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }
  const std::string& name() const { return name_; }
  // Jobs received so far (job0.ps, job1.ps, ...), waiting up to timeoutMs
  // for at least count of them.
  int waitForJobs(int count, int timeoutMs = 30000) const;
  int jobCount() const;
  // Windows path of job n's rendering (".png" or ".pgm").
  std::string jobFile(int n, const char* extension) const;

 private:
  std::string name_;
  std::string jobDir_;  // Windows path
  HANDLE handle_ = nullptr;
  std::string error_;
};

// Page geometry of a printer's device context, in device pixels.
struct DeviceGeometry {
  int ox = 0, oy = 0, hr = 0, vr = 0, dpi = 300;
  int W() const { return hr - ox; }
  int headerBottom() const { return (vr - oy) * 9 / 242 + oy + 4; }
};
DeviceGeometry geometryOf(const std::string& printer);

struct GreyImage {
  int width = 0, height = 0, dpi = 0;
  std::vector<uint8_t> pixels;
  bool dark(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] < 235; }
};
// Reads a binary PGM file; empty on any fault.
GreyImage readPgm(const std::string& path, int dpi);

// One picture row of a printed calibration document: its vertical extent in
// image pixels and whether its label column carries ink.
struct PrintedRow {
  int top, bottom;
  bool labelled;
};
// Finds the rows of pictures in a page rendering: runs of ink down the
// middle of the "kids" picture column below fromDeviceY.
std::vector<PrintedRow> printedRows(const GreyImage& page, const DeviceGeometry& g, int fromDeviceY);

// The build's page folder (Windows path), and the PagePath value naming a folder.
std::string pageFolder();
void setPageFolder(const std::string& folder);

// Copies a file into the screenshots folder under name.
bool keepScreenshot(const std::string& file, const std::string& name);

}  // namespace page_test
