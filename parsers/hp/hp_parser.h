// The HP plug-in's entry point and a seam for tests.
#pragma once

#include "ParserContext.h"
#include "reduction.h"

extern "C" void CORVANTA_CDECL parseFile(void* context);

namespace hp {

// Tests replace the reduction (or calibration) set with their own; nullptr
// restores the libraries'. Not exported.
void setReductionOverride(const ReductionFunctions* functions);

}  // namespace hp
