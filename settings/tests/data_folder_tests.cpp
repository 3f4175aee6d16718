#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data_folder.h"
#include "platform.h"

TEST(DataFolder, SanitisesTheTenCharactersOnly) {
  EXPECT_EQ(settings::sanitisePrinterName("a\"b/c\\d?e<f>g:h*i|j k"), "a_b_c_d_e_f_g_h_i_j_k");
  EXPECT_EQ(settings::sanitisePrinterName("HP DeskJet 550C"), "HP_DeskJet_550C");
  EXPECT_EQ(settings::sanitisePrinterName("plain-name.1"), "plain-name.1");
}

TEST(DataFolder, BuildsAndCreatesTheFolderLeavingTheNameUnchanged) {
  const char name[] = "Office: Colour Jet";
  char out[512];
  ASSERT_TRUE(settings::buildDataFolder(name, out, sizeof out));
  const char sep = platform::pathSeparator();
  std::string expected = platform::appDataFolder() + sep + "Corvanta" + sep + "Office__Colour_Jet" + sep;
  EXPECT_EQ(std::string(out), expected);
  EXPECT_STREQ(name, "Office: Colour Jet");
  // The folder exists: creating it again reports it as present.
  std::string folder(out);
  folder.pop_back();
  EXPECT_TRUE(platform::createDirectory(folder));
}

TEST(DataFolder, ANameThatDoesNotFitGivesAnEmptyPath) {
  std::string longName(600, 'x');
  char out[512];
  std::memset(out, 'Z', sizeof out);
  EXPECT_FALSE(settings::buildDataFolder(longName.c_str(), out, sizeof out));
  EXPECT_STREQ(out, "");
}
