// The per-job dialog: the printer's reduction switch, its black and colour
// levels as sliders and number boxes, and the switch for this dialog itself.
// Nothing is written until the user saves with both boxes valid.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "CorvantaReg.h"
#include "job_prompt.h"
#include "level_text.h"
#include "prompt_ids.h"

namespace job_prompt {
namespace {

constexpr int kTickFrequency = 5;
constexpr int kPageSize = 5;
// Longer box texts are not levels; the buffer holds one character more to tell.
constexpr int kBoxTextSize = 16;
// Posted when a box was left invalid: the click that made the focus leave it
// (on Save, say) has been handled by the time it arrives.
constexpr UINT kEndOfLeave = WM_APP + 1;

// Everything the dialog knows lives here, one record per open dialog, so two
// jobs prompting at the same time on different ports do not share state.
struct DialogState {
  InitBlock block;
  int openedBlack;
  int openedColor;
  int markedBox;      // box left invalid by a failed save, 0 when none
  bool guarding;      // our own message box or focus move is under way
  bool leftInvalid;   // a box was just left invalid, until kEndOfLeave arrives
  HICON smallIcon;
  HICON bigIcon;
};

DialogState* stateOf(HWND dialog) { return reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

int boxLevel(HWND dialog, int box) {
  char text[kBoxTextSize + 1] = {};
  const int length = GetDlgItemTextA(dialog, box, text, sizeof(text));
  return length > kBoxTextSize - 1 ? -1 : levelFromText(std::string_view(text, length));
}

// The first invalid box, black before colour, or 0.
int invalidBox(HWND dialog) {
  for (int box : {kBlackBox, kColorBox})
    if (boxLevel(dialog, box) < 0) return box;
  return 0;
}

void showLevel(HWND dialog, int box, int level) {
  char text[16];
  snprintf(text, sizeof(text), "%d", level);
  SetDlgItemTextA(dialog, box, text);
}

std::wstring_view resourceString(HMODULE resources, int id) {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(resources, id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 && text ? std::wstring_view(text, length) : std::wstring_view();
}

// Focus to the box with its whole text selected, without the focus change
// counting as the user leaving a box.
void focusBox(HWND dialog, DialogState& state, int box) {
  state.guarding = true;
  HWND control = GetDlgItem(dialog, box);
  SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  SendMessageA(control, EM_SETSEL, 0, -1);
  state.guarding = false;
}

void showInvalidLevel(HWND dialog, DialogState& state) {
  const std::wstring text(resourceString(state.block.resources, kInvalidLevelString));
  const std::wstring caption(resourceString(state.block.resources, kErrorCaptionString));
  state.guarding = true;
  MessageBoxW(dialog, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
  state.guarding = false;
}

void start(HWND dialog, const InitBlock& block) {
  auto* state = new DialogState{block, 0, 0, 0, false, false, nullptr, nullptr};
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  const char* printer = state->block.printerName;

  for (int slider : {kBlackSlider, kColorSlider}) {
    SendDlgItemMessageA(dialog, slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, kMaxLevel));
    SendDlgItemMessageA(dialog, slider, TBM_SETTICFREQ, kTickFrequency, 0);
    SendDlgItemMessageA(dialog, slider, TBM_SETPAGESIZE, 0, kPageSize);
  }
  SetDlgItemTextA(dialog, kPrinterNameText, printer);
  const std::wstring title(resourceString(block.resources, kTitleString));
  SetWindowTextW(dialog, title.c_str());
  state->smallIcon = static_cast<HICON>(LoadImageA(block.resources, kIconName, IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  state->bigIcon = static_cast<HICON>(
      LoadImageA(block.resources, kIconName, IMAGE_ICON, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state->smallIcon));
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state->bigIcon));

  // A stored level outside the dialog's range (the store takes 0-100, a failed
  // read gives -1) opens at the nearest end, so the level a box falls back to
  // is always one the dialog accepts.
  state->openedBlack = std::clamp(GetBlackLevel(printer), 0, kMaxLevel);
  state->openedColor = std::clamp(GetColorLevel(printer), 0, kMaxLevel);
  const bool reduction = GetInkReduction(printer) != 0;
  CheckDlgButton(dialog, kReductionCheck, reduction ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kDisplayInkCheck, GetDisplayInk(printer) != 0 ? BST_CHECKED : BST_UNCHECKED);
  if (!reduction) {
    for (int id : {kBlackSlider, kColorSlider, kBlackBox, kColorBox, kDisplayInkCheck})
      EnableWindow(GetDlgItem(dialog, id), FALSE);
    for (int id : kLevelLabels) EnableWindow(GetDlgItem(dialog, id), FALSE);
  }
  SendDlgItemMessageA(dialog, kBlackSlider, TBM_SETPOS, TRUE, state->openedBlack);
  showLevel(dialog, kBlackBox, state->openedBlack);
  SendDlgItemMessageA(dialog, kColorSlider, TBM_SETPOS, TRUE, state->openedColor);
  showLevel(dialog, kColorBox, state->openedColor);
  SetForegroundWindow(dialog);
}

void sliderMoved(HWND dialog, DialogState& state, HWND slider) {
  const int id = GetDlgCtrlID(slider);
  if (id != kBlackSlider && id != kColorSlider) return;
  if (state.markedBox) {
    const int box = state.markedBox;
    state.markedBox = 0;
    focusBox(dialog, state, box);
    return;
  }
  showLevel(dialog, id == kBlackSlider ? kBlackBox : kColorBox,
            static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0)));
}

void boxLeft(HWND dialog, DialogState& state, int box) {
  if (state.guarding) return;
  const int invalid = invalidBox(dialog);
  if (!invalid) {
    SendDlgItemMessageA(dialog, kBlackSlider, TBM_SETPOS, TRUE, boxLevel(dialog, kBlackBox));
    SendDlgItemMessageA(dialog, kColorSlider, TBM_SETPOS, TRUE, boxLevel(dialog, kColorBox));
    return;
  }
  if (invalid == box) showLevel(dialog, box, box == kBlackBox ? state.openedBlack : state.openedColor);
  state.leftInvalid = true;
  showInvalidLevel(dialog, state);
  focusBox(dialog, state, invalid);
  PostMessageA(dialog, kEndOfLeave, 0, 0);
}

void save(HWND dialog, DialogState& state) {
  // A click on Save that took the focus from an invalid box has had its
  // message; the user corrects the box before anything is saved.
  if (state.leftInvalid) return;
  if (const int invalid = invalidBox(dialog)) {
    showInvalidLevel(dialog, state);
    state.markedBox = invalid;
    focusBox(dialog, state, invalid);
    return;
  }
  const char* printer = state.block.printerName;
  SetBlackLevel(printer, boxLevel(dialog, kBlackBox));
  SetColorLevel(printer, boxLevel(dialog, kColorBox));
  SetInkReduction(printer, IsDlgButtonChecked(dialog, kReductionCheck) == BST_CHECKED ? 1 : 0);
  SetDisplayInk(printer, IsDlgButtonChecked(dialog, kDisplayInkCheck) == BST_CHECKED ? 1 : 0);
  SetPerJob(1);
  EndDialog(dialog, 1);
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    start(dialog, *reinterpret_cast<const InitBlock*>(lParam));
    return TRUE;
  }
  DialogState* state = stateOf(dialog);
  if (!state) return FALSE;
  switch (message) {
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (lParam) sliderMoved(dialog, *state, reinterpret_cast<HWND>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == EN_KILLFOCUS && (LOWORD(wParam) == kBlackBox || LOWORD(wParam) == kColorBox)) {
        boxLeft(dialog, *state, LOWORD(wParam));
      } else if (LOWORD(wParam) == kSaveButton && HIWORD(wParam) == BN_CLICKED) {
        save(dialog, *state);
      } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);  // Escape: as closing the window
      }
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
    case kEndOfLeave:
      state->leftInvalid = false;
      return TRUE;
    case WM_NCDESTROY:
      SetWindowLongPtrA(dialog, DWLP_USER, 0);
      if (state->smallIcon) DestroyIcon(state->smallIcon);
      if (state->bigIcon) DestroyIcon(state->bigIcon);
      delete state;
      return FALSE;
  }
  return FALSE;
}

}  // namespace

void runDialog(const InitBlock& block) {
  DialogBoxParamA(block.resources, "CURRENTINKSETTINGS", nullptr, dialogProc, reinterpret_cast<LPARAM>(&block));
}

}  // namespace job_prompt
