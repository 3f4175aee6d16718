// The per-job dialog as its user meets it: the real JobPrompt.dll loaded by
// name, its ordinal 1 called as the language monitor calls it, the real
// language resource libraries beside it, the dialog driven from a second
// thread, and the printer's settings read back from the registry.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>

#include "CorvantaReg.h"
#include "gui_driver.h"
#include "job_prompt.h"
#include "prompt_ids.h"
#include "prompt_user.h"
#include "registry_guard.h"

using namespace job_prompt;
using namespace prompt_test;
using settings_test::createKey;
using settings_test::readDword;
using settings_test::setDword;
using settings_test::sharedPrinter;

namespace {

const std::string kPrinter = "Prompt Test DeskJet";
// What goes grey with reduction off.
constexpr int kLevelControls[] = {kBlackSlider, kColorSlider, kBlackBox, kColorBox, kDisplayInkCheck, 1032, 1034,
                                  1039, 1040, 1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109, 1158, 1159};

class JobPromptDialog : public testing::Test {
 protected:
  settings_test::RegistryGuard guard;
  PromptLibrary library;

  void SetUp() override {
    ASSERT_NE(nullptr, library.show) << "JobPrompt.dll ordinal 1: " << GetLastError();
    configure(kPrinter, 1, 1, 30, 20);
    SetPerJob(0);
  }

  static void configure(const std::string& printer, int reduction, int display, int black, int color,
                        int calibration = 0) {
    createKey(HKEY_USERS, sharedPrinter(printer));
    setDword(HKEY_USERS, settings_test::kSharedKey, "PerJob", 0);
    for (auto [name, value] : {std::pair{"InkReduction", reduction}, {"DisplayInk", display}, {"BlackLevel", black},
                               {"ColorLevel", color}, {"PrintCalibrationPage", calibration}})
      setDword(HKEY_USERS, sharedPrinter(printer), name, value);
  }

  // The stored values, in the order the dialog shows them, and PerJob.
  static std::vector<long long> stored(const std::string& printer = kPrinter) {
    std::vector<long long> values;
    for (const char* name : {"InkReduction", "DisplayInk", "BlackLevel", "ColorLevel"})
      values.push_back(readDword(HKEY_USERS, sharedPrinter(printer), name));
    values.push_back(readDword(HKEY_USERS, settings_test::kSharedKey, "PerJob"));
    return values;
  }

  PromptRun prompt(const std::function<void(User&)>& act) { return runPrompt(library.show, kPrinter.c_str(), act); }
};

using Values = std::vector<long long>;

// A string of a language resource library, as the dialog should show it.
std::string resourceText(const char* library, int id) {
  HMODULE module = LoadLibraryExA(library, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  char text[512] = {};
  if (module) {
    LoadStringA(module, id, text, sizeof(text));
    FreeLibrary(module);
  }
  return text;
}

std::string besideProgram(const char* file) {
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  return std::string(program, std::strrchr(program, '\\') + 1) + file;
}

TEST_F(JobPromptDialog, IsNotOfferedWhenSwitchedOffOrACalibrationPageIsPending) {
  struct Case {
    int reduction, display, calibration, result;
  };
  for (const Case c : {Case{1, 0, 0, 0}, Case{0, 1, 0, 0}, Case{1, 1, 1, 1}, Case{1, 1, 2, 2}, Case{1, 1, 3, 3}}) {
    configure(kPrinter, c.reduction, c.display, 30, 20, c.calibration);
    const PromptRun run = prompt(nullptr);
    EXPECT_FALSE(run.dialogShown) << c.reduction << c.display << c.calibration;
    EXPECT_EQ(c.result, run.result) << c.reduction << c.display << c.calibration;
  }
  // A printer without settings, and a name too long for the dialog's buffer:
  // the calibration value cannot be read (-1), so no dialog either.
  const std::string longName(300, 'p');
  for (const std::string& printer : {std::string("Prompt Unknown Printer"), longName}) {
    const PromptRun run = runPrompt(library.show, printer.c_str(), nullptr);
    EXPECT_FALSE(run.dialogShown);
    EXPECT_EQ(-1, run.result);
  }
  EXPECT_EQ(-1, library.show(nullptr)) << "a null name is an unknown printer";
}

// In each language the dialog opens with the stored settings, its library's
// title and icon; a screenshot of each goes to the build tree.
TEST_F(JobPromptDialog, OpensWithTheStoredSettingsInEachLanguage) {
  for (auto [locale, file, name] : {std::tuple{0x409, "CorvantaRes.dll", "english"},
                                    {0x407, "CorvantaResDeu.dll", "german"}, {0x40C, "CorvantaResFre.dll", "french"}}) {
    SetLocale(locale);
    const PromptRun run = prompt([&, file = file, name = name](User& user) {
      EXPECT_EQ(resourceText(file, kTitleString), gui::windowText(user.dialog)) << file;
      EXPECT_EQ(kPrinter, user.text(kPrinterNameText));
      EXPECT_TRUE(user.checked(kReductionCheck));
      EXPECT_TRUE(user.checked(kDisplayInkCheck));
      EXPECT_EQ("30", user.text(kBlackBox));
      EXPECT_EQ("20", user.text(kColorBox));
      EXPECT_EQ(30, user.position(kBlackSlider));
      EXPECT_EQ(20, user.position(kColorSlider));
      for (int slider : {kBlackSlider, kColorSlider}) {
        EXPECT_EQ(0, SendMessageA(user.control(slider), TBM_GETRANGEMIN, 0, 0));
        EXPECT_EQ(75, SendMessageA(user.control(slider), TBM_GETRANGEMAX, 0, 0));
        EXPECT_EQ(5, SendMessageA(user.control(slider), TBM_GETPAGESIZE, 0, 0));
        EXPECT_EQ(16, SendMessageA(user.control(slider), TBM_GETNUMTICS, 0, 0)) << "a tick every 5";
      }
      EXPECT_NE(0, SendMessageA(user.dialog, WM_GETICON, ICON_SMALL, 0));
      EXPECT_NE(0, SendMessageA(user.dialog, WM_GETICON, ICON_BIG, 0));
      for (int id : kLevelControls) EXPECT_TRUE(user.enabled(id)) << id;
      EXPECT_TRUE(gui::screenshot(user.dialog, std::string("jobprompt-") + name)) << name;
      user.closeWindow();
    });
    EXPECT_TRUE(run.dialogShown) << file;
    EXPECT_EQ(1, run.result);
  }
}

TEST_F(JobPromptDialog, SavingAnInvalidLevelShowsTheErrorAndWritesNothing) {
  const PromptRun run = prompt([](User& user) {
    ASSERT_TRUE(user.type(kBlackBox, "80"));
    user.pressEnter(kBlackBox);
    const auto error = answerMessageBox();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(resourceText("CorvantaRes.dll", kErrorCaptionString), error->caption);
    EXPECT_EQ(resourceText("CorvantaRes.dll", kInvalidLevelString), error->text);
    EXPECT_TRUE(gui::waitUntil([&] { return user.focus() == user.control(kBlackBox); }));
    EXPECT_EQ("80", user.text(kBlackBox)) << "a failed save leaves the entry for the user to correct";
    EXPECT_EQ(Values({1, 1, 30, 20, 0}), stored());

    // Clicking Save leaves the box first: one message, nothing written.
    ASSERT_TRUE(user.type(kBlackBox, "30"));
    ASSERT_TRUE(user.type(kColorBox, "76"));
    user.click(kSaveButton);
    EXPECT_TRUE(answerMessageBox().has_value());
    EXPECT_FALSE(answerMessageBox(300).has_value()) << "one message per mistake";
    EXPECT_TRUE(IsWindow(user.dialog));
    EXPECT_EQ(Values({1, 1, 30, 20, 0}), stored());

    ASSERT_TRUE(user.type(kBlackBox, "75"));
    ASSERT_TRUE(user.type(kColorBox, "40%"));
    user.click(kSaveButton);
    EXPECT_TRUE(user.closed());
  });
  EXPECT_TRUE(run.dialogShown);
  EXPECT_EQ(Values({1, 1, 75, 40, 1}), stored());
}

TEST_F(JobPromptDialog, LeavingABoxWithAnInvalidLevelPutsBackTheOpeningLevel) {
  const PromptRun run = prompt([](User& user) {
    ASSERT_TRUE(user.type(kBlackBox, "80"));
    user.moveTo(kColorBox);
    EXPECT_TRUE(answerMessageBox().has_value());
    EXPECT_EQ("30", user.text(kBlackBox));
    EXPECT_TRUE(gui::waitUntil([&] { return user.focus() == user.control(kBlackBox); }));
    EXPECT_EQ(MAKELONG(0, 2), SendMessageA(user.control(kBlackBox), EM_GETSEL, 0, 0)) << "the text is selected";

    ASSERT_TRUE(user.type(kColorBox, "4a"));
    user.moveTo(kBlackBox);
    EXPECT_TRUE(answerMessageBox().has_value());
    EXPECT_FALSE(answerMessageBox(300).has_value()) << "one message per mistake";
    EXPECT_EQ("20", user.text(kColorBox));

    // A valid entry moves its slider when the box is left.
    ASSERT_TRUE(user.type(kBlackBox, "40%"));
    user.moveTo(kColorBox);
    EXPECT_TRUE(gui::waitUntil([&] { return user.position(kBlackSlider) == 40; }));
    EXPECT_FALSE(answerMessageBox(300).has_value());
    user.click(kSaveButton);
    EXPECT_TRUE(user.closed());
  });
  EXPECT_TRUE(run.dialogShown);
  EXPECT_EQ(Values({1, 1, 40, 20, 1}), stored());
}

TEST_F(JobPromptDialog, SlidersShowTheirLevelInTheBoxes) {
  const PromptRun run = prompt([](User& user) {
    user.pressKeys(kBlackSlider, {VK_END});
    EXPECT_TRUE(gui::waitUntil([&] { return user.text(kBlackBox) == "75"; })) << user.text(kBlackBox);
    user.pressKeys(kColorSlider, {VK_HOME, VK_NEXT, VK_NEXT, VK_RIGHT});
    EXPECT_TRUE(gui::waitUntil([&] { return user.text(kColorBox) == "11"; })) << user.text(kColorBox);

    // After a failed save the first slider movement only takes the user back
    // to the box to correct; the next one shows its level again.
    ASSERT_TRUE(user.type(kBlackBox, "99"));
    user.pressEnter(kBlackBox);
    EXPECT_TRUE(answerMessageBox().has_value());
    PostMessageA(user.control(kColorSlider), WM_KEYDOWN, VK_HOME, 1);  // the mouse wheel over it, say
    EXPECT_TRUE(gui::waitUntil([&] { return user.position(kColorSlider) == 0; }));
    EXPECT_EQ(user.control(kBlackBox), user.focus());
    EXPECT_EQ("11", user.text(kColorBox));
    PostMessageA(user.control(kColorSlider), WM_KEYDOWN, VK_NEXT, 1);
    EXPECT_TRUE(gui::waitUntil([&] { return user.text(kColorBox) == "5"; })) << user.text(kColorBox);
    ASSERT_TRUE(user.type(kBlackBox, "75"));
    user.pressEnter(kBlackBox);
    EXPECT_TRUE(user.closed());
  });
  EXPECT_TRUE(run.dialogShown);
  EXPECT_EQ(Values({1, 1, 75, 5, 1}), stored());
}

TEST_F(JobPromptDialog, TheSwitchesAreWrittenOnSaveAndLeaveTheLevelControlsAlone) {
  const PromptRun run = prompt([&](User& user) {
    user.click(kReductionCheck);
    EXPECT_TRUE(gui::waitUntil([&] { return !user.checked(kReductionCheck); }));
    for (int id : kLevelControls) EXPECT_TRUE(user.enabled(id)) << id;
    user.click(kDisplayInkCheck);
    EXPECT_TRUE(gui::waitUntil([&] { return !user.checked(kDisplayInkCheck); }));
    user.click(kSaveButton);
    EXPECT_TRUE(user.closed());
  });
  EXPECT_TRUE(run.dialogShown);
  EXPECT_EQ(Values({0, 0, 30, 20, 1}), stored());

}

// The monitor offers no dialog with reduction off; the dialog run directly
// (as when the switch changes just before it opens) starts with the level
// controls off, and switching reduction on leaves them so.
TEST_F(JobPromptDialog, ReductionOffAtTheStartDisablesTheLevelControls) {
  SetInkReduction(kPrinter.c_str(), 0);
  InitBlock block = {LoadLibraryA("CorvantaRes.dll"), {}};
  ASSERT_NE(nullptr, block.resources);
  kPrinter.copy(block.printerName, sizeof(block.printerName) - 1);
  const auto dialogOnly = [&](const char*) {
    runDialog(block);
    return 0;
  };
  const PromptRun run = runPrompt(dialogOnly, kPrinter.c_str(), [](User& user) {
    EXPECT_FALSE(user.checked(kReductionCheck));
    for (int id : kLevelControls) EXPECT_FALSE(user.enabled(id)) << id;
    user.click(kReductionCheck);
    EXPECT_TRUE(gui::waitUntil([&] { return user.checked(kReductionCheck); }));
    for (int id : kLevelControls) EXPECT_FALSE(user.enabled(id)) << id;
    user.click(kSaveButton);
    EXPECT_TRUE(user.closed());
  });
  FreeLibrary(block.resources);
  EXPECT_TRUE(run.dialogShown);
  EXPECT_EQ(Values({1, 1, 30, 20, 1}), stored());
}

TEST_F(JobPromptDialog, ClosingTheWindowKeepsEveryValue) {
  configure(kPrinter, 1, 1, 90, -1);  // outside the dialog's range, and unreadable
  const PromptRun run = prompt([](User& user) {
    EXPECT_EQ("75", user.text(kBlackBox));
    EXPECT_EQ("0", user.text(kColorBox));
    ASSERT_TRUE(user.type(kBlackBox, "50"));
    user.moveTo(kColorBox);
    user.click(kReductionCheck);
    user.click(kDisplayInkCheck);
    EXPECT_TRUE(gui::waitUntil([&] { return !user.checked(kDisplayInkCheck) && user.position(kBlackSlider) == 50; }));
    user.closeWindow();
    EXPECT_TRUE(user.closed());
  });
  EXPECT_TRUE(run.dialogShown);
  EXPECT_EQ(1, run.result);
  EXPECT_EQ(Values({1, 1, 90, 0xFFFFFFFFll, 0}), stored());
}

// The export never ends its host: a library that cannot be loaded shows its
// name in a message box (no owner, no caption of ours), and no dialog opens.
TEST_F(JobPromptDialog, AMissingResourceLibraryShowsItsNameAndNoDialog) {
  struct Case {
    int locale;
    const char* file;
    const char* text;
  };
  for (const Case c : {Case{0x409, "CorvantaRes.dll", "Can't load CorvantaRes.dll!"},
                       Case{0x407, "CorvantaResDeu.dll", "Can't load CorvantaResDeu.dll!"},
                       Case{0x40C, "CorvantaResFre.dll", "Can't load CorvantaResFre.dll!"}}) {
    SetLocale(c.locale);
    const std::string file = besideProgram(c.file);
    const std::string away = file + ".away";
    ASSERT_TRUE(MoveFileA(file.c_str(), away.c_str())) << file << ": " << GetLastError();
    std::optional<gui::MessageBoxInfo> seen;
    const PromptRun run = runPrompt(
        library.show, kPrinter.c_str(),
        [&](User& box) {
          EXPECT_EQ(nullptr, GetWindow(box.dialog, GW_OWNER));
          EXPECT_TRUE(dialogsWith(kSaveButton).empty());
          seen = answerMessageBox();
        },
        0xFFFF);
    MoveFileA(away.c_str(), file.c_str());
    ASSERT_TRUE(seen.has_value()) << c.file;
    EXPECT_EQ(c.text, seen->text);
    EXPECT_EQ(0, run.result);
  }

  // A library without the dialog's template: no dialog, and the call returns.
  SetLocale(0x40C);
  const std::string french = besideProgram("CorvantaResFre.dll");
  ASSERT_TRUE(MoveFileA(french.c_str(), (french + ".away").c_str()));
  CopyFileA(besideProgram("CorvantaReg.dll").c_str(), french.c_str(), FALSE);
  const PromptRun run = prompt(nullptr);
  DeleteFileA(french.c_str());
  MoveFileA((french + ".away").c_str(), french.c_str());
  EXPECT_FALSE(run.dialogShown);
  EXPECT_EQ(1, run.result) << "the library was released";
  EXPECT_EQ(Values({1, 1, 30, 20, 0}), stored());
}

// Two jobs on two ports may prompt at the same time: each dialog keeps its
// own printer and levels.
TEST_F(JobPromptDialog, TwoDialogsAtOnceEachSaveTheirOwnPrinter) {
  const std::string other = "Prompt Test Other DeskJet";
  configure(other, 1, 1, 10, 15);
  std::atomic<int> results{0};
  std::thread second([&] { results += library.show(other.c_str()); });
  const PromptRun run = prompt([&](User& first) {
    HWND dialogs[2] = {};
    ASSERT_TRUE(gui::waitUntil([&] {
      dialogs[0] = first.dialog;
      for (HWND dialog : dialogsWith(kSaveButton))
        if (dialog != first.dialog) dialogs[1] = dialog;
      return dialogs[1] != nullptr;
    }));
    User users[2] = {{dialogs[0]}, {dialogs[1]}};
    if (users[0].text(kPrinterNameText) != kPrinter) std::swap(users[0], users[1]);
    EXPECT_EQ(other, users[1].text(kPrinterNameText));
    EXPECT_EQ("10", users[1].text(kBlackBox));
    EXPECT_TRUE(users[0].type(kBlackBox, "55"));
    EXPECT_TRUE(users[1].type(kColorBox, "65"));
    users[1].click(kSaveButton);
    EXPECT_TRUE(users[1].closed());
    users[0].click(kSaveButton);
    EXPECT_TRUE(users[0].closed());
  });
  second.join();
  EXPECT_EQ(1, run.result);
  EXPECT_EQ(1, results);
  EXPECT_EQ(Values({1, 1, 55, 20, 1}), stored());
  EXPECT_EQ(Values({1, 1, 10, 65, 1}), stored(other));
}

}  // namespace
