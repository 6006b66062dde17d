#pragma once
// A run that starts later than t = 0 goes on from an earlier run: its data
// file is the continue.dat that run left (`torvex-batch results/continue.dat`).
// When the results folder holds that run's history, series and records, the
// later run continues them (appends its saves, passes and record lines after
// theirs) instead of replacing them, so that the folder holds one history
// from t = 0, as if the run had never stopped. A file that is not the
// history of a run up to the continuation's start (it holds later times, or
// another layout) is kept under another name (setEarlierFileAside), never
// replaced.

#include <optional>
#include <string>
#include <string_view>

#include "results/records.h"

namespace torvex {

enum class EarlierFile {
  None,       // no such file
  Continues,  // a history up to the start: the run appends to it
  Unrelated,  // anything else: set aside
};

// Examines the file at path for a run that starts at `start` (s): Continues
// when it is a regular file whose first line is firstLine and whose last
// whole line is a header line or starts with a time no later than start
// (the first field, up to `separator`); a torn last line (without its line
// end, left by a run killed while appending) is then cut off. Reads only the
// file's first and last lines.
EarlierFile continueEarlierFile(const std::string& path, std::string_view firstLine, char separator, double start);

// Renames the file at path to path + ".earlier" (".earlier2", ... when that
// is taken). Returns the new name. Throws FileWriteError naming the file.
std::string setEarlierFileAside(const std::string& path);

// Before a continuation's first pass: each record of the results folder that
// continues (continueEarlierFile) replaces the record's opening lines, so the
// run adds its lines after the earlier run's; one that does not is set
// aside. Throws FileWriteError naming a file that cannot be set aside.
void continueEarlierRecords(const std::string& folder, double start, RunRecords& records);

}  // namespace torvex
