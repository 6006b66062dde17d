#pragma once
// A map of one result of a sweep over two of its parameters, read from the
// sweep's summary.csv: one cell per (X, Y) pair holding the value of Z, a
// case whose life was not reached or that did not complete told apart from
// a value, a pair the summary does not hold left blank. Building it needs no
// toolkit, so the numbers drawn, those of the CSV table beside the image and
// those tested are one and the same.

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace torvex::plot {

// A CSV table as a sweep's summary writes it: the header and one record per
// case, each with the line it begins on (a quoted field may hold line
// breaks, so a record may span lines).
struct SummaryTable {
  std::string file;
  std::vector<std::string> header;
  struct Record {
    int line = 0;
    std::vector<std::string> cells;
    std::string text;  // the record's first line as written, for messages
  };
  std::vector<Record> records;
};

// Most fields a summary may hold, all records together: a sweep of 20 000
// cases with 200 columns; more would take memory out of proportion to a
// file of a few megabytes (an empty field costs a string).
inline constexpr std::size_t kMaxSummaryFields = 4000000;

// Reads the CSV text (RFC 4180: quoted fields with "" for a quote; LF or
// CR LF line ends; blank lines skipped). Throws InputError naming `file`,
// the line and its text for an empty text, a quote left open, text after a
// closing quote, or a record with more fields than the header; and naming
// the file when it holds more than kMaxSummaryFields fields.
SummaryTable ParseSummary(std::string_view text, const std::string& file);
// ParseSummary of the file at path; a file that cannot be read, is no
// regular file or is larger than 64 MiB is an InputError naming it.
SummaryTable ReadSummary(const std::string& path);

// The three columns of a map: X across, Y up, Z in the cells.
struct MapColumns {
  std::string x, y, z;
};
// Reads "X,Y,Z" (three column names, none empty, X and Y different).
// Throws InputError naming `place` and the text.
MapColumns ParseMapColumns(std::string_view text, const std::string& place);

enum class CellState {
  Value,       // the case gave a number
  NotReached,  // completed without reaching its critical content
  Failed,      // the case did not complete (status says how)
  Blank,       // the summary holds no value for the pair
};

struct MapCell {
  CellState state = CellState::Blank;
  double value = std::numeric_limits<double>::quiet_NaN();  // in the summary's unit
  std::string status;                                       // the case's status when it failed ("failed", "timed_out")
  int line = 0;                                             // of its record; 0 for a pair the summary lacks
};

struct ValueMap {
  std::string file;
  MapColumns columns;
  std::vector<double> xs, ys;                 // ascending, distinct
  std::vector<std::string> xLabels, yLabels;  // the values as the summary wrote them
  std::vector<MapCell> cells;                 // [iy * xs.size() + ix]
  // The values are shown divided by `scale`, in `unit` (a life in seconds
  // that runs to hours is shown in hours; other columns as they are).
  double scale = 1.0;
  std::string unit;
  std::string title;   // "Life over W and T"
  std::string zTitle;  // "life [h]"
  // The colour scale: from low to high (shown units, over the cells with a
  // value), logarithmic when every value is positive and they span a decade
  // or more.
  double low = 0.0, high = 1.0;
  bool logColour = false;

  [[nodiscard]] const MapCell& at(std::size_t ix, std::size_t iy) const { return cells[iy * xs.size() + ix]; }
  [[nodiscard]] bool has(CellState state) const;
};

// Most distinct values on one axis of a map: beyond it the cells are too
// small to hold their numbers.
inline constexpr std::size_t kMaxMapValues = 100;

// The map of table's column Z over X and Y. Throws InputError naming the
// file, the line and the offending text when a column is missing, a value of
// X or Y is not a number, a value of Z is neither a number nor empty, more
// than one record has the same pair (a third parameter was swept: its name is
// given), or an axis has more than kMaxMapValues values. A record whose status
// column says "missing" counts as absent; one whose status is other than
// "completed" is a failed cell; an empty Z of a completed case is a life not
// reached when Z is a life column (its name begins with "life"), else blank.
ValueMap BuildValueMap(const SummaryTable& table, const MapColumns& columns);

// What a cell shows: the value in the map's unit (three significant digits,
// whole numbers from 100 on), "not reached", the status of a failed case
// ("failed", "timed out"), or nothing.
std::string CellText(const ValueMap& map, const MapCell& cell);
// Where a value (shown units) lies on the colour scale, 0 to 1.
double ColourFraction(const ValueMap& map, double shown);
// The colour of a fraction of the scale: dark blue-violet (short) through
// teal to yellow (long), readable in grey and by the colour-blind.
std::uint32_t MapColour(double fraction);

// The map as a table: the first row "Y \ X" and the X values, then one row
// per Y value (ascending) with the values of Z in the summary's unit to full
// precision, "not reached", the failed status or nothing. Full stop, LF.
std::string ValueMapCsv(const ValueMap& map);

// The file-name stem of a map: "map_<Z>_<X>_<Y>", any character other than
// a letter, digit, '-' or '_' replaced by '_'.
std::string ValueMapStem(const MapColumns& columns);

}  // namespace torvex::plot
