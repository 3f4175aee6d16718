#include "money_format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cost.h"

namespace control_panel {
namespace {

constexpr uint32_t kMaxWhole = 999;
constexpr uint32_t kNoFraction = 100;
constexpr uint32_t kLeadingZero = 100;
constexpr int kFieldTextSize = 64;
constexpr int kMoneySize = 260;

// The number at the start of text as strtol reads it (saturating).
long leadingNumber(const char* text) { return std::strtol(text, nullptr, 10); }

// A count field's number as an unsigned 16-bit count; larger numbers are not
// counts the dialog knows and read as the largest one.
uint16_t leadingCount(const std::string& text) {
  const long value = leadingNumber(text.c_str());
  if (value < 0) return 0;
  return value > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(value);
}

float costOf(std::string text) {
  if (const size_t comma = text.find(','); comma != std::string::npos) text[comma] = '.';
  return std::strtof(text.c_str(), nullptr);
}

std::string withUnit(const std::string& amount, const std::string& unit) { return amount + " /" + unit; }

}  // namespace

uint32_t PackMoney(const char* text, const char* separator) {
  if (!text) text = "";
  if (!separator) separator = "";
  const long whole = leadingNumber(text);
  const uint32_t units = whole < 0 ? 0 : whole > static_cast<long>(kMaxWhole) ? kMaxWhole : static_cast<uint32_t>(whole);

  // The second non-empty piece between separators is the fraction.
  uint32_t code = kNoFraction;
  const char sep = separator[0];
  if (sep != '\0') {
    const char* piece = text;
    int pieces = 0;
    while (*piece) {
      while (*piece == sep) ++piece;
      if (!*piece) break;
      if (++pieces == 2) {
        uint32_t digits = 0;
        for (int i = 0; i < 2 && piece[i] >= '0' && piece[i] <= '9'; ++i) digits = digits * 10 + (piece[i] - '0');
        code = piece[0] == '0' ? digits + kLeadingZero : digits;
        break;
      }
      while (*piece && *piece != sep) ++piece;
    }
  }
  return (code & 0xFFFFu) << 16 | (units & 0xFFFFu);
}

std::string packedMoneyText(uint32_t packed, LCID locale) {
  char number[48];
  std::snprintf(number, sizeof number, "%.2f", static_cast<double>(settings::decodeCost(packed)));
  char shown[kFieldTextSize] = {};
  if (GetNumberFormatA(locale, 0, number, nullptr, shown, sizeof shown) <= 0) return number;
  return shown;
}

std::string currencySeparator(LCID locale) {
  char number[16];
  std::snprintf(number, sizeof number, "%.2f", static_cast<double>(12.34f));
  char currency[64] = {};
  if (GetCurrencyFormatA(locale, 0, number, nullptr, currency, sizeof currency) <= 0) return "";
  const char* two = std::strchr(currency, '2');
  return two ? std::string(two + 1, two[1] ? 1 : 0) : "";
}

std::string money(double value, LCID locale) {
  char number[kMoneySize];
  std::snprintf(number, sizeof number, "%.2f", value);
  char currency[kMoneySize] = {};
  if (GetCurrencyFormatA(locale, 0, number, nullptr, currency, sizeof currency) <= 0) return number;
  return currency;
}

SavingsTexts savingsTexts(const SavingsFields& fields, LCID locale, const std::string& perYear,
                          const std::string& perCartridge) {
  const uint16_t blackLevel = leadingCount(fields.blackLevel), colorLevel = leadingCount(fields.colorLevel);
  const uint16_t blackCarts = leadingCount(fields.blackCarts), colorCarts = leadingCount(fields.colorCarts);
  const float blackCost = costOf(fields.blackCost), colorCost = costOf(fields.colorCost);

  SavingsTexts texts;
  // Single-precision inputs; each product is printed as formed, the yearly
  // total adds the products rounded to single precision.
  const double blackYear = static_cast<double>(blackCarts) * blackCost;
  const double colorYear = static_cast<double>(colorCarts) * colorCost;
  texts.blackPerYear = money(blackYear, locale);
  texts.colorPerYear = money(colorYear, locale);
  texts.costPerYear =
      withUnit(money(static_cast<float>(blackYear) + static_cast<float>(colorYear), locale), perYear);

  const float blackSaving = static_cast<float>(blackLevel) * blackCost / 100.0f;
  const float colorSaving = static_cast<float>(colorLevel) * colorCost / 100.0f;
  texts.blackSaving = withUnit(money(blackSaving, locale), perCartridge);
  texts.colorSaving = withUnit(money(colorSaving, locale), perCartridge);
  texts.blackPerCartridge = money(blackSaving, locale);
  texts.colorPerCartridge = money(colorSaving, locale);

  const double blackSaved = static_cast<double>(blackCarts) * blackSaving;
  const double colorSaved = static_cast<double>(colorCarts) * colorSaving;
  texts.blackSavedPerYear = money(blackSaved, locale);
  texts.colorSavedPerYear = money(colorSaved, locale);
  texts.savedPerYear = withUnit(money(blackSaved + colorSaved, locale), perYear);
  return texts;
}

}  // namespace control_panel
