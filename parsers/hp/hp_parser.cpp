// VaskHP: the HP PCL plug-in. parseFile copies the job from the input pipe to
// the output buffer, tokenising the escape sequences that shape raster
// graphics; raster rows are decoded, thinned through the reduction function
// table and encoded again. Everything it does not understand is copied.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "ParserContext.h"
#include "VaskUtil.h"
#include "calibration.h"
#include "hp_codecs.h"
#include "DotTotals.h"
#include "hp_parser.h"
#include "platform.h"
#include "reduction.h"

namespace {

const ReductionFunctions* g_override = nullptr;

constexpr int kEsc = 0x1B;
constexpr int32_t kMaxRowBytes = 32767;         // row lengths are signed 16-bit
// Plain row bounds, chosen so that every re-encoded row fits a row length
// (wider rows pass unchanged): 32000 bytes of plane (256000 dots), 10880
// pixels per component row (1200 dpi across 9 inches).
constexpr int32_t kMaxPlaneRowBytes = 32000;
constexpr int32_t kMaxComponentWidth = 10880;
static_assert(kMaxPlaneRowBytes + kMaxPlaneRowBytes / 64 + 4 <= kMaxRowBytes, "mode 2 rows fit");
static_assert(hp::mode10Bound(3 * kMaxComponentWidth) <= kMaxRowBytes, "mode 10 rows fit");
static_assert(hp::mode9Bound(kMaxComponentWidth) <= kMaxRowBytes, "mode 9 rows fit");
constexpr int32_t kDefaultResolution = 600;     // sizes buffers when no resolution was given

// Command families after ESC: the two bytes, then how each parameter group
// is applied.
enum class Family { AmpL, AmpU, StarR, StarG, StarB, StarP, StarT, StarO, Other };

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

// One parameter group: value (as read) and terminator.
struct Group {
  char raw[24];    // the value's bytes as read (bounded; longer values are not parsed)
  int rawLength;
  int32_t value;
  bool plus;       // written with its '+' sign (relative moves)
  bool parsed;     // a plain integer
  int terminator;  // byte after the value
  bool continues;  // lower-case terminator: another group follows
};

bool isParameterLetter(int c) { return c >= 0x60 && c <= 0x7E; }
bool isFinalLetter(int c) { return c >= 0x40 && c <= 0x5E; }
bool isParameterizedChar(int c) { return c >= 0x21 && c <= 0x2F; }

// Plane-based compression modes: delta modes code a row against the plane's
// previous row (its seed); the plug-in decodes these four.
bool deltaMode(int32_t mode) { return mode == 3 || mode == 9; }
bool decodableMode(int32_t mode) { return mode == 0 || mode == 2 || deltaMode(mode); }
char upper(int c) { return static_cast<char>(isParameterLetter(c) ? c - 0x20 : c); }

template <typename T>
struct Block {
  T* data = nullptr;
  bool allocate(size_t count) {
    release();
    data = static_cast<T*>(platform::allocZeroed(count * sizeof(T) + 64));
    return data != nullptr;
  }
  void release() {
    platform::freeBlock(data);
    data = nullptr;
  }
};

class HpParser {
 public:
  explicit HpParser(ParserContext* context)
      : context_(context), in_(context->inputPipe), out_(context->outputBuffer), totals_(plugin::dotTotals(context)) {}

  ~HpParser() { releaseBuffers(); }
  HpParser(const HpParser&) = delete;
  HpParser& operator=(const HpParser&) = delete;

  void run();

 private:
  void releaseBuffers() {
    inWork_.release();
    outWork_.release();
    mask_.release();
    for (auto& seed : inSeeds_) seed.release();
    for (auto& seed : outSeeds_) seed.release();
  }
  // Pipe access.
  int get() { return InBuffer_getc(in_); }
  int peek() { return InBuffer_peekc(in_); }
  void put(int c) { OutBuffer_putc(c, out_); }
  void putText(const char* text) { OutBuffer_writebytes(out_, reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text))); }
  void putNumber(int32_t value, bool plus) {
    char text[16];
    std::snprintf(text, sizeof text, plus ? "+%d" : "%d", static_cast<int>(value));
    putText(text);
  }
  void putRaw(const Group& group) {
    OutBuffer_writebytes(out_, reinterpret_cast<const uint8_t*>(group.raw), group.rawLength);
  }
  int32_t read(uint8_t* destination, int32_t count);
  void copyBytes(int64_t count);

  void dispatch();
  void parseFamily(Family family, int first, int second);
  bool readGroup(Group* group, bool allowCarriageReturn);
  void writeCanonical(const Group& group) {
    if (group.parsed) putNumber(group.value, group.plus); else putRaw(group);
  }
  bool applyGroup(Family family, Group& group);

  void configureRaster(int32_t byteCount);
  void reset();
  void calibrationStep();
  void positionRule(const Group& group);
  void yOffsetRule(int32_t value);

  // Raster path.
  void startRaster();
  void endRaster();
  void yOffset();
  void rowData(const Group& group);
  bool componentLayout() const { return layout_ == 6; }
  bool rowDecodable(int32_t count) const;
  bool blackSeedExchange() const;
  // Seed of the current plane; planes past the last share the scratch slot.
  int32_t seedSlot() const { return std::min(planeIndex_, static_cast<int32_t>(plugin::kMaxPlanes)); }
  // A plane row's dots before and after thinning, for the planes the totals hold.
  void addDots(int32_t plane, int32_t before, int32_t after) {
    if (plane >= plugin::kMaxPlanes) return;
    totals_->before[plane] += static_cast<uint32_t>(before);
    totals_->after[plane] += static_cast<uint32_t>(after);
  }
  bool decodeRow(int32_t count, int32_t* encodedLength);
  void writeRowMode(int32_t mode);
  void writeRewrittenRow(int32_t encoded, int terminator);

  ParserContext* context_;
  void* in_;
  void* out_;
  plugin::DotTotals* totals_;
  ReductionFunctions functions_{};
  void* job_ = nullptr;

  int32_t planes_ = 1, blackPlanes_ = 1, colorPlanes_ = 0;
  int32_t blackHRes_ = 0, blackVRes_ = 0, colorHRes_ = 0, colorVRes_ = 0;
  // A plane-based configure-raster-data block gave the component resolutions;
  // ESC*t and ESC&u (the base resolution) leave them until the next reset.
  bool configuredResolutions_ = false;
  int32_t planeIndex_ = 0, rowCounter_ = 0;
  int32_t yOffsetCount_ = 0;
  bool stepTaken_ = false;
  int32_t compression_ = 0;   // mode of the incoming plane-based rows
  int32_t writtenMode_ = 0;   // mode the printer was last told
  int32_t layout_ = 0;
  int32_t components_ = 0;
  std::array<int32_t, plugin::kMaxPlanes> methods_{};
  int32_t width_ = 0;
  int32_t pageWidth_ = 0;  // component row width of the open page (ESC*r S may change width_ inside it)

  bool pageOpen_ = false;
  bool buffersOk_ = false;
  int32_t bufferSize_ = 0;   // plain row bytes
  int32_t inCapacity_ = 0;   // incoming and re-encoded row bytes
  Block<uint8_t> inWork_, outWork_, mask_;
  // One more slot than planes: rows past the tenth plane decode against a scratch seed.
  std::array<Block<uint8_t>, plugin::kMaxPlanes + 1> inSeeds_, outSeeds_;
  // A seed is lost when a row too long for the buffers passed unchanged; that
  // plane's delta rows then pass unchanged too until the seed starts over.
  std::array<bool, plugin::kMaxPlanes + 1> seedValid_{};
};

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

namespace {

bool startsValue(int c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.'; }

}  // namespace

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

void HpParser::startRaster() {
  rowCounter_ = 0;
  planeIndex_ = 0;
  pageOpen_ = true;
  buffersOk_ = false;
  ++totals_->pages;
  totals_->planes = static_cast<uint32_t>(componentLayout() ? components_ : planes_);
  // The first component is black unless it is a pixel (method 10) component.
  totals_->blackPlanes = static_cast<uint32_t>(
      componentLayout() ? (components_ > 0 && methods_[0] != 10 ? 1 : 0) : blackPlanes_);
  if (componentLayout()) {
    const int32_t width = std::min(width_, kMaxComponentWidth);
    functions_.openPage(job_, static_cast<uint32_t>(std::max(width, 0)), context_->blackKeepPercent,
                        static_cast<uint32_t>(std::max(width, 0)), context_->colorKeepPercent);
    // Without a width, or wider than the buffers go, rows pass unchanged.
    if (width <= 0 || width_ > kMaxComponentWidth || components_ <= 0) return;
    pageWidth_ = width;
    bufferSize_ = width;
    const size_t rowBytes = 6 * static_cast<size_t>(width);
    inCapacity_ = std::max(6 * width, kMaxRowBytes + 1);
    bool ok = inWork_.allocate(static_cast<size_t>(inCapacity_)) && outWork_.allocate(rowBytes) &&
              mask_.allocate(rowBytes);
    for (int32_t i = 0; ok && i < components_; ++i) {
      ok = inSeeds_[i].allocate(rowBytes) && outSeeds_[i].allocate(rowBytes);
    }
    buffersOk_ = ok;
    if (ok) yOffset();
    return;
  }
  const int32_t resolution = std::max(blackHRes_, colorHRes_) > 0 ? std::max(blackHRes_, colorHRes_) : kDefaultResolution;
  const int32_t widthBytes = (width_ + 7) / 8;
  bufferSize_ = std::min(std::max(8 * std::min(resolution, 8192), widthBytes), kMaxPlaneRowBytes);
  auto thinBytes = [&](int32_t res) { return std::min(std::max(res > 0 ? res : bufferSize_ / 8, widthBytes), bufferSize_); };
  const int32_t blackBytes = thinBytes(blackHRes_);
  const int32_t colorBytes = thinBytes(colorHRes_);
  functions_.openPage(job_, static_cast<uint32_t>(8 * blackBytes), context_->blackKeepPercent,
                      static_cast<uint32_t>(8 * colorBytes), context_->colorKeepPercent);
  // Mode 2 output of a full row: bufferSize + bufferSize / 128 + 2 at worst.
  inCapacity_ = std::max(bufferSize_ + bufferSize_ / 64 + 16, kMaxRowBytes + 1);
  bool ok = inWork_.allocate(static_cast<size_t>(inCapacity_)) && outWork_.allocate(static_cast<size_t>(bufferSize_));
  for (auto& seed : inSeeds_) ok = ok && seed.allocate(static_cast<size_t>(bufferSize_));
  buffersOk_ = ok;
  if (ok) yOffset();
}

void HpParser::endRaster() {
  functions_.closePage(job_);
  releaseBuffers();
  pageOpen_ = false;
  buffersOk_ = false;
}

void HpParser::yOffset() {
  if (!pageOpen_ || !buffersOk_) return;
  if (componentLayout()) {
    for (int32_t i = 0; i < components_; ++i) {
      const int fill = methods_[i] == 10 ? 0xFF : 0x00;
      std::memset(inSeeds_[i].data, fill, 6 * static_cast<size_t>(pageWidth_));
      std::memset(outSeeds_[i].data, fill, 6 * static_cast<size_t>(pageWidth_));
    }
  } else {
    for (auto& seed : inSeeds_) std::memset(seed.data, 0, static_cast<size_t>(bufferSize_));
  }
  seedValid_.fill(true);
}

namespace {

int32_t trimTrailingZeros(const uint8_t* row, int32_t length) {
  while (length > 0 && row[length - 1] == 0) --length;
  return length;
}

// Ink of a 24-bit row: pixels that are not white. Blue's lowest bit does not
// count (the codec drops it; the cache colour's white has it clear).
int32_t countInkPixels(const uint8_t* row, int32_t rowBytes) {
  int32_t count = 0;
  for (int32_t i = 0; i + 2 < rowBytes; i += 3) count += (row[i] & row[i + 1] & (row[i + 2] | 1)) != 0xFF;
  return count;
}

}  // namespace

// Whether the row about to be read can be decoded, thinned and re-encoded;
// any other row passes unchanged.
bool HpParser::rowDecodable(int32_t count) const {
  if (!buffersOk_ || count < 0 || count > kMaxRowBytes || count > inCapacity_) return false;
  if (componentLayout()) {
    if (planeIndex_ >= components_) return false;
    const int32_t method = methods_[planeIndex_];
    return method == 2 || method == 9 || method == 10;
  }
  if (compression_ == 0 || compression_ == 2) return true;
  if (!deltaMode(compression_)) return false;
  const int32_t slot = seedSlot();
  return seedValid_[blackSeedExchange() ? 1 - slot : slot];
}

// Black at twice the colour's vertical resolution: the two black planes of a
// row group are consecutive printer rows and delta-code against each other.
bool HpParser::blackSeedExchange() const {
  return blackVRes_ != colorVRes_ && blackPlanes_ >= 2 && planeIndex_ <= 1;
}

// Decodes, thins and re-encodes the row in inWork_ (count bytes). The new row
// is left in inWork_ with its length in *encodedLength. Returns false, with
// inWork_ unchanged, for a plane row longer than the buffers; its plane's seed
// is lost then.
bool HpParser::decodeRow(int32_t count, int32_t* encodedLength) {
  uint8_t* input = inWork_.data;
  uint8_t* plain = outWork_.data;
  const int32_t plane = planeIndex_;
  int32_t n = 0;
  if (!componentLayout()) {
    const int32_t slot = seedSlot();
    uint8_t* seed = inSeeds_[slot].data;
    // The buffers hold one byte more than bufferSize_, so a cut row shows.
    const int32_t probe = bufferSize_ + 1;
    if (deltaMode(compression_)) {
      if (compression_ == 9 && blackSeedExchange()) {
        std::memcpy(seed, inSeeds_[1 - slot].data, static_cast<size_t>(bufferSize_));
        seedValid_[slot] = seedValid_[1 - slot];
      }
      const int32_t end = count == 0 ? 0
                          : compression_ == 9 ? decompressMode9Bounded(input, count, seed, probe)
                                              : hp::decodeMode3(input, count, seed, probe);
      if (end > bufferSize_) {
        seedValid_[slot] = false;
        return false;
      }
      std::memcpy(plain, seed, static_cast<size_t>(bufferSize_));
      n = trimTrailingZeros(plain, bufferSize_);
    } else {
      if (compression_ == 0) {
        n = count;
      } else {
        n = decodePlaneToTableBounded(input, count, plain, probe);
      }
      if (n > bufferSize_) {
        seedValid_[slot] = false;
        return false;
      }
      if (compression_ == 0) std::memcpy(plain, input, static_cast<size_t>(n));
      std::memset(plain + n, 0, static_cast<size_t>(bufferSize_ - n));
      // Every decoded row is its plane's seed for a following delta row.
      std::memcpy(seed, plain, static_cast<size_t>(bufferSize_));
      seedValid_[slot] = true;
    }
    const int32_t before = CountDotsInPlane(plain, n);
    functions_.planeReduce(job_, plain, plane < blackPlanes_ ? 1 : 0, rowCounter_);
    addDots(plane, before, CountDotsInPlane(plain, n));
    *encodedLength = CompressMode2(plain, 0, n, input, 1);
    return true;
  }
  // Component rows: data past the source raster width is clipped, as the
  // printer clips it.
  const int32_t method = methods_[plane];
  uint8_t* inSeed = inSeeds_[plane].data;
  uint8_t* outSeed = outSeeds_[plane].data;
  std::memset(plain, 0, 6 * static_cast<size_t>(pageWidth_));
  int32_t before = 0, after = 0, m = 0;
  if (method == 10) {
    const int32_t rowBytes = 3 * pageWidth_;
    hp::decodeMode10(input, count, inSeed, plain, rowBytes);
    before = countInkPixels(plain, rowBytes);
    uint8_t* mask = mask_.data;
    std::memset(mask, 0xFF, 6 * static_cast<size_t>(pageWidth_));
    functions_.planeReduce(job_, mask, 0, rowCounter_);
    for (int32_t k = 0; k < pageWidth_; ++k) {
      if ((mask[k >> 3] & (0x80 >> (k & 7))) == 0) std::memset(plain + 3 * k, 0xFF, 3);
    }
    after = countInkPixels(plain, rowBytes);
    m = hp::encodeMode10(plain, rowBytes, outSeed, input);
  } else {
    if (method == 9) {
      if (count > 0) decompressMode9Bounded(input, count, inSeed, pageWidth_);
      std::memcpy(plain, inSeed, static_cast<size_t>(pageWidth_));
      n = trimTrailingZeros(plain, pageWidth_);
    } else {
      n = decodePlaneToTableBounded(input, count, plain, pageWidth_);
      std::memcpy(inSeed, plain, static_cast<size_t>(pageWidth_));
    }
    before = CountDotsInPlane(plain, n);
    functions_.planeReduce(job_, plain, plane == 0 ? 1 : 0, rowCounter_);
    after = CountDotsInPlane(plain, n);
    if (method == 9) {
      m = hp::encodeMode9(plain, outSeed, pageWidth_, input);
      std::memcpy(outSeed, plain, static_cast<size_t>(pageWidth_));
    } else {
      m = CompressMode2(plain, 0, n, input, 1);
    }
  }
  addDots(plane, before, after);
  *encodedLength = m;
  return true;
}

// Plane-based rows: tells the printer the mode of the row that follows when it
// differs from the mode last written, as a group of the same ESC*b sequence.
void HpParser::writeRowMode(int32_t mode) {
  if (componentLayout() || mode == writtenMode_) return;
  putNumber(mode, false);
  put('m');
  writtenMode_ = mode;
}

void HpParser::rowData(const Group& group) {
  // PCL starts raster graphics implicitly at the first row.
  if (!pageOpen_) startRaster();
  const int32_t count = group.value;
  // A delta-coded row may end before its last planes: they repeat their seed
  // rows. The rewritten rows are not delta-coded, so those planes are sent.
  const bool endsRow = upper(group.terminator) == 'W';
  const int32_t leftOut = !componentLayout() && endsRow && deltaMode(compression_) && buffersOk_
                              ? std::min(planes_, static_cast<int32_t>(plugin::kMaxPlanes)) - (planeIndex_ + 1)
                              : 0;
  const int terminator = leftOut > 0 ? 'v' : group.terminator;
  int32_t encoded = 0;
  if (rowDecodable(count)) {
    const int32_t got = read(inWork_.data, count);
    if (got < count) {
      // The job ends inside the row: pass what there is, as it came.
      writeRowMode(compression_);
      writeCanonical(group);
      put(group.terminator);
      if (got > 0) OutBuffer_writebytes(out_, inWork_.data, got);
      return;
    }
    if (decodeRow(count, &encoded)) {
      writeRewrittenRow(encoded, terminator);
    } else {
      writeRowMode(compression_);
      writeCanonical(group);
      put(terminator);
      OutBuffer_writebytes(out_, inWork_.data, count);
    }
  } else {
    writeRowMode(compression_);
    writeCanonical(group);
    put(terminator);
    if (count > 0) copyBytes(count);
    if (!componentLayout()) {
      // The printer's seed for this plane is now a row we do not hold.
      seedValid_[seedSlot()] = false;
    }
  }
  ++planeIndex_;
  for (int32_t i = 0; i < leftOut; ++i, ++planeIndex_) {
    const int last = i + 1 == leftOut ? group.terminator : 'v';
    if (rowDecodable(0) && decodeRow(0, &encoded)) {
      writeRewrittenRow(encoded, last);
    } else {
      // A seed we do not hold: the printer repeats its own.
      writeRowMode(9);
      putNumber(0, false);
      put(last);
    }
  }
  if (endsRow) {
    ++rowCounter_;
    ++totals_->rows;
    planeIndex_ = 0;
    OutBufferSetSaveState(out_, 1);
  }
}

// Writes a decoded and re-encoded row (in inWork_) with its new length.
void HpParser::writeRewrittenRow(int32_t encoded, int terminator) {
  // An empty row reads the same in modes 0 and 2.
  if (encoded > 0 || (writtenMode_ != 0 && writtenMode_ != 2)) writeRowMode(2);
  putNumber(encoded, false);
  put(terminator);
  if (encoded > 0) OutBuffer_writebytes(out_, inWork_.data, encoded);
}

}  // namespace

void hp::setReductionOverride(const ReductionFunctions* functions) { g_override = functions; }

extern "C" void CORVANTA_CDECL parseFile(void* argument) {
  auto* context = static_cast<ParserContext*>(argument);
  if (!context) return;
  clearParserWorkArea(context);
  try {
    HpParser parser(context);
    parser.run();
  } catch (...) {
    // Nothing may leave the thread routine; the job ends here.
  }
  InBuffer_threadDone(context->inputPipe);
}
