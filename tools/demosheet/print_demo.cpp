// The print step of DemoSheet: the printer's settings key, then the control
// panel driven through its printer list and calibration-page button.
#include <string>

#include "demo_sheet.h"
#include "registry_keys.h"

namespace tools {
namespace {

// The combo box is in another process: its texts travel as UTF-16, which the
// system carries across for the wide messages, and are converted here.
std::wstring wide(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring result(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &result[0], length);
  result.resize(static_cast<size_t>(length) - 1);
  return result;
}

// The text of one item, or empty.
std::wstring itemText(HWND list, LRESULT index) {
  const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, index, 0);
  if (length < 0 || length > 1024) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
  if (copied < 0 || copied > length) return {};
  text.resize(static_cast<size_t>(copied));
  return text;
}

// CB_SELECTSTRING matches a prefix: "HP DeskJet" would select an earlier
// "HP DeskJet 2". The selection is checked and, where needed, corrected to
// the item of exactly that name.
bool selectPrinter(HWND list, const char* printer) {
  const std::wstring name = wide(printer);
  if (name.empty()) return false;
  const LPARAM text = reinterpret_cast<LPARAM>(name.c_str());
  LRESULT index = SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), text);
  if (index == CB_ERR) return false;
  if (itemText(list, index) == name) return true;
  index = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), text);
  if (index == CB_ERR || itemText(list, index) != name) return false;
  return SendMessageW(list, CB_SETCURSEL, index, 0) == index;
}

void createSettingsKey(const char* printer) {
  settings::RegKey root;
  settings::RegKey product;
  settings::RegKey key;
  if (root.create(HKEY_USERS, settings::kSharedRoot, nullptr) && product.create(root.get(), settings::kProductKey, nullptr))
    key.create(product.get(), printer, nullptr);
}

}  // namespace

HWND findPanelWindow() { return FindWindowA(kPanelWindowClass, panelTitleFor(GetUserDefaultLangID())); }

bool printDemoPage(const char* printer) {
  // No printer chosen (no configured printer at all): an empty name would
  // select the panel's first printer.
  if (!printer || !printer[0]) return false;
  createSettingsKey(printer);
  HWND panel = findPanelWindow();
  if (!panel) return false;
  HWND list = GetDlgItem(panel, kPanelPrinterList);
  if (!list || !selectPrinter(list, printer)) return false;
  SendMessageA(panel, WM_COMMAND, MAKEWPARAM(kPanelPrinterList, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  SetCursor(LoadCursor(nullptr, IDC_WAIT));
  SendMessageA(panel, WM_COMMAND, MAKEWPARAM(kPanelPrintButton, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(panel, kPanelPrintButton)));
  return true;
}

}  // namespace tools
