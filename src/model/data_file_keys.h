#pragma once
// The keys of an input data file, in one table.
//
// A data file is read by position: after the header, every line that does not
// start with '#' is the value line of the next key, D0 … D22 (with D9a between
// D9 and D10), and then the rows of the initial profile (D23). Everything that
// needs to know which value line is which key — the loader, the forms'
// reader and writer, the sample files, the continuation file and the key
// overrides of torvex-batch — asks this table, so a new key or a changed
// comment line is one edit here.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvex {

// A key by its position among the value lines (D9a is the eleventh).
enum class DataKey : int {
  D0,
  D1,
  D2,
  D3,
  D4,
  D5,
  D6,
  D7,
  D8,
  D9,
  D9a,
  D10,
  D11,
  D12,
  D13,
  D14,
  D15,
  D16,
  D17,
  D18,
  D19,
  D20,
  D21,
  D22,
  D23,
};
inline constexpr int kDataKeyCount = 25;
// The value lines before the initial profile: D0 … D22.
inline constexpr int kValueLinesBeforeProfile = 24;

// What a value line holds, token by token, so that a value given on the
// command line can be checked before it replaces the line.
enum class ValueShape {
  Integer,               // one integer
  Real,                  // one real number
  TwoReals,              // two real numbers
  TwoIntegers,           // two integers
  PerComponentReals,     // one real number per component
  ModeAndFile,           // an integer, then a file name for the modes that read one
  SelectorAndPosition,   // a number, then a position when it is not 0
  FluxModeFileFraction,  // an integer, a file name unless it is 0, then a real number
  ProfileRows,           // the rows of the initial profile
};

struct DataFileKeyInfo {
  DataKey key;
  const char* name;  // "D9a"
  ValueShape shape;
  const char* holds;  // what the value line holds, in words
  // The key comment line written before the value line: in the sample files,
  // and by the desktop program's writer (the two have always differed a little,
  // trailing blanks included, and stored files keep them so).
  const char* sampleComment;
  const char* formsComment;
};

const std::array<DataFileKeyInfo, kDataKeyCount>& dataFileKeys();
const DataFileKeyInfo& keyInfo(DataKey key);
constexpr int position(DataKey key) {
  return static_cast<int>(key);
}
constexpr DataKey keyAt(int position) {
  return static_cast<DataKey>(position);
}
const char* keyName(DataKey key);
// The key of that name ("D8", "d8" and "D9A" are accepted), if there is one.
std::optional<DataKey> keyNamed(std::string_view name);

// Where the value line of a key stands in a data file's lines (0-based), by
// the loader's rule: lines that start with '#' after trimming are comments,
// every other line (an empty one included) is the next value line. For D23,
// the first profile row. Empty when the file ends before the key.
std::optional<std::size_t> valueLineIndex(const std::vector<std::string>& lines, DataKey key);

// Why `value` cannot stand on the value line of `key` for a case of
// `components` components (0 when not known), or empty when it can.
std::string valueShapeProblem(DataKey key, std::string_view value, int components);

}  // namespace torvex
