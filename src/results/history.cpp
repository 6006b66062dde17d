#include "results/history.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/component_names.h"
#include "model/number_format.h"
#include "model/text_list.h"
#include "results/continued_files.h"
#include "results/results_files.h"

namespace torvex {
namespace {

void field(std::string& row, double value) {
  row += ',';
  appendGeneral(row, value);
}

}  // namespace

std::string historyHeader(bool named) {
  return named ? "time_s,x_cm,component,at_pct,wt_pct,name\n" : "time_s,x_cm,component,at_pct,wt_pct\n";
}

std::vector<std::string> gridPositionTexts(const std::vector<double>& position) {
  double largest = 0;
  for (const double x : position) largest = std::max(largest, std::abs(x));
  // Each point of a grid built by additions carries at most about one unit
  // in the last place of the largest position per point before it.
  const double tolerance = static_cast<double>(position.size()) * std::numeric_limits<double>::epsilon() * largest;
  std::vector<std::string> texts;
  texts.reserve(position.size());
  for (const double x : position) texts.push_back(formatWithin(x, tolerance));
  return texts;
}

void appendHistoryBlock(std::string& block, double time, const std::vector<double>& position,
                        const Table2<double>& atomic, const Table2<double>& weight,
                        const std::vector<std::string>& names) {
  const int r = atomic.rows();
  const int n = atomic.columns();
  const bool named = static_cast<int>(names.size()) == r;
  const std::string clock = formatGeneral(time) + ",";
  const std::vector<std::string> positions = gridPositionTexts(position);
  block.reserve(block.size() + static_cast<std::size_t>(n) * static_cast<std::size_t>(r) * 64);
  for (int k = 0; k < n; ++k) {
    const std::string& x = positions[static_cast<std::size_t>(k)];
    for (int i = 0; i < r; ++i) {
      block += clock;
      block += x;
      block += ',';
      block += formatInteger(i + 1);
      field(block, atomic[i][k]);
      field(block, weight[i][k]);
      if (named) {
        block += ',';
        block += names[static_cast<std::size_t>(i)];
      }
      block += '\n';
    }
  }
}

std::string seriesHeader(int componentCount, bool oxidation, const std::vector<std::string>& names) {
  std::string header = "time_s,dt_s,kirkendall_cm";
  for (int i = 0; i < componentCount; ++i) {
    const std::string label = componentLabel(names, i);
    header += "," + label + "_left_at_pct," + label + "_right_at_pct";
  }
  if (oxidation) header += ",oxide_thickness_cm,kp_cm2_s";
  return header + "\n";
}

double molarRatioAt(const Table2<double>& c, int i, int k) {
  double total = 0;
  for (int j = 0; j < c.rows(); ++j) total += c[j][k];
  return c[i][k] / total;
}

void appendSeriesRow(std::string& rows, double time, double step, double kirkendallPosition,
                     const Table2<double>& concentration, const std::optional<ScaleColumns>& scale) {
  const int last = concentration.columns() - 1;
  appendGeneral(rows, time);
  field(rows, step);
  field(rows, kirkendallPosition);
  for (int i = 0; i < concentration.rows(); ++i) {
    field(rows, 100 * molarRatioAt(concentration, i, 0));
    field(rows, 100 * molarRatioAt(concentration, i, last));
  }
  if (scale) {
    field(rows, scale->thickness);
    field(rows, scale->parabolicRateConstant);
  }
  rows += '\n';
}

void GrowingFile::add(const std::string& folder, const std::string& header, const std::string& content, FileSync sync) {
  const std::string path = resultsFilePath(folder, name_);
  if (started_) {
    AppendFileContent(path, content, sync);
  } else if (continueFrom_) {
    std::string_view firstLine(header);
    if (!firstLine.empty() && firstLine.back() == '\n') firstLine.remove_suffix(1);
    const EarlierFile earlier = continueEarlierFile(path, firstLine, ',', *continueFrom_);
    if (earlier == EarlierFile::Continues) {
      AppendFileContent(path, content, sync);
    } else {
      if (earlier == EarlierFile::Unrelated) setEarlierFileAside(path);
      ReplaceFileContent(path, header + opening_ + content, sync);
    }
    started_ = true;
  } else {
    ReplaceFileContent(path, header + opening_ + content, sync);
    started_ = true;
  }
  opening_.clear();
}

}  // namespace torvex
