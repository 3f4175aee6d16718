// The calibration job calls: the same page and plane calls as the reduction
// library, with mask rows generated live by two error-diffusion filters whose
// level can change between bands. The black plane gets a new mask row on
// every call; the colour planes share one row per raster row index.
#include "calibration.h"

#include <cstring>

#include "bit_filter.h"
#include "block.h"

namespace calibration {
namespace {

using reduction::ErrorDiffusionFilter;

struct CalibrationJob {
  int16_t lastColorRow;  // raster row index of the colour mask row, -1 for none
  uint8_t* blackRow;
  uint8_t* colorRow;
  uint32_t blackWidth;
  uint32_t colorWidth;
  ErrorDiffusionFilter* blackFilter;
  ErrorDiffusionFilter* colorFilter;
};

// A filter begun at width and level, or none when it cannot be had: its planes
// then pass unchanged.
ErrorDiffusionFilter* openFilter(uint32_t width, int32_t level) {
  ErrorDiffusionFilter* filter = reduction::createObject<ErrorDiffusionFilter>();
  if (filter && filter->Begin(width, static_cast<uint16_t>(level & 0xFFFF)) != 0) {
    filter->Finish();
    reduction::destroyObject(filter);
    filter = nullptr;
  }
  return filter;
}

void closeFilter(ErrorDiffusionFilter*& filter) {
  if (!filter) return;
  filter->Finish();
  reduction::destroyObject(filter);
  filter = nullptr;
}

uint8_t* allocRow(uint32_t width) {
  return static_cast<uint8_t*>(reduction::allocBlock(static_cast<size_t>((uint64_t{width} + 7) / 8)));
}

void closePage(CalibrationJob* job) {
  reduction::freeBlock(job->blackRow);
  reduction::freeBlock(job->colorRow);
  job->blackRow = job->colorRow = nullptr;
  closeFilter(job->blackFilter);
  closeFilter(job->colorFilter);
}

int32_t applyMask(uint8_t* row, const uint8_t* mask, uint32_t width) {
  const uint32_t count = width / 8;
  for (uint32_t i = 0; i < count; ++i) row[i] &= mask[i];
  return static_cast<int32_t>(count);
}

}  // namespace
}  // namespace calibration

using calibration::CalibrationJob;

extern "C" void* CalOpenJob(const char*) {
  CalibrationJob* job = reduction::createObject<CalibrationJob>();
  if (job) job->lastColorRow = -1;
  return job;
}

extern "C" void CalOpenPage(void* handle, uint32_t blackWidth, int32_t blackLevel, uint32_t colorWidth,
                            int32_t colorLevel) {
  auto* job = static_cast<CalibrationJob*>(handle);
  if (!job) return;
  calibration::closePage(job);  // a page left open is closed, not leaked
  job->blackWidth = blackWidth;
  job->colorWidth = colorWidth;
  job->blackFilter = calibration::openFilter(blackWidth, blackLevel);
  job->colorFilter = calibration::openFilter(colorWidth, colorLevel);
  job->blackRow = calibration::allocRow(blackWidth);
  job->colorRow = calibration::allocRow(colorWidth);
  job->lastColorRow = -1;
}

extern "C" int32_t CalPlaneReduce(void* handle, uint8_t* row, int32_t isBlack, int32_t rowIndex) {
  auto* job = static_cast<CalibrationJob*>(handle);
  if (!job || !row) return 0;
  if ((isBlack & 0xFF) != 0) {
    if (!job->blackFilter || !job->blackRow) return 0;
    std::memset(job->blackRow, 0xFF, job->blackWidth / 8);
    job->blackFilter->FilterRow(job->blackRow);
    return calibration::applyMask(row, job->blackRow, job->blackWidth);
  }
  if (!job->colorFilter || !job->colorRow) return 0;
  if (rowIndex != static_cast<int32_t>(job->lastColorRow)) {
    std::memset(job->colorRow, 0xFF, job->colorWidth / 8);
    job->colorFilter->FilterRow(job->colorRow);
    job->lastColorRow = static_cast<int16_t>(reduction::lowSigned16(rowIndex));
  }
  return calibration::applyMask(row, job->colorRow, job->colorWidth);
}

extern "C" void CalClosePage(void* handle) {
  if (handle) calibration::closePage(static_cast<CalibrationJob*>(handle));
}

extern "C" void CalCloseJob(void* handle) {
  auto* job = static_cast<CalibrationJob*>(handle);
  if (!job) return;
  calibration::closePage(job);  // a page left open goes with the job
  reduction::destroyObject(job);
}

extern "C" void CalSetCalibrationPercentage(void* handle, int32_t percentage) {
  auto* job = static_cast<CalibrationJob*>(handle);
  if (!job) return;
  const uint16_t level = static_cast<uint16_t>(percentage & 0xFFFF);
  if (job->blackFilter) job->blackFilter->setLevel(level);
  if (job->colorFilter) job->colorFilter->setLevel(level);
}
