// VaskCA: the Canon raster plug-in. parseFile copies a Canon job from the input
// pipe to the output buffer and thins the dots of its ESC ( A rows and
// ESC ( F bands through the reduction (or calibration) library.
//
// The declarations below the export are internal: the static library exposes
// them to the tests; the DLL exports only parseFile.
#pragma once

#include <cstdint>

#include "ParserContext.h"
#include "reduction.h"

extern "C" void CORVANTA_CDECL parseFile(void* context);

namespace canon {

// Plug-in-wide calibration thresholds, shared by every job of the loaded plug-in.
struct CalibrationThresholds {
  int16_t minimumSkip;
  int16_t minimumCount;
};
CalibrationThresholds calibrationThresholds();
void resetCalibrationThresholds();  // back to the load-time values (4, 2)

// Replaces the reduction and calibration sets (nullptr restores the libraries).
void setReductionOverride(const ReductionFunctions* functions);

// One three-level byte (5 base-3 pixels): the mask of its non-zero pixels, and
// the byte with the pixels whose mask bit is clear set to 0. Bytes 243..255
// have no pixel values: mask 0, kept unchanged.
uint8_t threeLevelMask(uint8_t value);
uint8_t threeLevelApply(uint8_t value, uint8_t mask);

}  // namespace canon
