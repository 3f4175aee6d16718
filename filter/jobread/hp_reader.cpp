// Reads an HP PCL raster job the way a printer does, without the plug-in's
// code (only VaskUtil's mode 2 and mode 9 decoders are shared, and tested on
// their own): PCL parameterised escape sequences are split into their
// parameter groups, raster rows are decoded against their seed rows (modes 0,
// 1, 2, 3 and 9 for planes, methods 2, 9 and 10 for the components of an
// ESC*g format 6 configuration), and every other byte goes to `other` with the
// numbers in one canonical form.
//
// Canonical form of `other`: every parameter group of a parameterised
// sequence becomes a sequence of its own, "ESC" + the two command bytes + the
// value + the terminator in upper case, so that ESC*r2400s-4u0A and
// ESC*r2400S ESC*r-4U ESC*rA read alike. A value is written as "%d" (a
// missing value as 0, "-0" as 0), a '+' sign is kept (it makes a move
// relative) and a fraction keeps its significant digits. Raster row
// transfers (ESC*b#V, ESC*b#W) and compression-mode groups (ESC*b#M) are left
// out: a rewrite may relabel rows or send planes a row left out, and what the
// rows decode to is compared through the pages. Data blocks of the other
// commands that carry data are copied as they are.
#include <algorithm>
#include <cstring>

#include "VaskUtil.h"
#include "raster_job.h"

namespace jobread {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr size_t kSeedCapacity = 1 << 16;       // plain plane row bound, far beyond any page
constexpr int32_t kMaxEncodedRow = 32767;       // the shared decoders take 16-bit lengths
constexpr size_t kMaxSeedSlots = 64;            // planes per printer row the reader keeps apart
constexpr int64_t kMaxPixelWidth = 1 << 16;     // 24-bit pixel row bound
constexpr int64_t kValueLimit = 1000000000000;  // larger numbers are kept as written
// Decoded row data a job may fill: delta rows of a few bytes can repeat long
// seed rows, so a small hostile job could otherwise ask for any amount.
constexpr uint64_t kMaxPlainBytes = uint64_t{1} << 30;

bool isGroupChar(uint8_t c) { return c >= 0x60 && c <= 0x7E; }
bool isParameterizedChar(uint8_t c) { return c >= 0x21 && c <= 0x2F; }
bool isTerminator(uint8_t c) { return c >= 0x40 && c <= 0x7E; }
bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }
uint8_t upper(uint8_t c) { return isGroupChar(c) ? static_cast<uint8_t>(c - 0x20) : c; }

// One parameter group as read from the job.
struct Group {
  size_t begin = 0, valueEnd = 0;  // value bytes [begin, valueEnd)
  bool complete = false;           // a terminator follows the value
  uint8_t terminator = 0;          // as read
  int64_t value = 0;               // integer part, signed, clamped
  std::string canonical;           // value in canonical form
};

// Commands whose value counts data bytes that follow the terminator.
struct DataCommand {
  char first, second, terminator;
};
constexpr DataCommand kDataCommands[] = {
    {'*', 'b', 'V'}, {'*', 'b', 'W'}, {'*', 'g', 'W'}, {'(', 's', 'W'}, {')', 's', 'W'}, {'(', 'f', 'W'},
    {'*', 'c', 'W'}, {'&', 'p', 'X'}, {'*', 'v', 'W'}, {'*', 'o', 'W'}, {'&', 'n', 'W'}, {'*', 'm', 'W'},
    {'*', 'l', 'W'}, {'*', 'i', 'W'}, {'&', 'b', 'W'},
};

bool carriesData(uint8_t first, uint8_t second, uint8_t terminator) {
  for (const DataCommand& command : kDataCommands) {
    if (command.first == first && command.second == second && command.terminator == upper(terminator)) return true;
  }
  return false;
}

// Planes per component for a number of intensity levels.
int planesForLevels(int levels) {
  int planes = 1;
  while (planes < 8 && (1 << planes) < levels) ++planes;
  return planes;
}

struct PlaneSlot {
  char ink = 'K';
  size_t seed = 0;  // seed row slot; black rows at twice the colour resolution share theirs
};

struct Component {
  int method = 0;
  char ink = 'K';
  uint8_t bits = 1;
};

// A plane's previous row. Bytes past `used` are zero.
struct Seed {
  std::vector<uint8_t> bytes;
  size_t used = 0;
  uint8_t* data() {
    if (bytes.empty()) bytes.assign(kSeedCapacity, 0);
    return bytes.data();
  }
  void clear() {
    if (used > 0) std::memset(bytes.data(), 0, used);
    used = 0;
  }
  void assign(const uint8_t* row, size_t length) {
    clear();
    if (length > 0) std::memcpy(data(), row, length);
    used = length;
  }
  Bytes trimmed() const {
    size_t n = used;
    while (n > 0 && bytes[n - 1] == 0) --n;
    return n == 0 ? Bytes() : Bytes(reinterpret_cast<const char*>(bytes.data()), n);
  }
};

// Extension bytes: each is added, reading stops after one that is not 255.
bool addExtension(const uint8_t* source, size_t length, size_t& in, int64_t& field) {
  uint8_t extension = 0;
  do {
    if (in >= length) return false;
    extension = source[in++];
    field += extension;
  } while (extension == 255);
  return true;
}

// Mode 1: pairs of repeat count - 1 and byte.
bool decodeMode1(const uint8_t* source, size_t length, Seed& seed) {
  std::vector<uint8_t> row;
  size_t in = 0;
  for (; in + 1 < length && row.size() < kSeedCapacity; in += 2) row.insert(row.end(), source[in] + 1u, source[in + 1]);
  const bool fits = row.size() <= kSeedCapacity;
  row.resize(std::min(row.size(), kSeedCapacity));
  seed.assign(row.data(), row.size());
  return fits && in == length;
}

// Mode 3 (delta row): command byte with bytes-1 in the top three bits and the
// offset in the low five (31: extension bytes follow), then the bytes.
bool decodeMode3(const uint8_t* source, size_t length, Seed& seed) {
  uint8_t* row = seed.data();
  size_t in = 0;
  int64_t position = 0;
  while (in < length) {
    const uint8_t command = source[in++];
    int64_t offset = command & 0x1F;
    if (offset == 31 && !addExtension(source, length, in, offset)) return false;
    position += offset;
    for (int k = 0; k <= command >> 5; ++k) {
      if (in >= length || position >= static_cast<int64_t>(kSeedCapacity)) return false;
      row[position++] = source[in++];
      seed.used = std::max(seed.used, static_cast<size_t>(position));
    }
  }
  return true;
}

// Mode 10: 24-bit pixel rows as commands against the previous row.
struct Pixel {
  uint8_t r = 0xFF, g = 0xFF, b = 0xFF;
};

Pixel pixelAt(const Bytes& row, int64_t index) {
  if (index < 0 || static_cast<size_t>(3 * index + 2) >= row.size()) return Pixel{};
  const auto* p = reinterpret_cast<const uint8_t*>(row.data()) + 3 * index;
  return Pixel{p[0], p[1], p[2]};
}

int signed5(unsigned v) { return (v & 0x10) ? static_cast<int>(v & 0x1F) - 32 : static_cast<int>(v & 0x1F); }

// New pixel data: two bytes of 5-bit differences from the pixel above, or
// three bytes of absolute 8-8-7-bit colour.
bool readPixel(const uint8_t* source, size_t length, size_t& in, const Pixel& above, Pixel& pixel) {
  if (in >= length) return false;
  if (source[in] & 0x80) {
    if (in + 1 >= length) return false;
    const unsigned v = ((source[in] & 0x7Fu) << 8) | source[in + 1];
    in += 2;
    pixel.r = static_cast<uint8_t>(above.r + signed5(v >> 10));
    pixel.g = static_cast<uint8_t>(above.g + signed5(v >> 5));
    pixel.b = static_cast<uint8_t>(above.b + 2 * signed5(v));
    return true;
  }
  if (in + 2 >= length) return false;
  const unsigned v = (static_cast<unsigned>(source[in]) << 16) | (source[in + 1] << 8) | source[in + 2];
  in += 3;
  pixel.r = static_cast<uint8_t>(v >> 15);
  pixel.g = static_cast<uint8_t>(v >> 7);
  pixel.b = static_cast<uint8_t>((v & 0x7F) << 1);
  if ((pixel.r >> 1) == (pixel.g >> 1) && (pixel.g >> 1) == (pixel.b >> 1)) {
    pixel.b = pixel.g;
  } else {
    pixel.b = static_cast<uint8_t>(pixel.b | (pixel.b >> 7));
  }
  return true;
}

// Decodes one row into `out` (the seed's size) and makes it the new seed.
// Returns false when the data ends inside a command.
bool decodeMode10(const uint8_t* source, size_t length, Bytes& seed, Bytes& out) {
  out = seed;
  const int64_t width = static_cast<int64_t>(seed.size() / 3);
  auto* row = reinterpret_cast<uint8_t*>(out.data());
  int64_t position = 0;
  Pixel cache{0xFF, 0xFF, 0xFE};
  auto put = [&](const Pixel& p) {
    if (position < width) {
      row[3 * position] = p.r;
      row[3 * position + 1] = p.g;
      row[3 * position + 2] = p.b;
    }
    ++position;
  };
  auto fromSource = [&](int source) {
    switch (source) {
      case 1:  // west: the pixel left of this one in the row being decoded
        return pixelAt(out, position - 1);
      case 2:  // north-east
        return pixelAt(seed, position + 1);
      default:
        return cache;
    }
  };
  bool complete = true;
  size_t in = 0;
  while (in < length && position < width) {
    const uint8_t command = source[in++];
    const bool run = (command & 0x80) != 0;
    const int pixelSource = (command >> 5) & 3;
    int64_t offset = (command >> 3) & 3;
    int64_t count = command & 7;
    if (offset == 3 && !addExtension(source, length, in, offset)) {
      complete = false;
      break;
    }
    position += offset;
    if (run) {
      Pixel first;
      if (pixelSource == 0) {
        if (!readPixel(source, length, in, pixelAt(seed, position), first)) {
          complete = false;
          break;
        }
        cache = first;
      } else {
        first = fromSource(pixelSource);
      }
      if (count == 7 && !addExtension(source, length, in, count)) {
        complete = false;
        break;
      }
      for (int64_t k = 0; k < count + 2 && position < width; ++k) put(first);
      continue;
    }
    int64_t total = count + 1;
    bool extended = count == 7;
    int64_t nextExtension = 8;
    for (int64_t k = 1; k <= total; ++k) {
      Pixel pixel;
      if (k == 1 && pixelSource != 0) {
        pixel = fromSource(pixelSource);
      } else if (!readPixel(source, length, in, pixelAt(seed, position), pixel)) {
        complete = false;
        break;
      } else if (k == 1) {
        cache = pixel;
      }
      put(pixel);
      if (extended && k == nextExtension) {
        if (in >= length) {
          complete = false;
          break;
        }
        const uint8_t extension = source[in++];
        total += extension;
        if (extension == 255) {
          nextExtension = total;
        } else {
          extended = false;
        }
      }
    }
    if (!complete) break;
  }
  seed = out;
  return complete;
}

// Leaves off trailing white pixels (blue's lowest bit is not significant).
Bytes trimWhitePixels(const Bytes& row) {
  size_t n = row.size() / 3 * 3;
  while (n >= 3 && (static_cast<uint8_t>(row[n - 1]) | 1) == 0xFF && static_cast<uint8_t>(row[n - 2]) == 0xFF &&
         static_cast<uint8_t>(row[n - 3]) == 0xFF) {
    n -= 3;
  }
  return row.substr(0, n);
}

class HpReader {
 public:
  explicit HpReader(const Bytes& job) : job_(job), data_(reinterpret_cast<const uint8_t*>(job.data())), size_(job.size()) {
    result_.other.reserve(job.size() / 4);
    planes_ = {PlaneSlot{'K', 0}};
  }

  Job read() {
    while (at_ < size_) {
      if (data_[at_] == kEsc) {
        escape();
      } else {
        const auto* next = static_cast<const uint8_t*>(std::memchr(data_ + at_, kEsc, size_ - at_));
        const size_t end = next ? static_cast<size_t>(next - data_) : size_;
        result_.other.append(job_, at_, end - at_);
        at_ = end;
      }
    }
    endPage();
    return std::move(result_);
  }

 private:
  // Reads a group's value and terminator starting at `from` (not consumed).
  Group parseGroup(size_t from) const {
    Group g;
    g.begin = from;
    size_t p = from;
    bool negative = false, plus = false;
    if (p < size_ && (data_[p] == '+' || data_[p] == '-')) {
      negative = data_[p] == '-';
      plus = data_[p] == '+';
      ++p;
    }
    const size_t digits = p;
    int64_t value = 0;
    bool huge = false;
    while (p < size_ && isDigit(data_[p])) {
      if (value < kValueLimit) value = value * 10 + (data_[p] - '0'); else huge = true;
      ++p;
    }
    const size_t digitsEnd = p;
    size_t fractionEnd = p;
    if (p < size_ && data_[p] == '.') {
      ++p;
      while (p < size_ && isDigit(data_[p])) ++p;
      fractionEnd = p;
      while (fractionEnd > digitsEnd + 1 && data_[fractionEnd - 1] == '0') --fractionEnd;
    }
    g.valueEnd = p;
    g.complete = p < size_ && isTerminator(data_[p]);
    if (g.complete) g.terminator = data_[p];
    g.value = negative ? -value : value;
    if (huge) {
      // Kept as written, without leading zeros.
      size_t first = digits;
      while (first + 1 < digitsEnd && data_[first] == '0') ++first;
      g.canonical = std::string(negative ? "-" : plus ? "+" : "") + job_.substr(first, digitsEnd - first);
    } else {
      g.canonical = (plus ? "+" : "") + std::to_string(g.value);
    }
    if (fractionEnd > digitsEnd + 1) {
      if (g.value == 0 && negative && !huge) g.canonical = "-0";
      g.canonical += job_.substr(digitsEnd, fractionEnd - digitsEnd);
    }
    return g;
  }

  void escape() {
    if (at_ + 2 < size_ && isParameterizedChar(data_[at_ + 1]) && isGroupChar(data_[at_ + 2])) {
      parameterized(data_[at_ + 1], data_[at_ + 2]);
      return;
    }
    result_.other.push_back(static_cast<char>(kEsc));
    ++at_;
    if (at_ < size_ && data_[at_] == 'E') {
      result_.other.push_back('E');
      ++at_;
      reset();
    }
  }

  // One group as a sequence of its own, in canonical form.
  void emit(uint8_t first, uint8_t second, const std::string& value, uint8_t terminator) {
    emitRaw(first, second);
    result_.other += value;
    result_.other.push_back(static_cast<char>(upper(terminator)));
  }

  // ESC, a parameterised character, a group character, then groups: lower-case
  // terminators continue the sequence, an upper-case one ends it. Raster
  // transfers (ESC*b) go on after an upper-case terminator when a value
  // follows, as printers accept and drivers send.
  void parameterized(uint8_t first, uint8_t second) {
    const size_t start = at_;
    at_ += 3;
    const bool raster = first == '*' && second == 'b';
    bool any = false, upperCase = false;
    for (;;) {
      size_t p = at_;
      bool carriageReturn = false;
      if (any && raster && p < size_ && data_[p] == '\r') {
        carriageReturn = true;
        ++p;
      }
      if (any && upperCase) {
        if (!raster || p >= size_ || !(isDigit(data_[p]) || data_[p] == '+' || data_[p] == '-' || data_[p] == '.')) return;
      }
      if (any && (p >= size_ || data_[p] == kEsc)) return;
      const Group g = parseGroup(p);
      if (!g.complete) {
        if (any && (upperCase || carriageReturn)) return;  // not part of the sequence after all
        // An unfinished group: what was read stays as it came.
        if (!any) {
          result_.other.append(job_, start, 3);
        } else if (g.valueEnd > g.begin) {
          emitRaw(first, second);
        }
        result_.other.append(job_, g.begin, g.valueEnd - g.begin);
        at_ = g.valueEnd;
        return;
      }
      if (carriageReturn) result_.other.push_back('\r');
      at_ = g.valueEnd + 1;
      any = true;
      upperCase = !isGroupChar(g.terminator);
      apply(first, second, g);
    }
  }

  void emitRaw(uint8_t first, uint8_t second) {
    result_.other.push_back(static_cast<char>(kEsc));
    result_.other.push_back(static_cast<char>(first));
    result_.other.push_back(static_cast<char>(second));
  }

  // Data bytes of a command: at most what the job still holds.
  Bytes takeData(int64_t count) {
    if (count <= 0) return {};
    size_t n = static_cast<size_t>(count);
    if (n > size_ - at_) {
      n = size_ - at_;
      result_.truncated = true;
    }
    Bytes data = job_.substr(at_, n);
    at_ += n;
    return data;
  }

  void apply(uint8_t first, uint8_t second, const Group& g) {
    const uint8_t terminator = upper(g.terminator);
    if (first == '*' && second == 'b') {
      if (terminator == 'M') {
        compression_ = g.value;
        return;
      }
      if (terminator == 'V' || terminator == 'W') {
        rowData(takeData(g.value), terminator == 'W');
        return;
      }
      emit(first, second, g.canonical, terminator);
      if (terminator == 'Y') yOffset(g.value);
      return;
    }
    emit(first, second, g.canonical, terminator);
    if (carriesData(first, second, terminator)) {
      const Bytes data = takeData(g.value);
      result_.other += data;
      if (first == '*' && second == 'g') configure(data);
      return;
    }
    if (first == '*' && second == 'r') {
      switch (terminator) {
        case 'A':
          if (g.value == 0 || g.value == 1) startPage();
          break;
        case 'B':
        case 'C':
          endPage();
          break;
        case 'S':
          width_ = std::clamp<int64_t>(g.value, 0, kMaxPixelWidth);
          break;
        case 'U':
          simpleColor(g.value);
          break;
        default:
          break;
      }
    } else if (first == '*' && second == 't' && terminator == 'R') {
      resolution_ = static_cast<int>(std::clamp<int64_t>(g.value, 0, 1 << 20));
      xDpi_ = yDpi_ = resolution_;
    }
  }

  void reset() {
    endPage();
    compression_ = 0;
    planes_ = {PlaneSlot{'K', 0}};
    xDpi_ = yDpi_ = resolution_;
  }

  void simpleColor(int64_t value) {
    if (value == -4) {
      planes_ = {{'K', 0}, {'C', 1}, {'M', 2}, {'Y', 3}};
    } else if (value == -3) {
      planes_ = {{'C', 0}, {'M', 1}, {'Y', 2}};
    } else if (value == 1) {
      planes_ = {{'K', 0}};
    }
  }

  static int word(const Bytes& data, size_t at) {
    return (static_cast<uint8_t>(data[at]) << 8) | static_cast<uint8_t>(data[at + 1]);
  }

  // ESC*g: format 6 lists components with their compression method; any
  // other format lists black (unless there are exactly three records) and the
  // colours with their resolutions and intensity levels.
  void configure(const Bytes& data) {
    if (data.empty()) return;
    layout_ = static_cast<uint8_t>(data[0]);
    if (layout_ == 6) {
      if (data.size() < 4) return;
      const size_t count = std::min<size_t>({static_cast<size_t>(word(data, 2)), (data.size() - 4) / 8, kMaxSeedSlots});
      components_.clear();
      static const char kInks[] = "KCMYcmk";
      size_t inkIndex = 0;
      xDpi_ = yDpi_ = 0;
      for (size_t i = 0; i < count; ++i) {
        const size_t at = 4 + 8 * i;
        Component c;
        xDpi_ = std::max(xDpi_, word(data, at));
        yDpi_ = std::max(yDpi_, word(data, at + 2));
        c.method = static_cast<uint8_t>(data[at + 4]);
        const uint8_t bits = static_cast<uint8_t>(data[at + 6]);
        if (c.method == 10) {
          c.ink = 'R';
          c.bits = 24;
        } else {
          c.ink = inkIndex < 7 ? kInks[inkIndex++] : '?';
          c.bits = (bits == 1 || bits == 2 || bits == 4 || bits == 8) ? bits : 1;
        }
        components_.push_back(c);
      }
      return;
    }
    if (data.size() < 8) return;
    const size_t records = std::min<size_t>((data.size() - 2) / 6, 10);
    const bool colourOnly = records == 3;
    static const char kColours[] = "CMYcmk";
    int blackH = 0, blackV = 0, blackPlanes = 0, colourH = 0, colourV = 0;
    std::vector<std::pair<char, int>> colours;  // ink, planes
    for (size_t i = 0; i < records; ++i) {
      const size_t at = 2 + 6 * i;
      const int h = word(data, at), v = word(data, at + 2), planes = planesForLevels(word(data, at + 4));
      if (i == 0 && !colourOnly) {
        blackH = h, blackV = v, blackPlanes = planes;
      } else {
        colourH = std::max(colourH, h), colourV = std::max(colourV, v);
        const size_t index = colours.size();
        colours.emplace_back(index < 6 ? kColours[index] : '?', planes);
      }
    }
    // Black printed at a multiple of the colour's vertical resolution sends
    // that many black rows per printer row; each black row carries on from the
    // one before it.
    const int repeat = (blackPlanes > 0 && colourV > 0 && blackV > colourV) ? std::min(blackV / colourV, 8) : 1;
    planes_.clear();
    for (int r = 0; r < repeat; ++r) {
      for (int p = 0; p < blackPlanes; ++p) planes_.push_back({'K', static_cast<size_t>(p)});
    }
    size_t slot = static_cast<size_t>(blackPlanes);
    for (const auto& [ink, planes] : colours) {
      for (int p = 0; p < planes; ++p) planes_.push_back({ink, slot++});
    }
    xDpi_ = std::max(blackH, colourH);
    yDpi_ = std::max(blackV, colourV);
  }

  // Raster pages.
  void startPage() {
    endPage();
    open_ = true;
    page_ = Page{};
    page_.xDpi = xDpi_;
    page_.yDpi = yDpi_;
    y_ = 0;
    row_.clear();
    pageWidth_ = width_;
    resetSeeds();
  }

  void endPage() {
    if (!open_) return;
    finishRow();
    result_.pages.push_back(std::move(page_));
    page_ = Page{};
    open_ = false;
  }

  void resetSeeds() {
    for (Seed& seed : seeds_) seed.clear();
    pixelSeeds_.clear();
  }

  void finishRow() {
    if (row_.empty()) return;
    page_.rows.push_back(std::move(row_));
    page_.rowY.push_back(static_cast<int>(std::min<int64_t>(y_, 0x7FFFFFFF)));
    row_.clear();
    ++y_;
  }

  void yOffset(int64_t rows) {
    if (!open_) startPage();
    finishRow();
    if (rows > 0) y_ = std::min<int64_t>(y_ + rows, 0x7FFFFFFF);
    resetSeeds();
  }

  Seed& seedAt(size_t slot) {
    if (seeds_.size() <= slot) seeds_.resize(slot + 1);
    return seeds_[slot];
  }

  // Decodes one plane row against its seed; false when it would not decode.
  bool decodePlane(int64_t mode, const Bytes& data, Seed& seed, Bytes& plain) {
    const auto* source = reinterpret_cast<const uint8_t*>(data.data());
    const size_t length = data.size();
    bool ok = true;
    switch (mode) {
      case 0:
        ok = length <= kSeedCapacity;
        seed.assign(source, std::min(length, kSeedCapacity));
        break;
      case 1:
        ok = decodeMode1(source, length, seed);
        break;
      case 2: {
        if (length > static_cast<size_t>(kMaxEncodedRow)) {
          seed.clear();
          return false;
        }
        if (scratch_.empty()) scratch_.resize(kSeedCapacity);
        const int32_t n = decodePlaneToTableBounded(source, static_cast<int32_t>(length), scratch_.data(),
                                             static_cast<int32_t>(kSeedCapacity));
        ok = static_cast<size_t>(n) < kSeedCapacity;
        seed.assign(scratch_.data(), static_cast<size_t>(n));
        break;
      }
      case 3:
        ok = decodeMode3(source, length, seed);
        break;
      case 9: {
        if (length > static_cast<size_t>(kMaxEncodedRow)) return false;
        const int32_t end = decompressMode9Bounded(source, static_cast<int32_t>(length), seed.data(),
                                            static_cast<int32_t>(kSeedCapacity));
        ok = static_cast<size_t>(end) < kSeedCapacity;
        seed.used = std::max(seed.used, static_cast<size_t>(end));
        break;
      }
      default:
        return false;
    }
    plain = seed.trimmed();
    return ok;
  }

  void rowData(const Bytes& data, bool lastPlane) {
    if (!open_) startPage();  // raster graphics start implicitly at a row
    const size_t index = row_.size();
    PlaneRow plane;
    bool ok = false;
    if (layout_ == 6) {
      if (index < components_.size()) {
        const Component& c = components_[index];
        plane.ink = c.ink;
        plane.bitsPerPixel = c.bits;
        if (c.method == 10) {
          ok = decodePixels(index, data, plane.data);
        } else if (c.method == 2 || c.method == 9) {
          ok = decodePlane(c.method, data, seedAt(index), plane.data);
        }
      } else {
        plane.ink = '?';
      }
    } else {
      plane.ink = index < planes_.size() ? planes_[index].ink : '?';
      const size_t slot = index < planes_.size() ? planes_[index].seed : index;
      if (slot < kMaxSeedSlots) ok = decodePlane(compression_, data, seedAt(slot), plane.data);
    }
    plainBytes_ += plane.data.size();
    if (plainBytes_ > kMaxPlainBytes) {
      plane.data.clear();
      ok = false;
    }
    if (!ok) result_.truncated = true;
    row_.push_back(std::move(plane));
    if (lastPlane) {
      // Planes a row leaves out are empty rows of the current mode: blank in
      // modes 0 to 2, the seed row again in the delta modes.
      const size_t configured = layout_ == 6 ? components_.size() : planes_.size();
      while (row_.size() < configured) rowData(Bytes(), false);
      finishRow();
    }
  }

  bool decodePixels(size_t component, const Bytes& data, Bytes& plain) {
    if (pixelSeeds_.size() <= component) pixelSeeds_.resize(component + 1);
    Bytes& seed = pixelSeeds_[component];
    if (seed.empty()) {
      // The row width: ESC*r#S, else eight inches at the component's resolution.
      const int64_t width = pageWidth_ > 0 ? pageWidth_ : 8 * std::max(xDpi_, 300);
      seed.assign(static_cast<size_t>(3 * std::min(width, kMaxPixelWidth)), static_cast<char>(0xFF));
    }
    Bytes row;
    const bool ok = decodeMode10(reinterpret_cast<const uint8_t*>(data.data()), data.size(), seed, row);
    plain = trimWhitePixels(row);
    return ok;
  }

  const Bytes& job_;
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  Job result_;

  // Configuration.
  int64_t compression_ = 0;
  int layout_ = 0;
  std::vector<PlaneSlot> planes_;
  std::vector<Component> components_;
  int64_t width_ = 0;
  int resolution_ = 0, xDpi_ = 0, yDpi_ = 0;

  // The open raster page.
  bool open_ = false;
  Page page_;
  std::vector<PlaneRow> row_;
  int64_t y_ = 0;
  int64_t pageWidth_ = 0;
  std::vector<Seed> seeds_;
  std::vector<Bytes> pixelSeeds_;
  std::vector<uint8_t> scratch_;
  uint64_t plainBytes_ = 0;
};

}  // namespace

Job readHpJob(const Bytes& job) { return HpReader(job).read(); }

}  // namespace jobread
