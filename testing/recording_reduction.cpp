#include "recording_reduction.h"

namespace plugin_test {
namespace {

Recorder* gRecorder = nullptr;

void* recOpenJob(const char*) {
  ++gRecorder->openJobs;
  return gRecorder;
}
void recOpenPage(void*, uint32_t blackWidth, int32_t blackLevel, uint32_t colorWidth, int32_t colorLevel) {
  ++gRecorder->openPages;
  gRecorder->blackWidth = blackWidth;
  gRecorder->colorWidth = colorWidth;
  gRecorder->blackLevel = blackLevel;
  gRecorder->colorLevel = colorLevel;
}
int32_t recPlaneReduce(void*, uint8_t* row, int32_t isBlack, int32_t rowIndex) {
  const size_t width = (((isBlack & 0xFF) ? gRecorder->blackWidth : gRecorder->colorWidth) + 7) / 8;
  gRecorder->reduces.push_back({std::vector<uint8_t>(row, row + width), isBlack, rowIndex});
  for (size_t i = 0; i < width; ++i) row[i] &= gRecorder->mask;
  return static_cast<int32_t>(width);
}
void recClosePage(void*) { ++gRecorder->closePages; }
void recCloseJob(void*) { ++gRecorder->closeJobs; }
void recSetCalibration(void*, int32_t percentage) { gRecorder->calibrationPercentages.push_back(percentage); }

const ReductionFunctions kRecording{recOpenJob, recOpenPage, recPlaneReduce, recClosePage, recCloseJob,
                                    recSetCalibration};

}  // namespace

RecordingReduction::RecordingReduction(SetReductionOverride setOverride) : setOverride_(setOverride) {
  gRecorder = new Recorder;
  setOverride_(&kRecording);
}
RecordingReduction::~RecordingReduction() {
  setOverride_(nullptr);
  delete gRecorder;
  gRecorder = nullptr;
}
Recorder& RecordingReduction::recorder() { return *gRecorder; }

}  // namespace plugin_test
