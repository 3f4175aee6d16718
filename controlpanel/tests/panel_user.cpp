#include "panel_user.h"

#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "resource_ids.h"
#include "startup.h"

namespace panel_test {

using settings_test::createKey;
using settings_test::machinePrinter;
using settings_test::readDword;
using settings_test::setDword;
using settings_test::sharedPrinter;

namespace {

constexpr char kMenuClass[] = "#32768";
constexpr UINT kGetMenuHandle = 0x01E1;  // MN_GETHMENU

HWND openMenuWindow(DWORD pid) { return gui::findTopLevel(pid, kMenuClass, nullptr); }

}  // namespace

std::vector<long long> valuesOf(const Settings& s) {
  return {s.reduction, s.displayInk, s.black, s.color, s.blackCost, s.colorCost, s.blackCarts, s.colorCarts};
}

void configure(const std::string& printer, const Settings& settings) {
  createKey(HKEY_LOCAL_MACHINE, machinePrinter(printer));
  createKey(HKEY_USERS, sharedPrinter(printer));
  const std::vector<long long> values = valuesOf(settings);
  for (size_t i = 0; i < values.size(); ++i)
    setDword(HKEY_USERS, sharedPrinter(printer), kValueNames[i], static_cast<DWORD>(values[i]));
  setDword(HKEY_USERS, sharedPrinter(printer), "PrintCalibrationPage", 0);
}

std::vector<long long> stored(const std::string& printer) {
  std::vector<long long> values;
  for (const char* name : kValueNames) values.push_back(readDword(HKEY_USERS, sharedPrinter(printer), name));
  return values;
}

SpoolerPrinters::SpoolerPrinters(const std::vector<std::string>& names) : driver_("Corvanta Panel Test Driver", "") {
  for (const std::string& name : names) {
    printers_.push_back(std::make_unique<tools_test::TestPrinter>(name, "LPT1:", driver_.name()));
    EXPECT_TRUE(printers_.back()->added()) << name << ": " << printers_.back()->error();
  }
}

Language userLanguage() {
  switch (PRIMARYLANGID(GetUserDefaultLangID())) {
    case LANG_ENGLISH: return Language::kEnglish;
    case LANG_GERMAN: return Language::kGerman;
    case LANG_FRENCH: return Language::kFrench;
    default: return Language::kOther;
  }
}

const char* languageName(Language language) {
  static const char* const names[] = {"english", "german", "french", "other"};
  return names[static_cast<int>(language)];
}

const char* libraryFile(Language language) {
  switch (language) {
    case Language::kGerman: return "CorvantaResDeu.dll";
    case Language::kFrench: return "CorvantaResFre.dll";
    default: return "CorvantaRes.dll";
  }
}

std::string resourceText(Language language, int id) {
  HMODULE module = LoadLibraryExA((gui::programDir() + "\\" + libraryFile(language)).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
  char text[1024] = {};
  if (module) {
    LoadStringA(module, id, text, sizeof text);
    FreeLibrary(module);
  }
  return text;
}

Panel::~Panel() {
  if (program.running()) quit();
}

bool Panel::start(const std::string& commandLine, bool withResources) {
  dialog = nullptr;
  const std::string folder = gui::programDir() + (withResources ? "" : "\\without-resources");
  return program.start(folder + "\\Corvanta.exe", commandLine);
}

HWND Panel::waitForDialog(bool visibleOnly, int timeoutMs) {
  const DWORD id = program.pid();
  dialog = gui::waitFor(
      [&] {
        for (HWND window : gui::topLevels(id, "#32770", visibleOnly))
          if (GetDlgItem(window, IDC_PRINTER_LIST)) return window;
        return HWND{};
      },
      timeoutMs);
  if (dialog && !program.waitForInputIdle(timeoutMs)) dialog = nullptr;
  return dialog;
}

std::optional<DWORD> Panel::quit() {
  if (!program.running()) return program.waitForExit(0);
  if (dialog) gui::command(dialog, IDM_QUIT);
  auto code = program.waitForExit(10000);
  if (!code) program.kill();
  return code;
}

int Panel::tab() const { return static_cast<int>(SendMessageA(GetDlgItem(dialog, IDC_TABS), TCM_GETCURSEL, 0, 0)); }

void Panel::type(int id, const std::string& value) const {
  gui::focus(dialog, id);
  gui::setItemText(dialog, id, value);
}

std::optional<gui::MessageBoxInfo> answerBox(DWORD pid, int button, int timeoutMs) {
  auto box = gui::waitForMessageBox(pid, timeoutMs);
  if (box) gui::answer(*box, button);
  return box;
}

namespace {
DWORD processOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}
}  // namespace

HMENU openTrayMenu(HWND dialog) {
  PostMessageA(dialog, WM_TRAYICON, TRAY_ICON_ID, WM_RBUTTONDOWN);
  HWND menu = gui::waitFor([&] { return openMenuWindow(processOf(dialog)); });
  return menu ? reinterpret_cast<HMENU>(SendMessageA(menu, kGetMenuHandle, 0, 0)) : nullptr;
}

void closeMenu(HWND dialog) {
  while (HWND menu = openMenuWindow(processOf(dialog))) {
    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 1);
    if (!gui::waitUntil([&] { return openMenuWindow(processOf(dialog)) != menu; }, 2000)) break;
  }
}

InProcessPanel::~InProcessPanel() {
  if (thread_ && WaitForSingleObject(returned_, 0) != WAIT_OBJECT_0) quit();
  finish();
}

DWORD WINAPI InProcessPanel::run(void* self) {
  auto* panel = static_cast<InProcessPanel*>(self);
  panel->result_ = control_panel::runControlPanel(GetModuleHandleA(nullptr), panel->commandLine_.c_str());
  SetEvent(panel->returned_);
  WaitForSingleObject(panel->release_, INFINITE);
  return 0;
}

HWND InProcessPanel::start(const std::string& commandLine) {
  commandLine_ = commandLine;
  returned_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
  dialog = gui::waitFor([&] {
    HWND shown = control_panel::panelState().dialog;
    return shown && IsWindowVisible(shown) ? shown : HWND{};
  });
  return dialog;
}

std::optional<int> InProcessPanel::quit() {
  if (!thread_) return std::nullopt;
  if (dialog) PostMessageA(dialog, WM_COMMAND, IDM_QUIT, 0);
  if (WaitForSingleObject(returned_, 10000) != WAIT_OBJECT_0) return std::nullopt;
  return result_;
}

void InProcessPanel::finish() {
  if (!thread_) return;
  SetEvent(release_);
  WaitForSingleObject(thread_, 10000);
  CloseHandle(thread_);
  CloseHandle(returned_);
  CloseHandle(release_);
  thread_ = returned_ = release_ = nullptr;
  // The next run registers the window class again.
  UnregisterClassA("Corvanta", GetModuleHandleA(nullptr));
}

std::vector<MenuItem> menuItems(HMENU menu) {
  std::vector<MenuItem> items;
  const int count = GetMenuItemCount(menu);
  for (int position = 0; position < count; ++position) {
    char text[260] = {};
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, position, TRUE, &info);
    items.push_back({info.wID, text, (info.fState & MFS_CHECKED) != 0, (info.fType & MFT_SEPARATOR) != 0,
                     info.hSubMenu});
  }
  return items;
}

bool trayIconPresent(HWND dialog) {
  NOTIFYICONDATAA icon = {};
  icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
  icon.hWnd = dialog;
  icon.uID = TRAY_ICON_ID;
  return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE;
}

}  // namespace panel_test
