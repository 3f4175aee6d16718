#include "calibration_page.h"

#include "CorvantaReg.h"
#include "bitmap_file.h"
#include "resource_ids.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace control_panel {
namespace {

std::string resourceString(HMODULE resources, int id) {
  char text[512] = {};
  LoadStringA(resources, id, text, sizeof text);
  return text;
}

SIZE measure(HDC dc, const std::string& text) {
  SIZE size = {};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

void draw(HDC dc, int x, int y, const std::string& text) {
  TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// A font derived from the stock GUI font's description, face Arial.
class PageFont {
 public:
  PageFont(HDC dc, int height, int weight) : dc_(dc) {
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof logFont_, &logFont_);
    std::strcpy(logFont_.lfFaceName, "Arial");
    logFont_.lfWidth = 0;
    logFont_.lfHeight = height;
    logFont_.lfWeight = weight;
    font_ = CreateFontIndirectA(&logFont_);
  }
  PageFont(const PageFont&) = delete;
  PageFont& operator=(const PageFont&) = delete;
  ~PageFont() {
    if (!font_) return;
    // A font still selected into the device context cannot be deleted.
    if (GetCurrentObject(dc_, OBJ_FONT) == font_) SelectObject(dc_, GetStockObject(SYSTEM_FONT));
    DeleteObject(font_);
  }
  void select(HDC dc) const { SelectObject(dc, font_); }

  // Selects the font and makes it one unit smaller until text is no wider
  // than limit, at most as many times as the starting height has units.
  // False when it still does not fit; the font is selected either way.
  bool fit(HDC dc, const std::string& text, int limit) {
    const int tries = logFont_.lfHeight < 0 ? -logFont_.lfHeight : logFont_.lfHeight;
    select(dc);
    for (int shrunk = 0; measure(dc, text).cx > limit; ++shrunk) {
      if (shrunk == tries || !font_) return false;
      logFont_.lfHeight += logFont_.lfHeight < 0 ? 1 : -1;
      HFONT smaller = CreateFontIndirectA(&logFont_);
      if (!smaller) return false;
      SelectObject(dc, smaller);
      DeleteObject(font_);
      font_ = smaller;
    }
    return true;
  }

 private:
  HDC dc_;
  LOGFONTA logFont_ = {};
  HFONT font_ = nullptr;
};

struct Geometry {
  int ox, oy, hr, vr, W;
  RECT header;
  int H;
};

struct RowFonts {
  PageFont text, small, number;
  int E;  // height of a line of the text font
};

// What one row needs: its pictures, texts and fonts.
struct RowPainter {
  HDC dc;
  const Geometry& g;
  const BitmapFile& bars;
  const BitmapFile& kids;
  const std::string (&texts)[3];
  const std::string& underLevel;
  RowFonts& fonts;
  int I;

  // y is the top of the row's pictures.
  void paint(int y, int level) const {
    bars.draw(dc, g.ox + g.W * 111 / 192, y, g.W * 33 / 192, I);
    kids.draw(dc, g.ox + g.W * 148 / 192, y, g.W * 44 / 192, I);
    fonts.text.select(dc);
    for (int line = 0; line < 3; ++line) draw(dc, g.W * 22 / 192, y + I - (3 - line) * fonts.E, texts[line]);
    const int centre = g.ox + g.W * 13 / 384;
    char number[16];
    std::snprintf(number, sizeof number, "%d%%", level);
    fonts.number.select(dc);
    const SIZE numberSize = measure(dc, number);
    draw(dc, centre - numberSize.cx / 2, y + I - fonts.E - numberSize.cy, number);
    fonts.small.select(dc);
    draw(dc, centre - measure(dc, underLevel).cx / 2, y + I - fonts.E, underLevel);
  }
};

class PageJob {
 public:
  PageJob(HDC dc, const char* printer) : dc_(dc), printer_(printer) {}
  ~PageJob() {
    if (inDocument_) AbortDoc(dc_);
  }
  bool startDocument(const std::string& name) {
    DOCINFOA info = {};
    info.cbSize = sizeof info;
    info.lpszDocName = name.c_str();
    inDocument_ = StartDocA(dc_, &info) > 0;
    return inDocument_ && StartPage(dc_) > 0;
  }
  bool endDocument() {
    const bool pageEnded = EndPage(dc_) > 0;
    if (!pageEnded) return false;  // abandoned by the destructor
    inDocument_ = false;
    return EndDoc(dc_) > 0;
  }
  bool fail() {
    SetPrintCalibrationPage(printer_, 0);
    return false;
  }

 private:
  HDC dc_;
  const char* printer_;
  bool inDocument_ = false;
};

}  // namespace

bool printCalibrationDocuments(HDC dc, int variant, const char* printer, HMODULE resources) {
  Geometry g;
  g.ox = GetDeviceCaps(dc, PHYSICALOFFSETX);
  g.oy = GetDeviceCaps(dc, PHYSICALOFFSETY);
  g.hr = GetDeviceCaps(dc, HORZRES);
  g.vr = GetDeviceCaps(dc, VERTRES);
  g.W = g.hr - g.ox;
  g.header = {g.ox, g.oy + 4, g.hr, (g.vr - g.oy) * 9 / 242 + g.oy + 4};
  g.H = g.header.bottom - g.header.top;
  const RECT& header = g.header;

  char folder[kSettingsTextSize] = {};
  GetPagePath(folder);
  if (!folder[0]) return false;
  const std::string pageFolder = folder;
  SetPrintCalibrationPage(printer, variant == 2 ? 2 : 1);

  PageJob job(dc, printer);
  const std::string documentName = resourceString(resources, IDS_CALIBRATION_DOCUMENT);
  if (!job.startDocument(documentName)) return job.fail();
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  FrameRect(dc, &header, black);
  RECT outer = header;
  InflateRect(&outer, 1, 1);
  FrameRect(dc, &outer, black);

  // Title in the left band of the header.
  PageFont title(dc, -g.H, FW_BOLD);
  const std::string titleText = resourceString(resources, IDS_CALIBRATION_TITLE);
  if (!title.fit(dc, titleText, g.W * 46 / 192 - 10)) return job.fail();
  const SIZE titleSize = measure(dc, titleText);
  draw(dc, header.left + (g.W * 46 / 192 - titleSize.cx) / 2 + 5, (g.H - titleSize.cy) / 2 + header.top, titleText);

  // Heading in the middle band: string 36 alone, or string 41 over it.
  PageFont heading(dc, -g.H, FW_NORMAL);
  const int bandLeft = header.left + g.W * 46 / 192;
  const int bandWidth = g.W * 106 / 192;
  const std::string printerLine = resourceString(resources, IDS_CALIBRATION_PRINTER_LINE);
  const std::string headingText = resourceString(resources, IDS_CALIBRATION_HEADING);
  if (printerLine.size() < 6) {
    if (!heading.fit(dc, headingText, bandWidth - 20)) return job.fail();
    const SIZE size = measure(dc, headingText);
    draw(dc, bandLeft + (bandWidth - size.cx) / 2, (g.H - size.cy) / 2 + header.top, headingText);
  } else {
    // String 36 goes below in the same font: it must fit the band as well.
    if (!heading.fit(dc, printerLine, bandWidth - 20) || !heading.fit(dc, headingText, bandWidth - 20))
      return job.fail();
    const SIZE size = measure(dc, printerLine);
    const int x = bandLeft + (bandWidth - size.cx) / 2;
    const int y = (g.H - 2 * size.cy) / 2 + header.top;
    draw(dc, x, y, printerLine);
    draw(dc, x, y + size.cy, headingText);
  }

  SetStretchBltMode(dc, COLORONCOLOR);
  BitmapFile logo;
  if (logo.load((pageFolder + "\\logo.bmp").c_str())) {
    const int L = g.W * 37 / 192 - 8;
    const int logoHeight = L * logo.height() / logo.width();
    logo.draw(dc, g.hr - g.W * 37 / 192 - 4, header.top + (g.H - logoHeight) / 2, L, logoHeight);
  }

  int R = (g.vr - header.bottom) / (variant == 2 ? 4 : kCalibrationRows);
  BitmapFile bars, kids;
  bars.load((pageFolder + "\\bars.bmp").c_str());
  kids.load((pageFolder + "\\kids.bmp").c_str());
  float aspect = 0;
  if (kids.valid()) {
    aspect = static_cast<float>(kids.height()) / static_cast<float>(kids.width());
  } else if (bars.valid()) {
    aspect = static_cast<float>(bars.height()) / static_cast<float>(bars.width());
  }
  int I = static_cast<int>(static_cast<float>(g.W * 44 / 192) * aspect);
  if (I <= 0) return job.fail();
  if (I > R * 25 / 32) I = R * 25 / 32;

  RowFonts fonts{{dc, (g.vr - g.oy) / 48, FW_NORMAL}, {dc, (g.vr - g.oy) / 80, FW_NORMAL}, {dc, (g.vr - g.oy) / 40, FW_BOLD}, 0};
  const std::string texts[3] = {resourceString(resources, IDS_CALIBRATION_ROW_1),
                                resourceString(resources, IDS_CALIBRATION_ROW_2),
                                resourceString(resources, IDS_CALIBRATION_ROW_3)};
  const std::string underLevel = resourceString(resources, IDS_CALIBRATION_UNDER_LEVEL);
  if (!fonts.text.fit(dc, texts[0], g.W * 85 / 192)) return job.fail();
  fonts.E = measure(dc, texts[0]).cy;
  if (!fonts.small.fit(dc, underLevel, g.W * 13 / 192 - 10)) return job.fail();
  if (!fonts.number.fit(dc, "755", g.W * 13 / 192)) return job.fail();

  const RowPainter rows{dc, g, bars, kids, texts, underLevel, fonts, I};
  const int firstRows = variant == 2 ? 4 : kCalibrationRows;
  for (int r = 0; r < firstRows; ++r) rows.paint(header.bottom + R * r + (R - I), calibrationLevel(r));
  if (!job.endDocument()) return job.fail();

  if (variant == 2) {
    if (!job.startDocument(documentName)) return job.fail();
    R = (g.vr - g.oy - I) / 4;
    for (int r = 0; r < kCalibrationRows - firstRows; ++r) rows.paint(g.oy + R * r, calibrationLevel(firstRows + r));
    if (!job.endDocument()) return job.fail();
  }
  return true;
}

}  // namespace control_panel
