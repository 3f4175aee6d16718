#include "help_about.h"

#include "CorvantaReg.h"
#include "resource_ids.h"

#include <htmlhelp.h>
#include <shellapi.h>

#include <cstdio>

namespace control_panel {
namespace {

// The module holding the About box's texts and picture, for its procedure.
HMODULE aboutResources = nullptr;
// Clicks on the picture alternate: the first marks, the second closes.
bool closeMarked = false;

struct AboutText {
  int id;
  int x, y;  // dialog units
};
constexpr AboutText kPictureTexts[] = {{IDS_ABOUT_PICTURE_PRODUCT, 195, 2},
                                       {IDS_ABOUT_PICTURE_VERSION, 195, 10},
                                       {IDS_ABOUT_PICTURE_COPYRIGHT, 5, 220},
                                       {IDS_ABOUT_PICTURE_RIGHTS, 5, 228},
                                       {IDS_ABOUT_PICTURE_WEB, 5, 236}};

HBITMAP aboutBitmap(HWND box) { return static_cast<HBITMAP>(GetPropA(box, "CorvantaAboutPicture")); }

void initAbout(HWND box) {
  char text[2600] = {};
  LoadStringA(aboutResources, IDS_ABOUT_TITLE, text, sizeof text);
  SetWindowTextA(box, text);
  LoadStringA(aboutResources, IDS_ABOUT_TEXT, text, sizeof text);
  SetDlgItemTextA(box, IDC_ABOUT_TEXT, text);
  LoadStringA(aboutResources, IDS_ABOUT_NOTE, text, sizeof text);
  SetDlgItemTextA(box, IDC_ABOUT_NOTE, text);
  // One copy per box, released when the box closes.
  HBITMAP picture = static_cast<HBITMAP>(
      LoadImageA(aboutResources, MAKEINTRESOURCEA(IDB_ABOUT_PICTURE), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  SetPropA(box, "CorvantaAboutPicture", picture);
  BITMAP info = {};
  if (!picture || !GetObjectA(picture, sizeof info, &info)) return;
  HWND item = GetDlgItem(box, IDC_ABOUT_PICTURE);
  RECT place = {};
  GetWindowRect(item, &place);
  MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&place), 2);
  SetWindowPos(item, nullptr, place.left, place.top, info.bmWidth, info.bmHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  // The box's inside takes the picture's size, so caption and frame do not
  // cut its edges off.
  RECT frame = {0, 0, info.bmWidth, info.bmHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(box, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(box, GWL_EXSTYLE)));
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  SetWindowPos(box, nullptr, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2,
               GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, width, height, SWP_NOZORDER);
}

void drawPicture(HWND box, const DRAWITEMSTRUCT& item) {
  const RECT& area = item.rcItem;
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC memory = CreateCompatibleDC(item.hDC);
  HBITMAP canvas = CreateCompatibleBitmap(item.hDC, width, height);
  if (!memory || !canvas) {
    if (canvas) DeleteObject(canvas);
    if (memory) DeleteDC(memory);
    return;
  }
  HGDIOBJ oldCanvas = SelectObject(memory, canvas);
  FillRect(memory, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FrameRect(memory, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  if (HBITMAP picture = aboutBitmap(box)) {
    BITMAP info = {};
    GetObjectA(picture, sizeof info, &info);
    HDC source = CreateCompatibleDC(item.hDC);
    HGDIOBJ oldPicture = SelectObject(source, picture);
    BitBlt(memory, area.left, area.top, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, oldPicture);
    DeleteDC(source);
  }
  SetBkMode(memory, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(memory, reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0)));
  for (const AboutText& line : kPictureTexts) {
    char text[512] = {};
    const int length = LoadStringA(aboutResources, line.id, text, sizeof text);
    RECT at = {line.x, line.y, 0, 0};
    MapDialogRect(box, &at);
    TextOutA(memory, area.left + at.left, area.top + at.top, text, length);
  }
  SelectObject(memory, oldFont);
  BitBlt(item.hDC, area.left, area.top, width, height, memory, area.left, area.top, SRCCOPY);
  SelectObject(memory, oldCanvas);
  DeleteObject(canvas);
  DeleteDC(memory);
}

void closeAbout(HWND box) {
  if (HBITMAP picture = aboutBitmap(box)) DeleteObject(picture);
  RemovePropA(box, "CorvantaAboutPicture");
  DestroyWindow(box);
}

INT_PTR CALLBACK aboutProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      initAbout(box);
      return TRUE;
    case WM_DRAWITEM:
      if (wParam != IDC_ABOUT_PICTURE) return FALSE;
      drawPicture(box, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_ABOUT_PICTURE && HIWORD(wParam) == 0) {
        if (!closeMarked) {
          closeMarked = true;
        } else {
          closeMarked = false;
          closeAbout(box);
        }
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {  // Escape and the close box
        closeAbout(box);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void showHelpBook(HWND owner) {
  char folder[kSettingsTextSize] = {};
  GetPagePath(folder);
  if (!folder[0]) return;
  const char* format;
  switch (PRIMARYLANGID(GetUserDefaultLangID())) {
    case LANG_GERMAN:
      format = "%s\\CorvantaDeu.chm::/CVchapter1.html";
      break;
    case LANG_FRENCH:
      format = "%s\\CorvantaFre.chm::/CVchapter1.html";
      break;
    default:
      format = "%s\\Corvanta.chm::/CVchapter1.html";
  }
  char topic[kSettingsTextSize + 64];
  std::snprintf(topic, sizeof topic, format, folder);
  HtmlHelpA(owner, topic, HH_DISPLAY_TOPIC, 0);
}

void openWebPage(HWND owner, const char* address) {
  ShellExecuteA(owner, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

HWND showAboutBox(HMODULE resources, HWND owner, LPARAM parameter) {
  aboutResources = resources;
  HWND box = CreateDialogParamA(resources, corvanta_res::kAboutDialog, owner, aboutProcedure, parameter);
  if (box) ShowWindow(box, SW_SHOW);
  return box;
}

}  // namespace control_panel
