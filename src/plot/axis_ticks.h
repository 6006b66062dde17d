#pragma once
// The tick marks of a chart axis, chosen for the range in view: multiples of
// a round step (1, 2, 2.5 or 5 times a power of ten) on a linear axis;
// decades, with 2 and 5 between them when few decades show, on a logarithmic
// one. Never more than kMaxTicks, whatever the range; labels that tell
// neighbouring ticks apart at any zoom, with zero written as 0 (never as the
// rounding residue of a sum of steps). No toolkit: the Plots window and
// torvex-plot draw these ticks, and tests read them.

#include <string>
#include <vector>

namespace torvex::plot {

// No axis carries more ticks than this, however far it is zoomed out.
inline constexpr int kMaxTicks = 12;

struct AxisTick {
  // Where the tick stands in drawn coordinates: the value itself on a linear
  // axis, its decimal logarithm on a logarithmic one.
  double at = 0.0;
  std::string label;
};

// The smallest round step (1, 2, 2.5 or 5 times a power of ten) that divides
// span into at most maxIntervals (at least 1) intervals; NaN for a span that
// is not finite and positive.
double NiceStep(double span, int maxIntervals);

// The multiples of a round step within [low, high], at most maxTicks of them
// (clamped to 2 .. kMaxTicks), ascending, with distinct labels. Empty when
// the range is not finite or not increasing.
std::vector<AxisTick> LinearTicks(double low, double high, int maxTicks);

// Ticks of a logarithmic axis whose drawn coordinate is log10 of the value,
// over the drawn range [lowDecade, highDecade]: every decade (or every 2nd,
// 5th, ... when many show), with 2 and 5 times each decade when they fit;
// over less than a decade, the linear ticks of the values in view.
std::vector<AxisTick> LogTicks(double lowDecade, double highDecade, int maxTicks);

// The label of value on an axis whose ticks are step apart: as many decimals
// as the step needs, the same for every tick; beyond 10^6 or below 10^-3
// (magnitude is the largest absolute value on the axis) as a mantissa times a
// common power of ten ("2.5×10⁻⁴"). A minus sign is U+2212.
std::string TickLabel(double value, double step, double magnitude);

// A number for a title or a legend, to `digits` significant digits (whole
// numbers in full): plain from 0.001 up to a million ("196280", "0.0025"),
// else as a mantissa times a power of ten ("1.5×10⁻⁵"); trailing zeros
// dropped.
std::string ReadableNumber(double value, int digits = 4);

}  // namespace torvex::plot
