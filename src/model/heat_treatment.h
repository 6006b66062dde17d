#pragma once
// A heat treatment as it is done: the temperature as a function of time (a
// schedule read from a CSV file) and the times at which the results are
// wanted. Both are optional inputs of a run; without them the temperature is
// the single value of key D8 and results are written every D17 passes.

#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/thermal_cycles.h"

namespace torvex {

// One row of a schedule: T (K) at time t (s), and the line it came from.
struct ScheduleRow {
  double time = 0;
  double temperature = 0;
  int line = 0;
};

// A piecewise-linear T(t) through the rows, constant before the first row and
// after the last. Two rows at the same time are a step: at that time and
// after it the second row holds. Times never decrease.
//
// Thermal cycles may follow the rows (a pre-oxidation, then cycling): the
// rows hold until the time of the last row, where the cycles start; with
// cycles alone the rows are empty. Whichever it is, the run asks the same
// three questions: T at a time, T just before it, and the next corner.
class TemperatureSchedule {
 public:
  TemperatureSchedule(std::vector<ScheduleRow> rows, std::string source, std::string sha256 = {});
  // The rows of `leading` (none when null) followed by `cycles`, which start
  // at the last row's time, or at `start` (s, the run's start) without rows.
  static TemperatureSchedule withCycles(const TemperatureSchedule* leading, const ThermalCycles& cycles, double start);

  // T (K) at time t (s).
  [[nodiscard]] double temperatureAt(double t) const;
  // T (K) just before time t: the same but at a step, where it is the first
  // row of the step (the temperature a pass ending at the step is under).
  [[nodiscard]] double temperatureBefore(double t) const;
  // The earliest row time strictly after t (a corner of T(t) that no pass
  // may step over), or +infinity when none is left.
  [[nodiscard]] double nextCorner(double t) const;

  // The time from which T stays constant up to `end`, not before `start`:
  // isothermalFrom of the rows, or with cycles the end of the last ramp or
  // step of either (the step onto the cycles included).
  [[nodiscard]] double constantFrom(double start, double end) const;

  // The rows; with cycles, those before the cycles start.
  [[nodiscard]] const std::vector<ScheduleRow>& rows() const { return rows_; }
  // The cycles after the rows, with their start set; none for a plain schedule.
  [[nodiscard]] const std::optional<ThermalCycles>& cycles() const { return cycles_; }
  // The file the rows were read from.
  [[nodiscard]] const std::string& source() const { return source_; }
  // SHA-256 (hex) of the text the rows were read from, for the run report.
  [[nodiscard]] const std::string& sha256() const { return sha256_; }

 private:
  // T of the rows alone, at t or just before t.
  [[nodiscard]] double rowsAt(double t) const;
  [[nodiscard]] double rowsBefore(double t) const;

  std::vector<ScheduleRow> rows_;
  std::string source_;
  std::string sha256_;
  std::optional<ThermalCycles> cycles_;
};

// A row of a schedule as it was given, before it is checked: the time and
// the temperature as texts, and where it stands (a line of a CSV file, or of
// a study or fit file that gives its rows inline).
struct ScheduleRowText {
  std::string time;
  std::string temperature;
  int line = 0;
  std::string shown;  // the text of that line, quoted in messages
};

// The schedule of rows given inline, checked as parseSchedule checks a
// file's rows; `source` names where they stand and each row's line is its
// own. The digest is that of scheduleCsv(rows), the file such a run reads.
TemperatureSchedule scheduleFromRows(const std::vector<ScheduleRowText>& rows, const std::string& source);

// The rows as a schedule file: the header time_s,T_K, then the texts as
// given, LF line ends.
std::string scheduleCsv(const std::vector<ScheduleRowText>& rows);

// The time from which a schedule's temperature stays constant to `end`: the
// end of its last ramp or step between `start` and `end`, or `start` when the
// temperature does not change over that span. `times` and `temperatures` are
// the rows'. The time laws of a run (parabolic scale growth, the square root
// of t of the Kirkendall plane) hold only after it.
double isothermalFrom(const std::vector<double>& times, const std::vector<double>& temperatures, double start,
                      double end);

// Reads a schedule: the header "time_s,T_K", then one "time,temperature" row
// per line; blank lines are skipped, CR LF line ends accepted. Throws
// InputError naming `fileName`, the line and its text when the file is empty,
// the header is wrong, a field is not a number, a time is not finite, the
// times decrease or three rows share a time, or a temperature is not above
// 0 K.
TemperatureSchedule parseSchedule(std::string_view text, const std::string& fileName);

// parseSchedule of a file; an unreadable file is an InputError naming it.
TemperatureSchedule readScheduleFile(const std::string& path);

// A time at which results are wanted, with where it was given (for messages).
struct OutputTime {
  double time = 0;
  std::string place;  // "--output-times" or "FILE, line N"
  std::string text;   // the text that gave it
};

// The times of `--output-times`: a comma-separated list whose items are
// times in seconds or even spacings "start:stop:count" (count times from
// start to stop, both included; count 1 gives start): "600,1800,3600",
// "0:3600:7", "10,60:600:10"; or, when the text is none of these, the path of
// a file holding such lists on its lines. Throws InputError naming the text, or the file, the line and the
// text, when a time is not a finite number, the times do not increase, a
// count is not a whole number of at least 1, there are more than 10 000
// times, or the file cannot be read or holds no time; and for a spacing
// that reads as written from another habit (a count equal to its start or
// stop, or steps that six significant digits do not give exactly, as
// 3600:39600:3600), spelling out what it would mean and what to write.
std::vector<OutputTime> parseOutputTimes(const std::string& text);

// The times of a list as parseOutputTimes reads one, never a file; `place`
// names where the list stands in messages ("fit.toml, line 4"). Throws
// InputError as parseOutputTimes does, and for a list with no time.
std::vector<OutputTime> parseOutputTimeList(std::string_view text, const std::string& place);

// Refuses an output time outside the run: at or before its start (no pass
// ends there) or after its end. Returns the bare times.
std::vector<double> outputTimesWithin(const std::vector<OutputTime>& times, double startTime, double endTime);

}  // namespace torvex
