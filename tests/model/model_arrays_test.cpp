#include <gtest/gtest.h>

#include "model/tform1.h"

namespace torvex {
namespace {

TEST(ModelArrays, AllocateGivesComponentRowsOfContiguousPoints) {
  TForm1 model;
  model.allocateArrays(3, 5);
  EXPECT_EQ(model.concentration.rows(), 3);
  EXPECT_EQ(model.concentration.columns(), 5);
  // Row i starts right after row i-1 ends.
  EXPECT_EQ(model.molarRatio[1], model.molarRatio[0] + 5);
  EXPECT_EQ(&model.onsagerCoefficient[1][2][0], &model.onsagerCoefficient[0][0][0] + (1 * 3 + 2) * 5);
  EXPECT_EQ(model.position.size(), 5u);
  EXPECT_EQ(model.molarMass.size(), 3u);
  EXPECT_EQ(model.activityFormulas.size(), 9u);
  EXPECT_EQ(model.boundaryFluxCache.rows(), 2);
  EXPECT_EQ(model.boundaryFluxCache.columns(), 3);
}

TEST(ModelArrays, ClearZeroesNumbersAndInvalidatesEveryCache) {
  TForm1 model;
  model.allocateArrays(2, 4);
  model.concentration[1][3] = 7;
  model.darkenVelocity[2] = 7;
  model.onsagerCoefficient[1][1][3] = 7;
  model.diffusivityFormulaCache[1] = {7, true};
  model.diffusivityMatrixCache[1][0] = {7, true};
  model.oxidationConstantCache[4] = {7, true};
  model.boundaryFluxCache[1][1] = {7, true};
  model.activityFormulaCache[0][1] = {7, true};
  model.clearArrays();
  EXPECT_EQ(model.concentration[1][3], 0.0);
  EXPECT_EQ(model.darkenVelocity[2], 0.0);
  EXPECT_EQ(model.onsagerCoefficient[1][1][3], 0.0);
  EXPECT_FALSE(model.diffusivityFormulaCache[1].valid);
  EXPECT_FALSE(model.diffusivityMatrixCache[1][0].valid);
  EXPECT_FALSE(model.oxidationConstantCache[4].valid);
  EXPECT_FALSE(model.boundaryFluxCache[1][1].valid);
  EXPECT_FALSE(model.activityFormulaCache[0][1].valid);
}

TEST(ModelArrays, ReleaseIsSafeWithAndWithoutArrays) {
  TForm1 model;
  model.releaseArrays();  // closing before any load
  model.allocateArrays(2, 4);
  model.initialProfileLines = {"a", "b"};
  model.initialWeightProfile.resize(2, 2);
  model.releaseArrays();
  EXPECT_TRUE(model.concentration.empty());
  EXPECT_TRUE(model.onsagerCoefficient.empty());
  EXPECT_TRUE(model.initialProfileLines.empty());
  EXPECT_TRUE(model.initialWeightProfile.empty());
  EXPECT_TRUE(model.diffusivityFormulas.empty());
}

}  // namespace
}  // namespace torvex
