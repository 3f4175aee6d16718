// A Windows bitmap file read whole into memory for drawing with
// StretchDIBits. Every size field is checked against the file's size before
// a pixel is touched: a missing, short or lying file is not drawn.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace control_panel {

class BitmapFile {
 public:
  // False (and nothing to draw) unless the file is a whole, consistent bitmap.
  bool load(const char* path);
  bool valid() const { return info_ != nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }  // rows, whatever their order
  // Draws the whole bitmap stretched into the rectangle (colour table as RGB,
  // copy mode). Nothing when the file was not valid.
  void draw(HDC dc, int x, int y, int width, int height) const;

 private:
  std::vector<uint8_t> bytes_;
  const BITMAPINFO* info_ = nullptr;
  const uint8_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace control_panel
