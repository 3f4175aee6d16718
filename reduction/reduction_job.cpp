// The reduction job calls: a page loads (or first builds) the printer's black
// and colour threshold matrices; each plane row is AND-ed with the matrix row
// of its raster row index.
#include <cstring>
#include <string>

#include "CorvantaReg.h"
#include "block.h"
#include "platform.h"
#include "reduction.h"
#include "threshold_matrix.h"

namespace reduction {
namespace {

constexpr size_t kPathBufferSize = 512;
constexpr const char kBlackFile[] = "kfile.red";
constexpr const char kColorFile[] = "cfile.red";

struct ReductionJob {
  const char* printerName;  // the caller's; read only
  uint8_t* blackRow;
  uint8_t* colorRow;
  uint32_t blackWidth;
  uint32_t colorWidth;
  ThresholdMatrix* blackMatrix;
  ThresholdMatrix* colorMatrix;
};

// The matrix file's path in the printer's data folder, or false when the
// folder cannot be had or the path would not fit the buffer: a file name
// without its folder would land in whatever the current directory is.
bool matrixPath(const char* printerName, const char* fileName, bool announce, char (&path)[kPathBufferSize]) {
  path[0] = '\0';
  if (!printerName) return false;
  char folder[kPathBufferSize] = {};
  GetDataFilePath(printerName, folder);
  folder[kPathBufferSize - 1] = '\0';
  if (announce) platform::debugOutput((std::string(folder) + "\n").c_str());
  const size_t folderLength = std::strlen(folder);
  const size_t nameLength = std::strlen(fileName);
  if (folderLength == 0 || folderLength + nameLength + 1 > kPathBufferSize) return false;
  std::memcpy(path, folder, folderLength);
  std::memcpy(path + folderLength, fileName, nameLength + 1);
  return true;
}

ThresholdMatrix* openMatrix(const char* printerName, const char* fileName, bool announce, uint32_t width,
                            int32_t level) {
  ThresholdMatrix* matrix = createObject<ThresholdMatrix>();
  char path[kPathBufferSize];
  if (!matrixPath(printerName, fileName, announce, path)) return matrix;  // unloaded: planes pass unchanged
  if (!matrix) return nullptr;
  if (matrix->Load(path, width, level) != kLoadOk) {
    BuildThreshholdFile(path, kMatrixBytesPerRow, kMatrixRows, level, kMatrixNoise);
    matrix->Load(path, width, level);
  }
  return matrix;
}

uint8_t* allocRow(uint32_t width) {
  return static_cast<uint8_t*>(allocBlock(static_cast<size_t>((uint64_t{width} + 7) / 8)));
}

void closePage(ReductionJob* job) {
  freeBlock(job->blackRow);
  freeBlock(job->colorRow);
  job->blackRow = job->colorRow = nullptr;
  destroyObject(job->blackMatrix);  // unloads
  destroyObject(job->colorMatrix);
  job->blackMatrix = job->colorMatrix = nullptr;
}

}  // namespace
}  // namespace reduction

using reduction::ReductionJob;

extern "C" void* OpenJob(const char* printerName) {
  ReductionJob* job = reduction::createObject<ReductionJob>();
  if (job) job->printerName = printerName;
  return job;
}

extern "C" void OpenPage(void* handle, uint32_t blackWidth, int32_t blackLevel, uint32_t colorWidth,
                         int32_t colorLevel) {
  auto* job = static_cast<ReductionJob*>(handle);
  if (!job) return;
  try {
    reduction::closePage(job);  // a page left open is closed, not leaked
    job->blackWidth = blackWidth;
    job->colorWidth = colorWidth;
    job->blackMatrix = reduction::openMatrix(job->printerName, reduction::kBlackFile, true, blackWidth, blackLevel);
    job->colorMatrix = reduction::openMatrix(job->printerName, reduction::kColorFile, false, colorWidth, colorLevel);
    job->blackRow = reduction::allocRow(blackWidth);
    job->colorRow = reduction::allocRow(colorWidth);
  } catch (...) {
    // Out of memory while composing the debug line; what was opened stays usable.
  }
}

extern "C" int32_t PlaneReduce(void* handle, uint8_t* row, int32_t isBlack, int32_t rowIndex) {
  auto* job = static_cast<ReductionJob*>(handle);
  if (!job || !row) return 0;
  const bool black = (isBlack & 0xFF) != 0;
  const uint32_t width = black ? job->blackWidth : job->colorWidth;
  uint8_t* mask = black ? job->blackRow : job->colorRow;
  const reduction::ThresholdMatrix* matrix = black ? job->blackMatrix : job->colorMatrix;
  if (!mask) return 0;  // no page open, or its row could not be allocated: the plane passes unchanged
  const uint32_t count = width / 8;
  if (!matrix || !matrix->loaded()) return static_cast<int32_t>(count);  // no matrix: keep every dot
  if (count <= (uint64_t{matrix->width()} + 7) / 8) {
    matrix->Apply(rowIndex, row, count);  // straight from the lookup data, no copy
  } else {
    matrix->Fetch(rowIndex, mask);
    for (uint32_t i = 0; i < count; ++i) row[i] &= mask[i];
  }
  return static_cast<int32_t>(count);
}

extern "C" void ClosePage(void* handle) {
  if (handle) reduction::closePage(static_cast<ReductionJob*>(handle));
}

extern "C" void CloseJob(void* handle) {
  auto* job = static_cast<ReductionJob*>(handle);
  if (!job) return;
  reduction::closePage(job);  // a page left open goes with the job
  reduction::destroyObject(job);
}
