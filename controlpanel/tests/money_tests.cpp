// Packed costs, the currency separator and the savings texts, through the
// system's real number and currency formatting for English, German and French.
#include <gtest/gtest.h>

#include "money_format.h"

namespace {

using control_panel::money;
using control_panel::PackMoney;
using control_panel::packedMoneyText;

constexpr LCID kEnglish = 0x0409, kGerman = 0x0407, kFrench = 0x040C;

constexpr uint32_t packed(uint32_t code, uint32_t whole) { return code << 16 | whole; }

TEST(PackMoneyTest, FieldTextsPackAndReadBack) {
  struct Case {
    const char* text;
    const char* separator;
    uint32_t value;
    const char* shown;  // in English
  } cases[] = {
      {"12.50", ".", packed(50, 12), "12.50"},
      {"12.5", ".", packed(5, 12), "12.50"},
      {"12.05", ".", packed(105, 12), "12.05"},
      {"12.00", ".", packed(100, 12), "12.00"},
      {"12", ".", packed(100, 12), "12.00"},
      // Two fraction digits count: 12.123 keeps 12.12, 12.099 keeps 12.09.
      {"12.123", ".", packed(12, 12), "12.12"},
      {"12.099", ".", packed(109, 12), "12.09"},
      {"1500.75", ".", packed(75, 999), "999.75"},
      {".5", ".", packed(100, 0), "0.00"},
      {"12..50", ".", packed(50, 12), "12.50"},
      {"12,50", ",", packed(50, 12), "12.50"},
      {"12.50", ",", packed(100, 12), "12.00"},
      {"12.50", "", packed(100, 12), "12.00"},
      {"", ".", packed(100, 0), "0.00"},
      {"99999999999999999999", ".", packed(100, 999), "999.00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value, PackMoney(c.text, c.separator)) << c.text << " with '" << c.separator << "'";
    EXPECT_EQ(c.shown, packedMoneyText(PackMoney(c.text, c.separator), kEnglish)) << c.text;
  }
  EXPECT_EQ("0.00", packedMoneyText(0x00640000, kEnglish)) << "the default";
  EXPECT_EQ("12.02", packedMoneyText(packed(123, 12), kEnglish)) << "a three-digit code stored earlier";
  EXPECT_EQ("12,50", packedMoneyText(packed(50, 12), kGerman));
  EXPECT_EQ("12,05", packedMoneyText(packed(105, 12), kFrench));
}

TEST(PackMoneyTest, SeparatorComesFromTheCurrencyFormat) {
  EXPECT_EQ(".", control_panel::currencySeparator(kEnglish));
  EXPECT_EQ(",", control_panel::currencySeparator(kGerman));
  EXPECT_EQ(",", control_panel::currencySeparator(kFrench));
}

TEST(SavingsTest, FiguresInTheLocalesCurrencyFormat) {
  const control_panel::SavingsFields fields{"25%", "50%", "4", "2", "20.00", "30,00"};
  for (LCID locale : {kEnglish, kGerman, kFrench}) {
    const auto texts = control_panel::savingsTexts(fields, locale, "year", "cartridge");
    auto shown = [locale](double value) { return money(value, locale); };
    EXPECT_EQ(shown(80), texts.blackPerYear);
    EXPECT_EQ(shown(60), texts.colorPerYear);
    EXPECT_EQ(shown(140) + " /year", texts.costPerYear);
    EXPECT_EQ(shown(5) + " /cartridge", texts.blackSaving);
    EXPECT_EQ(shown(15) + " /cartridge", texts.colorSaving);
    EXPECT_EQ(shown(5), texts.blackPerCartridge);
    EXPECT_EQ(shown(15), texts.colorPerCartridge);
    EXPECT_EQ(shown(20), texts.blackSavedPerYear);
    EXPECT_EQ(shown(30), texts.colorSavedPerYear);
    EXPECT_EQ(shown(50) + " /year", texts.savedPerYear);
  }
  EXPECT_EQ("$140.00", money(140, kEnglish));
  EXPECT_NE(std::string::npos, money(140, kGerman).find("140,00"));
  EXPECT_NE(std::string::npos, money(140, kFrench).find("140,00"));

  // Level 0 saves nothing while the yearly costs still show; text that is no
  // number reads 0.
  const auto none = control_panel::savingsTexts({"0%", "x", "4", "", "20.00", "abc"}, kEnglish, "y", "c");
  EXPECT_EQ("$80.00", none.blackPerYear);
  EXPECT_EQ("$0.00", none.colorPerYear);
  EXPECT_EQ("$0.00 /c", none.blackSaving);
  EXPECT_EQ("$0.00 /y", none.savedPerYear);
}

}  // namespace
