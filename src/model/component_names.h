#pragma once
// The names a user may give the components of a case ("Cu", "Fe", "Ni"). A
// case without them numbers its components (N1, N2, ...), as the data file
// does; with them, the results files, the run report, the charts and the
// measured-profile columns use the names beside or instead of the numbers.
// The data file itself never holds them.
//
// A name starts with a letter and holds letters, digits and underscores, at
// most kMaxComponentNameLength of them, so that it can stand in a CSV header
// and in a column name such as Ni_at_pct. Names are unique (letter case
// ignored: a column "ni_at_pct" must mean one component), and a name may not
// read as another component's number (N2) or as a column the files already
// have (x_cm, at_pct, ...).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvex {

inline constexpr std::size_t kMaxComponentNameLength = 32;

// Splits a comma-separated list ("Cu,Fe,Ni"; blanks around each name are
// dropped) and checks it as checkComponentNames does. An empty or blank list
// gives no names.
std::vector<std::string> parseComponentNames(std::string_view list, int componentCount, const std::string& where);

// Refuses names that do not fit the rules above or whose count is not
// componentCount. Throws InputError starting with `where` (the option or
// setting that gave them, "--names") and quoting the offending text. No
// names at all are always accepted.
void checkComponentNames(const std::vector<std::string>& names, int componentCount, const std::string& where);

// The label of component i (0-based): its name, or N<i+1> without names.
std::string componentLabel(const std::vector<std::string>& names, int i);

// The component (0-based) a label stands for: a name (letter case ignored),
// N<k> or the bare number k, within componentCount when it is given
// (0: any number). None otherwise.
std::optional<int> componentOfLabel(std::string_view label, const std::vector<std::string>& names,
                                    int componentCount = 0);

// The names joined by commas, as --names takes them.
std::string joinComponentNames(const std::vector<std::string>& names);

}  // namespace torvex
