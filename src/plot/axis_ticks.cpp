#include "plot/axis_ticks.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace torvex::plot {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Beyond this many steps from zero a tick's position no longer has the
// digits to be told from its neighbour's.
constexpr double kMaxStepIndex = 1e15;
// Plain numbers read well from 0.001 up to a million; beyond, a power of ten.
constexpr double kPlainLow = 1e-3;
constexpr double kPlainHigh = 1e6;

// The power of ten of a round step, and whether its mantissa is 2.5 (which
// needs one more decimal than the step's power says).
struct StepDigits {
  int exponent = 0;
  bool twoAndAHalf = false;
};

StepDigits digitsOf(double step) {
  const int exponent = static_cast<int>(std::floor(std::log10(step) + 1e-9));
  const double mantissa = step / std::pow(10.0, exponent);
  return {exponent, std::abs(mantissa - 2.5) < 1e-6};
}

int decimalsOf(double step) {
  const StepDigits d = digitsOf(step);
  return std::max(0, -d.exponent + (d.twoAndAHalf ? 1 : 0));
}

std::string fixed(double value, int decimals) {
  std::array<char, 128> buffer{};
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
  return std::string(buffer.data(), result.ptr);
}

std::string superscript(int exponent) {
  static constexpr std::array<const char*, 10> kDigits = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
  std::string text = exponent < 0 ? "⁻" : "";
  for (const char c : std::to_string(std::abs(exponent))) text += kDigits[static_cast<std::size_t>(c - '0')];
  return text;
}

// A typeset minus instead of the hyphen.
std::string withMinus(std::string text) {
  if (!text.empty() && text.front() == '-') text.replace(0, 1, "−");
  return text;
}

bool plainRange(double magnitude) {
  return magnitude >= kPlainLow && magnitude < kPlainHigh;
}

// The label of m × 10^k on a logarithmic axis.
std::string decadeLabel(int m, int k, bool plain) {
  if (plain) return fixed(m * std::pow(10.0, k), std::max(0, -k));
  return m == 1 ? "10" + superscript(k) : std::to_string(m) + "×10" + superscript(k);
}

void appendDistinct(std::vector<AxisTick>& ticks, double at, std::string label) {
  if (!ticks.empty() && ticks.back().label == label) return;
  ticks.push_back({at, std::move(label)});
}

}  // namespace

double NiceStep(double span, int maxIntervals) {
  if (!(std::isfinite(span) && span > 0.0)) return kNaN;
  const double raw = span / std::max(maxIntervals, 1);
  const double decade = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 2.5, 5.0})
    if (m * decade >= raw) return m * decade;
  return 10.0 * decade;
}

std::string TickLabel(double value, double step, double magnitude) {
  if (value == 0.0) return "0";
  if (plainRange(magnitude)) return withMinus(fixed(value, decimalsOf(step)));
  const int power = static_cast<int>(std::floor(std::log10(magnitude)));
  const StepDigits d = digitsOf(step);
  const int decimals = std::max(0, power - d.exponent + (d.twoAndAHalf ? 1 : 0));
  return withMinus(fixed(value / std::pow(10.0, power), decimals)) + "×10" + superscript(power);
}

std::string ReadableNumber(double value, int digits) {
  if (value == 0.0) return "0";
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value > 0.0 ? "∞" : "−∞");
  digits = std::clamp(digits, 1, 17);
  const auto trimmed = [](std::string text) {
    if (text.find('.') != std::string::npos) {
      text.erase(text.find_last_not_of('0') + 1);
      if (text.back() == '.') text.pop_back();
    }
    return text;
  };
  const double magnitude = std::abs(value);
  // (A value that would round up to a million reads as 10⁶.)
  if (plainRange(magnitude) && magnitude < kPlainHigh - 0.5) {
    const int decimals = std::max(0, digits - 1 - static_cast<int>(std::floor(std::log10(magnitude))));
    return withMinus(trimmed(fixed(value, decimals)));
  }
  int power = static_cast<int>(std::floor(std::log10(magnitude)));
  std::string mantissa = trimmed(fixed(value / std::pow(10.0, power), digits - 1));
  // 9.99995e5 rounds to a mantissa of 10.
  if (mantissa == "10" || mantissa == "-10") {
    ++power;
    mantissa = trimmed(fixed(value / std::pow(10.0, power), digits - 1));
  }
  return withMinus(mantissa) + "×10" + superscript(power);
}

std::vector<AxisTick> LinearTicks(double low, double high, int maxTicks) {
  maxTicks = std::clamp(maxTicks, 2, kMaxTicks);
  if (!(std::isfinite(low) && std::isfinite(high) && low < high)) return {};
  const double step = NiceStep(high - low, maxTicks - 1);
  if (!std::isfinite(step) || step <= 0.0) return {};
  // The ends count as ticks when within a millionth of a step of one.
  const double first = std::ceil(low / step - 1e-6);
  const double last = std::floor(high / step + 1e-6);
  if (!(std::abs(first) < kMaxStepIndex && std::abs(last) < kMaxStepIndex) || last < first) return {};
  const double magnitude = std::max(std::abs(first * step), std::abs(last * step));
  std::vector<AxisTick> ticks;
  for (double k = first; k <= last && static_cast<int>(ticks.size()) < maxTicks; k += 1.0) {
    // k times the step, not a running sum of steps: zero is exactly zero.
    const double value = k == 0.0 ? 0.0 : k * step;
    appendDistinct(ticks, value, TickLabel(value, step, magnitude));
  }
  return ticks;
}

std::vector<AxisTick> LogTicks(double lowDecade, double highDecade, int maxTicks) {
  maxTicks = std::clamp(maxTicks, 2, kMaxTicks);
  if (!(std::isfinite(lowDecade) && std::isfinite(highDecade) && lowDecade < highDecade)) return {};
  // Within a decade the values themselves make the better ticks.
  if (highDecade - lowDecade < 1.0) {
    std::vector<AxisTick> ticks;
    for (AxisTick& tick : LinearTicks(std::pow(10.0, lowDecade), std::pow(10.0, highDecade), maxTicks))
      if (tick.at > 0.0) ticks.push_back({std::log10(tick.at), std::move(tick.label)});
    return ticks;
  }
  constexpr double kSlack = 1e-9;
  const int first = static_cast<int>(std::ceil(lowDecade - kSlack));
  const int last = static_cast<int>(std::floor(highDecade + kSlack));

  // 1, 2 and 5 times each decade, when they fit.
  struct Mark {
    int m;
    int k;
  };
  std::vector<Mark> marks;
  if (highDecade - lowDecade <= 3.0) {
    for (int k = first - 1; k <= last; ++k)
      for (const int m : {1, 2, 5}) {
        const double at = k + std::log10(static_cast<double>(m));
        if (at >= lowDecade - kSlack && at <= highDecade + kSlack) marks.push_back({m, k});
      }
  }
  if (marks.empty() || static_cast<int>(marks.size()) > maxTicks) {
    marks.clear();
    // Every decade, or every 2nd, 5th, 10th, ... when too many show.
    int every = 1;
    for (const int candidate : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}) {
      every = candidate;
      const int firstMultiple = static_cast<int>(std::ceil(static_cast<double>(first) / every)) * every;
      if ((last - firstMultiple) / every + 1 <= maxTicks) break;
    }
    for (int k = static_cast<int>(std::ceil(static_cast<double>(first) / every)) * every;
         k <= last && static_cast<int>(marks.size()) < maxTicks; k += every)
      marks.push_back({1, k});
  }
  // One style for the whole axis: plain numbers when every tick reads well so.
  const bool plain = std::all_of(marks.begin(), marks.end(),
                                 [](const Mark& mark) { return plainRange(mark.m * std::pow(10.0, mark.k)); });
  std::vector<AxisTick> ticks;
  for (const Mark& mark : marks)
    appendDistinct(ticks, mark.k + std::log10(static_cast<double>(mark.m)), decadeLabel(mark.m, mark.k, plain));
  return ticks;
}

}  // namespace torvex::plot
