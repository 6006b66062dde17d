#pragma once
// The sample cases in every solver mode, for regression tests, allocation
// checks and benchmarks. Each case loads a sample data file from the working
// directory (which must hold the sample files), replaces the initial step by
// a smooth profile, as it looks part-way through a run, so that no grid point
// is flat, and then switches the modes it names.

#include <string>
#include <string_view>
#include <vector>

#include "run/simulation.h"

namespace torvex::test {

struct SolverCase {
  std::string name;
  std::string dataFile;               // "interdiffusion.dat" or "oxidation.dat"
  void (*adjust)(Simulation& model);  // the mode changes after the load
  // Whether the case evaluates formulas with variables at every point (the
  // formula parser then does its own work at each evaluation).
  bool variableFormulas = false;
};

const std::vector<SolverCase>& solverCases();

// The formula lines (the lines that are not comments) of a sample side file.
std::vector<std::string> sampleFormulas(std::string_view name);

// Loads and prepares `solverCase` into model.
void loadSolverCase(Simulation& model, const SolverCase& solverCase);

}  // namespace torvex::test
