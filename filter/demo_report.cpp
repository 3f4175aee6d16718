#include "demo_report.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace filter {
namespace {

struct Rgb {
  int width = 0, height = 0;
  std::vector<unsigned char> data;
};

// Preview pictures are at most 1000 x 4000; anything far larger is not one.
bool readPng(const std::string& path, Rgb& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  if (image.width == 0 || image.height == 0 || image.width > 5000 || image.height > 5000) {
    png_image_free(&image);
    return false;
  }
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.data.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, out.data.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Job names are file names made by the demo; anything else becomes '_' so a
// name can never leave the preview folder or break an attribute.
std::string safeName(const std::string& name) {
  std::string out;
  for (char c : name) out += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.') ? c : '_';
  if (out.empty() || out[0] == '.') out.insert(out.begin(), '_');
  return out;
}

std::string grouped(const std::string& digits) {
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return escape(digits);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += "&#8239;";
    out += digits[i];
  }
  return out;
}

uint64_t number(const std::string& digits) {
  if (digits.empty() || digits.size() > 19 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return 0;
  return std::stoull(digits);
}

std::string percent(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

constexpr int kPageWidth = 280;  // page pictures are shown this wide (CSS pixels)

constexpr const char kStyle[] = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; margin: 24px auto; max-width: 1320px; color: #222; padding: 0 16px; }
h1 { font-size: 26px; margin-bottom: 4px; }
h2 { font-size: 20px; margin: 36px 0 8px; border-bottom: 1px solid #ccc; padding-bottom: 4px; }
p.lead { color: #555; margin-top: 0; }
table.jobs { border-collapse: collapse; margin: 16px 0; }
table.jobs th, table.jobs td { padding: 4px 12px; border-bottom: 1px solid #e2e2e2; text-align: right; }
table.jobs th:first-child, table.jobs td:first-child { text-align: left; }
table.jobs tr.total td { font-weight: bold; border-top: 2px solid #999; }
td.failed { color: #b00020; text-align: left !important; }
.planes { color: #555; font-size: 14px; margin: 0 0 8px; }
.page { display: flex; flex-wrap: wrap; gap: 16px; align-items: flex-start; margin: 12px 0 24px; }
figure { margin: 0; }
figcaption { font-size: 13px; color: #555; text-align: center; margin-top: 4px; }
.frame { position: relative; display: inline-block; border: 1px solid #bbb; line-height: 0; }
.mark { position: absolute; border: 2px solid #e6007e; box-sizing: border-box; }
.crop { position: relative; overflow: hidden; border: 1px solid #bbb; }
.crop img { position: absolute; max-width: none; image-rendering: pixelated; }
.missing { width: 280px; height: 120px; display: flex; align-items: center; justify-content: center; background: #f4f4f4; color: #888; font-size: 13px; }
)";

void pageFigure(std::ostringstream& html, const std::string& src, const std::string& caption, const Rgb& picture,
                const Crop& crop) {
  // Sizes given up front keep the layout still while the pictures load.
  const int shownHeight = static_cast<int>((static_cast<int64_t>(kPageWidth) * picture.height + picture.width / 2) / picture.width);
  html << "<figure><div class=\"frame\"><img src=\"" << src << "\" alt=\"" << caption << "\" width=\"" << kPageWidth
       << "\" height=\"" << shownHeight << "\">";
  if (crop.size > 0) {
    html << "<span class=\"mark\" style=\"left:" << percent(100.0 * crop.x / picture.width)
         << "%;top:" << percent(100.0 * crop.y / picture.height) << "%;width:"
         << percent(100.0 * crop.size / picture.width) << "%;height:" << percent(100.0 * crop.size / picture.height)
         << "%\"></span>";
  }
  html << "</div><figcaption>" << caption << "</figcaption></figure>\n";
}

void zoomFigure(std::ostringstream& html, const std::string& src, const std::string& caption, const Rgb& picture,
                const Crop& crop) {
  const int side = crop.size * kCropZoom;
  html << "<figure><div class=\"crop\" style=\"width:" << side << "px;height:" << side << "px\"><img src=\"" << src
       << "\" alt=\"" << caption << "\" style=\"width:" << picture.width * kCropZoom << "px;height:"
       << picture.height * kCropZoom << "px;left:" << -crop.x * kCropZoom << "px;top:" << -crop.y * kCropZoom
       << "px\"></div><figcaption>" << caption << "</figcaption></figure>\n";
}

void jobSection(std::ostringstream& html, const std::string& outDir, const DemoJob& job) {
  const std::string name = safeName(job.name);
  html << "<h2 id=\"" << name << "\">" << escape(job.name) << "</h2>\n";
  if (job.status != "ok") {
    html << "<p class=\"planes\">Not filtered: " << escape(job.detail) << "</p>\n";
    return;
  }
  html << "<p class=\"planes\">" << escape(job.detail) << "</p>\n";
  const int pages = static_cast<int>(std::min<uint64_t>(number(job.pages), 999));
  for (int p = 1; p <= pages; ++p) {
    char stem[64];
    std::snprintf(stem, sizeof stem, "page-%03d", p);
    const std::string rel = "preview/" + name + "/" + stem;
    Rgb before, after;
    const bool haveBefore = readPng(outDir + "/" + rel + "-before.png", before);
    const bool haveAfter = readPng(outDir + "/" + rel + "-after.png", after);
    html << "<div class=\"page\">\n";
    if (!haveBefore || !haveAfter || before.width != after.width || before.height != after.height) {
      html << "<div class=\"missing\">page " << p << ": pictures missing</div></div>\n";
      continue;
    }
    const Crop crop = pickCrop(before.width, before.height, before.data, after.data);
    const std::string label = "page " + std::to_string(p);
    pageFigure(html, rel + "-before.png", label + " before", before, crop);
    pageFigure(html, rel + "-after.png", label + " after", after, crop);
    if (crop.size > 0) {
      zoomFigure(html, rel + "-before.png", "before, the marked square enlarged " + std::to_string(kCropZoom) + "\xC3\x97",
                 before, crop);
      zoomFigure(html, rel + "-after.png", "after, the marked square enlarged " + std::to_string(kCropZoom) + "\xC3\x97",
                 after, crop);
    }
    html << "</div>\n";
  }
}

}  // namespace

std::vector<DemoJob> readDemoJobs(const std::string& tsvPath, std::string& error) {
  std::vector<DemoJob> jobs;
  std::ifstream in(tsvPath);
  if (!in) {
    error = "cannot read '" + tsvPath + "'";
    return jobs;
  }
  std::string line;
  while (std::getline(in, line) && jobs.size() < 10000) {
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    fields.resize(7);
    jobs.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]});
  }
  return jobs;
}

Crop pickCrop(int width, int height, const std::vector<unsigned char>& before, const std::vector<unsigned char>& after) {
  Crop crop;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (width <= 0 || height <= 0 || before.size() < pixels * 3 || after.size() < pixels * 3) return crop;
  crop.size = std::min({kCropSize, width, height});
  // Two summed-area tables: how much lighter after is, and how dark before is.
  const size_t stride = static_cast<size_t>(width) + 1;
  std::vector<int64_t> lighter(stride * (height + 1), 0), dark(stride * (height + 1), 0);
  for (int y = 0; y < height; ++y) {
    int64_t rowLighter = 0, rowDark = 0;
    for (int x = 0; x < width; ++x) {
      const size_t i = (static_cast<size_t>(y) * width + x) * 3;
      const int b = before[i] + before[i + 1] + before[i + 2];
      const int a = after[i] + after[i + 1] + after[i + 2];
      rowLighter += std::max(0, a - b);
      rowDark += 765 - b;
      lighter[(y + 1) * stride + x + 1] = lighter[y * stride + x + 1] + rowLighter;
      dark[(y + 1) * stride + x + 1] = dark[y * stride + x + 1] + rowDark;
    }
  }
  const auto sum = [&](const std::vector<int64_t>& table, int x, int y) {
    const int s = crop.size;
    return table[(y + s) * stride + x + s] - table[y * stride + x + s] - table[(y + s) * stride + x] +
           table[y * stride + x];
  };
  const int step = std::max(1, crop.size / 8);
  int64_t bestLighter = -1, bestDark = -1;
  Crop darkest = crop;
  const auto visit = [&](int x, int y) {
    const int64_t l = sum(lighter, x, y), d = sum(dark, x, y);
    if (l > bestLighter || (l == bestLighter && d > bestDark)) {
      bestLighter = l;
      crop.x = x;
      crop.y = y;
    }
    if (d > bestDark) {
      bestDark = d;
      darkest.x = x;
      darkest.y = y;
    }
  };
  for (int y = 0;; y = std::min(y + step, height - crop.size)) {
    for (int x = 0;; x = std::min(x + step, width - crop.size)) {
      visit(x, y);
      if (x == width - crop.size) break;
    }
    if (y == height - crop.size) break;
  }
  return bestLighter > 0 ? crop : darkest;
}

bool writeDemoReport(const std::string& outDir, std::string& error) {
  const std::vector<DemoJob> jobs = readDemoJobs(outDir + "/jobs.tsv", error);
  if (!error.empty()) return false;

  std::ostringstream html;
  html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       << "<title>Corvanta demo: ink saved per job</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n"
       << "<h1>Corvanta demo: ink saved per job</h1>\n"
       << "<p class=\"lead\">Each sample job went through corvanta-filter at the default levels (25&#8239;% of the "
          "black and of the colour ink saved). Dots are counted in the job before and after; the pictures show "
          "every page before and after, and an enlarged square (marked) where thinning changed the page most.</p>\n"
       << "<table class=\"jobs\">\n<tr><th>job</th><th>pages</th><th>dots before</th><th>dots after</th>"
          "<th>saved</th></tr>\n";
  uint64_t totalBefore = 0, totalAfter = 0;
  for (const DemoJob& job : jobs) {
    const std::string name = safeName(job.name);
    html << "<tr><td><a href=\"#" << name << "\">" << escape(job.name) << "</a></td>";
    if (job.status != "ok") {
      html << "<td class=\"failed\" colspan=\"4\">FAILED: " << escape(job.detail) << "</td></tr>\n";
      continue;
    }
    totalBefore += number(job.before);
    totalAfter += number(job.after);
    html << "<td>" << escape(job.pages) << "</td><td>" << grouped(job.before) << "</td><td>" << grouped(job.after)
         << "</td><td>" << escape(job.saved) << "&#8239;%</td></tr>\n";
  }
  if (totalBefore > 0) {
    char saved[32];
    std::snprintf(saved, sizeof saved, "%.1f", 100.0 * (1.0 - static_cast<double>(totalAfter) / totalBefore));
    html << "<tr class=\"total\"><td>all jobs</td><td></td><td>" << grouped(std::to_string(totalBefore))
         << "</td><td>" << grouped(std::to_string(totalAfter)) << "</td><td>" << saved << "&#8239;%</td></tr>\n";
  }
  html << "</table>\n";
  for (const DemoJob& job : jobs) jobSection(html, outDir, job);
  html << "</body>\n</html>\n";

  const std::string path = outDir + "/index.html";
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << html.str();
    if (!out.flush()) {
      error = "cannot write '" + temporary + "'";
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write '" + path + "'";
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace filter
