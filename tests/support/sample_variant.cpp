#include "support/sample_variant.h"

#include <stdexcept>

#include "model/text_list.h"
#include "run/refresh.h"

namespace torvex::test {

void writeSampleVariant(const std::string& sample, const KeyValues& values, const std::string& name) {
  TextList data;
  data.loadFromFile(sample);
  std::vector<std::string> lines = data.lines();
  for (const auto& [key, value] : values) {
    const auto at = valueLineIndex(lines, key);
    if (!at) throw std::runtime_error(sample + " has no value line of key " + keyName(key));
    lines[*at] = "   " + value;
  }
  TextList variant;
  for (std::string& line : lines) variant.add(std::move(line));
  variant.saveToFile(name);
}

void loadSampleVariant(Simulation& sim, const std::string& sample, const KeyValues& values, const std::string& name) {
  writeSampleVariant(sample, values, name);
  sim.load(name);
}

RunSummary runToEnd(Simulation& sim) {
  DirectRunHost host(sim);
  const RunSummary summary = Execute(sim, host);
  if (summary.failure) std::rethrow_exception(summary.failure);
  return summary;
}

}  // namespace torvex::test
