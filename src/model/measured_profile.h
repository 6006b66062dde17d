#pragma once
// Measured concentration profiles (a microprobe line scan, say) to set beside
// a simulated one: the file format, its reader, and the misfit between the
// two.
//
// The file is text with comma-separated columns (a semicolon or a tab also
// separates when the header uses it). Blank lines and lines starting with '#'
// are skipped anywhere. The first other line is the header:
//   - one position column named x_um, x_mm or x_cm: the name gives the unit;
//   - one column per measured component, named N1, N2, ... or by the bare
//     component number 1, 2, ..., or by the component's name when the case
//     names its components (Ni, letter case ignored); a name may end in _at_pct or _wt_pct to say
//     whether the values are atomic or weight percent (every column must then
//     say the same); a column named at_pct or wt_pct alone is not a
//     component but the flag for all of them (its cells are ignored).
// Each further line holds as many cells as the header, every cell a number
// with a full stop, or with a decimal comma when semicolons or tabs separate
// the cells. Components not measured are simply absent.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvex {

enum class CompositionBasis { Atomic, Weight };

struct MeasuredProfileOptions {
  // The basis when the file does not name one; a file that names one must
  // agree with it. Atomic percent when neither says.
  std::optional<CompositionBasis> basis;
  // Added to every measured position (cm): the origin of a line scan is
  // arbitrary, the simulation's is the left end of the sample.
  double shiftCm = 0.0;
  // The names of the case's components (component_names.h), which columns
  // may use instead of the numbers; empty when it has none.
  std::vector<std::string> componentNames;
};

struct MeasuredProfile {
  std::string fileName;
  CompositionBasis basis = CompositionBasis::Atomic;
  std::vector<int> components;               // 0-based component of each value column
  std::vector<double> positionCm;            // [rows], shift included, in file order
  std::vector<std::vector<double>> percent;  // [column][rows], at.% or wt.% per basis
};

// Files larger than this are refused: a line scan has at most some thousands
// of points, and reading a huge file by mistake must not exhaust memory.
inline constexpr std::size_t kMaxMeasuredProfileBytes = 64u * 1024u * 1024u;
// So are files of more points (rows) than this: a fit compares every point at
// every evaluation, and its overlay chart draws every one (50 000 points took
// over a minute to draw).
inline constexpr std::size_t kMaxMeasuredPoints = 20000;

// Reads the file. Throws InputError whose message names the file, the line
// and the column (1-based) and quotes the offending text: a file that cannot
// be read, binary data, an empty file, a header without a position column or
// with an unknown unit, an unknown or repeated column, a row with missing or
// extra cells, a cell that is not a number, a percentage outside 0 to 100, no
// data row, more than kMaxMeasuredPoints rows, or a basis that disagrees
// with options.basis.
MeasuredProfile ReadMeasuredProfile(const std::string& path, const MeasuredProfileOptions& options = {});

// The same rules for text held in memory; fileName is used in messages.
MeasuredProfile ParseMeasuredProfile(std::string_view text, const std::string& fileName,
                                     const MeasuredProfileOptions& options = {});

}  // namespace torvex
