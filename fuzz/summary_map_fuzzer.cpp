// Fuzz target: a sweep's summary read as CSV and mapped over two of its
// columns.
//
// The input holds the map's columns "X,Y,Z", a NUL byte, then the summary's
// text. Whatever the bytes, the text is read or refused with an InputError,
// and so is each map of it: the one asked for and those over its first
// columns. A map has its axes ascending and distinct, at most kMaxMapValues
// on each, one cell per pair, a value in each Value cell and a word in each
// cell without one, colours on the scale between 0 and 1, and a table with a
// row per Y value under its header.

#include <algorithm>
#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "model/errors.h"
#include "plot/value_map.h"

namespace {

using namespace torvex;
using namespace torvex::plot;
using fuzz::require;

void checkMap(const ValueMap& map) {
  for (const std::vector<double>* axis : {&map.xs, &map.ys}) {
    require(axis->size() <= kMaxMapValues);
    require(std::adjacent_find(axis->begin(), axis->end(), [](double a, double b) { return !(a < b); }) == axis->end());
    require(std::all_of(axis->begin(), axis->end(), [](double v) { return std::isfinite(v); }));
  }
  require(map.cells.size() == map.xs.size() * map.ys.size());
  require(map.xLabels.size() == map.xs.size() && map.yLabels.size() == map.ys.size());
  for (const MapCell& cell : map.cells) {
    if (cell.state == CellState::Value) {
      require(std::isfinite(cell.value));
      const double f = ColourFraction(map, cell.value / map.scale);
      require(f >= 0.0 && f <= 1.0);
    }
    require(CellText(map, cell).empty() == (cell.state == CellState::Blank));
  }
  const std::string table = ValueMapCsv(map);
  std::size_t rows = 0;
  bool quoted = false;
  for (const char c : table) {
    if (c == '"') quoted = !quoted;
    if (c == '\n' && !quoted) ++rows;
  }
  require(rows == map.ys.size() + 1);
}

void tryMap(const SummaryTable& table, const MapColumns& columns) {
  try {
    checkMap(BuildValueMap(table, columns));
  } catch (const InputError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pieces = fuzz::splitInput(data, size, 2);
  const std::string_view columns = pieces.empty() ? std::string_view() : pieces[0];
  const std::string_view text = pieces.size() < 2 ? std::string_view() : pieces[1];
  SummaryTable table;
  try {
    table = ParseSummary(text, "summary.csv");
  } catch (const InputError&) {
    return 0;
  }
  require(!table.header.empty());
  for (const SummaryTable::Record& record : table.records) {
    require(record.cells.size() <= table.header.size());
    require(record.line >= 2);
  }
  try {
    tryMap(table, ParseMapColumns(columns, "--map"));
  } catch (const InputError&) {
  }
  const std::vector<std::string>& h = table.header;
  if (h.size() >= 3) {
    tryMap(table, {h[0], h[1], h[2]});
    tryMap(table, {h[1], h[2], h.back()});
  }
  return 0;
}
