// VaskHP's raster data path: opens and closes the raster page with the
// reduction (or calibration) library, keeps the seed rows and work buffers,
// and turns every incoming row into a thinned, re-encoded one.
#include <algorithm>
#include <cstring>

#include "hp_codecs.h"
#include "hp_parser_internal.h"

namespace hp {
namespace {

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

int32_t trimTrailingZeros(const uint8_t* row, int32_t length) {
  for (uint64_t word; length >= 8; length -= 8) {
    std::memcpy(&word, row + length - 8, 8);
    if (word != 0) break;
  }
  while (length > 0 && row[length - 1] == 0) --length;
  return length;
}

// Ink of a 24-bit row: pixels that are not white. Blue's lowest bit does not
// count (the codec drops it; the cache colour's white has it clear).
int32_t countInkPixels(const uint8_t* row, int32_t rowBytes) {
  static const uint8_t kWhite[24] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                     0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  int32_t count = 0;
  int32_t i = 0;
  for (; i + 24 <= rowBytes; i += 24) {
    if (std::memcmp(row + i, kWhite, 24) == 0) continue;  // eight white pixels
    for (int32_t k = i; k < i + 24; k += 3) count += (row[k] & row[k + 1] & (row[k + 2] | 1)) != 0xFF;
  }
  for (; i + 2 < rowBytes; i += 3) count += (row[i] & row[i + 1] & (row[i + 2] | 1)) != 0xFF;
  return count;
}

}  // namespace

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
  seedUsed_.fill(0);
  plainUsed_ = 0;
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
    for (size_t i = 0; i < inSeeds_.size(); ++i) {
      std::memset(inSeeds_[i].data, 0, static_cast<size_t>(seedUsed_[i]));
      seedUsed_[i] = 0;
    }
  }
  seedValid_.fill(true);
}

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
        const int32_t other = 1 - slot;
        std::memcpy(seed, inSeeds_[other].data, static_cast<size_t>(std::max(seedUsed_[slot], seedUsed_[other])));
        seedUsed_[slot] = seedUsed_[other];
        seedValid_[slot] = seedValid_[other];
      }
      const int32_t end = count == 0 ? 0
                          : compression_ == 9 ? decompressMode9Bounded(input, count, seed, probe)
                                              : hp::decodeMode3(input, count, seed, probe);
      seedUsed_[slot] = std::max(seedUsed_[slot], std::min(end, probe));
      if (end > bufferSize_) {
        seedValid_[slot] = false;
        return false;
      }
      const int32_t used = std::min(seedUsed_[slot], bufferSize_);
      std::memcpy(plain, seed, static_cast<size_t>(used));
      if (plainUsed_ > used) std::memset(plain + used, 0, static_cast<size_t>(plainUsed_ - used));
      n = trimTrailingZeros(plain, used);
    } else {
      if (compression_ == 0) {
        n = count;
      } else {
        n = decodePlaneToTableBounded(input, count, plain, probe);
      }
      if (n > bufferSize_) {
        if (compression_ != 0) plainUsed_ = std::max(plainUsed_, std::min(n, probe));
        seedValid_[slot] = false;
        return false;
      }
      if (compression_ == 0) std::memcpy(plain, input, static_cast<size_t>(n));
      if (plainUsed_ > n) std::memset(plain + n, 0, static_cast<size_t>(plainUsed_ - n));
      // Every decoded row is its plane's seed for a following delta row.
      std::memcpy(seed, plain, static_cast<size_t>(n));
      if (seedUsed_[slot] > n) std::memset(seed + n, 0, static_cast<size_t>(seedUsed_[slot] - n));
      seedUsed_[slot] = n;
      seedValid_[slot] = true;
    }
    const int32_t before = CountDotsInPlane(plain, n);
    functions_.planeReduce(job_, plain, plane < blackPlanes_ ? 1 : 0, rowCounter_);
    // Thinning only takes dots away: nothing past n is set now.
    plainUsed_ = n;
    addDots(plane, before, CountDotsInPlane(plain, n));
    *encodedLength = CompressMode2(plain, 0, n, input, 1);
    return true;
  }
  // Component rows: data past the source raster width is clipped, as the
  // printer clips it.
  const int32_t method = methods_[plane];
  uint8_t* inSeed = inSeeds_[plane].data;
  uint8_t* outSeed = outSeeds_[plane].data;
  int32_t before = 0, after = 0, m = 0;
  if (method == 10) {
    // The decoder writes the whole row; the thinning reads one mask bit per pixel.
    const int32_t rowBytes = 3 * pageWidth_;
    hp::decodeMode10(input, count, inSeed, plain, rowBytes);
    before = countInkPixels(plain, rowBytes);
    uint8_t* mask = mask_.data;
    std::memset(mask, 0xFF, (static_cast<size_t>(pageWidth_) + 7) / 8);
    functions_.planeReduce(job_, mask, 0, rowCounter_);
    int32_t whitenedInk = 0;
    for (int32_t first = 0; first < pageWidth_; first += 8) {
      const uint8_t bits = mask[first >> 3];
      if (bits == 0xFF) continue;
      const int32_t last = std::min(first + 8, pageWidth_);
      for (int32_t k = first; k < last; ++k) {
        if (bits & (0x80 >> (k & 7))) continue;
        uint8_t* pixel = plain + 3 * k;
        whitenedInk += (pixel[0] & pixel[1] & (pixel[2] | 1)) != 0xFF;
        pixel[0] = pixel[1] = pixel[2] = 0xFF;
      }
    }
    after = before - whitenedInk;
    m = hp::encodeMode10(plain, rowBytes, outSeed, input);
  } else {
    std::memset(plain, 0, static_cast<size_t>(pageWidth_));
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

}  // namespace hp
