#include "model/measured_profile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

#include "model/component_names.h"
#include "model/errors.h"
#include "model/number_format.h"
#include "model/read_file.h"

namespace torvex {
namespace {

// Components beyond this number cannot belong to any case the program loads.
constexpr int kMaxComponentNumber = 50;

std::string quoted(std::string_view text) {
  constexpr std::size_t kMaxQuoted = 40;
  std::string shown(text.substr(0, kMaxQuoted));
  if (text.size() > kMaxQuoted) shown += "...";
  return "'" + shown + "'";
}

[[noreturn]] void fail(const std::string& file, std::size_t line, std::size_t column, const std::string& what) {
  std::string where = file + ", line " + std::to_string(line);
  if (column > 0) where += ", column " + std::to_string(column);
  throw InputError(where + ": " + what);
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> cellsOf(std::string_view line, char separator) {
  std::vector<std::string_view> cells;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = line.find(separator, start);
    cells.push_back(trimmed(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return cells;
}

// The separator the header uses: a comma, else a semicolon, else a tab.
char separatorOf(std::string_view header) {
  for (const char candidate : {',', ';', '\t'})
    if (header.find(candidate) != std::string_view::npos) return candidate;
  return ',';
}

// Text is what a spreadsheet or a script writes: printable ASCII, tabs, and
// UTF-8 beyond ASCII in comments and names. A control character means binary
// data; the column is that of the byte in the line.
void requireText(std::string_view line, const std::string& file, std::size_t lineNumber) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7f)
      fail(file, lineNumber, i + 1, "binary data (byte " + std::to_string(byte) + "), not a text file");
  }
}

// A cell's number. Where semicolons or tabs separate the cells, a comma
// cannot be a separator and is read as the decimal comma many spreadsheets
// write ("12,5"); a cell with both a comma and a full stop stays refused.
std::optional<double> cellValue(std::string_view cell, char separator) {
  std::optional<double> value = parseReal(cell);
  if (value || separator == ',') return value;
  const std::size_t comma = cell.find(',');
  if (comma == std::string_view::npos || cell.find_first_of(",.", comma + 1) != std::string_view::npos ||
      cell.find('.') != std::string_view::npos)
    return value;
  std::string withStop(cell);
  withStop[comma] = '.';
  return parseReal(withStop);
}

enum class ColumnKind { Position, Component, BasisFlag };

struct Column {
  ColumnKind kind;
  int component = -1;  // 0-based
};

std::optional<CompositionBasis> basisSuffix(std::string_view& name) {
  for (const auto& [suffix, basis] : {std::pair{std::string_view("_at_pct"), CompositionBasis::Atomic},
                                      std::pair{std::string_view("_wt_pct"), CompositionBasis::Weight}}) {
    if (name.size() > suffix.size() && name.ends_with(suffix)) {
      name.remove_suffix(suffix.size());
      return basis;
    }
  }
  return std::nullopt;
}

// The component a column name stands for (N3 or 3 is the third), or none.
std::optional<int> componentOf(std::string_view name) {
  if (!name.empty() && (name.front() == 'N' || name.front() == 'n')) name.remove_prefix(1);
  if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const std::optional<int> number = parseInteger(name);
  if (!number) return std::nullopt;
  return *number;
}

// The component columns a header may have, for messages.
std::string componentColumnNames(const MeasuredProfileOptions& options) {
  std::string names;
  for (const std::string& name : options.componentNames) names += name + ", ";
  return names + "N1, N2, ... or 1, 2, ...";
}

}  // namespace

MeasuredProfile ParseMeasuredProfile(std::string_view text, const std::string& fileName,
                                     const MeasuredProfileOptions& options) {
  MeasuredProfile profile;
  profile.fileName = fileName;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);

  std::vector<Column> columns;
  double positionScale = 0.0;  // cm per unit of the position column
  std::size_t positionColumn = 0;
  char separator = ',';
  std::optional<CompositionBasis> fileBasis;
  std::size_t lineNumber = 0;
  bool headerSeen = false;

  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    // LF, CR LF or CR ends a line.
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    ++lineNumber;

    requireText(line, fileName, lineNumber);
    const std::string_view content = trimmed(line);
    if (content.empty() || content.front() == '#') continue;

    if (!headerSeen) {
      headerSeen = true;
      separator = separatorOf(line);
      const auto names = cellsOf(line, separator);
      bool havePosition = false;
      for (std::size_t i = 0; i < names.size(); ++i) {
        std::string_view name = names[i];
        const std::size_t column = i + 1;
        if (name.empty()) fail(fileName, lineNumber, column, "empty column name in the header");
        if (name.starts_with("x_") || name == "x") {
          if (havePosition) fail(fileName, lineNumber, column, "a second position column " + quoted(name));
          if (name == "x_um")
            positionScale = 1e-4;
          else if (name == "x_mm")
            positionScale = 0.1;
          else if (name == "x_cm")
            positionScale = 1.0;
          else
            fail(fileName, lineNumber, column, "unknown position unit " + quoted(name) + " (x_um, x_mm or x_cm)");
          havePosition = true;
          positionColumn = i;
          columns.push_back({ColumnKind::Position, -1});
          continue;
        }
        if (name == "at_pct" || name == "wt_pct") {
          const auto basis = name == "at_pct" ? CompositionBasis::Atomic : CompositionBasis::Weight;
          if (fileBasis && *fileBasis != basis) fail(fileName, lineNumber, column, "mixes at_pct and wt_pct");
          fileBasis = basis;
          columns.push_back({ColumnKind::BasisFlag, -1});
          continue;
        }
        const std::optional<CompositionBasis> suffix = basisSuffix(name);
        std::optional<int> number = componentOf(name);
        if (!number)
          if (const std::optional<int> named = componentOfLabel(name, options.componentNames)) number = *named + 1;
        if (!number)
          fail(fileName, lineNumber, column,
               "unknown column " + quoted(names[i]) + " (x_um, x_mm, x_cm, " + componentColumnNames(options) + ")");
        if (*number < 1 || *number > kMaxComponentNumber)
          fail(fileName, lineNumber, column,
               "component " + quoted(names[i]) + " out of range 1 to " + std::to_string(kMaxComponentNumber));
        if (suffix) {
          if (fileBasis && *fileBasis != *suffix) fail(fileName, lineNumber, column, "mixes at_pct and wt_pct");
          fileBasis = suffix;
        }
        const int component = *number - 1;
        if (std::find(profile.components.begin(), profile.components.end(), component) != profile.components.end())
          fail(fileName, lineNumber, column, "component " + quoted(names[i]) + " appears twice");
        profile.components.push_back(component);
        columns.push_back({ColumnKind::Component, component});
      }
      if (!havePosition) fail(fileName, lineNumber, 0, "the header has no position column (x_um, x_mm or x_cm)");
      if (profile.components.empty())
        fail(fileName, lineNumber, 0, "the header names no component column (" + componentColumnNames(options) + ")");
      if (options.basis && fileBasis && *options.basis != *fileBasis)
        fail(fileName, lineNumber, 0, "the file gives the other composition basis than the one asked for");
      profile.basis = fileBasis.value_or(options.basis.value_or(CompositionBasis::Atomic));
      profile.percent.resize(profile.components.size());
      continue;
    }

    if (profile.positionCm.size() == kMaxMeasuredPoints)
      fail(fileName, lineNumber, 0,
           "more than " + std::to_string(kMaxMeasuredPoints) +
               " measured points; thin the scan out (every point is compared and drawn)");
    const auto cells = cellsOf(line, separator);
    if (cells.size() < columns.size())
      fail(fileName, lineNumber, cells.size() + 1,
           "missing cell: the header has " + std::to_string(columns.size()) + " columns, this line " +
               std::to_string(cells.size()));
    if (cells.size() > columns.size())
      fail(fileName, lineNumber, columns.size() + 1, "extra cell " + quoted(cells[columns.size()]));
    std::size_t valueColumn = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].kind == ColumnKind::BasisFlag) continue;
      const std::optional<double> value = cellValue(cells[i], separator);
      if (!value || !std::isfinite(*value)) fail(fileName, lineNumber, i + 1, quoted(cells[i]) + " is not a number");
      if (i == positionColumn) {
        profile.positionCm.push_back(*value * positionScale + options.shiftCm);
        continue;
      }
      if (*value < 0.0 || *value > 100.0)
        fail(fileName, lineNumber, i + 1, quoted(cells[i]) + " is not a percentage between 0 and 100");
      profile.percent[valueColumn++].push_back(*value);
    }
  }
  if (!headerSeen) fail(fileName, std::max<std::size_t>(lineNumber, 1), 0, "empty file: no header line");
  if (profile.positionCm.empty()) fail(fileName, lineNumber, 0, "no data line after the header");
  return profile;
}

MeasuredProfile ReadMeasuredProfile(const std::string& path, const MeasuredProfileOptions& options) {
  // Only a regular file is read (a pipe would block, a device never end).
  return ParseMeasuredProfile(ReadWholeFile(path, kMaxMeasuredProfileBytes, "the measured profile"), path, options);
}

}  // namespace torvex
