// Button 1037, help, web pages and About of the real Corvanta.exe: the
// calibration page goes through Wine's spooler to files (page_printer.h),
// the test plays the language monitor's part by writing the page value back,
// and the About box and help viewer are found as the user sees them.
#include "page_printer.h"
#include "panel_user.h"
#include "resource_ids.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using namespace settings_test;
using panel_test::Panel;

constexpr char kPrinter[] = "Corvanta Page Button";

class PanelPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(printer_.ready()) << printer_.error();
    panel_test::configure(kPrinter);
    page_test::setPageFolder(page_test::pageFolder());
    geometry_ = page_test::geometryOf(kPrinter);
  }
  void TearDown() override { panel_.quit(); }

  void start(int maker) {
    setDword(HKEY_LOCAL_MACHINE, machinePrinter(kPrinter), "Manufacturer", static_cast<DWORD>(maker));
    ASSERT_TRUE(panel_.start());
    if (!panel_.waitForDialog()) {
      auto box = gui::waitForMessageBox(panel_.pid(), 1000);
      FAIL() << "no settings dialog" << (box ? "; message: " + box->text : std::string());
    }
  }
  long long pageValue() const { return readDword(HKEY_USERS, sharedPrinter(kPrinter), "PrintCalibrationPage"); }
  // The language monitor's write-back at the end of a calibration document.
  void monitorWrites(DWORD value) const {
    setDword(HKEY_USERS, sharedPrinter(kPrinter), "PrintCalibrationPage", value);
  }
  bool buttonComesBack() const {
    return gui::waitUntil([&] { return panel_.enabled(IDC_PRINT_CALIBRATION); });
  }
  std::vector<page_test::PrintedRow> rowsOf(int job, bool header, const std::string& screenshot) const {
    EXPECT_TRUE(page_test::keepScreenshot(printer_.jobFile(job, ".png"), screenshot));
    const page_test::GreyImage page = page_test::readPgm(printer_.jobFile(job, ".pgm"), 40);
    EXPECT_FALSE(page.pixels.empty()) << "no rendering of job " << job;
    const auto rows = page_test::printedRows(page, geometry_, header ? geometry_.headerBottom() : 0);
    for (size_t r = 0; r < rows.size(); ++r) EXPECT_TRUE(rows[r].labelled) << "row " << r << " has no level";
    return rows;
  }

  RegistryGuard guard_;
  page_test::FilePrinter printer_{kPrinter};
  page_test::DeviceGeometry geometry_;
  Panel panel_;
};

TEST_F(PanelPage, OneDocumentOfNineRowsThenTheButtonWaitsForTheMonitor) {
  start(1);
  gui::click(panel_.dialog, IDC_PRINT_CALIBRATION);
  // The dialog answers while the printer's device context waits out its ten seconds.
  ASSERT_TRUE(gui::settle(panel_.dialog, 2000));
  ASSERT_EQ(1, printer_.waitForJobs(1));
  EXPECT_EQ(1, pageValue());
  EXPECT_FALSE(panel_.enabled(IDC_PRINT_CALIBRATION));
  EXPECT_EQ(9u, rowsOf(0, true, "calibration_button_one_document").size());
  monitorWrites(0);
  EXPECT_TRUE(buttonComesBack());
  EXPECT_EQ(1, printer_.jobCount());
}

TEST_F(PanelPage, MakerCodeTwoGetsTwoDocumentsAndTheButtonWaitsForZero) {
  start(2);
  gui::click(panel_.dialog, IDC_PRINT_CALIBRATION);
  ASSERT_EQ(2, printer_.waitForJobs(2));
  EXPECT_EQ(2, pageValue());
  EXPECT_EQ(4u, rowsOf(0, true, "calibration_button_two_documents_1").size());
  EXPECT_EQ(5u, rowsOf(1, false, "calibration_button_two_documents_2").size());
  monitorWrites(3);  // the end of the first document
  ASSERT_TRUE(panel_.settle());
  EXPECT_FALSE(gui::waitUntil([&] { return panel_.enabled(IDC_PRINT_CALIBRATION); }, 500));
  monitorWrites(0);  // the end of the second
  EXPECT_TRUE(buttonComesBack());
}

TEST_F(PanelPage, WithoutPicturesThePageValueIsZeroAgainAndNothingIsPrinted) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "corvanta page folder without pictures";
  CreateDirectoryA(folder.c_str(), nullptr);
  page_test::setPageFolder(folder);
  start(1);
  gui::click(panel_.dialog, IDC_PRINT_CALIBRATION);
  EXPECT_EQ(0, pageValue());
  EXPECT_EQ(0, printer_.waitForJobs(1, 1500));
  // No page is pending, so nothing would ever enable the button again: it
  // stays usable.
  EXPECT_TRUE(panel_.enabled(IDC_PRINT_CALIBRATION));
  RemoveDirectoryA(folder.c_str());
}

// Run once per user language (see CMakeLists.txt).
TEST_F(PanelPage, InTheUsersLanguageAboutBoxClosesOnTheSecondClick) {
  start(1);
  gui::command(panel_.dialog, IDM_ABOUT);
  const std::string title = panel_.string(IDS_ABOUT_TITLE);
  HWND about = gui::waitFor([&] { return gui::findTopLevel(panel_.pid(), "#32770", title.c_str()); });
  ASSERT_NE(nullptr, about) << "no About box titled " << title;
  ASSERT_TRUE(gui::settle(about));
  EXPECT_EQ(panel_.string(IDS_ABOUT_TEXT), gui::itemText(about, IDC_ABOUT_TEXT));
  EXPECT_EQ(panel_.string(IDS_ABOUT_NOTE), gui::itemText(about, IDC_ABOUT_NOTE));
  // The picture and the inside of the box take bitmap 171's size.
  HMODULE library = LoadLibraryExA((gui::programDir() + "\\" + panel_test::libraryFile(panel_.language)).c_str(),
                                   nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HBITMAP picture = static_cast<HBITMAP>(LoadImageA(library, MAKEINTRESOURCEA(IDB_ABOUT_PICTURE), IMAGE_BITMAP, 0, 0, 0));
  BITMAP size = {};
  GetObjectA(picture, sizeof size, &size);
  DeleteObject(picture);
  FreeLibrary(library);
  RECT inside = {}, item = {};
  GetClientRect(about, &inside);
  GetWindowRect(GetDlgItem(about, IDC_ABOUT_PICTURE), &item);
  EXPECT_EQ(size.bmWidth, item.right - item.left);
  EXPECT_EQ(size.bmHeight, item.bottom - item.top);
  EXPECT_EQ(size.bmWidth, inside.right);
  EXPECT_EQ(size.bmHeight, inside.bottom);
  EXPECT_TRUE(gui::screenshot(about, std::string("about_") + panel_test::languageName(panel_.language)));

  gui::click(about, IDC_ABOUT_PICTURE);
  EXPECT_TRUE(IsWindow(about)) << "closed on the first click";
  gui::click(about, IDC_ABOUT_PICTURE);
  EXPECT_TRUE(gui::waitUntil([&] { return !IsWindow(about); })) << "still open after the second click";
}

// Run once per user language: the help viewer shows the language's book.
TEST_F(PanelPage, InTheUsersLanguageHelpOpensTheLanguagesBook) {
  start(1);
  gui::command(panel_.dialog, IDM_HELP);
  const char* title = "Corvanta Help";
  if (panel_.language == panel_test::Language::kGerman) title = "Corvanta Hilfe";
  if (panel_.language == panel_test::Language::kFrench) title = "Aide de Corvanta";
  HWND viewer = gui::waitFor([&] { return gui::findTopLevel(panel_.pid(), "HH Parent", title); });
  EXPECT_NE(nullptr, viewer) << "no help viewer titled " << title;
  if (viewer) PostMessageA(viewer, WM_CLOSE, 0, 0);
}

}  // namespace
