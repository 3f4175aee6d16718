// VaskHP: the HP PCL plug-in. parseFile copies the job from the input pipe to
// the output buffer, tokenising the escape sequences that shape raster
// graphics; raster rows go to the raster data path (hp_raster.cpp).
// Everything it does not understand is copied.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "calibration.h"
#include "hp_parser.h"
#include "hp_parser_internal.h"

namespace hp {
namespace {

const ReductionFunctions* g_override = nullptr;



struct FamilyEntry {
  char first;
  char second;
  Family family;
};

constexpr std::array<FamilyEntry, 8> kFamilies{{
    {'&', 'l', Family::AmpL},
    {'&', 'u', Family::AmpU},
    {'*', 'r', Family::StarR},
    {'*', 'g', Family::StarG},
    {'*', 'b', Family::StarB},
    {'*', 'p', Family::StarP},
    {'*', 't', Family::StarT},
    {'*', 'o', Family::StarO},
}};

// What a parameter group does, by family and (upper-case) terminator. A
// terminator of 0 matches any terminator of its family.
enum class Action {
  Canonical,         // value back in "%d" form
  CanonicalNonZero,  // value back only when it is not 0
  Resolution,        // ESC*t: all four resolutions
  Position,          // ESC*p: calibration step rule for moves
  StartRaster,
  EndRaster,
  SourceWidth,
  SimpleColor,
  ConfigureRaster,
  CompressionMode,
  RowData,
  YOffset,
  Verbatim,  // written as read (families the plug-in does not rewrite)
  Unknown,   // written as read; the rest is copied to the next escape
};

struct CommandEntry {
  Family family;
  char terminator;
  Action action;
};

constexpr std::array<CommandEntry, 23> kCommands{{
    {Family::AmpL, 0, Action::Canonical},
    {Family::AmpU, 0, Action::Canonical},
    {Family::StarO, 0, Action::Canonical},
    {Family::StarT, 0, Action::Resolution},
    {Family::StarP, 0, Action::Position},
    {Family::StarR, 'A', Action::StartRaster},
    {Family::StarR, 'B', Action::EndRaster},
    {Family::StarR, 'C', Action::EndRaster},
    {Family::StarR, 'S', Action::SourceWidth},
    {Family::StarR, 'U', Action::SimpleColor},
    {Family::StarR, 'F', Action::CanonicalNonZero},
    {Family::StarR, 'Q', Action::CanonicalNonZero},
    {Family::StarR, 'T', Action::CanonicalNonZero},
    {Family::StarG, 'W', Action::ConfigureRaster},
    {Family::StarG, 0, Action::Canonical},
    {Family::StarB, 'M', Action::CompressionMode},
    {Family::StarB, 'V', Action::RowData},
    {Family::StarB, 'W', Action::RowData},
    {Family::StarB, 'Y', Action::YOffset},
    {Family::StarB, 'B', Action::Canonical},
    {Family::StarB, 'S', Action::Canonical},
    {Family::StarB, 0, Action::Unknown},
    {Family::Other, 0, Action::Verbatim},
}};

constexpr Action lookupAction(Family family, char terminator) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.family == family && (entry.terminator == terminator || entry.terminator == 0)) return entry.action;
  }
  return Action::Unknown;
}
static_assert(lookupAction(Family::StarR, 'A') == Action::StartRaster, "command table");
static_assert(lookupAction(Family::StarR, 'Z') == Action::Unknown, "command table");

// Commands whose value counts the bytes of a data block after the terminator
// (fonts, patterns, transparent data, driver configuration). The block is
// copied untouched: an ESC inside it is data, not a command. Raster rows and
// configure raster data have their own handling.
struct DataCommand {
  char first;
  char second;
  char terminator;
};

constexpr std::array<DataCommand, 12> kDataCommands{{
    {'(', 's', 'W'}, {')', 's', 'W'}, {'(', 'f', 'W'}, {'*', 'c', 'W'}, {'&', 'p', 'X'}, {'*', 'v', 'W'},
    {'*', 'o', 'W'}, {'&', 'n', 'W'}, {'*', 'm', 'W'}, {'*', 'l', 'W'}, {'*', 'i', 'W'}, {'&', 'b', 'W'},
}};

constexpr bool carriesData(int first, int second, char terminator) {
  for (const DataCommand& command : kDataCommands) {
    if (command.first == first && command.second == second && command.terminator == terminator) return true;
  }
  return false;
}
static_assert(carriesData('&', 'p', 'X') && !carriesData('*', 'b', 'W'), "data commands");

bool startsValue(int c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.'; }

}  // namespace

// Reads count bytes; fewer only at the end of input. The pipe hands out whole
// requests only, so a short tail is fetched byte by byte.
int32_t HpParser::read(uint8_t* destination, int32_t count) {
  if (count <= 0) return 0;
  if (InBuffer_readbytes(in_, destination, count) == count) return count;
  int32_t got = 0;
  for (int c; got < count && (c = get()) >= 0; ++got) destination[got] = static_cast<uint8_t>(c);
  return got;
}

void HpParser::copyBytes(int64_t count) {
  uint8_t chunk[4096];
  while (count > 0) {
    const int32_t want = static_cast<int32_t>(std::min<int64_t>(count, sizeof chunk));
    const int32_t got = read(chunk, want);
    if (got > 0) OutBuffer_writebytes(out_, chunk, got);
    if (got < want) return;
    count -= got;
  }
}

void HpParser::run() {
  if (context_->calibrationFlag != 0) {
    functions_ = ReductionFunctions{CalOpenJob, CalOpenPage, CalPlaneReduce, CalClosePage, CalCloseJob,
                                    CalSetCalibrationPercentage};
    context_->blackKeepPercent = 100;
    context_->colorKeepPercent = 100;
  } else {
    functions_ = ReductionFunctions{OpenJob, OpenPage, PlaneReduce, ClosePage, CloseJob, nullptr};
  }
  if (g_override) functions_ = *g_override;
  job_ = functions_.openJob(context_->printerName);
  for (;;) {
    const int c = get();
    if (c < 0) break;
    if (c == kEsc) {
      OutBufferSetSaveState(out_, 1);
      put(c);
      dispatch();
    } else {
      put(c);
    }
  }
  if (pageOpen_) endRaster();  // a page still open at the end of the job
  functions_.closeJob(job_);
}

void HpParser::dispatch() {
  const int first = get();
  if (first < 0) return;
  put(first);
  if (first == 'E') {
    reset();
    return;
  }
  // Anything but a parameterised sequence is copied to the next escape by the
  // main loop.
  if (!isParameterizedChar(first)) return;
  const int second = get();
  if (second < 0) return;
  put(second);
  for (const FamilyEntry& entry : kFamilies) {
    if (entry.first == first && entry.second == second) {
      parseFamily(entry.family, first, second);
      return;
    }
  }
  // Other families pass as they are; only their data blocks need reading.
  if (isParameterLetter(second)) parseFamily(Family::Other, first, second);
}

void HpParser::reset() {
  if (pageOpen_) endRaster();
  planes_ = 1;
  blackPlanes_ = 1;
  colorPlanes_ = 0;
  compression_ = 0;
  writtenMode_ = 0;
  configuredResolutions_ = false;
}

// Reads one parameter group. Returns false when the sequence ends before a
// terminator (end of pipe, ESC, or a byte that cannot end a group); whatever
// was read has then been written unchanged.
bool HpParser::readGroup(Group* group, bool allowCarriageReturn) {
  Group& g = *group;
  g = Group{};
  int c = peek();
  if (allowCarriageReturn && c == '\r') {
    put(get());
    c = peek();
  }
  if (c < 0 || c == kEsc || (c & 0xFF) == 0xFF) return false;
  bool spilled = false;
  auto take = [&]() {
    const int b = get();
    if (g.rawLength == static_cast<int>(sizeof g.raw)) {
      // Too long to keep: what was read leaves unchanged, and so will the rest.
      spilled = true;
      OutBuffer_writebytes(out_, reinterpret_cast<const uint8_t*>(g.raw), g.rawLength);
      g.rawLength = 0;
    }
    g.raw[g.rawLength++] = static_cast<char>(b);
    return b;
  };
  bool negative = false;
  bool overflow = false;
  if (c == '-' || c == '+') {
    take();
    negative = c == '-';
    g.plus = c == '+';
  }
  int64_t value = 0;
  while ((c = peek()) >= '0' && c <= '9') {
    take();
    value = value * 10 + (c - '0');
    if (value > 0x7FFFFFFF) overflow = true, value = 0x7FFFFFFF;
  }
  bool fraction = false;
  if (c == '.') {
    fraction = true;
    take();
    while ((c = peek()) >= '0' && c <= '9') take();
  }
  g.value = static_cast<int32_t>(negative ? -value : value);
  g.parsed = !overflow && !fraction && !spilled;
  if (c < 0 || c == kEsc) {
    putRaw(g);
    return false;
  }
  g.terminator = get();
  if (!isParameterLetter(g.terminator) && !isFinalLetter(g.terminator)) {
    putRaw(g);
    put(g.terminator);
    return false;
  }
  g.continues = isParameterLetter(g.terminator);
  return true;
}

void HpParser::parseFamily(Family family, int first, int second) {
  Group group{};
  for (;;) {
    if (!readGroup(&group, family == Family::StarB)) return;
    if (!group.parsed) {
      // Decimal fractions and oversized numbers are left exactly as they came.
      putRaw(group);
      put(group.terminator);
    } else if (!applyGroup(family, group)) {
      return;
    } else if (carriesData(first, second, upper(group.terminator)) && group.value > 0) {
      copyBytes(group.value);
    }
    if (group.continues) continue;
    // Raster jobs go on with ESC*b groups after an upper-case terminator; a
    // group has to start with a value there, anything else is left to the
    // copy to the next escape.
    if (family != Family::StarB) return;
    int c = peek();
    if (c == '\r') {
      put(get());
      c = peek();
    }
    if (!startsValue(c)) return;
  }
}

// Applies one parsed group and writes it back. Returns false when the rest of
// the sequence is to be copied to the next escape.
bool HpParser::applyGroup(Family family, Group& group) {
  const char terminator = upper(group.terminator);
  const int32_t value = group.value;
  switch (lookupAction(family, terminator)) {
    case Action::Canonical:
      writeCanonical(group);
      put(group.terminator);
      return true;
    case Action::CanonicalNonZero:
      if (value != 0) writeCanonical(group);
      put(group.terminator);
      return true;
    case Action::Resolution:
      writeCanonical(group);
      put(group.terminator);
      if (!configuredResolutions_) blackHRes_ = blackVRes_ = colorHRes_ = colorVRes_ = value;
      return true;
    case Action::Position:
      writeCanonical(group);
      put(group.terminator);
      positionRule(group);
      return true;
    case Action::StartRaster:
      if (value != 0) writeCanonical(group);
      put(group.terminator);
      if (value == 0 || value == 1) {
        if (pageOpen_) endRaster();  // a second start closes the first page
        startRaster();
      }
      return true;
    case Action::EndRaster:
      if (value != 0) writeCanonical(group);
      put(group.terminator);
      if (pageOpen_) endRaster();
      return true;
    case Action::SourceWidth:
      if (value != 0) writeCanonical(group);
      put(group.terminator);
      width_ = value <= 0 ? 0 : static_cast<int32_t>(std::min<int64_t>((static_cast<int64_t>(value) + 7) / 8 * 8, 1 << 30));
      return true;
    case Action::SimpleColor:
      if (value != 0) writeCanonical(group);
      put(group.terminator);
      if (value == -4) planes_ = 4, blackPlanes_ = 1, colorPlanes_ = 3;
      if (value == -3) planes_ = 3, blackPlanes_ = 0, colorPlanes_ = 3;
      if (value == 1) planes_ = 1, blackPlanes_ = 1, colorPlanes_ = 0;
      return true;
    case Action::ConfigureRaster:
      writeCanonical(group);
      put(group.terminator);
      configureRaster(value);
      return true;
    case Action::CompressionMode: {
      int32_t written = value;
      if (componentLayout()) {
        if (value == 0 && pageOpen_ && buffersOk_ && planeIndex_ < components_) {
          std::memset(outSeeds_[planeIndex_].data, methods_[planeIndex_] == 10 ? 0xFF : 0x00,
                      static_cast<size_t>(6 * pageWidth_));
        }
      } else {
        // Modes 0, 2, 3 and 9 are decoded and leave in mode 2; any other
        // mode's rows pass unchanged under their own label. A row that cannot
        // be re-encoded after all is relabelled just before it (writeRowMode).
        compression_ = value;
        if (decodableMode(value)) written = 2;
        writtenMode_ = written;
      }
      putNumber(written, false);
      put(group.terminator);
      return true;
    }
    case Action::RowData:
      stepTaken_ = false;
      rowData(group);
      return true;
    case Action::YOffset:
      writeCanonical(group);
      put(group.terminator);
      yOffset();
      yOffsetRule(value);
      return true;
    case Action::Verbatim:
      putRaw(group);
      put(group.terminator);
      return true;
    case Action::Unknown:
      putRaw(group);
      put(group.terminator);
      return false;
  }
  return false;
}

// ESC*g#W: configure raster data. Reads at most the declared byte count;
// what the parsing does not use is copied through.
void HpParser::configureRaster(int32_t byteCount) {
  if (byteCount <= 0) return;
  if (pageOpen_) endRaster();  // the page's buffers were sized for the old configuration
  int64_t left = byteCount;
  auto byte = [&]() -> int {
    if (left <= 0) return -1;
    const int c = get();
    if (c < 0) {
      left = 0;
      return -1;
    }
    --left;
    put(c);
    return c;
  };
  auto word = [&]() -> int32_t {
    const int hi = byte();
    const int lo = byte();
    if (hi < 0 || lo < 0) return -1;
    return ((hi & 0xFF) << 8) | (lo & 0xFF);
  };
  const int format = byte();
  if (format < 0) return;
  layout_ = format;
  if (format == 6) {
    byte();  // not used
    const int32_t declared = word();
    int32_t count = 0;
    if (declared > 0) {
      count = static_cast<int32_t>(std::min<int64_t>({declared, left / 8, plugin::kMaxPlanes}));
    }
    for (int32_t i = 0; i < count; ++i) {
      word();
      word();
      methods_[i] = byte();
      byte();
      byte();
      byte();
    }
    components_ = count;
    planes_ = count;
  } else {
    byte();  // component count in the data, not used
    const int32_t records = static_cast<int32_t>(std::min<int64_t>(left / 6, plugin::kMaxPlanes));
    int32_t black = 0, colour = 0;
    for (int32_t i = 0; i < records; ++i) {
      const int32_t hres = word(), vres = word(), levels = word();
      const int32_t planes = levels / 2 + levels % 2;
      if (i == 0 && records != 3) {
        blackHRes_ = hres;
        blackVRes_ = vres;
        black = planes;
      } else {
        colorHRes_ = hres;
        colorVRes_ = vres;
        colour += planes;
      }
    }
    if (records == 3) {
      // Colour only: every plane sent is a colour plane.
      blackHRes_ = colorHRes_;
      blackVRes_ = colorVRes_;
    } else if (records > 0 && colorVRes_ != 0 && blackVRes_ > colorVRes_) {
      black *= blackVRes_ / colorVRes_;
    }
    if (records > 0) {
      configuredResolutions_ = true;
      blackPlanes_ = std::min(black, static_cast<int32_t>(plugin::kMaxPlanes));
      colorPlanes_ = std::min(colour, plugin::kMaxPlanes - blackPlanes_);
      planes_ = blackPlanes_ + colorPlanes_;
    }
  }
  copyBytes(left);
}

void HpParser::calibrationStep() {
  if (context_->blackKeepPercent == 100) {
    context_->blackKeepPercent -= 5;
    context_->colorKeepPercent -= 5;
  } else {
    context_->blackKeepPercent -= 10;
    context_->colorKeepPercent -= 10;
  }
  if (functions_.setCalibrationPercentage) functions_.setCalibrationPercentage(job_, context_->blackKeepPercent);
}

void HpParser::positionRule(const Group& group) {
  if (context_->calibrationFlag == 0 || group.value <= 10) return;
  ++yOffsetCount_;
  const char terminator = upper(group.terminator);
  if (yOffsetCount_ > 1 && terminator != 'X') calibrationStep();
  char line[96];
  std::snprintf(line, sizeof line, "YOffset Count =%d K=%d%% CMY=%d%%\n", static_cast<int>(yOffsetCount_),
                context_->blackKeepPercent, context_->colorKeepPercent);
  platform::debugOutput(line);
}

void HpParser::yOffsetRule(int32_t value) {
  if (context_->calibrationFlag == 0 || value <= 2) return;
  ++yOffsetCount_;
  if (yOffsetCount_ > 2 && !stepTaken_) {
    stepTaken_ = true;
    calibrationStep();
  }
  char line[96];
  std::snprintf(line, sizeof line, "YOffset Count =%d K=%d%%  - CMY=%d%%\n", static_cast<int>(yOffsetCount_),
                context_->blackKeepPercent, context_->colorKeepPercent);
  platform::debugOutput(line);
}

void setReductionOverride(const ReductionFunctions* functions) { g_override = functions; }

}  // namespace hp

extern "C" void CORVANTA_CDECL parseFile(void* argument) {
  auto* context = static_cast<ParserContext*>(argument);
  if (!context) return;
  clearParserWorkArea(context);
  try {
    hp::HpParser parser(context);
    parser.run();
  } catch (...) {
    // Nothing may leave the thread routine; the job ends here.
  }
  InBuffer_threadDone(context->inputPipe);
}
