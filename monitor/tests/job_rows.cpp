#include "job_rows.h"

#include <bitset>
#include <cctype>
#include <map>

namespace job_rows {
namespace {

constexpr char kEsc = 0x1B;

uint8_t at(const Bytes& bytes, size_t i) { return static_cast<uint8_t>(bytes[i]); }

void trimZeros(Bytes* row) {
  while (!row->empty() && row->back() == 0) row->pop_back();
}

// PackBits (HP mode 2, Canon run-length rows).
Bytes unpackBits(const Bytes& src) {
  Bytes out;
  for (size_t i = 0; i < src.size();) {
    const uint8_t count = at(src, i++);
    if (count < 0x80) {
      for (size_t k = 0; k <= count && i < src.size(); ++k) out.push_back(src[i++]);
    } else if (count > 0x80 && i < src.size()) {
      out.append(257u - count, src[i++]);
    }
  }
  return out;
}

// Offset or count field with its 255-continued extension bytes.
size_t extended(const Bytes& src, size_t* i, size_t field, size_t maximum) {
  if (field != maximum) return field;
  while (*i < src.size()) {
    const uint8_t extra = at(src, (*i)++);
    field += extra;
    if (extra != 255) break;
  }
  return field;
}

void replace(Bytes* seed, size_t position, const Bytes& bytes) {
  if (seed->size() < position + bytes.size()) seed->resize(position + bytes.size(), 0);
  seed->replace(position, bytes.size(), bytes);
}

// HP mode 9: compressed replacement delta row, applied to the seed.
void applyMode9(const Bytes& src, Bytes* seed) {
  size_t o = 0;
  for (size_t i = 0; i < src.size();) {
    const uint8_t command = at(src, i++);
    if (command & 0x80) {
      o += extended(src, &i, (command >> 5) & 3, 3);
      const size_t count = extended(src, &i, command & 31, 31) + 2;
      if (i >= src.size()) break;
      replace(seed, o, Bytes(count, src[i++]));
      o += count;
    } else {
      o += extended(src, &i, (command >> 3) & 15, 15);
      const size_t count = extended(src, &i, command & 7, 7) + 1;
      const Bytes literal = src.substr(std::min(i, src.size()), count);
      i += count;
      replace(seed, o, literal);
      o += literal.size();
    }
  }
}

// HP mode 3: delta row, applied to the seed.
void applyMode3(const Bytes& src, Bytes* seed) {
  size_t o = 0;
  for (size_t i = 0; i < src.size();) {
    const uint8_t command = at(src, i++);
    const size_t count = (command >> 5) + 1u;
    o += extended(src, &i, command & 31, 31);
    const Bytes literal = src.substr(std::min(i, src.size()), count);
    i += count;
    replace(seed, o, literal);
    o += literal.size();
  }
}

// One parameter group of a PCL escape sequence: [sign] digits [. digits] letter.
struct Group {
  Bytes sign;
  Bytes digits;  // without leading zeros
  char terminator = 0;
};

bool readGroup(const Bytes& job, size_t* i, Group* group) {
  *group = Group{};
  size_t k = *i;
  if (k < job.size() && (job[k] == '+' || job[k] == '-')) group->sign = job[k++];
  const size_t start = k;
  while (k < job.size() && (isdigit(at(job, k)) || job[k] == '.')) ++k;
  group->digits = job.substr(start, k - start);
  if (k >= job.size() || !isalpha(at(job, k))) return false;
  group->terminator = job[k];
  const size_t first = group->digits.find_first_not_of('0');
  group->digits = first == Bytes::npos ? "0" : group->digits.substr(first);  // a missing value is 0
  *i = k + 1;
  return true;
}

class HpReader {
 public:
  explicit HpReader(const Bytes& job) : job_(job) {}

  Job read() {
    size_t i = 0;
    while (i < job_.size()) {
      if (job_[i] != kEsc) {
        result_.other += job_[i++];
        continue;
      }
      if (i + 2 < job_.size() && isHandledFamily(job_[i + 1], job_[i + 2])) {
        sequence(&i);
      } else {
        result_.other += job_[i++];  // copied through up to the next escape
      }
    }
    return result_;
  }

 private:
  static bool isHandledFamily(char a, char b) {
    const char f = static_cast<char>(tolower(static_cast<unsigned char>(b)));
    return (a == '*' && (f == 'r' || f == 't' || f == 'p' || f == 'o' || f == 'g' || f == 'b')) ||
           (a == '&' && (f == 'l' || f == 'u'));
  }

  void sequence(size_t* i) {
    const char family = static_cast<char>(tolower(static_cast<unsigned char>(job_[*i + 2])));
    result_.other.append(job_, *i, 3);
    *i += 3;
    Group group;
    while (readGroup(job_, i, &group)) {
      const char term = static_cast<char>(toupper(static_cast<unsigned char>(group.terminator)));
      const long value = atol((group.sign + group.digits).c_str());
      if (family == 'b' && (term == 'V' || term == 'W')) {
        rowData(i, value, group.terminator);
      } else if (family == 'b' && term == 'M') {
        mode_ = static_cast<int>(value);
      } else if (!(family == 'r' && value == 0 && group.sign.empty())) {
        result_.other += group.sign + group.digits;
      }
      if (!(family == 'b' && (term == 'V' || term == 'W'))) result_.other += group.terminator;
      apply(family, term, value, i);
      if (!islower(static_cast<unsigned char>(group.terminator))) return;
    }
  }

  void apply(char family, char term, long value, size_t* i) {
    if (family == 'r' && term == 'U') blackPlanes_ = value == -3 ? 0 : 1;
    if (family == 'r' && term == 'A') seeds_.clear(), plane_ = 0;
    if (family == 'b' && term == 'Y') seeds_.clear();
    if (family == 'g' && value > 0) {  // configure raster data block, written back byte for byte
      result_.other.append(job_, *i, static_cast<size_t>(value));
      *i = std::min(job_.size(), *i + static_cast<size_t>(value));
    }
  }

  void rowData(size_t* i, long count, char terminator) {
    result_.other += terminator;
    if (count < 0 || *i + static_cast<size_t>(count) > job_.size()) result_.truncated = true;
    if (count < 0) count = 0;
    const Bytes data = job_.substr(*i, static_cast<size_t>(count));
    *i = std::min(job_.size(), *i + static_cast<size_t>(count));
    Bytes& seed = seeds_[plane_];
    switch (mode_) {
      case 0: seed = data; break;
      case 2: seed = unpackBits(data); break;
      case 3: applyMode3(data, &seed); break;
      case 9: applyMode9(data, &seed); break;
      default: result_.truncated = true; break;
    }
    Row row{plane_ < blackPlanes_ ? 'K' : 'C', seed};
    trimZeros(&row.dots);
    result_.rows.push_back(row);
    plane_ = terminator == 'W' || terminator == 'w' ? 0 : plane_ + 1;
  }

  const Bytes& job_;
  Job result_;
  int mode_ = 0;
  int plane_ = 0;
  int blackPlanes_ = 1;
  std::map<int, Bytes> seeds_;
};

}  // namespace

Job readHp(const Bytes& job) { return HpReader(job).read(); }

Job readCanon(const Bytes& job) {
  Job result;
  size_t i = 0;
  while (i < job.size()) {
    if (!(job[i] == kEsc && i + 4 < job.size() && job[i + 1] == '(')) {
      result.other += job[i++];
      continue;
    }
    const char command = job[i + 2];
    const size_t length = at(job, i + 3) | (at(job, i + 4) << 8);
    result.other.append(job, i, 3);
    i += 5;
    if (i + length > job.size()) result.truncated = true;
    const size_t end = std::min(job.size(), i + length);
    if (command == 'A' && i < end) {
      result.other += job[i];  // colour byte
      Row row{job[i] == 'K' || job[i] == 'k' ? 'K' : job[i], unpackBits(job.substr(i + 1, end - i - 1))};
      trimZeros(&row.dots);
      result.rows.push_back(row);
    } else if (command == 'F') {
      // Rows end at a 0x80 count byte; data bytes may be 0x80 too.
      size_t start = i;
      for (size_t k = i; k < end;) {
        const uint8_t count = at(job, k);
        if (count == 0x80) {
          Row row{'F', unpackBits(job.substr(start, k - start))};
          trimZeros(&row.dots);
          result.rows.push_back(row);
          start = ++k;
        } else {
          k += count < 0x80 ? count + 2u : 2u;
        }
      }
      if (start < end) result.rows.push_back({'F', unpackBits(job.substr(start, end - start))});
    } else {
      // Other commands: the length and payload are kept as they are.
      result.other.append(job, i - 2, end - i + 2);
    }
    i = end;
  }
  return result;
}

uint64_t dots(const Bytes& row) {
  uint64_t n = 0;
  for (char c : row) n += std::bitset<8>(static_cast<uint8_t>(c)).count();
  return n;
}

bool onlyRemoved(const Bytes& before, const Bytes& after) {
  if (after.size() > before.size()) return false;
  for (size_t k = 0; k < after.size(); ++k)
    if (static_cast<uint8_t>(after[k]) & ~static_cast<uint8_t>(before[k])) return false;
  return true;
}

}  // namespace job_rows
