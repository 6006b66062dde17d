// Fuzz target: reading a fit file. Any bytes must give either a fit that
// keeps the reader's promises (a case, at least one parameter and one
// profile, bounds that hold the initial value, positive log-scale values,
// times, uncertainties and weights) or an InputError.

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "model/errors.h"
#include "study/fit_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  const std::string_view text = fuzz::textOf(data, size);
  FitConfig config;
  try {
    config = parseFitConfig(text, "fit.toml");
  } catch (const InputError&) {
    return 0;
  }
  fuzz::require(!config.casePath.empty() && !config.parameters.empty() && !config.profiles.empty());
  fuzz::require(config.step > 0 && config.step <= 0.5 && config.maxIterations >= 0);
  for (const FitParameterSetting& p : config.parameters) {
    fuzz::require(!p.name.empty() && std::isfinite(p.initial));
    fuzz::require(!p.lower || *p.lower <= p.initial);
    fuzz::require(!p.upper || p.initial <= *p.upper);
    fuzz::require(!p.logScale || (p.initial > 0 && (!p.lower || *p.lower > 0)));
  }
  for (const FitProfileSetting& p : config.profiles) {
    fuzz::require(!p.file.empty() && p.timeS > 0 && p.weight > 0 && std::isfinite(p.shiftUm));
    fuzz::require(!p.uncertainty || *p.uncertainty > 0);
  }
  return 0;
}
