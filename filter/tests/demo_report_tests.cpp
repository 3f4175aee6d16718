// The demo's report page: which square it enlarges, and that the page it
// writes shows in a real browser (headless Chromium) with every picture loaded.
#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "demo_report.h"

namespace {

namespace fs = std::filesystem;
using Pixels = std::vector<unsigned char>;

// A colour the report's own styles never use: where it shows, a picture loaded.
constexpr unsigned char kInk[3] = {0, 160, 60};

Pixels filled(int width, int height, unsigned char value) { return Pixels(static_cast<size_t>(width) * height * 3, value); }

void paint(Pixels& pixels, int width, int x0, int y0, int w, int h, bool everyOther) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      if (everyOther && (x + y) % 2) continue;
      std::copy(kInk, kInk + 3, &pixels[(static_cast<size_t>(y) * width + x) * 3]);
    }
}

void writePng(const fs::path& path, int width, int height, const Pixels& pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) << path;
}

bool readPng(const fs::path& path, int& width, int& height, Pixels& pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  pixels.assign(PNG_IMAGE_SIZE(image), 0);
  return png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
}

TEST(DemoReport, EnlargesWhereThinningLightenedMostOrElseTheDarkestPart) {
  constexpr int kW = 300, kH = 200;
  Pixels before = filled(kW, kH, 255);
  paint(before, kW, 0, 0, kW, kH, false);
  // After: the same ink, but for an 80 x 80 square that lost all of it.
  Pixels after = before;
  for (int y = 100; y < 180; ++y)
    for (int x = 200; x < 280; ++x)
      for (int c = 0; c < 3; ++c) after[(static_cast<size_t>(y) * kW + x) * 3 + c] = 255;
  const filter::Crop crop = filter::pickCrop(kW, kH, before, after);
  EXPECT_EQ(crop.size, filter::kCropSize);
  EXPECT_GE(crop.x, 200);
  EXPECT_LE(crop.x + crop.size, 280);
  EXPECT_GE(crop.y, 100);
  EXPECT_LE(crop.y + crop.size, 180);

  Pixels page = filled(kW, kH, 255);
  paint(page, kW, 40, 120, 70, 70, false);
  const filter::Crop darkest = filter::pickCrop(kW, kH, page, page);
  EXPECT_GE(darkest.x, 40 - 8);
  EXPECT_LE(darkest.x + darkest.size, 110 + 8);
  EXPECT_GE(darkest.y, 120 - 8);
  EXPECT_EQ(filter::pickCrop(40, 30, filled(40, 30, 0), filled(40, 30, 0)).size, 30);  // a small picture
}

TEST(DemoReport, ShowsInABrowserWithEveryPictureLoaded) {
  const fs::path out = fs::temp_directory_path() / ("corvanta-demo-report-" + std::to_string(::getpid()));
  fs::remove_all(out);
  fs::create_directories(out / "preview" / "hp-sample");
  constexpr int kW = 200, kH = 280;
  Pixels before = filled(kW, kH, 255), after = filled(kW, kH, 255);
  paint(before, kW, 20, 20, 160, 240, false);
  paint(after, kW, 20, 20, 160, 240, true);
  for (const char* page : {"page-001", "page-002"}) {
    writePng(out / "preview" / "hp-sample" / (std::string(page) + "-before.png"), kW, kH, before);
    writePng(out / "preview" / "hp-sample" / (std::string(page) + "-after.png"), kW, kH, after);
  }
  {
    std::ofstream tsv(out / "jobs.tsv");
    tsv << "hp-sample\tok\t2\t76800\t38400\t50.0\tplane K: 76800 -> 38400 dots, 50.0% saved\n"
        << "canon-broken\tfailed\t\t\t\t\tcannot read the job: <short> & cut\n";
  }
  std::string error;
  ASSERT_TRUE(filter::writeDemoReport(out.string(), error)) << error;

  std::ifstream in(out / "index.html");
  std::stringstream read;
  read << in.rdbuf();
  const std::string html = read.str();
  EXPECT_NE(html.find("cannot read the job: &lt;short&gt; &amp; cut"), std::string::npos);
  EXPECT_NE(html.find("<td>76&#8239;800</td>"), std::string::npos);
  const std::regex source("src=\"([^\"]*)\"");
  int pictures = 0;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), source); it != std::sregex_iterator(); ++it) {
    const std::string src = (*it)[1];
    EXPECT_EQ(src.rfind("preview/hp-sample/page-00", 0), 0u) << src;  // relative, inside the folder
    EXPECT_TRUE(fs::exists(out / src)) << src;
    ++pictures;
  }
  EXPECT_EQ(pictures, 2 * 4);  // each page: before, after and both enlarged

  const fs::path shots = CORVANTA_SCREENSHOT_DIR;
  fs::create_directories(shots);
  const fs::path shot = shots / "demo-report.png";
  fs::remove(shot);
  const std::string command = "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage "
                              "--hide-scrollbars --force-device-scale-factor=1 --window-size=1320,1100 "
                              "--user-data-dir='" + (out / "profile").string() + "' --screenshot='" + shot.string() +
                              "' 'file://" + (out / "index.html").string() + "' >'" + (out / "chromium.log").string() +
                              "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << "chromium failed (is it installed? scripts/bootstrap installs it); "
                                             << command;
  int width = 0, height = 0;
  Pixels shown;
  ASSERT_TRUE(readPng(shot, width, height, shown)) << shot;
  size_t ink = 0, paper = 0;
  for (size_t i = 0; i + 2 < shown.size(); i += 3) {
    if (std::abs(shown[i] - kInk[0]) < 12 && std::abs(shown[i + 1] - kInk[1]) < 12 && std::abs(shown[i + 2] - kInk[2]) < 12) ++ink;
    if (shown[i] == 255 && shown[i + 1] == 255 && shown[i + 2] == 255) ++paper;
  }
  // The first page row alone: two page pictures of 280 x 392 and two squares
  // of 256 x 256, each at least a quarter ink.
  EXPECT_GT(ink, 60000u) << "the pictures did not load: " << shot;
  EXPECT_GT(paper, static_cast<size_t>(width) * height / 4) << "the page is not laid out on white: " << shot;
  fs::remove_all(out);
}

}  // namespace
