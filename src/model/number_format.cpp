#include "model/number_format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace torvex {
namespace {

constexpr int kSignificantDigits = 15;
// Exponents outside [kSmallestPlainExponent, kSignificantDigits) switch the
// general format to exponent notation.
constexpr int kSmallestPlainExponent = -5;

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// True when text is a decimal number in the accepted grammar (sign already
// removed by the caller).
bool isDecimalNumber(std::string_view text) {
  std::size_t at = 0;
  std::size_t mantissaDigits = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at, ++mantissaDigits;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    std::size_t exponentDigits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return at == text.size();
}

bool hasNegativeExponent(std::string_view text) {
  const auto e = text.find_first_of("eE");
  return e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
}

}  // namespace

void appendGeneral(std::string& text, double value) {
  if (std::isnan(value)) {
    text += "NAN";
    return;
  }
  if (std::isinf(value)) {
    text += value < 0 ? "-INF" : "INF";
    return;
  }
  if (value == 0.0) {
    text += '0';
    return;
  }

  // Round to 15 significant digits: "d.dddddddddddddde+XX".
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value),
                                    std::chars_format::scientific, kSignificantDigits - 1);
  const std::string_view scientific(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
  const auto ePos = scientific.find('e');
  std::array<char, kSignificantDigits> digitBuffer{};
  std::size_t count = 0;
  for (char c : scientific.substr(0, ePos))
    if (c != '.') digitBuffer[count++] = c;
  while (count > 1 && digitBuffer[count - 1] == '0') --count;
  const std::string_view digits(digitBuffer.data(), count);
  int exponent = 0;
  const std::string_view exponentText = scientific.substr(ePos + 1);
  std::from_chars(exponentText.data() + (exponentText.front() == '+' ? 1 : 0),
                  exponentText.data() + exponentText.size(), exponent);

  if (value < 0) text.push_back('-');
  if (exponent >= kSignificantDigits || exponent < kSmallestPlainExponent) {
    text.push_back(digits[0]);
    if (digits.size() > 1) {
      text.push_back('.');
      text.append(digits.substr(1));
    }
    text.push_back('E');
    std::array<char, 8> exponentDigits{};  // "-7" or "20": sign only when negative
    const auto end = std::to_chars(exponentDigits.data(), exponentDigits.data() + exponentDigits.size(), exponent);
    text.append(exponentDigits.data(), end.ptr);
  } else if (exponent >= 0) {
    const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
      text.append(digits);
      text.append(integerDigits - digits.size(), '0');
    } else {
      text.append(digits.substr(0, integerDigits));
      text.push_back('.');
      text.append(digits.substr(integerDigits));
    }
  } else {
    text.append("0.");
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text.append(digits);
  }
}

std::string formatGeneral(double value) {
  std::string text;
  appendGeneral(text, value);
  return text;
}

std::string formatShortest(double value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

std::string formatWithin(double value, double tolerance) {
  if (!std::isfinite(value) || !(tolerance > 0)) return formatShortest(value);
  std::array<char, 32> buffer{};
  for (int digits = 1; digits <= 17; ++digits) {
    const auto written =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific, digits - 1);
    double rounded = 0;
    std::from_chars(buffer.data(), written.ptr, rounded);
    if (std::abs(rounded - value) <= tolerance) return formatShortest(rounded);
  }
  return formatShortest(value);
}

std::string formatLabel(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  std::array<char, 64> buffer{};
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific, 4);
  std::string text(buffer.data(), result.ptr);
  for (char& c : text)
    if (c == 'e') c = 'E';
  return text;
}

std::string formatInteger(long long value) {
  return std::to_string(value);
}

std::optional<double> parseReal(std::string_view text) {
  text = trimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!isDecimalNumber(text)) return std::nullopt;
  double magnitude = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (error == std::errc::result_out_of_range) {
    // Too small for a double rounds to zero; too large is not a usable number.
    if (!hasNegativeExponent(text)) return std::nullopt;
    magnitude = 0.0;
  } else if (error != std::errc{} || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return negative ? -magnitude : magnitude;
}

std::optional<int> parseInteger(std::string_view text) {
  text = trimBlanks(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int integerOr(std::string_view text, int fallback) {
  return parseInteger(text).value_or(fallback);
}

}  // namespace torvex
