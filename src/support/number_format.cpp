#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "support/support.h"

namespace zelk {

namespace {
struct Separators {
  std::string thousands = ",";
  std::string decimal = ".";
};

Separators& CurrentSeparators() {
  static Separators separators;
  return separators;
}

constexpr int kSignificantDigits = 15;

// "-" when negative, then the significant digits (no trailing zeros) and the decimal
// exponent of the first one.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

Decimal ToDecimal(long double value) {
  Decimal result;
  result.negative = std::signbit(value);
  char text[64];
  // to_chars ignores the C locale, so the digits never carry a locale's comma.
  const auto end = std::to_chars(text, text + sizeof text, std::fabs(value),
                                 std::chars_format::scientific, kSignificantDigits - 1)
                       .ptr;
  const std::string_view written(text, static_cast<std::size_t>(end - text));
  const auto e_at = written.find('e');
  for (char c : written.substr(0, e_at)) {
    if (c != '.') result.digits += c;
  }
  result.exponent = std::atoi(std::string(written.substr(e_at + 1)).c_str());
  while (result.digits.size() > 1 && result.digits.back() == '0') result.digits.pop_back();
  return result;
}
}  // namespace

void SetNumberSeparators(std::string thousands, std::string decimal) {
  CurrentSeparators().thousands = std::move(thousands);
  CurrentSeparators().decimal = std::move(decimal);
}

std::string ThousandsSeparator() {
  return CurrentSeparators().thousands;
}
std::string DecimalSeparator() {
  return CurrentSeparators().decimal;
}

std::string FormatWholeNumber(std::int64_t value) {
  // The magnitude in unsigned arithmetic, so the most negative value has one too.
  const std::uint64_t magnitude = value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                            : static_cast<std::uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::string text = value < 0 ? "-" : "";
  std::size_t lead = digits.size() % 3;
  if (lead == 0) lead = 3;
  text += digits.substr(0, lead);
  for (std::size_t i = lead; i < digits.size(); i += 3) {
    text += CurrentSeparators().thousands;
    text += digits.substr(i, 3);
  }
  return text;
}

std::string FormatGeneral(long double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  const Decimal decimal = ToDecimal(value);
  const std::string& digits = decimal.digits;
  const int exponent = decimal.exponent;
  const std::string& point = CurrentSeparators().decimal;
  std::string text = decimal.negative ? "-" : "";
  if (exponent >= kSignificantDigits || exponent < -5) {
    text += digits.substr(0, 1);
    if (digits.size() > 1) text += point + digits.substr(1);
    text += 'E';
    text += std::to_string(exponent);
  } else if (exponent >= 0) {
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) {
      text += digits + std::string(whole - digits.size(), '0');
    } else {
      text += digits.substr(0, whole) + point + digits.substr(whole);
    }
  } else {
    text += "0" + point + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  return text;
}

long double RoundToDecimals(long double value, int decimals) {
  // Read from text, so the power of ten is the nearest value to it, not a product of
  // rounded factors.
  const std::string power_text = "1e" + std::to_string(decimals);
  const long double power = std::strtold(power_text.c_str(), nullptr);
  if (value >= 0) return std::floor(value * power + 0.5L) / power;
  return std::ceil(value * power - 0.5L) / power;
}

std::string FormatDecimals(long double value, int decimals) {
  return FormatGeneral(RoundToDecimals(value, decimals));
}

std::int64_t MinInt64(std::int64_t a, std::int64_t b) {
  return a < b ? a : b;
}

long double FractionalPart(long double value) {
  return value - std::floor(value);
}

}  // namespace zelk
