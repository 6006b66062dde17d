// The ticks of a chart axis at every zoom: few, round, inside the range,
// told apart by their labels, zero written as 0; decades on a logarithmic
// axis; and the numbers of titles and legends.

#include <QtTest/QtTest>
#include <cmath>
#include <string>
#include <vector>

#include "plot/axis_ticks.h"

using namespace torvex::plot;

namespace {

// What every axis must give: at most kMaxTicks ticks, ascending, inside
// [low, high] (drawn coordinates), distinct labels, and no label in the
// computer's exponent notation (which is how rounding residue shows).
void expectSane(const std::vector<AxisTick>& ticks, double low, double high, const char* where, bool log = false) {
  QVERIFY2(!ticks.empty() && ticks.size() <= static_cast<std::size_t>(kMaxTicks), where);
  const double slack = 1e-9 * (high - low);
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    QVERIFY2(ticks[i].at >= low - slack && ticks[i].at <= high + slack, where);
    QVERIFY2(ticks[i].label.find('e') == std::string::npos, (std::string(where) + ": " + ticks[i].label).c_str());
    if (ticks[i].at == 0.0 && !log) QCOMPARE(ticks[i].label, std::string("0"));
    if (i > 0) {
      QVERIFY2(ticks[i].at > ticks[i - 1].at, where);
      QVERIFY2(ticks[i].label != ticks[i - 1].label, (std::string(where) + ": " + ticks[i].label).c_str());
    }
  }
}

std::vector<std::string> labelsOf(const std::vector<AxisTick>& ticks) {
  std::vector<std::string> labels;
  for (const AxisTick& tick : ticks) labels.push_back(tick.label);
  return labels;
}

}  // namespace

class AxisTicksTest : public QObject {
  Q_OBJECT

 private slots:
  // A zoom from a billion times the range down to a millionth of it, about
  // zero and about a value far from zero: the ticks stay few, round and
  // readable all the way.
  void linearTicksStaySaneAtEveryZoom() {
    for (const double centre : {0.0, 0.005, 1000.0, -612000.0, 3.3e-9})
      for (double span = 1e9; span >= 1e-6 * std::max(std::abs(centre), 1e-9); span /= 7.3) {
        const double low = centre - 0.37 * span, high = centre + 0.63 * span;
        const std::string where = "centre " + std::to_string(centre) + ", span " + std::to_string(span);
        expectSane(LinearTicks(low, high, kMaxTicks), low, high, where.c_str());
        expectSane(LinearTicks(low, high, 3), low, high, where.c_str());
      }
    // The room decides how many, the cap however much room there is.
    QVERIFY(LinearTicks(0, 1, 1000).size() <= static_cast<std::size_t>(kMaxTicks));
    QVERIFY(LinearTicks(0, 1, 3).size() <= 3);
    QVERIFY(LinearTicks(1, 1, 5).empty() && LinearTicks(0, NAN, 5).empty() && LinearTicks(0, INFINITY, 5).empty());
  }

  // The sums of steps that printed "-6.939e-18" at zero (x in cm) and
  // "-5.551e-17" (a Kirkendall axis) print 0; a step of 2.5 gets its decimal.
  void labelsAreRoundAndZeroIsZero() {
    QCOMPARE(labelsOf(LinearTicks(-0.1, 0.1, 11)),
             (std::vector<std::string>{"−0.10", "−0.08", "−0.06", "−0.04", "−0.02", "0", "0.02", "0.04", "0.06", "0.08",
                                       "0.10"}));
    QCOMPARE(labelsOf(LinearTicks(-0.3, 0.7, 5)), (std::vector<std::string>{"−0.25", "0", "0.25", "0.50"}));
    QCOMPARE(labelsOf(LinearTicks(0, 100, 11)),
             (std::vector<std::string>{"0", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"}));
    // Far from zero and zoomed in: the digits that tell the ticks apart.
    QCOMPARE(labelsOf(LinearTicks(1000.0000012, 1000.0000031, 3)),
             (std::vector<std::string>{"1000.000002", "1000.000003"}));
    // Beyond a million and below a thousandth: a common power of ten.
    QCOMPARE(labelsOf(LinearTicks(0, 3e6, 4)), (std::vector<std::string>{"0", "1×10⁶", "2×10⁶", "3×10⁶"}));
    QCOMPARE(labelsOf(LinearTicks(-5e-5, 1e-4, 4)),
             (std::vector<std::string>{"−0.5×10⁻⁴", "0", "0.5×10⁻⁴", "1.0×10⁻⁴"}));
    QCOMPARE(TickLabel(0.0, 0.1, 1.0), std::string("0"));
    QCOMPARE(TickLabel(-0.0, 0.1, 1.0), std::string("0"));
  }

  // Decades (2 and 5 between them over a few), every few decades over many,
  // plain numbers where they all read well, powers of ten otherwise.
  void logTicksAreDecades() {
    QCOMPARE(labelsOf(LogTicks(0, 2, kMaxTicks)), (std::vector<std::string>{"1", "2", "5", "10", "20", "50", "100"}));
    QCOMPARE(labelsOf(LogTicks(-4, 5.7, kMaxTicks)),
             (std::vector<std::string>{"10⁻⁴", "10⁻³", "10⁻²", "10⁻¹", "10⁰", "10¹", "10²", "10³", "10⁴", "10⁵"}));
    for (const auto& [low, high] : std::vector<std::pair<double, double>>{
             {-150, 150}, {-4, 5.7}, {2.1, 2.4}, {-0.01, 0.02}, {0, 3}, {-300, -290}}) {
      const std::string where = "decades " + std::to_string(low) + " to " + std::to_string(high);
      const std::vector<AxisTick> ticks = LogTicks(low, high, kMaxTicks);
      expectSane(ticks, low, high, where.c_str(), true);
    }
    // Within a decade, the values themselves.
    QCOMPARE(labelsOf(LogTicks(std::log10(120.0), std::log10(180.0), 5)),
             (std::vector<std::string>{"120", "140", "160", "180"}));
  }

  // Whole numbers up to a million in full, four significant digits otherwise.
  void readableNumbersForTitlesAndLegends() {
    const std::vector<std::pair<double, std::string>> cases = {
        {612000, "612000"},  {196280.4, "196280"}, {35900, "35900"},      {0.0001, "1×10⁻⁴"}, {1.5e6, "1.5×10⁶"},
        {999999.9, "1×10⁶"}, {-0.0025, "−0.0025"}, {1.0 / 3.0, "0.3333"}, {0, "0"},           {170, "170"}};
    for (const auto& [value, text] : cases) QCOMPARE(ReadableNumber(value), text);
  }
};

QTEST_APPLESS_MAIN(AxisTicksTest)
#include "axis_ticks_test.moc"
