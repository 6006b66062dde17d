#include "model/tform1.h"

#include <type_traits>

namespace torvex {
namespace {

// The model's arrays grouped by shape, so that creating, zeroing and
// releasing them cannot forget one.
constexpr std::array kComponentPointTables = {&TForm1::concentration,
                                              &TForm1::concentrationAtStepStart,
                                              &TForm1::errorEstimate,
                                              &TForm1::stageIncrement1,
                                              &TForm1::stageIncrement2,
                                              &TForm1::stageIncrement3,
                                              &TForm1::stageIncrement4,
                                              &TForm1::stageIncrement5,
                                              &TForm1::stageIncrement6,
                                              &TForm1::concentrationGradient,
                                              &TForm1::concentrationRate,
                                              &TForm1::molarRatio,
                                              &TForm1::molarRatioGradient,
                                              &TForm1::mobility,
                                              &TForm1::chemicalPotentialGradient,
                                              &TForm1::diffusionVelocity,
                                              &TForm1::diffusionVelocityGradient,
                                              &TForm1::partialMolarVolumeGradient,
                                              &TForm1::partialMolarVolume,
                                              &TForm1::faceFlux};
constexpr std::array kPointArrays = {&TForm1::pressure,
                                     &TForm1::position,
                                     &TForm1::totalConcentration,
                                     &TForm1::totalConcentrationGradient,
                                     &TForm1::darkenVelocity,
                                     &TForm1::darkenVelocityGradient,
                                     &TForm1::sigmaVelocity,
                                     &TForm1::molarVolume,
                                     &TForm1::density,
                                     &TForm1::faceDarkenVelocity};
constexpr std::array kComponentArrays = {&TForm1::leftBoundaryFlux, &TForm1::rightBoundaryFlux, &TForm1::molarMass,
                                         &TForm1::wallInflowRate, &TForm1::wallInflow};
constexpr std::array kCacheTables = {&TForm1::diffusivityMatrixCache, &TForm1::boundaryFluxCache,
                                     &TForm1::activityFormulaCache};
constexpr std::array kPairTables = {&TForm1::activityDerivative, &TForm1::diffusivityMatrix};
constexpr std::array kFormulaArrays = {&TForm1::diffusivityFormulas, &TForm1::activityFormulas,
                                       &TForm1::boundaryFluxFormulas, &TForm1::initialProfileLines};

template <class T>
void freeVector(std::vector<T>& values) {
  std::vector<T>().swap(values);
}

}  // namespace

// Every number conversion of the program goes through number_format, which
// never consults the process locale, so there is no separator to set here.
TForm1::TForm1() = default;

void TForm1::allocateArrays(int r, int n) {
  const auto rSize = static_cast<std::size_t>(r);
  for (auto table : kComponentPointTables) (this->*table).resize(r, n);
  for (auto values : kPointArrays) (this->*values).assign(static_cast<std::size_t>(n), 0.0);
  for (auto values : kComponentArrays) (this->*values).assign(rSize, 0.0);
  diffusivityFormulaCache.assign(rSize, CachedValue{});
  diffusivityMatrixCache.resize(r, r);
  boundaryFluxCache.resize(2, r);
  activityFormulaCache.resize(r, r);
  for (auto table : kPairTables) (this->*table).resize(r, r);
  diffusivityFormulas.assign(rSize, std::string());
  activityFormulas.assign(rSize * rSize, std::string());
  boundaryFluxFormulas.assign(rSize, std::string());
  onsagerCoefficient.resize(r, r, n);
  wallInflowIncrement.resize(7, r);
}

void TForm1::clearArrays() {
  for (auto table : kComponentPointTables) (this->*table).fill(0.0);
  for (auto values : kPointArrays) (this->*values).assign((this->*values).size(), 0.0);
  for (auto values : kComponentArrays) (this->*values).assign((this->*values).size(), 0.0);
  for (auto table : kPairTables) (this->*table).fill(0.0);
  initialWeightProfile.fill(0.0);
  onsagerCoefficient.fill(0.0);
  wallInflowIncrement.fill(0.0);
  diffusivityFormulaCache.assign(diffusivityFormulaCache.size(), CachedValue{});
  for (auto table : kCacheTables) (this->*table).fill(CachedValue{});
  oxidationConstantCache.fill(CachedValue{});
}

void TForm1::releaseArrays() {
  for (auto table : kComponentPointTables) (this->*table).release();
  for (auto values : kPointArrays) freeVector(this->*values);
  for (auto values : kComponentArrays) freeVector(this->*values);
  for (auto table : kCacheTables) (this->*table).release();
  for (auto texts : kFormulaArrays) freeVector(this->*texts);
  freeVector(diffusivityFormulaCache);
  for (auto table : kPairTables) (this->*table).release();
  initialWeightProfile.release();
  onsagerCoefficient.release();
  wallInflowIncrement.release();
  oxidationConstantCache.fill(CachedValue{});
}

}  // namespace torvex
