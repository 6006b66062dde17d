#pragma once
// What every Torvex program says the same way on its command line: its
// version, and a suggestion for an option it does not know.

#include <string>
#include <string_view>
#include <vector>

namespace torvex {

// The lines of `PROGRAM --version`: the version, the revision of the sources,
// the build type, the width of the vector path this processor takes, and how
// to cite the program. Ends with a line end.
std::string versionText(std::string_view program);

// The known option nearest to `given` by the optimal string alignment
// distance (insertions, deletions, substitutions and swaps of two neighbours
// each count 1), when it is near enough to be the one meant: at most 2 edits,
// and fewer than a third of its length. Empty otherwise, or when two options
// are equally near.
std::string closestOption(std::string_view given, const std::vector<std::string_view>& known);

// "unknown option '--qiuet'", with " (did you mean '--quiet'?)" when an option
// is near enough.
std::string unknownOptionMessage(std::string_view given, const std::vector<std::string_view>& known);

// The first executable file of that name in the folders of PATH; empty when
// there is none.
std::string findOnPath(const std::string& name);

}  // namespace torvex
