// calibration: the reduction job calls for calibration pages. Masks are
// generated live by the error-diffusion filter instead of read from threshold
// files, and the level can be lowered in mid-page, band by band.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void* CalOpenJob(const char* printerName);  // the name is ignored
void CalOpenPage(void* job, uint32_t blackWidth, int32_t blackLevel, uint32_t colorWidth, int32_t colorLevel);
int32_t CalPlaneReduce(void* job, uint8_t* row, int32_t isBlack, int32_t rowIndex);
void CalClosePage(void* job);
void CalCloseJob(void* job);
void CalSetCalibrationPercentage(void* job, int32_t percentage);

#ifdef __cplusplus
}
#endif
