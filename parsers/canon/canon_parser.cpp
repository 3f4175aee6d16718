// The Canon raster plug-in: copy loop, ESC ( letter commands and the raster
// path that thins ESC ( A rows and ESC ( F bands.
#include "canon_parser.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "DotTotals.h"
#include "VaskUtil.h"
#include "calibration.h"
#include "platform.h"

namespace {

constexpr int kEndOfInput = -1;
constexpr int kEscape = 0x1B;
constexpr int kFormFeed = 0x0C;
constexpr uint8_t kRowEnd = 0x80;       // ends each row of an ESC ( F band
constexpr int kNoRowColour = 0xFF;      // ESC ( A colour byte without a row
constexpr size_t kColourListSize = 20;  // room of the ESC ( L list
constexpr int32_t kMaxLength = 0xFFFF;  // a command length is 16 bits
constexpr int32_t kMaxHorizontal = 2 * 0xFFFF;
constexpr uint32_t kFinalWaitMs = 1000;
constexpr int32_t kMaxWrite = kOutBufferMaxWrite;

// Thresholds of the calibration rule, shared by every job of the plug-in.
constexpr canon::CalibrationThresholds kInitialThresholds{4, 2};
canon::CalibrationThresholds gThresholds = kInitialThresholds;

const ReductionFunctions* gOverride = nullptr;
const ReductionFunctions kReductionSet{OpenJob, OpenPage, PlaneReduce, ClosePage, CloseJob, nullptr};
const ReductionFunctions kCalibrationSet{CalOpenJob,   CalOpenPage,  CalPlaneReduce,
                                         CalClosePage, CalCloseJob,  CalSetCalibrationPercentage};

// Plane index of an ESC ( A colour letter; -1 for a letter outside the table.
int planeOfColour(int colour) {
  switch (colour) {
    case 'K': case 'k': return 0;
    case 'Y': return 1;
    case 'M': return 2;
    case 'C': return 3;
    case 'y': return 4;
    case 'm': return 5;
    case 'c': return 6;
    default: return -1;
  }
}

// ESC ( t records are assigned to the inks in this order.
constexpr std::array<char, 8> kInkOrder{'C', 'M', 'Y', 'K', 'c', 'm', 'y', 'k'};

int inkSlot(int colour) {
  for (size_t i = 0; i < kInkOrder.size(); ++i)
    if (kInkOrder[i] == colour) return static_cast<int>(i);
  return -1;
}

struct Ink {
  int32_t bitsPerPixel = 1;
  int32_t packing = 0;
};

constexpr int32_t kThreeLevelPacking = 1;
// ESC ( A rows: one bit a pixel, every set bit a dot.
constexpr Ink kBilevelInk{1, 0};
constexpr int kPlaneCount = 7;

struct CanonJob {
  void* in = nullptr;
  void* out = nullptr;
  bool calibration = false;
  int16_t blackKeep = 0;
  int16_t colourKeep = 0;
  ReductionFunctions fn{};
  void* job = nullptr;

  int32_t planeCount = 0;
  int32_t blackPlanes = 0;
  int32_t colourPlanes = 0;
  int32_t blackHorizontal = 0, blackVertical = 0;
  int32_t colourHorizontal = 0, colourVertical = 0;
  int32_t planeIndex = 0;
  int32_t row = 0;
  int32_t yOffsetCount = 0;

  bool pageOpen = false;
  int currentColour = 0;
  std::array<uint8_t, kColourListSize> colourList{};
  bool hasColourList = false;
  int32_t colourListCount = 0;
  int32_t colourListIndex = 0;
  int32_t bitsPerPixel = 1;
  int32_t packing = 0;
  std::array<Ink, 8> inks{};
  int32_t bandHeight = 1;
  bool unknownColour = false;

  // Page buffers; capacity is the longest decoded row they take.
  int32_t capacity = 0;
  int32_t reduceBytes = 0;  // bytes of a row the reduction reads
  uint8_t* decoded = nullptr;
  uint8_t* encoded = nullptr;
  uint8_t* scratch = nullptr;
  uint8_t* band = nullptr;
  int32_t bandCapacity = 0;
  // One command's payload (a 16-bit length at most); job lifetime.
  uint8_t* payload = nullptr;

  // Inside the context's working area, for the host to read after the job.
  plugin::DotTotals* totals = nullptr;
  int32_t pageRows = 0;  // rows the open page has advanced so far

  // --- pipe access
  int get() { return InBuffer_getc(in); }
  int peek() { return InBuffer_peekc(in); }
  void put(int c) { OutBuffer_putc(c & 0xFF, out); }
  void write(const uint8_t* bytes, int32_t count) {
    while (count > 0) {
      const int32_t part = std::min(count, kMaxWrite);
      OutBuffer_writebytes(out, bytes, part);
      bytes += part;
      count -= part;
    }
  }
  // Reads count bytes; fewer only at the end of input (the pipe hands out
  // whole requests only, so the rest is fetched byte by byte then).
  int32_t read(uint8_t* destination, int32_t count) {
    if (count <= 0) return 0;
    if (InBuffer_readbytes(in, destination, count) == count) return count;
    int32_t got = 0;
    for (int c; got < count && (c = get()) != kEndOfInput; ++got) destination[got] = static_cast<uint8_t>(c);
    return got;
  }
  // Copies count bytes from input to output unchanged; false at end of input.
  bool copyThrough(int32_t count) {
    uint8_t chunk[4096];
    while (count > 0) {
      const int32_t want = std::min<int32_t>(count, sizeof chunk);
      const int32_t got = read(chunk, want);
      write(chunk, got);
      if (got < want) return false;
      count -= got;
    }
    return true;
  }
  // Reads and writes a little-endian 16-bit length; -1 at end of input.
  int32_t copyLength() {
    const int low = get();
    if (low == kEndOfInput) return -1;
    put(low);
    const int high = get();
    if (high == kEndOfInput) return -1;
    put(high);
    return low | (high << 8);
  }
  // Reads and writes a big-endian 16-bit number; -1 at end of input.
  int32_t copyBigEndian() {
    const int high = get();
    if (high == kEndOfInput) return -1;
    put(high);
    const int low = get();
    if (low == kEndOfInput) return -1;
    put(low);
    return (high << 8) | low;
  }
  // Reads a raster command's count header bytes, written later with the row or
  // band; at the end of input writes those it got and returns false.
  bool readHeader(uint8_t* header, int count) {
    for (int i = 0; i < count; ++i) {
      const int c = get();
      if (c == kEndOfInput) {
        write(header, i);
        return false;
      }
      header[i] = static_cast<uint8_t>(c);
    }
    return true;
  }
  void putLength(int32_t length) {
    put(length & 0xFF);
    put((length >> 8) & 0xFF);
  }

  void run();
  void dispatch();
  void command(int letter);
  void rasterRow();
  void rasterBand();
  void colourList_();
  void bandHeight_();
  void resolution();
  void skip();
  void rasterMode();
  void calibrationRule(int32_t skipCount);
  void takeCalibrationStep();
  void openPage();
  // Adds the rows the open page has advanced past its furthest row so far.
  void countRows() {
    if (pageOpen && row > pageRows) {
      totals->rows += static_cast<uint32_t>(row - pageRows);
      pageRows = row;
    }
  }
  void closePage();
  void releasePage();
  int32_t thinAndEncode(int32_t n, int plane, const Ink& ink, bool black);
};

using CommandHandler = void (CanonJob::*)();

struct CommandEntry {
  char letter;
  CommandHandler handler;
};

void copyLengthAndPayload(CanonJob& job) {
  const int32_t length = job.copyLength();
  if (length > 0) job.copyThrough(length);
}

void CanonJob::colourList_() {
  const int32_t length = copyLength();
  if (length < 0) return;
  hasColourList = true;
  planeCount = length;
  colourListIndex = 0;
  colourList.fill(0);
  // Entries beyond the list's room are copied through and ignored.
  colourListCount = std::min<int32_t>(length, kColourListSize);
  for (int32_t i = 0; i < length; ++i) {
    const int c = get();
    if (c == kEndOfInput) {
      colourListCount = std::min(colourListCount, i);
      return;
    }
    put(c);
    if (i < colourListCount) colourList[static_cast<size_t>(i)] = static_cast<uint8_t>(c);
  }
}

void CanonJob::bandHeight_() {
  if (copyLength() < 0) return;
  const int height = get();
  if (height == kEndOfInput) return;
  put(height);
  bandHeight = height;
}

void CanonJob::resolution() {
  const int32_t length = copyLength();
  if (length < 0) return;
  if (length == 2) {
    const int32_t value = copyBigEndian();
    if (value < 0) return;
    blackHorizontal = blackVertical = colourHorizontal = colourVertical = value;
  } else if (length == 4) {
    const int32_t vertical = copyBigEndian();
    if (vertical < 0) return;
    const int32_t horizontal = copyBigEndian();
    if (horizontal < 0) return;
    blackVertical = colourVertical = vertical;
    blackHorizontal = colourHorizontal = horizontal;
  }
  // Rows carry two dot positions per resolution unit; bounded so that
  // repeated commands cannot overflow the width.
  blackHorizontal = std::min(blackHorizontal * 2, kMaxHorizontal);
  colourHorizontal = std::min(colourHorizontal * 2, kMaxHorizontal);
  planeCount = 4;
  blackPlanes = 1;
  colourPlanes = 3;
}

void CanonJob::skip() {
  if (copyLength() < 0) return;
  const int32_t count = copyBigEndian();
  if (count < 0) return;
  row += count;
  countRows();
  if (calibration) calibrationRule(count);
}

void CanonJob::takeCalibrationStep() {
  const int16_t step = blackKeep == 100 ? 5 : 10;
  blackKeep = static_cast<int16_t>(blackKeep - step);
  colourKeep = static_cast<int16_t>(colourKeep - step);
  if (fn.setCalibrationPercentage) fn.setCalibrationPercentage(job, blackKeep);
}

void CanonJob::calibrationRule(int32_t skipCount) {
  if (hasColourList) gThresholds = {-1, 2};
  if (unknownColour) gThresholds = {34, -1};
  if (skipCount <= gThresholds.minimumSkip || unknownColour) return;
  ++yOffsetCount;
  if (yOffsetCount > gThresholds.minimumCount) takeCalibrationStep();
  char line[96];
  std::snprintf(line, sizeof line, "YOffset Count =%d K=%d%% CMY=%d%%\n", yOffsetCount, blackKeep, colourKeep);
  platform::debugOutput(line);
}

void CanonJob::rasterMode() {
  const int32_t length = copyLength();
  if (length < 0) return;
  const int first = get();
  if (first == kEndOfInput) return;
  put(first);
  if (length == 1) {
    bitsPerPixel = 1;
  } else if (first < 0x80) {
    bitsPerPixel = first & 0x1F;
  } else if (length > 3) {
    // Extended form: two more header bytes, then one 3-byte record per ink.
    for (int i = 0; i < 2; ++i) {
      const int c = get();
      if (c == kEndOfInput) return;
      put(c);
    }
    bitsPerPixel = 1;
    size_t record = 0;
    for (int32_t offset = 0; offset < length - 3; offset += 3, ++record) {
      const int format = get();
      if (format == kEndOfInput) break;
      put(format);
      if (record < inks.size()) {
        inks[record].bitsPerPixel = format & 0x1F;
        inks[record].packing = (format >> 5) & 0x07;
      }
      if (!copyThrough(2)) break;
    }
  }
  if (bitsPerPixel == 0) bitsPerPixel = 1;
}

constexpr std::array<CommandEntry, 9> kCommands{{
    {'A', &CanonJob::rasterRow},
    {'F', &CanonJob::rasterBand},
    {'L', &CanonJob::colourList_},
    {'J', &CanonJob::bandHeight_},
    {'d', &CanonJob::resolution},
    {'e', &CanonJob::skip},
    {'t', &CanonJob::rasterMode},
    {'a', nullptr},  // length and payload copied
    {'b', nullptr},
}};

void CanonJob::command(int letter) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.letter != letter) continue;
    if (entry.handler)
      (this->*entry.handler)();
    else
      copyLengthAndPayload(*this);
    return;
  }
}

void CanonJob::dispatch() {
  const int c = get();
  if (c == kEndOfInput) return;
  put(c);
  if (c == kFormFeed) {
    if (pageOpen) closePage();
  } else if (c == '(') {
    const int letter = get();
    if (letter == kEndOfInput) return;
    put(letter);
    command(letter);
  } else if (c == '[') {
    const int next = get();
    if (next != kEndOfInput) put(next);
  }
}

void CanonJob::run() {
  for (;;) {
    // Copy up to and including an ESC; stop before a form feed.
    for (;;) {
      const int c = peek();
      if (c == kEndOfInput) return;
      if (c == kFormFeed) break;
      get();
      put(c);
      if (c == kEscape) break;
    }
    dispatch();
  }
}

}  // namespace

namespace {

// Decoded length of a PackBits row, or -1 when the row is malformed (a packet
// cut by the end) or decodes to more than capacity bytes. With rowEnd set a
// 0x80 ends the row and `used` tells how many source bytes it took.
int32_t measureRow(const uint8_t* source, int32_t length, int32_t capacity, bool rowEnd, int32_t* used) {
  int32_t in = 0;
  int32_t out = 0;
  while (in < length) {
    if (rowEnd && source[in] == kRowEnd) break;
    const uint8_t count = source[in++];
    if (count == kRowEnd) continue;  // no-operation packet
    int32_t produced;
    if (count < 0x80) {
      produced = count + 1;
      if (produced > length - in) return -1;
      in += produced;
    } else {
      if (in >= length) return -1;
      produced = 257 - count;
      ++in;
    }
    out += produced;
    if (out > capacity) return -1;
  }
  if (used) *used = in;
  return out;
}

// Decodes a row already checked by measureRow (no 0x80 inside the range).
int32_t decodeRow(const uint8_t* source, int32_t length, uint8_t* destination) {
  int32_t in = 0;
  int32_t out = 0;
  while (in < length) {
    const uint8_t count = source[in++];
    if (count == kRowEnd) continue;
    if (count < 0x80) {
      std::memcpy(destination + out, source + in, count + 1u);
      in += count + 1;
      out += count + 1;
    } else {
      std::memset(destination + out, source[in++], 257u - count);
      out += 257 - count;
    }
  }
  return out;
}

// Largest PackBits encoding of n bytes (all literal packets, or zero runs).
int32_t encodedBound(int32_t n) { return n + 3 * (n / 128) + 8; }

}  // namespace

uint8_t canon::threeLevelMask(uint8_t value) {
  if (value > 242) return 0;
  uint8_t mask = 0;
  for (int k = 0; k < 5; ++k, value /= 3)
    if (value % 3 != 0) mask = static_cast<uint8_t>(mask | (1u << k));
  return mask;
}

uint8_t canon::threeLevelApply(uint8_t value, uint8_t mask) {
  if (value > 242) return value;
  int result = 0;
  int weight = 1;
  for (int k = 0; k < 5; ++k, value /= 3, weight *= 3)
    if (mask & (1u << k)) result += (value % 3) * weight;
  return static_cast<uint8_t>(result);
}

void CanonJob::openPage() {
  fn.openPage(job, static_cast<uint32_t>(10 * blackHorizontal), blackKeep, static_cast<uint32_t>(10 * colourHorizontal),
              colourKeep);
  row = 0;
  pageRows = 0;
  pageOpen = true;
  ++totals->pages;
  totals->planes = kPlaneCount;
  totals->blackPlanes = 1;
  // Sized for the widest ink the job announced, so rows of a 2-bit ink fit
  // even when the current raster mode is 1 bit.
  int32_t bits = bitsPerPixel;
  for (const Ink& ink : inks) bits = std::max(bits, ink.bitsPerPixel);
  const int64_t bufferSize = int64_t{std::max(blackHorizontal, colourHorizontal)} * bits * 10 / 8;
  capacity = static_cast<int32_t>(std::min<int64_t>(2 * bufferSize, kMaxLength * 128));
  reduceBytes = std::min(capacity, (10 * std::max(blackHorizontal, colourHorizontal) + 7) / 8);
  if (capacity <= 0) return;
  bandCapacity = kMaxLength + encodedBound(capacity) + 1;
  decoded = static_cast<uint8_t*>(platform::allocZeroed(static_cast<size_t>(capacity)));
  scratch = static_cast<uint8_t*>(platform::allocZeroed(static_cast<size_t>(capacity)));
  encoded = static_cast<uint8_t*>(platform::allocZeroed(static_cast<size_t>(encodedBound(capacity))));
  band = static_cast<uint8_t*>(platform::allocZeroed(static_cast<size_t>(bandCapacity)));
  if (!decoded || !scratch || !encoded || !band) {
    // Without buffers the page's rows pass through unchanged.
    releasePage();
    pageOpen = true;
  }
}

void CanonJob::releasePage() {
  platform::freeBlock(decoded);
  platform::freeBlock(scratch);
  platform::freeBlock(encoded);
  platform::freeBlock(band);
  decoded = scratch = encoded = band = nullptr;
  capacity = 0;
}

void CanonJob::closePage() {
  fn.closePage(job);
  releasePage();
  pageOpen = false;
}

// Thins the decoded row of n bytes as its ink allows, adds its dots before and
// after to the plane's totals, re-encodes it into `encoded` (returning the
// encoded length) and clears the work rows for the next row.
int32_t CanonJob::thinAndEncode(int32_t n, int plane, const Ink& ink, bool black) {
  totals->before[plane] += static_cast<uint32_t>(CountDotsInPlane(decoded, n));
  if (ink.packing == kThreeLevelPacking && ink.bitsPerPixel == 2) {
    for (int32_t i = 0; i < n; ++i) scratch[i] = canon::threeLevelMask(decoded[i]);
    fn.planeReduce(job, scratch, black, row);
    for (int32_t i = 0; i < n; ++i) decoded[i] = canon::threeLevelApply(decoded[i], scratch[i]);
  } else if (ink.bitsPerPixel <= 2) {
    fn.planeReduce(job, decoded, black, row);
  }
  // More than 2 bits per pixel: levels are not dots; the row is only re-encoded.
  totals->after[plane] += static_cast<uint32_t>(CountDotsInPlane(decoded, n));
  const int32_t m = CompressMode2(decoded, 0, n, encoded, 0);
  const size_t bytes = static_cast<size_t>(std::max(n, reduceBytes));
  std::memset(decoded, 0, bytes);
  std::memset(scratch, 0, bytes);
  return m;
}

// ESC ( A: length (counting the colour byte), colour byte, PackBits data.
void CanonJob::rasterRow() {
  uint8_t header[3];
  if (!readHeader(header, 3)) return;
  const int32_t length = header[0] | (header[1] << 8);
  const int colour = header[2];
  if (colour == kNoRowColour || length == 0) {
    // Nothing to thin: the bytes go out as they came.
    write(header, 3);
    return;
  }
  const int plane = planeOfColour(colour);
  unknownColour = plane < 0;
  planeIndex = plane < 0 ? 0 : plane;
  currentColour = colour;

  const int32_t dataLength = length - 1;
  if (!pageOpen) openPage();
  if (!payload || capacity <= 0) {
    write(header, 3);
    copyThrough(dataLength);
    return;
  }
  const int32_t got = read(payload, dataLength);
  const int32_t n = got == dataLength ? measureRow(payload, got, capacity, false, nullptr) : -1;
  if (n < 0) {
    // Cut by the end of input, malformed or wider than the page: unchanged.
    write(header, 3);
    write(payload, got);
    return;
  }
  decodeRow(payload, got, decoded);
  const int32_t m = thinAndEncode(n, planeIndex, kBilevelInk, planeIndex == 0);
  if (m + 1 > kMaxLength) {
    write(header, 3);
    write(payload, got);
    return;
  }
  putLength(m + 1);
  put(colour);
  write(encoded, m);
  // The byte after the row stays in the input for the copy loop, which writes
  // it once and closes the page when it is a form feed.
}

// ESC ( F: a band of PackBits rows of the colour list's current colour, each
// row ended by 0x80.
void CanonJob::rasterBand() {
  uint8_t header[2];
  if (!readHeader(header, 2)) return;
  const int32_t length = header[0] | (header[1] << 8);
  if (!hasColourList || colourListCount == 0) {
    // Without a colour list the band's colour is unknown: copied through.
    write(header, 2);
    copyThrough(length);
    return;
  }
  const int colour = colourList[static_cast<size_t>(colourListIndex)];
  planeIndex = (colour == 'K' || colour == 'k') ? 0 : 2;
  currentColour = colour;
  if (++colourListIndex >= colourListCount) colourListIndex = 0;

  if (!pageOpen) openPage();
  if (!payload || capacity <= 0) {
    write(header, 2);
    copyThrough(length);
    return;
  }
  const int32_t got = read(payload, length);
  if (got < length) {
    write(header, 2);
    write(payload, got);
    return;
  }
  // Check every row first, so a band that cannot be rewritten whole goes out
  // unchanged (and counts no rows).
  for (int32_t at = 0; at < length;) {
    int32_t used = 0;
    if (measureRow(payload + at, length - at, capacity, true, &used) < 0) {
      write(header, 2);
      write(payload, got);
      return;
    }
    at += used;
    if (at < length && payload[at] == kRowEnd) ++at;
  }

  if (row >= bandHeight && colour != colourList[0]) row -= bandHeight;
  Ink ink{bitsPerPixel, packing};
  const int slot = inkSlot(colour);
  if (slot >= 0) ink = inks[static_cast<size_t>(slot)];
  const bool black = planeIndex == 0;
  const int bandPlane = planeOfColour(colour) < 0 ? planeIndex : planeOfColour(colour);

  int32_t bandLength = 0;
  bool fits = true;
  for (int32_t at = 0; at < length;) {
    int32_t used = 0;
    const int32_t n = measureRow(payload + at, length - at, capacity, true, &used);
    decodeRow(payload + at, used, decoded);
    at += used;
    const bool rowEnd = at < length && payload[at] == kRowEnd;
    if (rowEnd) ++at;
    ++row;
    countRows();
    if (n > 0) {
      const int32_t m = thinAndEncode(n, bandPlane, ink, black);
      if (bandLength + m + 1 > kMaxLength) fits = false;
      if (fits) {
        std::memcpy(band + bandLength, encoded, static_cast<size_t>(m));
        bandLength += m;
      }
    }
    // A row end goes out exactly when one came in.
    if (rowEnd && fits) band[bandLength++] = kRowEnd;
  }
  if (!fits) {
    // Re-encoded rows would not fit a 16-bit length: the band goes out as it came.
    write(header, 2);
    write(payload, got);
    return;
  }
  putLength(bandLength);
  write(band, bandLength);
}

namespace canon {

CalibrationThresholds calibrationThresholds() { return gThresholds; }
void resetCalibrationThresholds() { gThresholds = kInitialThresholds; }
void setReductionOverride(const ReductionFunctions* functions) { gOverride = functions; }

}  // namespace canon

extern "C" void CORVANTA_CDECL parseFile(void* contextAddress) {
  auto* context = static_cast<ParserContext*>(contextAddress);
  if (!context) return;
  clearParserWorkArea(context);
  try {
    CanonJob job;
    job.in = context->inputPipe;
    job.out = context->outputBuffer;
    job.totals = plugin::dotTotals(context);
    job.calibration = context->calibrationFlag != 0;
    if (job.calibration) {
      context->blackKeepPercent = 100;
      context->colorKeepPercent = 100;
    }
    job.blackKeep = context->blackKeepPercent;
    job.colourKeep = context->colorKeepPercent;
    if (gOverride)
      job.fn = *gOverride;
    else
      job.fn = job.calibration ? kCalibrationSet : kReductionSet;
    job.job = job.fn.openJob(context->printerName);
    job.payload = static_cast<uint8_t*>(platform::allocZeroed(kMaxLength + 1));
    job.run();
    job.fn.closeJob(job.job);
    InBuffer_threadDone(job.in);
    // A page still open at the end of the job is not closed; its buffers go.
    job.releasePage();
    platform::freeBlock(job.payload);
  } catch (...) {
    // Nothing below throws; this keeps any surprise inside the plug-in.
    InBuffer_threadDone(context->inputPipe);
  }
  platform::sleepMs(kFinalWaitMs);
}
