// Both libraries as the parser plug-ins meet them: loaded by name, every
// export resolved, the files they build identical on every build, and each
// library drawing from random states of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "calibration.h"
#include "platform.h"
#include "reduction.h"
#include "test_files.h"

namespace {

using namespace reduction_tests;

using Library = platform::SharedLibrary;

using BuildFunction = int32_t (*)(const char*, uint32_t, int32_t, int32_t, int32_t);

struct Sets {
  Library reduction{REDUCTION_FILE_NAME};
  Library calibration{CALIBRATION_FILE_NAME};

  ReductionFunctions reductionSet() const {
    return {reduction.get<ReductionOpenJobFunction>("OpenJob"), reduction.get<ReductionOpenPageFunction>("OpenPage"),
            reduction.get<ReductionPlaneReduceFunction>("PlaneReduce"),
            reduction.get<ReductionClosePageFunction>("ClosePage"),
            reduction.get<ReductionCloseJobFunction>("CloseJob"), nullptr};
  }
  ReductionFunctions calibrationSet() const {
    return {calibration.get<ReductionOpenJobFunction>("CalOpenJob"),
            calibration.get<ReductionOpenPageFunction>("CalOpenPage"),
            calibration.get<ReductionPlaneReduceFunction>("CalPlaneReduce"),
            calibration.get<ReductionClosePageFunction>("CalClosePage"),
            calibration.get<ReductionCloseJobFunction>("CalCloseJob"),
            calibration.get<ReductionSetCalibrationPercentageFunction>("CalSetCalibrationPercentage")};
  }
};

TEST(Libraries, LoadByNameAndResolveEveryExport) {
  Sets sets;
  ASSERT_TRUE(sets.reduction.loaded()) << REDUCTION_FILE_NAME;
  ASSERT_TRUE(sets.calibration.loaded()) << CALIBRATION_FILE_NAME;
  for (const char* name : {"OpenJob", "OpenPage", "PlaneReduce", "ClosePage", "CloseJob", "BuildThreshholdFile"})
    EXPECT_NE(sets.reduction.find(name), nullptr) << name;
  for (const char* name : {"CalOpenJob", "CalOpenPage", "CalPlaneReduce", "CalClosePage", "CalCloseJob",
                           "CalSetCalibrationPercentage"})
    EXPECT_NE(sets.calibration.find(name), nullptr) << name;
  // The filter and the random state stay inside.
  for (const char* name : {"_ZN9reduction10nextRandomEv", "GetDataFilePath", "CalOpenJob"})
    EXPECT_EQ(sets.reduction.find(name), nullptr) << name;
}

// The files of levels 25, 50 and 75 have the same digests in the native,
// win32 and win64 builds; calibration pages drawn on the same thread first
// do not change them, because each library has its own random states.
TEST(Libraries, BuildTheSameFilesEverywhereWithRandomStatesOfTheirOwn) {
  Sets sets;
  ASSERT_TRUE(sets.reduction.loaded() && sets.calibration.loaded());
  const auto build = sets.reduction.get<BuildFunction>("BuildThreshholdFile");
  const ReductionFunctions cal = sets.calibrationSet();
  ASSERT_NE(build, nullptr);
  const std::string folder = scratchFolder("library");
  const std::pair<int, uint64_t> levels[] = {{25, kDigestLevel25}, {50, kDigestLevel50}, {75, kDigestLevel75}};
  for (const auto& [level, expected] : levels) {
    const std::string path = folder + "level" + std::to_string(level) + ".red";
    onFreshThread([&, level = level] {
      void* job = cal.openJob(nullptr);
      cal.openPage(job, 2400, 50, 2400, 50);
      Bytes row(300, 0xFF);
      for (int r = 0; r < 10; ++r) cal.planeReduce(job, row.data(), 1, r);
      cal.closePage(job);
      cal.closeJob(job);
      EXPECT_EQ(build(path.c_str(), 300, 1200, level, 40), 0);
    });
    EXPECT_EQ(digest(readFile(path)), expected) << level;
  }
}

TEST(Libraries, ThinAPageThroughTheFunctionTable) {
  Sets sets;
  ASSERT_TRUE(sets.reduction.loaded() && sets.calibration.loaded());
  const char sep = platform::pathSeparator();
  const std::string folder = platform::appDataFolder() + sep + "Corvanta" + sep + "Library_Printer" + sep;
  std::remove((folder + "kfile.red").c_str());
  for (const ReductionFunctions& set : {sets.reductionSet(), sets.calibrationSet()}) {
    void* job = set.openJob("Library Printer");
    ASSERT_NE(job, nullptr);
    set.openPage(job, 4800, 50, 4800, 50);
    if (set.setCalibrationPercentage) set.setCalibrationPercentage(job, 50);
    size_t kept = 0;
    for (int r = 0; r < 100; ++r) {
      for (int plane = 0; plane < 4; ++plane) {
        Bytes row(600, 0xFF);
        ASSERT_EQ(set.planeReduce(job, row.data(), plane == 0, r), 600);
        kept += countOnes(row.data(), row.size());
      }
    }
    EXPECT_NEAR(100.0 * kept / (4800.0 * 400), 50.0, 2.0);
    set.closePage(job);
    set.closeJob(job);
  }
  EXPECT_EQ(readFile(folder + "kfile.red").size(), 375020u);
}

}  // namespace
