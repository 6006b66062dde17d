#include "model/heat_treatment.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>

#include "model/errors.h"
#include "model/formula.h"
#include "model/number_format.h"
#include "model/read_file.h"
#include "model/sha256.h"

namespace torvex {
namespace {

constexpr std::size_t kQuotedLength = 80;  // longest piece of a line quoted in a message
// Most output times a run takes: each is a save of every results file and a
// profile more in the history (100 000 of them made a history of hundreds of
// MB), and a count typed with a digit too many must not run for hours.
constexpr int kMaxOutputTimes = 10000;

std::string quoted(std::string_view text) {
  std::string shown(text.substr(0, kQuotedLength));
  if (text.size() > kQuotedLength) shown += "...";
  return "'" + shown + "'";
}

[[noreturn]] void refuseLine(const std::string& file, int line, std::string_view text, const std::string& why) {
  throw InputError(file + ", line " + formatInteger(line) + ": " + quoted(text) + ": " + why);
}

// The lines of a text, without their line ends (LF or CR LF).
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The pieces of a text between the separator.
std::vector<std::string_view> splitAt(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (;;) {
    const auto at = text.find(separator);
    pieces.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return pieces;
    text.remove_prefix(at + 1);
  }
}

bool blank(std::string_view text) {
  return trimmedView(text).empty();
}

// A schedule or a list of output times longer than this is not one: at the
// shortest rows ("1,900") it would hold a million of them.
constexpr std::size_t kMaxHeatTreatmentFileBytes = 8u << 20;

std::string readWholeFile(const std::string& path, const char* what) {
  return ReadWholeFile(path, kMaxHeatTreatmentFileBytes, "the " + std::string(what) + " file");
}

void addTime(double time, const std::string& place, std::string shown, std::vector<OutputTime>& times) {
  if (times.size() >= static_cast<std::size_t>(kMaxOutputTimes))
    throw InputError(place + ": " + quoted(shown) + ": more than " + formatInteger(kMaxOutputTimes) + " output times");
  if (!times.empty() && !(time > times.back().time))
    throw InputError(place + ": " + quoted(shown) + ": the output times must increase (the one before is " +
                     formatGeneral(times.back().time) + ")");
  times.push_back({time, place, std::move(shown)});
}

// Appends the times of an even spacing start:stop:count: count times from
// start to stop, both included, the last one stop itself (not start plus the
// rounded spacings).
// Six significant digits, full stop whatever the locale.
std::string sixDigits(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  return std::string(text, result.ptr);
}

// Whether a spacing reads back from six significant digits: a span divided
// into steps a person would write down.
bool roundSpacing(double spacing) {
  const std::optional<double> shown = parseReal(sixDigits(spacing));
  return shown && std::fabs(*shown - spacing) <= 1e-9 * std::fabs(spacing);
}

// A count that is also one of the times, or one that cuts the span into steps
// no one would write (3600:39600:3600 gives 3600 saves 10.0028 s apart), is
// almost always start:stop:step or start:step:stop written from habit. Such
// a spacing is refused with what it would mean and what was likely meant.
void refuseAmbiguousSpacing(double start, double stop, int count, const std::string& place, const std::string& shown) {
  const double spacing = (stop - start) / (count - 1);
  const bool countIsATime = count == start || count == stop;
  if (!countIsATime && roundSpacing(spacing)) return;
  std::string message = place + ": " + quoted(shown) + " is read as start:stop:count, " + formatInteger(count) +
                        " times from " + formatGeneral(start) + " to " + formatGeneral(stop) + " s, " +
                        sixDigits(spacing) + " s apart" + (countIsATime ? "" : " (not an even step)") +
                        "; it is refused as ambiguous.";
  // start:stop:step, and start:step:stop, where they give whole counts.
  const auto suggest = [&](double from, double to, double step) {
    const double steps = (to - from) / step;
    if (!(step > 0) || !(steps >= 1) || steps != std::floor(steps) || steps >= kMaxOutputTimes) return;
    const std::string text = " For every " + formatGeneral(step) + " s from " + formatGeneral(from) + " to " +
                             formatGeneral(to) + " s write " + formatGeneral(from) + ":" + formatGeneral(to) + ":" +
                             formatGeneral(steps + 1) + ".";
    if (message.find(text) == std::string::npos) message += text;
  };
  suggest(start, stop, count);
  suggest(start, count, stop);
  throw InputError(message + " Otherwise list the times, separated by commas.");
}

void takeSpacing(const std::vector<std::string_view>& parts, const std::string& place, const std::string& shown,
                 std::vector<OutputTime>& times) {
  const std::optional<double> start = parseReal(parts[0]);
  const std::optional<double> stop = parseReal(parts[1]);
  const std::optional<int> count = parseInteger(parts[2]);
  if (!start || !stop || !std::isfinite(*start) || !std::isfinite(*stop))
    throw InputError(place + ": " + quoted(shown) + ": start and stop of start:stop:count must be times in seconds");
  if (!count || *count < 1)
    throw InputError(place + ": " + quoted(shown) + ": the count of start:stop:count must be a whole number >= 1");
  if (*count > kMaxOutputTimes - static_cast<int>(times.size()))
    throw InputError(place + ": " + quoted(shown) + ": more than " + formatInteger(kMaxOutputTimes) + " output times");
  if (*count > 1 && !(*stop > *start))
    throw InputError(place + ": " + quoted(shown) + ": the stop of start:stop:count must come after its start");
  if (*count > 1) refuseAmbiguousSpacing(*start, *stop, *count, place, shown);
  for (int k = 0; k < *count; ++k) {
    const double time = k == 0 ? *start : k + 1 == *count ? *stop : *start + (*stop - *start) * k / (*count - 1);
    addTime(time, place, shown, times);
  }
}

// Appends the times of a comma-separated text whose pieces are times or even
// spacings, refusing a piece that is neither or times that do not increase.
void takeTimes(std::string_view text, const std::string& place, std::vector<OutputTime>& times) {
  for (std::string_view piece : splitAt(text, ',')) {
    const std::string shown = std::string(trimmedView(piece));
    const std::vector<std::string_view> parts = splitAt(piece, ':');
    if (parts.size() == 3) {
      takeSpacing(parts, place, shown, times);
      continue;
    }
    const std::optional<double> time = parseReal(piece);
    if (!time || !std::isfinite(*time)) throw InputError(place + ": " + quoted(shown) + ": not a time in seconds");
    addTime(*time, place, shown, times);
  }
}

// Whether a text is meant as times rather than a file name: every piece
// between commas a number or three parts between colons.
bool looksLikeTimes(std::string_view text) {
  if (blank(text)) return false;
  const std::vector<std::string_view> pieces = splitAt(text, ',');
  return std::all_of(pieces.begin(), pieces.end(), [](std::string_view piece) {
    return parseReal(piece).has_value() || splitAt(piece, ':').size() == 3;
  });
}

// T on the straight line from one row to the next at a time between them.
// Halved when the span of two far-apart times overflows.
double between(const ScheduleRow& from, const ScheduleRow& to, double t) {
  const double span = to.time - from.time;
  const double fraction =
      std::isfinite(span) ? (t - from.time) / span : (t / 2 - from.time / 2) / (to.time / 2 - from.time / 2);
  return from.temperature + (to.temperature - from.temperature) * std::clamp(fraction, 0.0, 1.0);
}

// The rows as numbers, refusing a time or temperature that is not a finite
// number, a temperature not above 0 K, times that decrease and a third row at
// one time.
std::vector<ScheduleRow> checkedRows(const std::vector<ScheduleRowText>& given, const std::string& fileName) {
  // Every row goes into the run report; a schedule is a few rows per cycle.
  constexpr std::size_t kMaxScheduleRows = 100000;
  if (given.size() > kMaxScheduleRows)
    throw InputError(fileName + ": " + formatInteger(static_cast<long long>(given.size())) +
                     " rows; a schedule has at most " + formatInteger(static_cast<long long>(kMaxScheduleRows)));
  std::vector<ScheduleRow> rows;
  for (const ScheduleRowText& row : given) {
    const std::optional<double> time = parseReal(row.time);
    if (!time || !std::isfinite(*time))
      refuseLine(fileName, row.line, row.shown, "the time is not a number of seconds");
    const std::optional<double> temperature = parseReal(row.temperature);
    if (!temperature || !std::isfinite(*temperature))
      refuseLine(fileName, row.line, row.shown, "the temperature is not a number of kelvins");
    if (!(*temperature > 0)) refuseLine(fileName, row.line, row.shown, "the temperature must be above 0 K");
    if (!rows.empty()) {
      const ScheduleRow& before = rows.back();
      if (*time < before.time)
        refuseLine(fileName, row.line, row.shown,
                   "the times must increase (line " + formatInteger(before.line) + " is at " +
                       formatGeneral(before.time) + " s)");
      if (*time == before.time && rows.size() >= 2 && rows[rows.size() - 2].time == *time)
        refuseLine(fileName, row.line, row.shown, "a third row at the same time (a step takes two rows)");
    }
    rows.push_back({*time, *temperature, row.line});
  }
  return rows;
}

}  // namespace

TemperatureSchedule::TemperatureSchedule(std::vector<ScheduleRow> rows, std::string source, std::string sha256)
    : rows_(std::move(rows)), source_(std::move(source)), sha256_(std::move(sha256)) {}

TemperatureSchedule TemperatureSchedule::withCycles(const TemperatureSchedule* leading, const ThermalCycles& cycles,
                                                    double start) {
  TemperatureSchedule schedule = leading ? *leading : TemperatureSchedule({}, {}, {});
  const double cyclesStart = schedule.rows_.empty() ? start : schedule.rows_.back().time;
  schedule.cycles_ = cycles.startingAt(cyclesStart);
  return schedule;
}

double TemperatureSchedule::rowsAt(double t) const {
  if (rows_.empty()) return 0;
  // The first row after t: at a step both rows at t lie before it, so the
  // second one holds from the step on.
  const auto after =
      std::upper_bound(rows_.begin(), rows_.end(), t, [](double v, const ScheduleRow& row) { return v < row.time; });
  if (after == rows_.begin()) return rows_.front().temperature;
  const ScheduleRow& from = *(after - 1);
  if (after == rows_.end()) return from.temperature;
  const ScheduleRow& to = *after;
  return between(from, to, t);
}

double TemperatureSchedule::rowsBefore(double t) const {
  if (rows_.empty()) return 0;
  // The first row at or after t: at a step, its first row.
  const auto notBefore =
      std::lower_bound(rows_.begin(), rows_.end(), t, [](const ScheduleRow& row, double v) { return row.time < v; });
  if (notBefore == rows_.begin()) return rows_.front().temperature;
  const ScheduleRow& from = *(notBefore - 1);
  if (notBefore == rows_.end()) return from.temperature;
  const ScheduleRow& to = *notBefore;
  return between(from, to, t);
}

// With cycles, the rows answer strictly before the cycles' start (and, for
// the left limit, at it), the cycles from their start on.
double TemperatureSchedule::temperatureAt(double t) const {
  if (cycles_ && (t >= cycles_->start() || rows_.empty())) return cycles_->temperatureAt(t);
  return rowsAt(t);
}

double TemperatureSchedule::temperatureBefore(double t) const {
  if (cycles_ && (t > cycles_->start() || rows_.empty())) return cycles_->temperatureBefore(t);
  return rowsBefore(t);
}

double TemperatureSchedule::nextCorner(double t) const {
  const auto after =
      std::upper_bound(rows_.begin(), rows_.end(), t, [](double v, const ScheduleRow& row) { return v < row.time; });
  const double rowCorner = after == rows_.end() ? std::numeric_limits<double>::infinity() : after->time;
  return cycles_ ? std::min(rowCorner, cycles_->nextCorner(t)) : rowCorner;
}

double TemperatureSchedule::constantFrom(double start, double end) const {
  std::vector<double> times;
  std::vector<double> temperatures;
  for (const ScheduleRow& row : rows_) {
    times.push_back(row.time);
    temperatures.push_back(row.temperature);
  }
  double from = isothermalFrom(times, temperatures, start, end);
  if (!cycles_) return from;
  const double cyclesStart = cycles_->start();
  if (!rows_.empty() && rowsBefore(cyclesStart) != cycles_->temperatureAt(cyclesStart) && cyclesStart > start &&
      cyclesStart < end)
    from = std::max(from, cyclesStart);
  return std::max(from, cycles_->constantFrom(start, end));
}

double isothermalFrom(const std::vector<double>& times, const std::vector<double>& temperatures, double start,
                      double end) {
  double from = start;
  for (std::size_t k = 1; k < times.size() && k < temperatures.size(); ++k)
    if (temperatures[k] != temperatures[k - 1] && times[k] > start && times[k - 1] < end)
      from = std::max(from, std::min(times[k], end));
  return from;
}

TemperatureSchedule parseSchedule(std::string_view text, const std::string& fileName) {
  const std::vector<std::string_view> lines = splitLines(text);
  std::size_t first = 0;
  while (first < lines.size() && blank(lines[first])) ++first;
  if (first == lines.size())
    throw InputError(fileName + ": the schedule file is empty; it needs the header time_s,T_K and one row at least");
  std::string_view header = lines[first];
  if (header.substr(0, 3) == "\xEF\xBB\xBF") header.remove_prefix(3);  // a byte-order mark some editors write
  const std::vector<std::string_view> names = splitAt(header, ',');
  if (names.size() != 2 || trimmedView(names[0]) != "time_s" || trimmedView(names[1]) != "T_K")
    refuseLine(fileName, static_cast<int>(first) + 1, lines[first], "the header must be time_s,T_K");

  std::vector<ScheduleRowText> given;
  for (std::size_t k = first + 1; k < lines.size(); ++k) {
    const std::string_view line = lines[k];
    const int number = static_cast<int>(k) + 1;
    if (blank(line)) continue;
    const std::vector<std::string_view> fields = splitAt(line, ',');
    if (fields.size() != 2) refuseLine(fileName, number, line, "a row holds a time (s) and a temperature (K)");
    given.push_back({std::string(fields[0]), std::string(fields[1]), number, std::string(line)});
  }
  if (given.empty())
    throw InputError(fileName + ": the schedule holds no row after its header; it needs one row at least");
  return TemperatureSchedule(checkedRows(given, fileName), fileName, sha256Hex(text));
}

TemperatureSchedule scheduleFromRows(const std::vector<ScheduleRowText>& rows, const std::string& source) {
  if (rows.empty()) throw InputError(source + ": the schedule holds no row; it needs one row at least");
  return TemperatureSchedule(checkedRows(rows, source), source, sha256Hex(scheduleCsv(rows)));
}

std::string scheduleCsv(const std::vector<ScheduleRowText>& rows) {
  std::string text = "time_s,T_K\n";
  for (const ScheduleRowText& row : rows) text += row.time + "," + row.temperature + "\n";
  return text;
}

TemperatureSchedule readScheduleFile(const std::string& path) {
  return parseSchedule(readWholeFile(path, "schedule"), path);
}

std::vector<OutputTime> parseOutputTimes(const std::string& text) {
  std::vector<OutputTime> times;
  if (looksLikeTimes(text)) {
    takeTimes(text, "--output-times", times);
    return times;
  }
  if (blank(text) || !std::ifstream(text))
    throw InputError("--output-times: " + quoted(text) +
                     ": neither a list of times in seconds, nor start:stop:count, nor a readable file");
  const std::string contents = readWholeFile(text, "output times");
  const std::vector<std::string_view> lines = splitLines(contents);
  for (std::size_t k = 0; k < lines.size(); ++k)
    if (!blank(lines[k])) takeTimes(lines[k], text + ", line " + formatInteger(static_cast<long long>(k) + 1), times);
  if (times.empty()) throw InputError(text + ": the output times file holds no time");
  return times;
}

std::vector<OutputTime> parseOutputTimeList(std::string_view text, const std::string& place) {
  if (blank(text)) throw InputError(place + ": " + quoted(text) + ": no output time");
  std::vector<OutputTime> times;
  takeTimes(text, place, times);
  return times;
}

std::vector<double> outputTimesWithin(const std::vector<OutputTime>& times, double startTime, double endTime) {
  std::vector<double> bare;
  for (const OutputTime& time : times) {
    if (!(time.time > startTime) || time.time > endTime)
      throw InputError(time.place + ": " + quoted(time.text) + ": the output time " + formatGeneral(time.time) +
                       " s lies outside the run, which goes from " + formatGeneral(startTime) + " s (excluded) to " +
                       formatGeneral(endTime) + " s");
    bare.push_back(time.time);
  }
  return bare;
}

}  // namespace torvex
