// Implicit steppers in parallel threads give bit for bit what they give one
// after the other: every SUNDIALS object, the context included, belongs to
// one stepper. Built into the parallel-runs program so the ThreadSanitizer
// stage runs it.

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "run/bdf_stepper.h"
#include "support/grid_diffusion.h"

namespace torvex {
namespace {

// One couple diffused to t = 1, with a different diffusivity per index.
std::vector<double> diffuse(int index) {
  const test::GridDiffusion grid{300, 100.0 * (index + 1)};
  BdfSettings settings;
  settings.relativeTolerance = 1e-7;
  settings.absoluteTolerance = 1e-9;
  BdfStepper stepper(grid.system(index % 2 == 0), settings, 0.0, test::stepProfile(grid.n, 1.0, 0.0));
  while (stepper.time() < 1.0) stepper.step(1.0);
  return {stepper.state().begin(), stepper.state().end()};
}

TEST(BdfParallel, FourSteppersInFourThreadsMatchTheirSequentialRuns) {
  constexpr int kCount = 4;
  std::vector<std::vector<double>> sequential;
  for (int i = 0; i < kCount; ++i) sequential.push_back(diffuse(i));

  std::vector<std::vector<double>> parallel(kCount);
  std::vector<std::thread> threads;
  for (int i = 0; i < kCount; ++i) threads.emplace_back([i, &parallel] { parallel[i] = diffuse(i); });
  for (std::thread& thread : threads) thread.join();

  for (int i = 0; i < kCount; ++i) EXPECT_EQ(parallel[i], sequential[i]) << "stepper " << i;
  EXPECT_NE(sequential[0], sequential[1]);
}

}  // namespace
}  // namespace torvex
