// The library as its users meet it: loaded by name at run time, every export
// resolved by name, and a little work done through the resolved addresses.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "bounded_thread.h"
#include "VaskUtil.h"
#include "platform.h"

namespace {

constexpr const char* kExports[] = {
    "InBuffer_initialize",       "InBuffer_writebytes",       "InBuffer_putc",
    "InBuffer_readbytes",        "InBuffer_getc",             "InBuffer_peekc",
    "InBuffer_ungetc",           "InBuffer_NoData",           "InBuffer_threadDone",
    "InBuffer_terminate",        "OutBuffer_initialize",      "OutBuffer_setBufferSize",
    "OutBuffer_GetBufferSize",   "OutBuffer_writebytes",      "OutBuffer_putc",
    "OutBufferFlush",            "OutBufferSetSaveState",     "OutBuffer_CommandSendPrep",
    "OutBuffer_CommandSendDone", "OutBuffer_GetLastError",    "OutBuffer_CancelPrint",
    "OutBuffer_GetWriteFunctionPtr", "OutBuffer_terminate",   "decodePlaneToTable",
    "CompressMode2",             "decompressMode9",           "CountDotsInPlane",
    "getPercentage",             "decodePlaneToTableBounded", "decompressMode9Bounded",
};

// The codec signatures a plug-in built against the library's published
// interface calls: three arguments, the destination sized by the caller.
using DecodePlaneToTable3 = int32_t (*)(const uint8_t*, int32_t, uint8_t*);
using DecompressMode9_3 = int32_t (*)(const uint8_t*, int32_t, uint8_t*);
static_assert(std::is_same_v<decltype(&decodePlaneToTable), DecodePlaneToTable3>, "three-argument export");
static_assert(std::is_same_v<decltype(&decompressMode9), DecompressMode9_3>, "three-argument export");

// The test program and the library share one folder.
struct Library : platform::SharedLibrary {
  Library() : platform::SharedLibrary(VASKUTIL_FILE_NAME) {}
};

TEST(Library, LoadsByNameAndResolvesEveryExport) {
  Library lib;
  ASSERT_TRUE(lib.loaded()) << "could not load " << VASKUTIL_FILE_NAME;
  for (const char* name : kExports) EXPECT_NE(lib.find(name), nullptr) << name;
}

TEST(Library, KeepsItsInsidesPrivate) {
  Library lib;
  ASSERT_TRUE(lib.loaded());
  for (const char* name : {"sleepMs", "_ZN8platform7sleepMsEj", "_ZN8platform11allocZeroedEm",
                           "_ZN8platform11allocZeroedEj", "InBuffer", "OutBuffer_deliver"}) {
    EXPECT_EQ(lib.find(name), nullptr) << name;
  }
}

TEST(Library, CodecsThroughResolvedAddresses) {
  Library lib;
  ASSERT_TRUE(lib.loaded());
  auto compress = lib.get<decltype(&CompressMode2)>("CompressMode2");
  auto decode = lib.get<DecodePlaneToTable3>("decodePlaneToTable");
  auto mode9 = lib.get<DecompressMode9_3>("decompressMode9");
  auto decodeBounded = lib.get<decltype(&decodePlaneToTableBounded)>("decodePlaneToTableBounded");
  auto mode9Bounded = lib.get<decltype(&decompressMode9Bounded)>("decompressMode9Bounded");
  auto dots = lib.get<decltype(&CountDotsInPlane)>("CountDotsInPlane");
  auto percentage = lib.get<decltype(&getPercentage)>("getPercentage");
  ASSERT_TRUE(compress && decode && mode9 && decodeBounded && mode9Bounded && dots && percentage);

  const uint8_t row[] = {0x00, 0x00, 0x05, 0x05, 0x07, 0x07, 0x07, 0x07};
  uint8_t encoded[16] = {};
  ASSERT_EQ(compress(row, 0, 8, encoded, 1), 7);
  const uint8_t expected[] = {0xFF, 0x00, 0x01, 0x05, 0x05, 0xFD, 0x07};
  EXPECT_EQ(std::memcmp(encoded, expected, 7), 0);
  uint8_t decoded[8] = {};
  EXPECT_EQ(decode(encoded, 7, decoded), 8);
  EXPECT_EQ(std::memcmp(decoded, row, 8), 0);
  uint8_t cut[8] = {};
  EXPECT_EQ(decodeBounded(encoded, 7, cut, 4), 4);
  EXPECT_EQ(std::memcmp(cut, row, 4), 0);
  EXPECT_EQ(cut[4], 0);

  // The three-argument forms write as far as the row reaches, whatever lies
  // on the stack where a fourth argument would be: 3 * 128 bytes of run and a
  // mode 9 run 260 positions in.
  std::vector<uint8_t> wide(400, 0xEE);
  const uint8_t runs[] = {0x81, 0x41, 0x81, 0x42, 0x81, 0x43};
  EXPECT_EQ(decode(runs, 6, wide.data()), 384);
  EXPECT_EQ(wide[383], 0x43);
  EXPECT_EQ(wide[384], 0xEE);
  const uint8_t far[] = {0xE0, 0xFF, 0x02, 0x77};
  EXPECT_EQ(mode9(far, 4, wide.data()), 262);
  EXPECT_EQ(wide[261], 0x77);

  uint8_t seed[4] = {};
  const uint8_t delta[] = {0x80, 0x55};
  EXPECT_EQ(mode9(delta, 2, seed), 2);
  EXPECT_EQ(seed[1], 0x55);
  EXPECT_EQ(mode9Bounded(far, 4, seed, 4), 4);
  EXPECT_EQ(dots(row, 8), 2 * 2 + 4 * 3);
  EXPECT_DOUBLE_EQ(percentage(100, 70), 30.0);
}

struct Recorder {
  std::vector<uint8_t> bytes;
  int calls = 0;
  bool failFirst = false;
  void* output = nullptr;
  decltype(&OutBuffer_GetLastError) lastError = nullptr;
  uint32_t errorAtRetry = 0;  // what the buffer reported while it retried
};

int CORVANTA_WINAPI recordWrite(void* context, const uint8_t* bytes, uint32_t count, uint32_t* accepted) {
  auto* r = static_cast<Recorder*>(context);
  if (r->calls++ == 0 && r->failFirst) {
    *accepted = 0;
    platform::setLastError(28);  // out of paper, as a real WritePort reports it
    return 0;
  }
  if (r->calls == 2 && r->failFirst) r->errorAtRetry = r->lastError(r->output);
  r->bytes.insert(r->bytes.end(), bytes, bytes + count);
  *accepted = count;
  return 1;
}

TEST(Library, PipeAndBufferThroughResolvedAddresses) {
  Library lib;
  ASSERT_TRUE(lib.loaded());
  auto inInit = lib.get<decltype(&InBuffer_initialize)>("InBuffer_initialize");
  auto inWrite = lib.get<decltype(&InBuffer_writebytes)>("InBuffer_writebytes");
  auto inGetc = lib.get<decltype(&InBuffer_getc)>("InBuffer_getc");
  auto inDone = lib.get<decltype(&InBuffer_threadDone)>("InBuffer_threadDone");
  auto inTerminate = lib.get<decltype(&InBuffer_terminate)>("InBuffer_terminate");
  auto outInit = lib.get<decltype(&OutBuffer_initialize)>("OutBuffer_initialize");
  auto outSize = lib.get<decltype(&OutBuffer_setBufferSize)>("OutBuffer_setBufferSize");
  auto outPutc = lib.get<decltype(&OutBuffer_putc)>("OutBuffer_putc");
  auto outError = lib.get<decltype(&OutBuffer_GetLastError)>("OutBuffer_GetLastError");
  auto outTerminate = lib.get<decltype(&OutBuffer_terminate)>("OutBuffer_terminate");

  // The library reads the thread's last-error value, which the write function
  // set through its own copy of the platform layer: the out-of-paper failure
  // is reported by the buffer and retried after 500 ms.
  Recorder recorder;
  recorder.failFirst = true;
  recorder.lastError = outError;
  void* output = outInit(&recordWrite, &recorder);
  recorder.output = output;
  outSize(output, 4096);
  void* pipe = inInit();
  ASSERT_TRUE(pipe && output);
  testing_seams::BoundedThread reader([&] {
    for (int c; (c = inGetc(pipe)) >= 0;) outPutc(c, output);
    inDone(pipe);
  });
  std::vector<uint8_t> job(10000);
  for (size_t i = 0; i < job.size(); ++i) job[i] = static_cast<uint8_t>(i * 13);
  EXPECT_EQ(inWrite(pipe, job.data(), static_cast<int32_t>(job.size())), 0);
  inTerminate(pipe);
  reader.join();
  outTerminate(output, 0);
  EXPECT_EQ(recorder.bytes, job);
  EXPECT_EQ(recorder.calls, 4);
  EXPECT_EQ(recorder.errorAtRetry, 28u);
}

}  // namespace
