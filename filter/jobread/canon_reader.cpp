// Canon raster jobs: ESC ( letter, a little-endian 16-bit length and a
// payload. ESC ( A carries one run-length coded row of the colour named by its
// first byte; ESC ( F a band of rows, each ended by a 0x80 count byte, of the
// colour the ESC ( L list names in turn; ESC ( e advances the paper; ESC ( t
// sets the bits per pixel (per colour in its extended form, with packing type
// 1 for three-level inks, 5 base-3 pixels a byte); a form feed ends a page.
// Every command is skipped by its length, so payloads never look like rows.
#include <algorithm>
#include <map>

#include "raster_job.h"

namespace jobread {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kFormFeed = 0x0C;
constexpr uint8_t kRowEnd = 0x80;
constexpr size_t kMaxListEntries = 256;
// Bounds on what a job may decode to: a row (far beyond any page width), and
// the whole job's rows and bytes. Past them rows are left out and the job is
// marked truncated.
constexpr size_t kMaxRowBytes = 1 << 16;
constexpr size_t kMaxRows = 1 << 22;
constexpr size_t kMaxDecodedBytes = size_t{1} << 29;
constexpr uint64_t kMaxRowPosition = 1 << 24;  // rows down a page
constexpr char kInkOrder[] = "CMYKcmyk";       // colours of the extended ESC ( t records

struct InkMode {
  uint8_t bitsPerPixel = 1;
  uint8_t packing = 0;  // 1 with 2 bits per pixel: three-level bytes
};

// Decodes run-length packets: a count below 0x80 is followed by count + 1
// literal bytes, one above 0x80 by one byte repeated 257 - count times; 0x80
// does nothing here (ESC ( F rows are split at it before). A row is cut at
// kMaxRowBytes; `cut` says so.
Bytes unpack(const uint8_t* p, size_t n, bool& cut) {
  Bytes out;
  for (size_t i = 0; i < n;) {
    const uint8_t c = p[i++];
    if (c < 0x80) {
      const size_t take = std::min<size_t>(c + 1u, n - i);
      out.append(reinterpret_cast<const char*>(p + i), take);
      i += take;
    } else if (c > 0x80 && i < n) {
      out.append(257u - c, static_cast<char>(p[i++]));
    }
    if (out.size() > kMaxRowBytes) {
      out.resize(kMaxRowBytes);
      cut = true;
      break;
    }
  }
  return out;
}

// Three-level bytes hold 5 pixels of 0, 1 or 2 (the digit of weight 81 is the
// leftmost); they become 2-bit pixels, 4 a byte, leftmost in the high bits.
Bytes threeLevelToTwoBit(const Bytes& packed) {
  Bytes out((packed.size() * 5 * 2 + 7) / 8, '\0');
  size_t pixel = 0;
  for (const char c : packed) {
    unsigned value = static_cast<uint8_t>(c);
    uint8_t digits[5];
    for (int k = 0; k < 5; ++k, value /= 3) digits[k] = static_cast<uint8_t>(value % 3);
    for (int k = 4; k >= 0; --k, ++pixel)
      out[pixel / 4] = static_cast<char>(out[pixel / 4] | digits[k] << (6 - 2 * (pixel % 4)));
  }
  return out;
}

class CanonReader {
 public:
  explicit CanonReader(const Bytes& job) : job_(job), p_(reinterpret_cast<const uint8_t*>(job.data())) {}

  Job read() {
    size_t i = 0;
    const size_t size = job_.size();
    while (i < size) {
      const uint8_t c = p_[i];
      if (c == kEsc && i + 4 < size && (p_[i + 1] == '(' || p_[i + 1] == '[')) {
        const size_t length = p_[i + 3] | (p_[i + 4] << 8);
        const size_t payload = i + 5;
        if (payload + length > size) {  // runs past the end: keep the rest as it is
          result_.truncated = true;
          other(i, size);
          break;
        }
        if (p_[i + 1] == '(')
          command(static_cast<char>(p_[i + 2]), i, payload, length);
        else
          other(i, payload + length);
        i = payload + length;
        continue;
      }
      if (c == kFormFeed) endPage();
      result_.other.push_back(static_cast<char>(c));
      ++i;
    }
    endPage();
    return std::move(result_);
  }

 private:
  void other(size_t from, size_t to) { result_.other.append(job_, from, to - from); }

  uint16_t bigEndian16(size_t at) const { return static_cast<uint16_t>(p_[at] << 8 | p_[at + 1]); }

  void command(char letter, size_t start, size_t payload, size_t length) {
    switch (letter) {
      case 'A':
        // Length 0 or colour 0xFF: no row; the command stays as it is.
        if (length == 0 || p_[payload] == 0xFF) break;
        other(start, start + 3);
        result_.other.push_back(static_cast<char>(p_[payload]));
        addRow(y_, static_cast<char>(p_[payload]), mode_, unpack(p_ + payload + 1, length - 1, result_.truncated));
        return;
      case 'F':
        if (list_.empty()) break;  // no colour list: not a band the plug-ins rewrite
        other(start, start + 3);
        band(payload, length);
        return;
      case 'L':
        list_.assign(job_, payload, std::min(length, kMaxListEntries));
        listIndex_ = 0;
        break;
      case 'J':
        if (length >= 1) bandHeight_ = std::max(1, int{p_[payload]});
        break;
      case 'd':
        if (length == 2) {
          xDpi_ = yDpi_ = bigEndian16(payload);
        } else if (length == 4) {
          yDpi_ = bigEndian16(payload);
          xDpi_ = bigEndian16(payload + 2);
        }
        break;
      case 'e': {
        uint32_t skip = 0;
        for (size_t k = 0; k < std::min<size_t>(length, 4); ++k) skip = skip << 8 | p_[payload + k];
        y_ = static_cast<int>(std::min<uint64_t>(uint64_t(y_) + skip, kMaxRowPosition));
        break;
      }
      case 't':
        rasterMode(payload, length);
        break;
      default:
        break;
    }
    other(start, payload + length);
  }

  void rasterMode(size_t payload, size_t length) {
    if (length == 0) return;
    const uint8_t b = p_[payload];
    if (length == 1) {
      mode_.bitsPerPixel = 1;
    } else if (b < 0x80) {
      mode_.bitsPerPixel = b & 0x1F;
    } else if (length > 3) {
      // Extended form: two more header bytes, then 3-byte records per colour.
      mode_.bitsPerPixel = 1;
      size_t record = 0;
      for (size_t offset = 3; offset + 3 <= length; offset += 3, ++record) {
        if (record >= 8) continue;
        const uint8_t r = p_[payload + offset];
        InkMode& ink = inks_[static_cast<uint8_t>(kInkOrder[record])];
        ink.bitsPerPixel = std::max(1, r & 0x1F);
        ink.packing = static_cast<uint8_t>(r >> 5);
      }
    }
    if (mode_.bitsPerPixel == 0) mode_.bitsPerPixel = 1;
    mode_.packing = 0;
  }

  void band(size_t payload, size_t length) {
    const char colour = list_[listIndex_];
    if (listIndex_ == 0) bandY_ = y_;
    const auto known = inks_.find(static_cast<uint8_t>(colour));
    const InkMode mode = known != inks_.end() ? known->second : mode_;
    // Rows end at a 0x80 count byte; literal and repeated bytes may hold 0x80.
    const size_t end = payload + length;
    size_t start = payload, rows = 0;
    for (size_t k = payload; k < end;) {
      const uint8_t c = p_[k];
      if (c == kRowEnd) {
        addRow(bandY_ + static_cast<int>(rows++), colour, mode, unpack(p_ + start, k - start, result_.truncated));
        start = ++k;
      } else {
        k += c < 0x80 ? c + 2u : 2u;
      }
    }
    if (start < end)
      addRow(bandY_ + static_cast<int>(rows++), colour, mode, unpack(p_ + start, end - start, result_.truncated));
    if (listIndex_ == 0) {
      const uint64_t next = uint64_t(bandY_) + std::max<size_t>(bandHeight_, rows);
      y_ = static_cast<int>(std::min(next, kMaxRowPosition));
    }
    listIndex_ = (listIndex_ + 1) % list_.size();
  }

  void addRow(int y, char colour, InkMode mode, Bytes dots) {
    if (rowCount_ >= kMaxRows || decodedBytes_ + dots.size() > kMaxDecodedBytes) {
      result_.truncated = true;
      return;
    }
    ++rowCount_;
    decodedBytes_ += dots.size();
    PlaneRow row;
    row.ink = colour;
    if (mode.packing == 1 && mode.bitsPerPixel == 2) {
      row.bitsPerPixel = 2;
      row.data = threeLevelToTwoBit(dots);
    } else {
      row.bitsPerPixel = mode.bitsPerPixel == 2 || mode.bitsPerPixel == 4 ? mode.bitsPerPixel : 1;
      row.data = std::move(dots);
    }
    if (!pageOpen_) {
      pageOpen_ = true;
      page_ = Page{};
      page_.xDpi = xDpi_;
      page_.yDpi = yDpi_;
      rowsAt_.clear();
    }
    rowsAt_[y].push_back(std::move(row));
  }

  void endPage() {
    if (pageOpen_) {
      for (auto& [y, planes] : rowsAt_) {
        page_.rowY.push_back(y);
        page_.rows.push_back(std::move(planes));
      }
      result_.pages.push_back(std::move(page_));
      pageOpen_ = false;
    }
    y_ = 0;
    bandY_ = 0;
    listIndex_ = 0;
  }

  const Bytes& job_;
  const uint8_t* p_;
  Job result_;
  Page page_;
  bool pageOpen_ = false;
  std::map<int, std::vector<PlaneRow>> rowsAt_;  // planes of the open page by row position
  size_t rowCount_ = 0, decodedBytes_ = 0;
  int y_ = 0, bandY_ = 0, bandHeight_ = 1, xDpi_ = 0, yDpi_ = 0;
  Bytes list_;
  size_t listIndex_ = 0;
  InkMode mode_;
  std::map<uint8_t, InkMode> inks_;
};

}  // namespace

Job readCanonJob(const Bytes& job) { return CanonReader(job).read(); }

}  // namespace jobread
