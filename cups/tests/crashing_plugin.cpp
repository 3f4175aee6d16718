// A parser plug-in that crashes on every job, for the backend's fall-back to
// the original bytes.
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) void parseFile(void*) { std::abort(); }
