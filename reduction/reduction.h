// reduction: thins raster plane rows by AND-ing them with rows of the
// printer's black and colour threshold matrices (loaded from, or first built
// into, "kfile.red" and "cfile.red" in the printer's data folder).
// The calibration library exports the same five calls with the prefix Cal;
// a parser picks one set per job and calls it through ReductionFunctions.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Job calls shared by the reduction and calibration sets.
typedef void* (*ReductionOpenJobFunction)(const char* printerName);
typedef void (*ReductionOpenPageFunction)(void* job, uint32_t blackWidth, int32_t blackLevel, uint32_t colorWidth,
                                          int32_t colorLevel);
typedef int32_t (*ReductionPlaneReduceFunction)(void* job, uint8_t* row, int32_t isBlack, int32_t rowIndex);
typedef void (*ReductionClosePageFunction)(void* job);
typedef void (*ReductionCloseJobFunction)(void* job);
typedef void (*ReductionSetCalibrationPercentageFunction)(void* job, int32_t percentage);

// The function table a parser fills at job start, in this order.
typedef struct ReductionFunctions {
  ReductionOpenJobFunction openJob;
  ReductionOpenPageFunction openPage;
  ReductionPlaneReduceFunction planeReduce;
  ReductionClosePageFunction closePage;
  ReductionCloseJobFunction closeJob;
  ReductionSetCalibrationPercentageFunction setCalibrationPercentage;  // null for the reduction set
} ReductionFunctions;

void* OpenJob(const char* printerName);
void OpenPage(void* job, uint32_t blackWidth, int32_t blackLevel, uint32_t colorWidth, int32_t colorLevel);
int32_t PlaneReduce(void* job, uint8_t* row, int32_t isBlack, int32_t rowIndex);
void ClosePage(void* job);
void CloseJob(void* job);

// Writes a threshold file (the library calls it with 300 bytes per row, 1200
// rows, noise 40). Returns 0, or -1, -4, -6 on failure.
int32_t BuildThreshholdFile(const char* path, uint32_t bytesPerRow, int32_t rows, int32_t level, int32_t noise);

#ifdef __cplusplus
}
#endif
