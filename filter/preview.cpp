#include "preview.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace filter {
namespace {

struct InkColour {
  char ink;
  std::array<float, 3> absorbs;  // share of red, green and blue light the ink takes away
};
constexpr std::array<InkColour, 8> kInks{{{'K', {1.0f, 1.0f, 1.0f}},
                                          {'C', {1.0f, 0.15f, 0.0f}},
                                          {'M', {0.0f, 1.0f, 0.1f}},
                                          {'Y', {0.0f, 0.05f, 1.0f}},
                                          {'k', {0.5f, 0.5f, 0.5f}},
                                          {'c', {0.45f, 0.07f, 0.0f}},
                                          {'m', {0.0f, 0.45f, 0.05f}},
                                          {'y', {0.0f, 0.02f, 0.45f}}}};
constexpr std::array<float, 3> kUnknownInk{0.6f, 0.6f, 0.6f};

std::array<float, 3> absorption(char ink) {
  for (const InkColour& entry : kInks)
    if (entry.ink == ink) return entry.absorbs;
  return kUnknownInk;
}

size_t pixelsOf(const jobread::PlaneRow& row) {
  if (row.bitsPerPixel == 24) return row.data.size() / 3;
  if (row.bitsPerPixel == 0) return 0;
  return row.data.size() * 8 / row.bitsPerPixel;
}

// Size of a page's picture, measured over the page before and after
// thinning so both pictures line up. Planes sent at a lower resolution than
// the finest one (black 600 dpi over colour 300 dpi) are stretched: the widest
// row of each plane slot against the widest of all, to a power of two.
struct Geometry {
  std::vector<size_t> slotWidths;
  size_t width = 0, height = 0;
  std::vector<int> scales;

  void measure(const jobread::Page& page) {
    const bool positioned = page.rowY.size() == page.rows.size();
    for (size_t r = 0; r < page.rows.size(); ++r) {
      const auto& printerRow = page.rows[r];
      if (slotWidths.size() < printerRow.size()) slotWidths.resize(printerRow.size(), 0);
      for (size_t j = 0; j < printerRow.size(); ++j) slotWidths[j] = std::max(slotWidths[j], pixelsOf(printerRow[j]));
      height = std::max(height, rowPosition(page, r, positioned) + 1);
    }
    width = slotWidths.empty() ? 0 : *std::max_element(slotWidths.begin(), slotWidths.end());
    scales.assign(slotWidths.size(), 1);
    for (size_t j = 0; j < slotWidths.size(); ++j) {
      if (slotWidths[j] == 0) continue;
      const double ratio = static_cast<double>(width) / static_cast<double>(slotWidths[j]);
      while (scales[j] < 8 && ratio >= scales[j] * 1.5) scales[j] *= 2;
    }
  }

  static size_t rowPosition(const jobread::Page& page, size_t r, bool positioned) {
    return positioned ? static_cast<size_t>(std::max(0, page.rowY[r])) : r;
  }
};

class Canvas {
 public:
  Canvas(size_t sourceWidth, size_t sourceHeight) {
    box_ = std::max<size_t>(1, (sourceWidth + kPreviewMaxWidth - 1) / kPreviewMaxWidth);
    width_ = std::max<size_t>(1, (sourceWidth + box_ - 1) / box_);
    height_ = std::min<size_t>(kPreviewMaxHeight, std::max<size_t>(1, (sourceHeight + box_ - 1) / box_));
    ink_.assign(width_ * height_ * 3, 0.0f);
  }

  // Ink of one source pixel (or `stretch` of them side by side) at coverage 0..1.
  void add(size_t x, size_t y, float coverage, const std::array<float, 3>& absorbs) {
    const size_t ox = x / box_, oy = y / box_;
    if (ox >= width_ || oy >= height_) return;
    float* cell = &ink_[(oy * width_ + ox) * 3];
    for (int c = 0; c < 3; ++c) cell[c] += coverage * absorbs[c];
  }

  Picture picture() const {
    Picture out;
    out.width = static_cast<int>(width_);
    out.height = static_cast<int>(height_);
    out.rgb.resize(ink_.size());
    const float area = static_cast<float>(box_ * box_);
    for (size_t i = 0; i < ink_.size(); ++i)
      out.rgb[i] = static_cast<uint8_t>(255.0f * (1.0f - std::min(1.0f, ink_[i] / area)) + 0.5f);
    return out;
  }

 private:
  size_t box_ = 1, width_ = 1, height_ = 1;
  std::vector<float> ink_;
};

void drawRow(Canvas& canvas, const jobread::PlaneRow& row, size_t y, int stretch) {
  const auto* data = reinterpret_cast<const uint8_t*>(row.data.data());
  const size_t size = row.data.size();
  if (row.bitsPerPixel == 24) {
    for (size_t i = 0; i + 2 < size; i += 3) {
      if ((data[i] & data[i + 1] & data[i + 2]) == 0xFF) continue;
      const std::array<float, 3> absorbs{(255 - data[i]) / 255.0f, (255 - data[i + 1]) / 255.0f,
                                         (255 - data[i + 2]) / 255.0f};
      for (int k = 0; k < stretch; ++k) canvas.add(i / 3 * stretch + k, y, 1.0f, absorbs);
    }
    return;
  }
  const unsigned bits = row.bitsPerPixel;
  if (bits != 1 && bits != 2 && bits != 4) return;
  const unsigned mask = (1u << bits) - 1;
  const std::array<float, 3> absorbs = absorption(row.ink);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) continue;
    for (unsigned slot = 0; slot < 8 / bits; ++slot) {
      const unsigned level = (data[i] >> (8 - bits * (slot + 1))) & mask;
      if (level == 0) continue;
      const size_t x = (i * (8 / bits) + slot) * static_cast<size_t>(stretch);
      for (int k = 0; k < stretch; ++k) canvas.add(x + k, y, static_cast<float>(level) / mask, absorbs);
    }
  }
}

bool writePng(const std::string& path, const Picture& picture, std::string& error) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, path.c_str(), 0, picture.rgb.data(), 0, nullptr)) {
    error = "cannot write the preview '" + path + "': " + image.message;
    png_image_free(&image);
    return false;
  }
  return true;
}

std::string pagePath(const std::string& dir, size_t page, const char* which) {
  char name[64];
  std::snprintf(name, sizeof name, "/page-%03zu-%s.png", page + 1, which);
  return dir + name;
}

Picture draw(const jobread::Page& page, const Geometry& geometry) {
  if (page.rows.empty() || geometry.width == 0) return {};
  const bool positioned = page.rowY.size() == page.rows.size();
  Canvas canvas(geometry.width, geometry.height);
  for (size_t r = 0; r < page.rows.size(); ++r) {
    const size_t y = Geometry::rowPosition(page, r, positioned);
    for (size_t j = 0; j < page.rows[r].size(); ++j) drawRow(canvas, page.rows[r][j], y, geometry.scales[j]);
  }
  return canvas.picture();
}

}  // namespace

Picture renderPage(const jobread::Page& page, const jobread::Page* other) {
  Geometry geometry;
  geometry.measure(page);
  if (other) geometry.measure(*other);
  return draw(page, geometry);
}

bool makeDirectories(const std::string& dir, std::string& error) {
  std::error_code code;
  std::filesystem::create_directories(dir, code);
  if (code || !std::filesystem::is_directory(dir, code)) {
    error = "cannot create the preview folder '" + dir + "': " + (code ? code.message() : "not a directory");
    return false;
  }
  return true;
}

bool writePreviews(const std::string& dir, Maker maker, const std::string& before, const std::string& after, int& pages,
                   std::string& error) {
  pages = 0;
  if (!makeDirectories(dir, error)) return false;
  const auto read = maker == Maker::Canon ? jobread::readCanonJob : jobread::readHpJob;
  // Decoded jobs are large: one is held at a time. The pages of both are
  // measured first, so that each page's two pictures line up.
  std::vector<Geometry> geometries;
  const auto measure = [&](const jobread::Job& job) {
    if (geometries.size() < job.pages.size()) geometries.resize(job.pages.size());
    for (size_t p = 0; p < job.pages.size(); ++p) geometries[p].measure(job.pages[p]);
  };
  measure(read(before));
  const char* names[2] = {"before", "after"};
  for (int which : {1, 0}) {
    const jobread::Job job = read(which == 0 ? before : after);
    if (which == 1) measure(job);
    for (size_t p = 0; p < geometries.size(); ++p) {
      const Picture picture = p < job.pages.size() ? draw(job.pages[p], geometries[p]) : Picture{};
      if (!writePng(pagePath(dir, p, names[which]), picture.width ? picture : Picture{1, 1, {255, 255, 255}}, error))
        return false;
    }
  }
  pages = static_cast<int>(geometries.size());
  return true;
}

}  // namespace filter
