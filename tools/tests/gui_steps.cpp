#include "gui_steps.h"

#include <cstdio>
#include <cstdlib>

namespace tools_test {

HWND waitFor(const std::function<HWND()>& probe, int timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (HWND window = probe()) return window;
    if (GetTickCount64() >= deadline) return nullptr;
    Sleep(20);
  }
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
  return waitFor([&] { return condition() ? reinterpret_cast<HWND>(1) : HWND(nullptr); }, timeoutMs) != nullptr;
}

std::string windowText(HWND window) {
  char text[2048] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

namespace {

struct Search {
  DWORD pid;
  const char* className;
  const char* title;
  HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if ((search->pid && pid != search->pid) || !IsWindowVisible(window)) return TRUE;
  char className[256] = {};
  GetClassNameA(window, className, sizeof className);
  if (search->className && std::string(className) != search->className) return TRUE;
  if (search->title && windowText(window) != search->title) return TRUE;
  search->found = window;
  return FALSE;
}

// PNG with stored (uncompressed) deflate blocks: small code, no library.
uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void putBig(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
  putBig(png, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  putBig(png, crc32(body.data(), body.size()));
}

bool writePng(const std::string& path, int width, int height, const std::vector<uint32_t>& bgra) {
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = bgra[static_cast<size_t>(y) * width + x];
      raw.push_back(static_cast<uint8_t>(pixel >> 16));
      raw.push_back(static_cast<uint8_t>(pixel >> 8));
      raw.push_back(static_cast<uint8_t>(pixel));
    }
  }
  std::vector<uint8_t> zlib = {0x78, 0x01};
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t length = raw.size() - at < 65535 ? raw.size() - at : 65535;
    zlib.push_back(at + length >= raw.size() ? 1 : 0);
    zlib.push_back(static_cast<uint8_t>(length));
    zlib.push_back(static_cast<uint8_t>(length >> 8));
    zlib.push_back(static_cast<uint8_t>(~length));
    zlib.push_back(static_cast<uint8_t>(~length >> 8));
    zlib.insert(zlib.end(), raw.begin() + at, raw.begin() + at + length);
    if (raw.empty()) break;
  }
  putBig(zlib, (b << 16) | a);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  putBig(header, static_cast<uint32_t>(width));
  putBig(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  chunk(png, "IHDR", header);
  chunk(png, "IDAT", zlib);
  chunk(png, "IEND", {});
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

// <build tree>/screenshots as a Windows path (the build tree's Unix path
// through Wine's drive Z:).
std::string screenshotFolder() {
  const char* build = std::getenv("CORVANTA_BINARY_DIR");
  std::string folder = build ? build : ".";
  if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
  for (char& c : folder)
    if (c == '/') c = '\\';
  folder += "\\screenshots";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

HWND findTopLevel(DWORD pid, const char* className, const char* title) {
  Search search{pid, className, title, nullptr};
  EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

MessageBoxSeen waitForMessageBox(DWORD pid, int timeoutMs) {
  MessageBoxSeen box;
  // A message box is a dialog whose text sits in the static control 0xFFFF.
  box.window = waitFor(
      [&] {
        HWND dialog = findTopLevel(pid, "#32770", nullptr);
        return dialog && GetDlgItem(dialog, 0xFFFF) ? dialog : nullptr;
      },
      timeoutMs);
  if (!box.window) return box;
  box.caption = windowText(box.window);
  char text[2048] = {};
  GetDlgItemTextA(box.window, 0xFFFF, text, sizeof text);
  box.text = text;
  return box;
}

void press(HWND dialog, int buttonId) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

bool screenshot(HWND window, const std::string& name) {
  RECT area = {};
  if (!GetWindowRect(window, &area)) return false;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(200);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits),
                               static_cast<const uint32_t*>(bits) + static_cast<size_t>(width) * height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  bool blank = true;
  for (uint32_t pixel : pixels) blank = blank && ((pixel ^ pixels[0]) & 0xFFFFFF) == 0;
  return copied && !blank && writePng(screenshotFolder() + "\\" + name + ".png", width, height, pixels);
}

}  // namespace tools_test
