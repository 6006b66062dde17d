// Time of one derivative evaluation in each solver mode, on the sample cases
// with a smooth profile (no grid point flat, so nothing is skipped), beside a
// loop that streams the same r x n arrays: the floor an evaluation could
// approach.
//
//   bash bench/run-benchmarks.sh

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "model/sample_files.h"
#include "solver/cu_fe_ni.h"
#include "solver/evaluate_derivative.h"
#include "support/cu_fe_ni_reference.h"
#include "support/solver_cases.h"

namespace {

using torvex::Simulation;

// The sample files live in a scratch directory for the whole program.
class SampleDirectory {
 public:
  SampleDirectory() {
    path_ = std::filesystem::temp_directory_path() / ("torvex-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
    torvex::WriteSampleFiles();
  }
  ~SampleDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(path_.parent_path(), ignored);
    std::filesystem::remove_all(path_, ignored);
  }

 private:
  std::filesystem::path path_;
};

void evaluate(benchmark::State& state, const torvex::test::SolverCase* solverCase) {
  Simulation model;
  torvex::test::loadSolverCase(model, *solverCase);
  torvex::EvaluateDerivative(model.input, model.state);  // fills the formula caches
  for (auto _ : state) {
    torvex::EvaluateDerivative(model.input, model.state);
    benchmark::DoNotOptimize(model.state.concentrationRate.data());
    benchmark::ClobberMemory();
  }
  state.counters["points"] = model.input.pointCount;
  state.counters["components"] = model.input.componentCount;
}

// Twenty passes over r x n doubles, each reading one array and writing
// another: about the memory traffic of the simplest evaluation.
void copyLoop(benchmark::State& state) {
  constexpr int r = 3, n = 200, passes = 20;
  torvex::Table2<double> a, b;
  a.resize(r, n);
  b.resize(r, n);
  a.fill(1.0);
  for (auto _ : state) {
    for (int pass = 0; pass < passes; ++pass) {
      for (int i = 0; i < r; ++i)
        for (int k = 0; k < n; ++k) b[i][k] = a[i][k] + pass;
      benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(b.data());
  }
}

// The Cu-Fe-Ni activities of the first sample case at its 200 points: the
// six derivatives of every point, as the formulas are written (one fit
// evaluation per component and stencil point) or with the shared work done
// once, as the solver does, on each vector path of the processor.
const torvex::Table2<double>& cuFeNiRatios() {
  static const torvex::Table2<double> ratios = [] {
    Simulation model;
    torvex::test::loadSolverCase(model, torvex::test::solverCases().front());
    torvex::EvaluateDerivative(model.input, model.state);
    return model.state.molarRatio;
  }();
  return ratios;
}

void cuFeNiStraightforward(benchmark::State& state) {
  const torvex::Table2<double>& N = cuFeNiRatios();
  for (auto _ : state)
    for (int k = 0; k < N.columns(); ++k)
      for (int q = 0; q < 3; ++q)
        for (int l = 0; l < 2; ++l)
          benchmark::DoNotOptimize(torvex::test::cuFeNiPotentialDerivative(q, l, N[0][k], N[1][k]));
}

// All 200 points at once on the vector path of `bits`, as the solver
// evaluates them.
void cuFeNiVectorPath(benchmark::State& state, int bits) {
  const torvex::Table2<double>& N = cuFeNiRatios();
  std::vector<torvex::CuFeNiPhi> phi(static_cast<std::size_t>(N.columns()));
  for (auto _ : state) {
    torvex::cuFeNiPotentialDerivativesOnPath(bits, N[0], N[1], N.columns(), phi.data());
    benchmark::DoNotOptimize(phi.data());
    benchmark::ClobberMemory();
  }
}

}  // namespace

int main(int argc, char** argv) {
  SampleDirectory samples;
  for (const auto& solverCase : torvex::test::solverCases())
    benchmark::RegisterBenchmark(("EvaluateDerivative/" + solverCase.name).c_str(), evaluate, &solverCase)
        ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("CopyLoop/3x200 x20", copyLoop)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("CuFeNiActivities/straightforward", cuFeNiStraightforward)
      ->Unit(benchmark::kMicrosecond);
  for (int bits : {512, 256, 128})
    if (torvex::cuFeNiVectorPathRuns(bits))
      benchmark::RegisterBenchmark(("CuFeNiActivities/" + std::to_string(bits) + "-bit path").c_str(), cuFeNiVectorPath,
                                   bits)
          ->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
