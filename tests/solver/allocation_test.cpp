// An evaluation of the derivative allocates nothing: every array exists from
// the load, and the formula lines are split in place. (Formulas with
// variables are the exception: the formula parser works on its own text.)
//
// This program replaces the global allocation functions to count calls, so
// it is built on its own.

#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "run/sample_files.h"
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
  for (const test::SolverCase& solverCase : test::solverCases()) {
    if (solverCase.variableFormulas) continue;
    TForm1 m;
    test::loadSolverCase(m, solverCase);
    EvaluateDerivative(m);  // the first evaluation fills the formula caches
    const long before = allocations.load();
    for (int pass = 0; pass < 6; ++pass) EvaluateDerivative(m);
    EXPECT_EQ(allocations.load() - before, 0) << solverCase.name;
    ++checked;
  }
  EXPECT_GE(checked, 6);
}

}  // namespace
}  // namespace torvex
