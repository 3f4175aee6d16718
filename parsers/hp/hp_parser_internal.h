// The HP plug-in's parser object, shared by the command parser
// (hp_parser.cpp) and the raster data path (hp_raster.cpp). Internal to VaskHP.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "DotTotals.h"
#include "ParserContext.h"
#include "VaskUtil.h"
#include "platform.h"
#include "reduction.h"

namespace hp {

constexpr int kEsc = 0x1B;

// Command families after ESC: the two bytes, then how each parameter group
// is applied.
enum class Family { AmpL, AmpU, StarR, StarG, StarB, StarP, StarT, StarO, Other };

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

inline bool isParameterLetter(int c) { return c >= 0x60 && c <= 0x7E; }
inline bool isFinalLetter(int c) { return c >= 0x40 && c <= 0x5E; }
inline bool isParameterizedChar(int c) { return c >= 0x21 && c <= 0x2F; }

// Plane-based compression modes: delta modes code a row against the plane's
// previous row (its seed); the plug-in decodes these four.
inline bool deltaMode(int32_t mode) { return mode == 3 || mode == 9; }
inline bool decodableMode(int32_t mode) { return mode == 0 || mode == 2 || deltaMode(mode); }
inline char upper(int c) { return static_cast<char>(isParameterLetter(c) ? c - 0x20 : c); }

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
  // Plane-based rows: every byte of a seed from seedUsed_ on, and of the
  // plain row from plainUsed_ on, is zero, so rows are cleared and copied
  // only as far as they were written.
  std::array<int32_t, plugin::kMaxPlanes + 1> seedUsed_{};
  int32_t plainUsed_ = 0;
};

}  // namespace hp
