// An evaluation of the derivative, and a whole pass of the time loop around
// six of them, allocate nothing once warmed up: every array exists from the
// start of the run, the formula lines are split in place, and a formula with variables
// is evaluated from the form it was compiled to on its first evaluation.
// (The records and files written after an accepted pass are text and do
// allocate.)
//
// This program replaces the global allocation functions to count calls, so
// it is built on its own.

#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "model/sample_files.h"
#include "run/integrator.h"
#include "solver/evaluate_derivative.h"
#include "support/solver_cases.h"
#include "support/test_files.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace torvex {
namespace {

TEST(Allocation, AnEvaluationAllocatesNothing) {
  test::ScratchDirectory dir;
  test::ScopedWorkingDirectory cwd(dir.path());
  WriteSampleFiles();
  int checked = 0;
  for (const test::SolverCase& solverCase : test::solverCases())
    for (const DifferenceScheme scheme : {DifferenceScheme::Central, DifferenceScheme::Conservative}) {
      Simulation m;
      test::loadSolverCase(m, solverCase);
      m.input.differenceScheme = scheme;
      EvaluateDerivative(m.input, m.state);  // the first evaluation fills the caches and compiles the formulas
      const long before = allocations.load();
      for (int pass = 0; pass < 6; ++pass) EvaluateDerivative(m.input, m.state);
      EXPECT_EQ(allocations.load() - before, 0) << solverCase.name << ", difference scheme " << keyValue(scheme);
      ++checked;
    }
  EXPECT_GE(checked, 18);
}

// The loop's own work between the hand-overs: normalisation, the floor, the
// stage combinations, the error test, step control.
class SolverOnlyHost : public RunHost {
 public:
  explicit SolverOnlyHost(Simulation& m) : m_(m) {}
  void InitRecords() override {}
  void EvaluateDerivative() override { torvex::EvaluateDerivative(m_.input, m_.state); }
  void Refresh() override {}
  void EndOfRun(const RunSummary&) override {}

 private:
  Simulation& m_;
};

TEST(Allocation, APassOfTheTimeLoopAllocatesNothing) {
  test::ScratchDirectory dir;
  test::ScopedWorkingDirectory cwd(dir.path());
  WriteSampleFiles();
  for (const char* sample : {"interdiffusion.dat", "oxidation.dat"})
    for (const DifferenceScheme scheme : {DifferenceScheme::Central, DifferenceScheme::Conservative}) {
      Simulation m;
      m.load(sample);
      m.input.differenceScheme = scheme;
      SolverOnlyHost host(m);
      RungeKuttaIntegrator integrator(m.input, m.state);
      integrator.pass(host);
      const long before = allocations.load();
      for (int pass = 0; pass < 5; ++pass) integrator.pass(host);
      EXPECT_EQ(allocations.load() - before, 0) << sample << ", difference scheme " << keyValue(scheme);
    }
  // The cases whose formulas have variables, from a smooth profile so that
  // every point evaluates them.
  for (const test::SolverCase& solverCase : test::solverCases()) {
    if (!solverCase.variableFormulas) continue;
    Simulation m;
    test::loadSolverCase(m, solverCase);
    SolverOnlyHost host(m);
    RungeKuttaIntegrator integrator(m.input, m.state);
    integrator.pass(host);
    const long before = allocations.load();
    for (int pass = 0; pass < 3; ++pass) integrator.pass(host);
    EXPECT_EQ(allocations.load() - before, 0) << solverCase.name;
  }
}

}  // namespace
}  // namespace torvex
