#pragma once
// A sample case changed for a test: the sample file (written into the working
// directory by WriteSampleFiles) with the value lines of some keys replaced,
// most often its end time to make a run short, written under a name of its
// own and loaded or run from there.

#include <string>
#include <utility>
#include <vector>

#include "model/data_file_keys.h"
#include "run/simulation.h"

namespace torvex::test {

// Value lines by key; each becomes the line "   " + value.
using KeyValues = std::vector<std::pair<DataKey, std::string>>;

// Writes the sample `sample` with the value lines of `values` replaced as
// `name`.
void writeSampleVariant(const std::string& sample, const KeyValues& values, const std::string& name);

// Writes the variant and loads it into `sim`.
void loadSampleVariant(Simulation& sim, const std::string& sample, const KeyValues& values,
                       const std::string& name = "short.dat");

// Runs the case `sim` holds to its end with direct hand-overs, the results
// files written as torvex-batch writes them; rethrows the error that ended
// the run.
RunSummary runToEnd(Simulation& sim);

}  // namespace torvex::test
