// Fuzz target: reading a measured profile. Any bytes must give either a
// profile that keeps the reader's promises (a position per row, one value per
// row in every component column, every value a finite percentage) or an
// InputError naming the file and the line; and the misfit against a
// simulated profile must then be computed without a fault. With the
// components named, every file read without names reads the same, and the
// names' own rules hold for the first line taken as a list of names.

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "model/component_names.h"
#include "model/errors.h"
#include "model/measured_profile.h"
#include "results/units.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  const std::string_view text = fuzz::textOf(data, size);
  const std::string name = "measured.csv";
  // The first line as the names of three components: refused naming the
  // option, or names a header can hold that read back as themselves.
  const std::string_view firstLine = text.substr(0, text.find('\n'));
  try {
    const std::vector<std::string> names = parseComponentNames(firstLine, 3, "--names");
    for (std::size_t i = 0; i < names.size(); ++i) {
      fuzz::require(!names[i].empty() && names[i].find_first_of(",\r\n\t \"") == std::string::npos);
      fuzz::require(componentOfLabel(names[i], names) == static_cast<int>(i));
    }
  } catch (const InputError& error) {
    fuzz::require(std::string_view(error.what()).starts_with("--names: "));
  }

  MeasuredProfileOptions named;
  named.componentNames = {"Cu", "Fe", "Ni"};
  MeasuredProfile profile;
  try {
    profile = ParseMeasuredProfile(text, name);
  } catch (const InputError& error) {
    fuzz::require(std::string_view(error.what()).starts_with(name + ", line "));
    try {
      ParseMeasuredProfile(text, name, named);
    } catch (const InputError& namedError) {
      fuzz::require(std::string_view(namedError.what()).starts_with(name + ", line "));
    }
    return 0;
  }
  fuzz::require(ParseMeasuredProfile(text, name, named).components == profile.components);
  fuzz::require(!profile.components.empty() && !profile.positionCm.empty());
  fuzz::require(profile.percent.size() == profile.components.size());
  for (const auto& column : profile.percent) {
    fuzz::require(column.size() == profile.positionCm.size());
    for (const double value : column) fuzz::require(value >= 0.0 && value <= 100.0);
  }
  for (const double x : profile.positionCm) fuzz::require(std::isfinite(x));

  // A three-component simulated profile over 0 .. 0.01 cm.
  const std::vector<double> position = {0.0, 0.0025, 0.005, 0.0075, 0.01};
  const std::vector<std::vector<double>> simulated = {{90, 70, 50, 30, 10}, {5, 15, 25, 35, 45}, {5, 15, 25, 35, 45}};
  try {
    const ProfileMisfit misfit = MeasuredMisfit(profile, position, simulated);
    fuzz::require(misfit.pointsUsed + misfit.pointsOutside == profile.positionCm.size() * profile.components.size());
    fuzz::require(misfit.pointsUsed == 0 || (misfit.rmsPercent >= 0.0 && misfit.rmsPercent <= 100.0));
  } catch (const InputError&) {
    // A component the simulation does not have.
  }
  return 0;
}
