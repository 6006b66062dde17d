#include "results/history.h"

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

std::string historyHeader() {
  return "time_s,x_cm,component,at_pct,wt_pct\n";
}

void appendHistoryBlock(std::string& block, double time, const std::vector<double>& position,
                        const Table2<double>& atomic, const Table2<double>& weight) {
  const int r = atomic.rows();
  const int n = atomic.columns();
  const std::string clock = formatGeneral(time) + ",";
  block.reserve(block.size() + static_cast<std::size_t>(n) * static_cast<std::size_t>(r) * 64);
  std::string x;
  for (int k = 0; k < n; ++k) {
    x.clear();
    appendGeneral(x, position[static_cast<std::size_t>(k)]);
    x += ',';
    for (int i = 0; i < r; ++i) {
      block += clock;
      block += x;
      block += formatInteger(i + 1);
      field(block, atomic[i][k]);
      field(block, weight[i][k]);
      block += '\n';
    }
  }
}

std::string seriesHeader(int componentCount, bool oxidation) {
  std::string header = "time_s,dt_s,kirkendall_cm";
  for (int i = 1; i <= componentCount; ++i) {
    const std::string n = "N" + formatInteger(i);
    header += "," + n + "_left," + n + "_right";
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
    field(rows, molarRatioAt(concentration, i, 0));
    field(rows, molarRatioAt(concentration, i, last));
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
      ReplaceFileContent(path, header + content, sync);
    }
    started_ = true;
  } else {
    ReplaceFileContent(path, header + content, sync);
    started_ = true;
  }
}

}  // namespace torvex
