#include "results/records.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "model/formula.h"
#include "model/number_format.h"

namespace torvex {
namespace {

constexpr const char* kSeparator = "   ";

void appendField(std::string& line, double value) {
  line += kSeparator;
  line += formatGeneral(value);
}

}  // namespace

void openRecords(RunRecords& records, bool oxidation) {
  // The records grow by a line a pass and are saved whole every few passes:
  // each line is formatted once, and the text of the file is kept, so a save
  // only writes it.
  for (TextList* record : {&records.kirkendall, &records.boundary, &records.fluxComparison}) record->keepText();
  TextList& kirkendall = records.kirkendall;
  kirkendall.add("The calculation of the Kirkendall plane");
  kirkendall.add("as a function of time");
  kirkendall.add("time [s], position of Kirkendall Plane [cm]");
  kirkendall.add("");
  kirkendall.add("");

  records.boundary.clear();
  records.boundary.add("The calculations of the boundary function");
  records.boundary.add(std::string("time [s], N1, component_1 left_boundary, N1, component_1 right_boundary, ..., "
                                   "Nr, component_r left_boundary, Nr, component_r right_boundary") +
                       (oxidation ? " kp, growth" : ""));

  records.fluxComparison.add("#fluxes comaprition");
  records.fluxComparison.add(
      "#current time, N(A) at left boundary, N(A) at right bound, alloy flux of A, oxide flux of A");
}

std::string kirkendallRecordLine(double time, double position) {
  return formatGeneral(time) + " " + formatGeneral(position);
}

std::string boundaryRecordLine(double time, const Table2<double>& molarRatio, const std::vector<double>& leftFlux,
                               const std::vector<double>& rightFlux, const std::optional<ScaleColumns>& scale,
                               double pressureRatio) {
  const int last = molarRatio.columns() - 1;
  std::string line = formatGeneral(time);
  for (int i = 0; i < molarRatio.rows(); ++i) {
    const auto component = static_cast<std::size_t>(i);
    appendField(line, molarRatio[i][0]);
    appendField(line, leftFlux[component]);
    appendField(line, molarRatio[i][last]);
    appendField(line, rightFlux[component]);
  }
  if (scale) {
    appendField(line, scale->parabolicRateConstant);
    appendField(line, scale->thickness);
  }
  appendField(line, pressureRatio);
  return line;
}

std::string fluxComparisonLine(double time, double leftRatio, double surfaceRatio, double alloyFlux, double oxideFlux) {
  std::string line = formatGeneral(time);
  appendField(line, leftRatio);
  appendField(line, surfaceRatio);
  appendField(line, alloyFlux);
  line += kSeparator;
  line += formatGeneral(oxideFlux);
  return line;
}

std::pair<double, double> lastFluxComparison(const TextList& record) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t at = record.count(); at-- > 0;) {
    const std::string_view text = trimmedView(record[at]);
    if (text.empty() || text.front() == '#') continue;
    // t, N1 left, N1 right, alloy flux, oxide flux, separated by blanks.
    std::vector<double> fields;
    std::size_t from = 0;
    while (fields.size() < 5) {
      from = text.find_first_not_of(' ', from);
      if (from == std::string_view::npos) break;
      const std::size_t to = std::min(text.find(' ', from), text.size());
      fields.push_back(parseReal(text.substr(from, to - from)).value_or(kNaN));
      from = to;
    }
    if (fields.size() < 5) return {kNaN, kNaN};
    return {fields[3], fields[4]};
  }
  return {kNaN, kNaN};
}

}  // namespace torvex
