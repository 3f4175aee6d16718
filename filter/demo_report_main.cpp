// corvanta-demo-report OUTDIR: writes OUTDIR/index.html from what `make demo`
// left in OUTDIR (see demo_report.h).
#include <cstdio>
#include <string>

#include "demo_report.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvanta-demo-report OUTDIR\n");
    return 2;
  }
  std::string error;
  if (!filter::writeDemoReport(argv[1], error)) {
    std::fprintf(stderr, "ERROR: corvanta-demo-report: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s/index.html\n", argv[1]);
  return 0;
}
