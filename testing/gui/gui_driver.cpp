#include "gui_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gui {

namespace {

constexpr int kPollMs = 20;

struct TopLevelSearch {
  DWORD pid;
  const char* className;
  const char* title;
  bool visibleOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TopLevelSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (search->pid && owner != search->pid) return TRUE;
  if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  if (search->className && std::strcmp(name, search->className) != 0) return TRUE;
  if (search->title && windowText(window) != search->title) return TRUE;
  search->found.push_back(window);
  return TRUE;
}

HWND item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

}  // namespace

HWND waitFor(const std::function<HWND()>& probe, int timeoutMs) {
  for (int waited = 0;; waited += kPollMs) {
    if (HWND found = probe()) return found;
    if (waited >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
  for (int waited = 0;; waited += kPollMs) {
    if (condition()) return true;
    if (waited >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

std::vector<HWND> topLevels(DWORD pid, const char* className, bool visibleOnly) {
  TopLevelSearch search{pid, className, nullptr, visibleOnly, {}};
  EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND findTopLevel(DWORD pid, const char* className, const char* title, bool visibleOnly) {
  TopLevelSearch search{pid, className, title, visibleOnly, {}};
  EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found.empty() ? nullptr : search.found.front();
}

std::string windowText(HWND window) {
  // WM_GETTEXT works across processes; GetWindowText would not for controls.
  char text[4096] = {};
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                      nullptr);
  return text;
}

std::string itemText(HWND dialog, int id) { return windowText(item(dialog, id)); }

void setItemText(HWND dialog, int id, const std::string& text) {
  SendMessageA(item(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool isChecked(HWND dialog, int id) { return SendMessageA(item(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool isEnabled(HWND dialog, int id) { return IsWindowEnabled(item(dialog, id)) != FALSE; }
bool isVisible(HWND dialog, int id) { return IsWindowVisible(item(dialog, id)) != FALSE; }

void click(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item(dialog, id)));
  settle(dialog);
}

void clickCheckBox(HWND dialog, int id) {
  SendMessageA(item(dialog, id), BM_SETCHECK, isChecked(dialog, id) ? BST_UNCHECKED : BST_CHECKED, 0);
  click(dialog, id);
}

void selectComboText(HWND dialog, int id, const std::string& text) {
  SendMessageA(item(dialog, id), CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item(dialog, id)));
  settle(dialog);
}

std::vector<std::string> comboItems(HWND dialog, int id) {
  std::vector<std::string> items;
  HWND combo = item(dialog, id);
  const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    // Asked for in UTF-16: Wine hands another process's entries back in the
    // list's own character set.
    wchar_t wide[512] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < static_cast<LRESULT>(std::size(wide)))
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide));
    char text[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    items.push_back(text);
  }
  return items;
}

std::string comboSelection(HWND dialog, int id) {
  const LRESULT selected = SendMessageA(item(dialog, id), CB_GETCURSEL, 0, 0);
  const auto items = comboItems(dialog, id);
  return selected >= 0 && selected < static_cast<LRESULT>(items.size()) ? items[selected] : std::string();
}

void moveTrackbar(HWND dialog, int id, int position) {
  HWND bar = item(dialog, id);
  SendMessageA(bar, TBM_SETPOS, TRUE, position);
  SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(bar));
}

int trackbarPosition(HWND dialog, int id) { return static_cast<int>(SendMessageA(item(dialog, id), TBM_GETPOS, 0, 0)); }

void focus(HWND dialog, int id) {
  PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(dialog, id)), TRUE);
  settle(dialog);
}

HWND focusedControl(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

void spin(HWND dialog, int id, bool up) {
  // A click on the upper or lower half of a vertical up-down: arrow keys
  // would not reach it in a dialog whose message loop runs
  // IsDialogMessage, which takes them for moving the focus.
  HWND control = item(dialog, id);
  RECT area = {};
  GetClientRect(control, &area);
  const LPARAM point = MAKELPARAM(area.right / 2, up ? area.bottom / 4 : area.bottom * 3 / 4);
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageA(control, WM_LBUTTONUP, 0, point);
  settle(dialog);
}

void command(HWND window, int id) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
  settle(window);
}

bool settle(HWND window, int timeoutMs) {
  // A message sent across threads is handled the next time the thread reads
  // its queue: after the posted messages before it have been dispatched, or
  // inside the modal loop of a message box they opened.
  DWORD_PTR result = 0;
  for (int i = 0; i < 3; ++i)
    if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeoutMs), &result))
      return false;
  return true;
}

bool MessageBoxInfo::hasButton(int id) const { return GetDlgItem(window, id) != nullptr; }

std::optional<MessageBoxInfo> waitForMessageBox(DWORD pid, int timeoutMs) {
  // A message box is a dialog whose text is the static control 0xFFFF.
  HWND box = waitFor(
      [pid]() -> HWND {
        for (HWND candidate : topLevels(pid, "#32770"))
          if (GetDlgItem(candidate, 0xFFFF)) return candidate;
        return nullptr;
      },
      timeoutMs);
  if (!box) return std::nullopt;
  MessageBoxInfo info;
  info.window = box;
  info.caption = windowText(box);
  info.text = windowText(GetDlgItem(box, 0xFFFF));
  return info;
}

void answer(const MessageBoxInfo& box, int buttonId) {
  HWND window = box.window;
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, buttonId)));
  waitUntil([window] { return !IsWindow(window) || !IsWindowVisible(window); }, 5000);
}

Program::~Program() { kill(); }

bool Program::start(const std::string& exePath, const std::string& commandLine,
                    const std::vector<std::string>& extraEnv) {
  kill();
  std::vector<std::string> variables;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* entry = block; *entry; entry += std::strlen(entry) + 1) variables.push_back(entry);
    FreeEnvironmentStringsA(block);
  }
  for (const std::string& extra : extraEnv) {
    const std::string name = extra.substr(0, extra.find('=') + 1);
    variables.erase(std::remove_if(variables.begin(), variables.end(),
                                   [&](const std::string& v) { return _strnicmp(v.c_str(), name.c_str(), name.size()) == 0; }),
                    variables.end());
    variables.push_back(extra);
  }
  std::string environment;
  for (const std::string& v : variables) environment += v + '\0';
  environment += '\0';

  std::string line = "\"" + exePath + "\"";
  if (!commandLine.empty()) line += " " + commandLine;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessA(exePath.c_str(), line.data(), nullptr, nullptr, FALSE, 0, environment.data(), nullptr,
                      &startup, &info_)) {
    info_ = {};
    return false;
  }
  return true;
}

bool Program::waitForInputIdle(int timeoutMs) const {
  return info_.hProcess && WaitForInputIdle(info_.hProcess, static_cast<DWORD>(timeoutMs)) == 0;
}

bool Program::running() const {
  return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Program::waitForExit(int timeoutMs) {
  if (!info_.hProcess || WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void Program::kill() {
  if (!info_.hProcess) return;
  if (running()) {
    TerminateProcess(info_.hProcess, 255);
    WaitForSingleObject(info_.hProcess, 5000);
  }
  CloseHandle(info_.hProcess);
  CloseHandle(info_.hThread);
  info_ = {};
}

std::string programDir() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  const auto slash = dir.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
}

std::string screenshotDir() {
  const char* binary = std::getenv("CORVANTA_BINARY_DIR");
  std::string dir = binary ? (binary[0] == '/' ? std::string("Z:") + binary : std::string(binary))
                           : programDir() + "\\..";
  dir += "\\screenshots";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

bool isBlank(const std::vector<uint32_t>& bgra) {
  return std::all_of(bgra.begin(), bgra.end(), [&](uint32_t p) { return (p & 0xFFFFFF) == (bgra.front() & 0xFFFFFF); });
}

namespace {

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void chunk(std::vector<uint8_t>& png, const char type[4], const std::vector<uint8_t>& data) {
  putBigEndian(png, static_cast<uint32_t>(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  putBigEndian(png, crc32(png.data() + start, png.size() - start));
}

}  // namespace

bool writePng(const std::string& path, int width, int height, const std::vector<uint32_t>& bgra) {
  if (width <= 0 || height <= 0 || bgra.size() != static_cast<size_t>(width) * height) return false;
  // Filter byte 0 and RGB per row, in uncompressed deflate blocks.
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (1 + 3 * width));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < width; ++x) {
      const uint32_t p = bgra[static_cast<size_t>(y) * width + x];
      raw.push_back(static_cast<uint8_t>(p >> 16));
      raw.push_back(static_cast<uint8_t>(p >> 8));
      raw.push_back(static_cast<uint8_t>(p));
    }
  }
  std::vector<uint8_t> zlib = {0x78, 0x01};
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t offset = 0; offset < raw.size() || offset == 0;) {
    const size_t size = std::min<size_t>(65535, raw.size() - offset);
    const bool last = offset + size == raw.size();
    zlib.push_back(last ? 1 : 0);
    zlib.push_back(static_cast<uint8_t>(size));
    zlib.push_back(static_cast<uint8_t>(size >> 8));
    zlib.push_back(static_cast<uint8_t>(~size));
    zlib.push_back(static_cast<uint8_t>(~size >> 8));
    zlib.insert(zlib.end(), raw.begin() + offset, raw.begin() + offset + size);
    offset += size;
    if (last) break;
  }
  putBigEndian(zlib, (b << 16) | a);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  putBigEndian(header, static_cast<uint32_t>(width));
  putBigEndian(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  chunk(png, "IHDR", header);
  chunk(png, "IDAT", zlib);
  chunk(png, "IEND", {});
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

std::vector<uint32_t> capture(const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  std::vector<uint32_t> pixels;
  if (width <= 0 || height <= 0) return pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    pixels.assign(static_cast<const uint32_t*>(bits),
                  static_cast<const uint32_t*>(bits) + static_cast<size_t>(width) * height);
    SelectObject(memory, old);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

bool screenshotRect(const RECT& area, const std::string& name) {
  const std::vector<uint32_t> pixels = capture(area);
  return !pixels.empty() && !isBlank(pixels) &&
         writePng(screenshotDir() + "\\" + name + ".png", area.right - area.left, area.bottom - area.top, pixels);
}

bool screenshot(HWND window, const std::string& name, bool raise) {
  if (!IsWindow(window)) return false;
  if (raise) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  settle(window);
  Sleep(300);  // the X server draws what Wine sent it
  RECT area = {};
  GetWindowRect(window, &area);
  return screenshotRect(area, name);
}

}  // namespace gui

namespace gui {

namespace {

std::string className(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool isFrame(HWND window) {
  const std::string name = className(window);
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  if (_stricmp(name.c_str(), WC_TABCONTROLA) == 0) return true;
  if (_stricmp(name.c_str(), "Button") == 0) return (style & BS_TYPEMASK) == BS_GROUPBOX;
  if (_stricmp(name.c_str(), "Static") == 0) {
    const LONG kind = style & SS_TYPEMASK;
    return kind == SS_ETCHEDFRAME || kind == SS_ETCHEDHORZ || kind == SS_ETCHEDVERT;
  }
  return false;
}

std::string describe(HWND window) {
  const int id = GetDlgCtrlID(window);
  std::string text = windowText(window);
  if (text.size() > 30) text = text.substr(0, 30) + "...";
  return std::to_string(id) + " (" + className(window) + " \"" + text + "\")";
}

// What is wrong with the control's text, or an empty string.
std::string textProblem(HWND window) {
  const std::string name = className(window);
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  const bool isStatic = _stricmp(name.c_str(), "Static") == 0;
  const bool isButton = _stricmp(name.c_str(), "Button") == 0;
  if (!isStatic && !isButton) return {};
  if (isStatic) {
    const LONG kind = style & SS_TYPEMASK;
    if (kind == SS_BITMAP || kind == SS_ICON || kind == SS_OWNERDRAW || isFrame(window)) return {};
  }
  const std::string text = windowText(window);
  if (text.empty()) return {};
  RECT client = {};
  GetClientRect(window, &client);
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)));
  RECT need = client;
  std::string problem;
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (isStatic) {
    DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    if (need.right - need.left > width || need.bottom - need.top > height)
      problem = "needs " + std::to_string(need.right - need.left) + "x" + std::to_string(need.bottom - need.top) +
                " pixels, has " + std::to_string(width) + "x" + std::to_string(height);
  } else {
    DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
    const LONG type = style & BS_TYPEMASK;
    const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                     type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
    const int margin = box ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : type == BS_GROUPBOX ? 14 : 6;
    if (need.right - need.left + margin > width)
      problem = "needs " + std::to_string(need.right - need.left + margin) + " pixels, has " + std::to_string(width);
  }
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return problem;
}

}  // namespace

std::vector<std::string> layoutProblems(HWND dialog) {
  std::vector<HWND> shown;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE) shown.push_back(child);
  RECT dialogArea = {};
  GetClientRect(dialog, &dialogArea);
  auto area = [dialog](HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  std::vector<std::string> problems;
  for (size_t i = 0; i < shown.size(); ++i) {
    const RECT a = area(shown[i]);
    RECT inside = {};
    IntersectRect(&inside, &a, &dialogArea);
    if (!EqualRect(&inside, &a)) problems.push_back(describe(shown[i]) + " lies outside the dialog");
    const std::string text = textProblem(shown[i]);
    if (!text.empty()) problems.push_back(describe(shown[i]) + ": text does not fit, " + text);
    if (isFrame(shown[i])) continue;
    for (size_t j = i + 1; j < shown.size(); ++j) {
      if (isFrame(shown[j])) continue;
      auto buddy = [](HWND window) {
        return className(window) == UPDOWN_CLASSA ? reinterpret_cast<HWND>(SendMessageA(window, UDM_GETBUDDY, 0, 0))
                                                  : nullptr;
      };
      const bool upDownPair = buddy(shown[i]) == shown[j] || buddy(shown[j]) == shown[i];
      const RECT b = area(shown[j]);
      RECT common = {};
      if (!upDownPair && IntersectRect(&common, &a, &b))
        problems.push_back(describe(shown[i]) + " overlaps " + describe(shown[j]));
    }
  }
  return problems;
}

}  // namespace gui
