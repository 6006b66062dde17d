#include "results/run_data.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <string_view>

#include "model/errors.h"
#include "model/number_format.h"
#include "model/thermal_cycles.h"
#include "results/results_files.h"
#include "results/run_report.h"
#include "results/units.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

// A results file as lines. The flag says whether the text ended with a line
// end: a file appended by a run that was killed may end in a torn line.
struct FileLines {
  std::string path;
  std::vector<std::string> lines;
  bool endsWithLineEnd = true;
};

// A results file larger than this is not read (a history that large holds
// thousands of saves of a fine grid; plot a thinned copy); nor is a line
// longer than kMaxLineBytes (no results file has one: a file of NUL bytes,
// say, is not a results file). The lines are split as the file is read, so
// the text is never held whole beside them.
constexpr std::uintmax_t kMaxResultsFileBytes = std::uintmax_t{1} << 30;
constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

std::optional<FileLines> readLines(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = fs::file_size(path, error);
  if (!error && size > kMaxResultsFileBytes)
    throw InputError(path.string() + ": too large to read (" + std::to_string(size) + " bytes; at most " +
                     std::to_string(kMaxResultsFileBytes) + ")");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path.string() + ": cannot be read");
  FileLines file{path.string(), {}, true};
  std::string current;
  bool afterCarriageReturn = false;
  std::vector<char> buffer(std::size_t{1} << 16);
  std::uintmax_t total = 0;
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    std::string_view chunk(buffer.data(), static_cast<std::size_t>(in.gcount()));
    total += chunk.size();
    if (total > kMaxResultsFileBytes)
      throw InputError(path.string() + ": too large to read (more than " + std::to_string(kMaxResultsFileBytes) +
                       " bytes)");
    while (!chunk.empty()) {
      if (afterCarriageReturn && chunk.front() == '\n') chunk.remove_prefix(1);
      afterCarriageReturn = false;
      if (chunk.empty()) break;
      const std::size_t end = chunk.find_first_of("\r\n");
      const std::size_t take = end == std::string_view::npos ? chunk.size() : end;
      if (current.size() + take > kMaxLineBytes)
        throw InputError(path.string() + ", line " + std::to_string(file.lines.size() + 1) + ": longer than " +
                         std::to_string(kMaxLineBytes) + " bytes: not a results file");
      current.append(chunk.substr(0, take));
      if (end == std::string_view::npos) break;
      afterCarriageReturn = chunk[end] == '\r';
      file.lines.push_back(std::move(current));
      current.clear();
      chunk.remove_prefix(end + 1);
    }
  }
  if (in.bad()) throw InputError(path.string() + ": cannot be read");
  if (!current.empty()) {
    file.lines.push_back(std::move(current));
    file.endsWithLineEnd = false;
  }
  return file;
}

// The lines of a file that are whole: all but a torn last one (a run killed
// while appending to a record may leave a part of a line at its end).
std::size_t wholeLines(const FileLines& file) {
  return file.endsWithLineEnd ? file.lines.size() : file.lines.size() - 1;
}

[[noreturn]] void fail(const FileLines& file, std::size_t index, const std::string& what) {
  throw InputError(file.path + ", line " + std::to_string(index + 1) + ": " + what);
}

std::vector<std::string_view> split(std::string_view line, char separator) {
  std::vector<std::string_view> cells;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = line.find(separator, start);
    cells.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return cells;
    start = end + 1;
  }
}

// The blank-separated numbers of a line; none when a field is not a number.
std::optional<std::vector<double>> numbers(std::string_view line) {
  std::vector<double> values;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) break;
    std::size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    const std::optional<double> value = parseReal(line.substr(i, end - i));
    if (!value) return std::nullopt;
    values.push_back(*value);
    i = end;
  }
  return values;
}

// A CSV header as a map from column name to index.
std::map<std::string, std::size_t, std::less<>> headerOf(const FileLines& file) {
  std::map<std::string, std::size_t, std::less<>> columns;
  if (file.lines.empty()) return columns;
  const auto names = split(file.lines[0], ',');
  for (std::size_t i = 0; i < names.size(); ++i) columns.emplace(std::string(names[i]), i);
  return columns;
}

std::size_t columnOf(const FileLines& file, const std::map<std::string, std::size_t, std::less<>>& header,
                     std::string_view name) {
  const auto it = header.find(name);
  if (it == header.end()) fail(file, 0, "the header has no column '" + std::string(name) + "'");
  return it->second;
}

// The rows of a CSV file as numbers. A last line without its line end is
// torn (the run was killed while appending) and is dropped. The cells of
// textColumn (a name) are not numbers and read as NaN.
std::vector<std::vector<double>> csvRows(const FileLines& file, std::size_t columns,
                                         std::size_t textColumn = std::string::npos) {
  std::vector<std::vector<double>> rows;
  std::size_t last = file.lines.size();
  if (!file.endsWithLineEnd && last > 1) --last;
  rows.reserve(last);
  for (std::size_t i = 1; i < last; ++i) {
    const std::string& line = file.lines[i];
    if (line.empty()) continue;
    const auto cells = split(line, ',');
    if (cells.size() != columns)
      fail(file, i, std::to_string(cells.size()) + " cells where the header has " + std::to_string(columns));
    std::vector<double> row(cells.size());
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (c == textColumn) {
        row[c] = std::numeric_limits<double>::quiet_NaN();
        continue;
      }
      const std::optional<double> value = parseReal(cells[c]);
      if (!value)
        fail(file, i, "'" + std::string(cells[c]) + "' in column " + std::to_string(c + 1) + " is not a number");
      row[c] = *value;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// The profile at every save: blocks of n * r rows sharing one time, point by
// point, components 1 .. r within a point. Only the last block can be torn
// (a run killed while saving); when it is also the first, n cannot be told
// from a later block, so it is taken as whole only when the file ends with a
// line end and, where the atomic profile file gives the point count
// expectedPoints, holds
// that many points.
void readHistory(const FileLines& file, RunData& run, std::optional<std::size_t> expectedPoints) {
  const auto header = headerOf(file);
  const std::size_t cTime = columnOf(file, header, "time_s");
  const std::size_t cX = columnOf(file, header, "x_cm");
  const std::size_t cComponent = columnOf(file, header, "component");
  const std::size_t cAt = columnOf(file, header, "at_pct");
  const std::size_t cWt = columnOf(file, header, "wt_pct");
  // Written only when the run named its components.
  const auto name = header.find("name");
  const std::size_t cName = name == header.end() ? std::string::npos : name->second;
  const auto rows = csvRows(file, header.size(), cName);
  if (rows.empty()) return;

  // r from the first block: the largest component number before the first
  // row of the second point; n from the rows of the first time.
  int r = 0;
  for (const auto& row : rows) {
    const int component = static_cast<int>(row[cComponent]);
    if (component <= r) break;
    r = component;
  }
  std::size_t firstBlock = 0;
  while (firstBlock < rows.size() && rows[firstBlock][cTime] == rows[0][cTime]) ++firstBlock;
  const bool onlyBlock = firstBlock == rows.size();
  if (r < 1 || firstBlock % static_cast<std::size_t>(r) != 0) {
    if (onlyBlock) return;  // a first save torn off
    fail(file, 1, "the first save does not hold every component at every point");
  }
  const std::size_t n = firstBlock / static_cast<std::size_t>(r);
  if (onlyBlock && (!file.endsWithLineEnd || (expectedPoints && n != *expectedPoints))) return;
  run.componentCount = r;
  if (cName != std::string::npos) {
    // The names of the first point's rows (csvRows skipped blank lines and
    // checked the cell count of every line it kept).
    run.componentNames.clear();
    for (std::size_t line = 1; line < file.lines.size() && run.componentNames.size() < static_cast<std::size_t>(r);
         ++line) {
      if (file.lines[line].empty()) continue;
      const auto cells = split(file.lines[line], ',');
      run.componentNames.emplace_back(cName < cells.size() ? cells[cName] : std::string_view());
    }
  }
  run.positionCm.resize(n);
  for (std::size_t k = 0; k < n; ++k) run.positionCm[k] = rows[k * static_cast<std::size_t>(r)][cX];

  const std::size_t blockRows = n * static_cast<std::size_t>(r);
  for (std::size_t start = 0; start + blockRows <= rows.size(); start += blockRows) {
    ProfileFrame frame;
    frame.timeS = rows[start][cTime];
    frame.atPct.resize(blockRows);
    frame.wtPct.resize(blockRows);
    for (std::size_t k = 0; k < n; ++k) {
      for (std::size_t i = 0; i < static_cast<std::size_t>(r); ++i) {
        const auto& row = rows[start + k * static_cast<std::size_t>(r) + i];
        if (row[cTime] != frame.timeS || static_cast<std::size_t>(row[cComponent]) != i + 1)
          throw InputError(file.path + ": the save at time " + formatGeneral(frame.timeS) +
                           " is not a whole block of " + std::to_string(n) + " points and " + std::to_string(r) +
                           " components");
        frame.atPct[i * n + k] = row[cAt];
        frame.wtPct[i * n + k] = row[cWt];
      }
    }
    run.frames.push_back(std::move(frame));
  }
  run.filesRead.push_back(kHistoryFile);
}

// One row per accepted pass: the Kirkendall plane, the end compositions and,
// under selective oxidation, the scale.
void readSeries(const FileLines& file, RunData& run) {
  const auto header = headerOf(file);
  const std::size_t cTime = columnOf(file, header, "time_s");
  const std::size_t cKirk = columnOf(file, header, "kirkendall_cm");
  const auto thickness = header.find("oxide_thickness_cm");
  const auto kp = header.find("kp_cm2_s");
  // Component 1 at the right end: a molar ratio N1_right in files written
  // before the contents were in at.%, else the fifth column, <label>_right_at_pct.
  std::size_t surface = std::string::npos;
  double surfaceScale = 1.0;
  if (const auto ratio = header.find("N1_right"); ratio != header.end()) {
    surface = ratio->second;
  } else {
    for (const auto& [column, index] : header)
      if (index == 4 && column.ends_with("_right_at_pct")) {
        surface = index;
        surfaceScale = 0.01;
      }
  }
  const auto rows = csvRows(file, header.size());
  run.kirkendallTimeS.clear();
  run.kirkendallCm.clear();
  for (const auto& row : rows) {
    run.kirkendallTimeS.push_back(row[cTime]);
    run.kirkendallCm.push_back(row[cKirk]);
  }
  if (thickness != header.end() && kp != header.end()) {
    run.oxidation = true;
    run.scaleTimeS.clear();
    run.scaleThicknessCm.clear();
    run.scaleKp.clear();
    run.surfaceTimeS.clear();
    run.surfaceRatio.clear();
    for (const auto& row : rows) {
      run.scaleTimeS.push_back(row[cTime]);
      run.scaleThicknessCm.push_back(row[thickness->second]);
      run.scaleKp.push_back(row[kp->second]);
      if (surface != std::string::npos) {
        run.surfaceTimeS.push_back(row[cTime]);
        run.surfaceRatio.push_back(row[surface] * surfaceScale);
      }
    }
  }
  // A life run's columns.
  const auto mass = header.find("mass_change_mg_cm2");
  const auto oxygen = header.find("mass_change_oxygen_mg_cm2");
  const auto spalled = header.find("mass_change_spalled_mg_cm2");
  if (mass != header.end() && oxygen != header.end() && spalled != header.end())
    for (const auto& row : rows) {
      run.massChangeTimeS.push_back(row[cTime]);
      run.massChange.push_back(row[mass->second]);
      run.massChangeOxygen.push_back(row[oxygen->second]);
      run.massChangeSpalled.push_back(row[spalled->second]);
    }
  for (const auto& [name, column] : header)
    if (name.rfind("watched_", 0) == 0) {
      run.watchedName = name.substr(8);
      for (const auto& row : rows) {
        run.watchedTimeS.push_back(row[cTime]);
        run.watchedContent.push_back(row[column]);
      }
      break;
    }
  run.filesRead.push_back(kSeriesFile);
}

// The atomic profile file: the input file (read by the position of its value
// lines, as the program reads it), then the last profile in atomic percent.
struct InputHead {
  std::vector<std::string> values;  // the value lines of the data file
  std::size_t end = 0;              // index of the line after "#end of data file"
};

InputHead inputHeadOf(const FileLines& file) {
  InputHead head;
  for (std::size_t i = 1; i < file.lines.size(); ++i) {
    const std::string& line = file.lines[i];
    if (line.starts_with("#end of data file")) {
      head.end = i + 1;
      return head;
    }
    if (!line.starts_with("#")) head.values.push_back(line);
  }
  head.end = file.lines.size();
  return head;
}

// Keys of the data file by the position of their value lines.
constexpr std::size_t kComponentsLine = 0;     // D0
constexpr std::size_t kTimesLine = 1;          // D1
constexpr std::size_t kMolarMassLine = 11;     // D10
constexpr std::size_t kKirkendallLine = 21;    // D20
constexpr std::size_t kFluxLine = 22;          // D21
constexpr std::size_t kProfileCountLine = 23;  // D22
constexpr std::size_t kProfileLines = 24;      // D23

std::optional<double> firstNumber(const std::vector<std::string>& values, std::size_t index, std::size_t field = 0) {
  if (index >= values.size()) return std::nullopt;
  std::size_t i = 0;
  const std::string& line = values[index];
  for (std::size_t f = 0;; ++f) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    if (i == end) return std::nullopt;
    if (f == field) return parseReal(std::string_view(line).substr(i, end - i));
    i = end;
  }
}

void readAtOut(const FileLines& file, RunData& run) {
  const InputHead head = inputHeadOf(file);
  const int r = static_cast<int>(firstNumber(head.values, kComponentsLine).value_or(0));
  if (r < 1 || r > 50) fail(file, 2, "no number of components in the input lines");
  run.componentCount = r;
  run.startTimeS = firstNumber(head.values, kTimesLine).value_or(0.0);
  if (kMolarMassLine < head.values.size()) {
    const auto masses = numbers(head.values[kMolarMassLine]);
    if (masses && masses->size() >= static_cast<std::size_t>(r))
      run.molarMass.assign(masses->begin(), masses->begin() + r);
  }
  run.oxidation = run.oxidation || firstNumber(head.values, kFluxLine).value_or(0) == 2;

  // Where the Kirkendall plane started: declared, or the middle of the
  // sample between the first and the last initial profile line.
  const double selector = firstNumber(head.values, kKirkendallLine).value_or(0);
  const double declared = selector != 0 ? firstNumber(head.values, kKirkendallLine, 1).value_or(0) : 0;
  if (declared > 0) {
    run.initialKirkendallCm = declared;
  } else {
    const auto lines = static_cast<std::size_t>(firstNumber(head.values, kProfileCountLine).value_or(0));
    if (lines >= 2 && kProfileLines + lines <= head.values.size()) {
      const auto first = firstNumber(head.values, kProfileLines);
      const auto last = firstNumber(head.values, kProfileLines + lines - 1);
      if (first && last) run.initialKirkendallCm = *first + 0.5 * (*last - *first);
    }
  }

  ProfileFrame frame;
  std::size_t i = head.end;
  while (i < file.lines.size() && !file.lines[i].starts_with("Current time:")) ++i;
  if (i == file.lines.size()) fail(file, head.end, "no 'Current time:' line after the input lines");
  const auto time = parseReal(std::string_view(file.lines[i]).substr(13));
  if (!time) fail(file, i, "'" + file.lines[i] + "' holds no time");
  frame.timeS = *time;
  std::vector<double> position;
  std::vector<std::vector<double>> percent(static_cast<std::size_t>(r));
  for (++i; i < file.lines.size(); ++i) {
    if (file.lines[i].find_first_not_of(" \t") == std::string::npos) continue;
    if (file.lines[i].starts_with("#")) break;  // "#End of calculation file"
    const auto row = numbers(file.lines[i]);
    if (!row || row->size() < static_cast<std::size_t>(r) + 1)
      fail(file, i, "'" + file.lines[i] + "' is not a profile line");
    position.push_back((*row)[0]);
    for (int c = 0; c < r; ++c) percent[static_cast<std::size_t>(c)].push_back((*row)[static_cast<std::size_t>(c) + 1]);
  }
  if (position.empty()) fail(file, file.lines.size() - 1, "no profile lines");
  run.positionCm = position;
  for (const auto& column : percent) frame.atPct.insert(frame.atPct.end(), column.begin(), column.end());
  frame.wtPct = weightFromAtomicPercent(frame.atPct, run.molarMass, r);
  run.frames = {std::move(frame)};
  run.filesRead.push_back(kAtomicProfileFile);
}

// The Kirkendall record collects every run since the program started: only
// the lines after its last header belong to this run.
void readKirkendallRecord(const FileLines& file, RunData& run) {
  const std::size_t whole = wholeLines(file);
  std::size_t start = 0;
  for (std::size_t i = 0; i < whole; ++i)
    if (file.lines[i].starts_with("The calculation of the Kirkendall plane")) start = i + 1;
  for (std::size_t i = start; i < whole; ++i) {
    const auto row = numbers(file.lines[i]);
    if (!row || row->size() != 2) continue;  // the header lines
    run.kirkendallTimeS.push_back((*row)[0]);
    run.kirkendallCm.push_back((*row)[1]);
  }
  run.filesRead.push_back(kKirkendallRecordFile);
}

// The boundary record: t, then per component N and flux at the left and at
// the right end; under selective oxidation kp and the scale thickness.
void readBoundaryRecord(const FileLines& file, RunData& run) {
  const auto r = static_cast<std::size_t>(run.componentCount);
  for (std::size_t i = 2; i < wholeLines(file); ++i) {
    const auto row = numbers(file.lines[i]);
    if (!row || row->size() < 1 + 4 * r) continue;
    run.surfaceTimeS.push_back((*row)[0]);
    run.surfaceRatio.push_back((*row)[3]);
    if (row->size() >= 3 + 4 * r) {
      run.scaleTimeS.push_back((*row)[0]);
      run.scaleKp.push_back((*row)[1 + 4 * r]);
      run.scaleThicknessCm.push_back((*row)[2 + 4 * r]);
    }
  }
  run.filesRead.push_back(kBoundaryRecordFile);
}

// The run report: the schedule and the run's start and end. The report adds
// one chart to those the profile files give, so a report that cannot be read is
// a note that leaves that chart out, not an error that would hide the
// profiles as well. startKnown: the atomic profile file gave the start time
// already.
void readReport(const std::string& folder, RunData& run, bool startKnown) {
  std::error_code error;
  if (!fs::is_regular_file(fs::path(folder) / kRunReportFile, error)) return;
  const std::string leftOut = "; the temperature chart is left out";
  RunReport report;
  try {
    report = readRunReport(folder);
  } catch (const InputError& failure) {
    run.notes.push_back(failure.what() + leftOut);
    return;
  }
  if (!startKnown && std::isfinite(report.outcome.startTime)) run.startTimeS = report.outcome.startTime;
  if (run.componentNames.empty() && report.componentNames.size() == static_cast<std::size_t>(run.componentCount))
    run.componentNames = report.componentNames;
  if (report.outcome.end != "running") run.endTimeS = report.outcome.finalTime;
  if (report.life) {
    run.lifeCondition = report.life->condition;
    run.lifeS = report.life->lifeSeconds;
  }
  const std::string path = (fs::path(folder) / kRunReportFile).string();
  if (const auto& cycles = report.heatTreatment.cycles) {
    // Kept as the description; the charts expand what they draw of it.
    try {
      (void)parseCycles(cycles->text, path + ": heat_treatment.cycles.text", cycles->start);
      run.cyclesText = cycles->text;
      run.cyclesStartS = cycles->start;
    } catch (const InputError& failure) {
      run.notes.push_back(failure.what() + leftOut);
      return;
    }
  }
  const auto& schedule = report.heatTreatment.schedule;
  if (!schedule || schedule->rows.empty()) {
    if (!run.cyclesText.empty()) run.filesRead.push_back(kRunReportFile);
    return;
  }
  // The reader takes any numbers; T(t) needs its rows in time order.
  const std::vector<ScheduleRow>& rows = schedule->rows;
  for (std::size_t k = 1; k < rows.size(); ++k) {
    if (rows[k].time < rows[k - 1].time) {
      run.notes.push_back(path + ": heat_treatment.schedule.rows[" + std::to_string(k) + "]: the times decrease (" +
                          formatGeneral(rows[k].time) + " s after " + formatGeneral(rows[k - 1].time) + " s)" +
                          leftOut);
      run.cyclesText.clear();
      return;
    }
  }
  for (const ScheduleRow& row : rows) {
    run.scheduleTimeS.push_back(row.time);
    run.scheduleTemperatureK.push_back(row.temperature);
  }
  run.scheduleFile = schedule->file;
  run.scheduleSha256 = schedule->sha256;
  run.filesRead.push_back(kRunReportFile);
}

}  // namespace

namespace {

// The lines of a file, or none when it cannot be read.
std::optional<FileLines> linesIfReadable(const fs::path& path) {
  try {
    return readLines(path);
  } catch (const InputError&) {
    return std::nullopt;
  }
}

// A boundary record line as numbers: its component count from its length.
std::optional<FinalResults::BoundaryRow> boundaryRow(const std::vector<double>& numbers) {
  const std::size_t count = numbers.size();
  if (count < 6 || count % 2 != 0) return std::nullopt;
  const bool scale = count % 4 == 0;
  const std::size_t r = (count - (scale ? 4 : 2)) / 4;
  FinalResults::BoundaryRow row;
  row.timeS = numbers[0];
  for (std::size_t i = 0; i < r; ++i) {
    row.leftRatio.push_back(numbers[1 + 4 * i]);
    row.rightRatio.push_back(numbers[3 + 4 * i]);
  }
  if (scale) row.oxideThicknessCm = numbers[2 + 4 * r];
  return row;
}

}  // namespace

FinalResults ReadFinalResults(const std::string& folder) {
  FinalResults results;
  const fs::path dir(folder);
  if (const auto file = linesIfReadable(dir / kAtomicProfileFile)) {
    std::size_t start = file->lines.size();
    for (std::size_t i = 0; i < file->lines.size(); ++i)
      if (file->lines[i].starts_with("Current time:")) start = i + 1;
    for (std::size_t i = start; i < file->lines.size(); ++i) {
      // x, the r percentages, v_Darken, v_Sigma, the pressure and the drift.
      const auto row = numbers(file->lines[i]);
      if (!row || row->size() < 6) continue;
      results.positionCm.push_back(row->front());
      results.atomicPercent.emplace_back(row->begin() + 1, row->end() - 4);
    }
  }
  if (const auto file = linesIfReadable(dir / kKirkendallRecordFile)) {
    for (std::size_t i = wholeLines(*file); i-- > 0;)
      if (const auto row = numbers(file->lines[i]); row && !row->empty()) {
        if (row->size() >= 2) results.kirkendallPosition = (*row)[1];
        break;
      }
  }
  if (const auto file = linesIfReadable(dir / kBoundaryRecordFile))
    for (std::size_t i = 0; i < wholeLines(*file); ++i)
      if (const auto row = numbers(file->lines[i]); row && !row->empty())
        if (const auto parsed = boundaryRow(*row)) results.boundary.push_back(*parsed);
  return results;
}

RunData ReadRunData(const std::string& folder) {
  RunData run;
  run.source = folder;
  const fs::path dir(folder);
  const auto history = readLines(dir / kHistoryFile);
  const auto atOut = readLines(dir / kAtomicProfileFile);
  RunData last;                   // the atomic profile file's input lines and last profile
  std::exception_ptr atOutError;  // matters only without a history
  try {
    if (atOut) readAtOut(*atOut, last);
  } catch (const InputError&) {
    atOutError = std::current_exception();
  }
  if (history) readHistory(*history, run, atOut && !atOutError ? std::optional(last.pointCount()) : std::nullopt);
  bool startKnown = false;  // from the atomic profile file's input lines
  if (run.frames.empty()) {
    if (atOutError) std::rethrow_exception(atOutError);
    last.source = folder;
    run = std::move(last);
    startKnown = true;
  } else if (atOut && !atOutError && last.componentCount == run.componentCount) {
    startKnown = true;
    // What the history does not hold: the molar masses, the start time and
    // where the Kirkendall plane started.
    run.molarMass = last.molarMass;
    run.startTimeS = last.startTimeS;
    run.oxidation = last.oxidation;
    run.initialKirkendallCm = last.initialKirkendallCm;
  }
  if (run.frames.empty())
    throw InputError(folder + ": no results to plot (neither a " + kHistoryFile + " with a whole save nor " +
                     kAtomicProfileFile + ")");

  if (const auto series = readLines(dir / kSeriesFile)) readSeries(*series, run);
  if (run.kirkendallTimeS.empty())
    if (const auto record = readLines(dir / kKirkendallRecordFile)) readKirkendallRecord(*record, run);
  if (run.oxidation && run.scaleTimeS.empty())
    if (const auto record = readLines(dir / kBoundaryRecordFile)) readBoundaryRecord(*record, run);
  readReport(folder, run, startKnown);
  // Without the input lines the plane's start is taken as its first record.
  if (std::isnan(run.initialKirkendallCm) && !run.kirkendallCm.empty())
    run.initialKirkendallCm = run.kirkendallCm.front();
  return run;
}

}  // namespace torvex
