#include "plot/value_map.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

#include "model/errors.h"
#include "model/number_format.h"
#include "model/read_file.h"
#include "plot/axis_ticks.h"

namespace torvex::plot {
namespace {

constexpr std::size_t kMaxSummaryBytes = 64u * 1024u * 1024u;
// A line quoted in a message is cut to this many bytes.
constexpr std::size_t kShownLine = 120;

std::string shown(std::string_view text) {
  if (text.size() <= kShownLine) return std::string(text);
  return std::string(text.substr(0, kShownLine)) + "...";
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

[[noreturn]] void fail(const std::string& file, int line, std::string_view text, const std::string& what) {
  throw InputError(file + ", line " + std::to_string(line) + ": " + what + " ('" + shown(text) + "')");
}

// The physical line that begins at `from`, without its line end.
std::string_view lineAt(std::string_view text, std::size_t from) {
  const std::size_t end = std::min(text.find('\n', from), text.size());
  std::string_view line = text.substr(from, end - from);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::optional<std::size_t> columnOf(const SummaryTable& table, const std::string& name) {
  const auto at = std::find(table.header.begin(), table.header.end(), name);
  if (at == table.header.end()) return std::nullopt;
  return static_cast<std::size_t>(at - table.header.begin());
}

std::string cellOf(const SummaryTable::Record& record, std::size_t column) {
  return column < record.cells.size() ? record.cells[column] : std::string();
}

// A number of X or Y: finite, or the record is refused.
double parameterValue(const SummaryTable& table, const SummaryTable::Record& record, std::size_t column) {
  const std::string text = cellOf(record, column);
  const auto value = parseReal(trim(text));
  if (!value || !std::isfinite(*value))
    fail(table.file, record.line, record.text,
         table.header[column] + " = '" + shown(text) + "' is not a number, so the case has no place on the map");
  return *value;
}

// The distinct values of one axis, ascending, with the text each was first
// written as.
void axisOf(std::vector<std::pair<double, std::string>> values, std::vector<double>& numbers,
            std::vector<std::string>& labels) {
  std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [number, label] : values)
    if (numbers.empty() || numbers.back() != number) {
      numbers.push_back(number);
      labels.push_back(label);
    }
}

std::size_t indexOf(const std::vector<double>& values, double value) {
  return static_cast<std::size_t>(std::lower_bound(values.begin(), values.end(), value) - values.begin());
}

// The parameters a sweep's summary lists between its case and status
// columns; without those, every column but the three of the map.
std::vector<std::size_t> parameterColumns(const SummaryTable& table, const MapColumns& columns) {
  std::vector<std::size_t> found;
  const auto status = columnOf(table, "status");
  const bool sweep = !table.header.empty() && table.header.front() == "case" && status;
  for (std::size_t c = sweep ? 1 : 0; c < (sweep ? *status : table.header.size()); ++c) {
    const std::string& name = table.header[c];
    if (name != columns.x && name != columns.y && name != columns.z) found.push_back(c);
  }
  return found;
}

bool isLifeColumn(const std::string& name) {
  return name.starts_with("life");
}

}  // namespace

SummaryTable ParseSummary(std::string_view text, const std::string& file) {
  SummaryTable table;
  table.file = file;
  std::vector<std::vector<std::string>> rows;
  std::vector<int> rowLines;
  std::vector<std::size_t> rowStarts;
  int line = 1;
  std::size_t i = 0;
  std::size_t fields = 0;
  while (i < text.size()) {
    // One record from i.
    const int first = line;
    const std::size_t start = i;
    std::vector<std::string> cells(1);
    bool lineEnd = false;
    while (i < text.size() && !lineEnd) {
      const char c = text[i];
      if (c == '"' && trim(cells.back()).empty()) {
        // A quoted field, to its closing quote (which may be lines away).
        cells.back().clear();
        const int opened = line;
        ++i;
        bool closed = false;
        while (i < text.size()) {
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              cells.back() += '"';
              i += 2;
              continue;
            }
            closed = true;
            ++i;
            break;
          }
          if (text[i] == '\n') ++line;
          cells.back() += text[i++];
        }
        if (!closed) fail(file, opened, lineAt(text, start), "a quote is opened and never closed");
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r')
          fail(file, line, lineAt(text, start), "text follows a closing quote");
        continue;
      }
      if (c == ',') {
        if (++fields >= kMaxSummaryFields)
          throw InputError(file + ": more than " + std::to_string(kMaxSummaryFields) +
                           " fields; a sweep's summary holds far fewer");
        cells.emplace_back();
      } else if (c == '\n') {
        lineEnd = true;
        ++line;
      } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        // CR LF: the LF ends the line.
      } else {
        cells.back() += c;
      }
      ++i;
    }
    for (std::string& cell : cells) cell = std::string(trim(cell));
    if (cells.size() == 1 && cells.front().empty()) continue;  // a blank line
    ++fields;
    rows.push_back(std::move(cells));
    rowLines.push_back(first);
    rowStarts.push_back(start);
  }
  if (rows.empty()) throw InputError(file + ": the file is empty (a summary has a header and a row per case)");
  table.header = std::move(rows.front());
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const std::string_view written = lineAt(text, rowStarts[r]);
    if (rows[r].size() > table.header.size())
      fail(file, rowLines[r], written,
           std::to_string(rows[r].size()) + " fields where the header has " + std::to_string(table.header.size()));
    table.records.push_back({rowLines[r], std::move(rows[r]), shown(written)});
  }
  return table;
}

SummaryTable ReadSummary(const std::string& path) {
  return ParseSummary(ReadWholeFile(path, kMaxSummaryBytes, "the summary"), path);
}

MapColumns ParseMapColumns(std::string_view text, const std::string& place) {
  std::vector<std::string> names(1);
  for (const char c : text) {
    if (c == ',')
      names.emplace_back();
    else
      names.back() += c;
  }
  for (std::string& name : names) name = std::string(trim(name));
  if (names.size() != 3 || std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.empty(); }))
    throw InputError(place + ": '" + shown(text) +
                     "' is not X,Y,Z (the two parameters across and up, and the column in the cells)");
  if (names[0] == names[1]) throw InputError(place + ": '" + shown(text) + "' maps " + names[0] + " against itself");
  return {names[0], names[1], names[2]};
}

bool ValueMap::has(CellState state) const {
  return std::any_of(cells.begin(), cells.end(), [&](const MapCell& cell) { return cell.state == state; });
}

ValueMap BuildValueMap(const SummaryTable& table, const MapColumns& columns) {
  ValueMap map;
  map.file = table.file;
  map.columns = columns;
  std::array<std::size_t, 3> at{};
  const std::array<const std::string*, 3> names = {&columns.x, &columns.y, &columns.z};
  for (std::size_t k = 0; k < 3; ++k) {
    const auto column = columnOf(table, *names[k]);
    if (!column) {
      std::string all;
      for (const std::string& name : table.header) all += (all.empty() ? "" : ", ") + name;
      throw InputError(table.file + ", line 1: no column '" + *names[k] + "' (the columns are " + shown(all) + ")");
    }
    at[k] = *column;
  }
  const auto status = columnOf(table, "status");

  // The records with a place on the map: all but those the summary marks
  // missing (a case not run yet).
  struct Placed {
    const SummaryTable::Record* record;
    double x, y;
  };
  std::vector<Placed> placed;
  for (const SummaryTable::Record& record : table.records) {
    if (status && cellOf(record, *status) == "missing") continue;
    placed.push_back({&record, parameterValue(table, record, at[0]), parameterValue(table, record, at[1])});
  }
  std::vector<std::pair<double, std::string>> xs, ys;
  for (const Placed& p : placed) {
    xs.emplace_back(p.x, cellOf(*p.record, at[0]));
    ys.emplace_back(p.y, cellOf(*p.record, at[1]));
  }
  axisOf(std::move(xs), map.xs, map.xLabels);
  axisOf(std::move(ys), map.ys, map.yLabels);
  for (const auto& [name, values] : {std::pair{columns.x, map.xs.size()}, std::pair{columns.y, map.ys.size()}})
    if (values > kMaxMapValues)
      throw InputError(table.file + ": " + name + " takes " + std::to_string(values) + " values; a map shows at most " +
                       std::to_string(kMaxMapValues) + " on an axis");

  map.cells.assign(map.xs.size() * map.ys.size(), MapCell{});
  const std::vector<std::size_t> others = parameterColumns(table, columns);
  for (const Placed& p : placed) {
    const SummaryTable::Record& record = *p.record;
    MapCell& cell = map.cells[indexOf(map.ys, p.y) * map.xs.size() + indexOf(map.xs, p.x)];
    if (cell.line != 0) {
      // Two cases at one pair: the sweep varied something else as well.
      const SummaryTable::Record* earlier = nullptr;
      for (const SummaryTable::Record& r : table.records)
        if (r.line == cell.line) earlier = &r;
      std::string differ;
      for (const std::size_t c : others)
        if (earlier != nullptr && cellOf(*earlier, c) != cellOf(record, c))
          differ += (differ.empty() ? "" : ", ") + table.header[c] + " (" + shown(cellOf(*earlier, c)) + " and " +
                    shown(cellOf(record, c)) + ")";
      fail(table.file, record.line, record.text,
           "a second case at " + columns.x + " = " + cellOf(record, at[0]) + ", " + columns.y + " = " +
               cellOf(record, at[1]) + " (the first is on line " + std::to_string(cell.line) + "); " +
               (differ.empty() ? "a map needs one case per pair"
                               : "the sweep varies " + differ + " as well: map a summary with one value of it"));
    }
    cell.line = record.line;
    const std::string state = status ? cellOf(record, *status) : std::string("completed");
    const std::string z = cellOf(record, at[2]);
    if (state != "completed") {
      cell.state = CellState::Failed;
      cell.status = state.empty() ? std::string("no status") : state;
      continue;
    }
    if (z.empty()) {
      cell.state = isLifeColumn(columns.z) ? CellState::NotReached : CellState::Blank;
      continue;
    }
    const auto value = parseReal(z);
    if (!value || !std::isfinite(*value))
      fail(table.file, record.line, record.text, columns.z + " = '" + shown(z) + "' is not a number");
    cell.state = CellState::Value;
    cell.value = *value;
  }

  // A life in seconds is read in hours once it lasts hours.
  double lowest = INFINITY, highest = -INFINITY;
  for (const MapCell& cell : map.cells)
    if (cell.state == CellState::Value) {
      lowest = std::min(lowest, cell.value);
      highest = std::max(highest, cell.value);
    }
  const bool seconds = columns.z.ends_with("_s");
  std::string quantity = columns.z;
  if (seconds) {
    quantity.resize(quantity.size() - 2);
    map.unit = "s";
    if (highest >= 3600.0) {
      map.scale = 3600.0;
      map.unit = "h";
    }
  }
  std::replace(quantity.begin(), quantity.end(), '_', ' ');
  map.zTitle = quantity + (map.unit.empty() ? "" : " [" + map.unit + "]");
  std::string capital = quantity;
  if (!capital.empty() && capital.front() >= 'a' && capital.front() <= 'z') capital.front() -= 'a' - 'A';
  map.title = capital + (map.unit.empty() ? "" : " [" + map.unit + "]") + " over " + columns.x + " and " + columns.y;
  if (lowest <= highest) {
    map.low = lowest / map.scale;
    map.high = highest / map.scale;
    map.logColour = lowest > 0.0 && highest >= 10.0 * lowest;
  }
  return map;
}

std::string CellText(const ValueMap& map, const MapCell& cell) {
  switch (cell.state) {
    case CellState::Value: {
      const double shownValue = cell.value / map.scale;
      if (std::abs(shownValue) >= 100.0 && std::abs(shownValue) < 1e7) return formatInteger(std::llround(shownValue));
      return ReadableNumber(shownValue, 3);
    }
    case CellState::NotReached: return "not reached";
    case CellState::Failed: {
      std::string text = cell.status;
      std::replace(text.begin(), text.end(), '_', ' ');
      return text;
    }
    case CellState::Blank: break;
  }
  return {};
}

double ColourFraction(const ValueMap& map, double shownValue) {
  double low = map.low, high = map.high, value = shownValue;
  if (map.logColour) {
    low = std::log10(low);
    high = std::log10(high);
    value = value > 0.0 ? std::log10(value) : low;
  }
  if (!(high > low)) return 0.5;
  return std::clamp((value - low) / (high - low), 0.0, 1.0);
}

std::uint32_t MapColour(double fraction) {
  // Stops of a perceptually even ramp from dark violet to yellow.
  static constexpr std::array<std::uint32_t, 6> kStops = {0x440154, 0x414487, 0x2A788E, 0x22A884, 0x7AD151, 0xFDE725};
  fraction = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
  const double scaled = fraction * static_cast<double>(kStops.size() - 1);
  const std::size_t k = std::min(static_cast<std::size_t>(scaled), kStops.size() - 2);
  const double f = scaled - static_cast<double>(k);
  std::uint32_t rgb = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const double a = static_cast<double>((kStops[k] >> shift) & 0xffu);
    const double b = static_cast<double>((kStops[k + 1] >> shift) & 0xffu);
    rgb |= static_cast<std::uint32_t>(std::lround(a + (b - a) * f)) << shift;
  }
  return rgb;
}

std::string ValueMapCsv(const ValueMap& map) {
  const auto field = [](const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + '"';
  };
  std::string text = field(map.columns.z + ": " + map.columns.y + " \\ " + map.columns.x);
  for (const double x : map.xs) text += "," + formatGeneral(x);
  text += '\n';
  for (std::size_t iy = 0; iy < map.ys.size(); ++iy) {
    text += formatGeneral(map.ys[iy]);
    for (std::size_t ix = 0; ix < map.xs.size(); ++ix) {
      const MapCell& cell = map.at(ix, iy);
      text += ',';
      if (cell.state == CellState::Value)
        text += formatGeneral(cell.value);
      else
        text += field(CellText(map, cell));
    }
    text += '\n';
  }
  return text;
}

std::string ValueMapStem(const MapColumns& columns) {
  std::string stem = "map_" + columns.z + "_" + columns.x + "_" + columns.y;
  for (char& c : stem)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_')) c = '_';
  return stem;
}

}  // namespace torvex::plot
