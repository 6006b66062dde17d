// Fuzz target: reading a data file into the parameter forms (without the
// forms). The reader must take any lines, and what it hands the forms must
// keep the promises the forms rely on: at least two components and three
// grid points, one box per component, no more profile rows than initial
// points, and grid rows of r + 3 cells only for at most nine points.

#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "model/case.h"
#include "model/number_format.h"
#include "ui/form_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  const auto lines = fuzz::linesOf(fuzz::textOf(data, size));
  const FormValues v = ReadFormValues(lines);

  const int components = v.components.value_or(2);
  fuzz::require(components >= 2);
  if (v.gridPoints) fuzz::require(parseInteger(*v.gridPoints).value_or(0) >= 3);
  const auto boxes = static_cast<std::size_t>(std::min(components, Case::kMaxComponents));
  if (v.molarMasses) fuzz::require(v.molarMasses->size() == boxes);
  if (v.molarVolumes) fuzz::require(v.molarVolumes->size() == boxes);
  const int points = v.initialPoints.value_or(0);
  fuzz::require(v.profileRows.size() <= static_cast<std::size_t>(std::max(points, 0)));
  if (!v.gridRows.empty()) {
    fuzz::require(points <= 9 && v.gridRows.size() == v.profileRows.size());
    for (const auto& row : v.gridRows) fuzz::require(row.size() == static_cast<std::size_t>(components) + 3);
  }
  return 0;
}
