#include "solver/run_state.h"

#include <algorithm>

namespace torvex {
namespace {

// The state's arrays grouped by shape, so that creating and releasing them
// cannot forget one.
constexpr std::array kComponentPointTables = {&RunState::concentration,
                                              &RunState::concentrationGradient,
                                              &RunState::concentrationRate,
                                              &RunState::molarRatio,
                                              &RunState::molarRatioGradient,
                                              &RunState::partialMolarVolume,
                                              &RunState::partialMolarVolumeGradient,
                                              &RunState::mobility,
                                              &RunState::chemicalPotentialGradient,
                                              &RunState::diffusionVelocity,
                                              &RunState::diffusionVelocityGradient,
                                              &RunState::faceFlux};
constexpr std::array kPointArrays = {&RunState::position,
                                     &RunState::totalConcentration,
                                     &RunState::totalConcentrationGradient,
                                     &RunState::molarVolume,
                                     &RunState::pressure,
                                     &RunState::darkenVelocity,
                                     &RunState::darkenVelocityGradient,
                                     &RunState::sigmaVelocity,
                                     &RunState::faceDarkenVelocity,
                                     &RunState::startPosition};
constexpr std::array kComponentArrays = {&RunState::leftBoundaryFlux, &RunState::rightBoundaryFlux,
                                         &RunState::wallInflowRate, &RunState::wallInflow};
constexpr std::array kPairTables = {&RunState::activityDerivative, &RunState::diffusivityMatrix};

template <class T>
void freeVector(std::vector<T>& values) {
  std::vector<T>().swap(values);
}

// Copies `from` into `to` when both have the shape of the case.
void copyPoints(const std::vector<double>& from, std::vector<double>& to) {
  if (from.size() == to.size()) std::copy(from.begin(), from.end(), to.begin());
}
void copyTable(const Table2<double>& from, Table2<double>& to) {
  if (from.rows() == to.rows() && from.columns() == to.columns())
    std::copy(from.data(), from.data() + from.size(), to.data());
}

}  // namespace

void RunState::prepare(const Case& c) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  release();
  for (auto table : kComponentPointTables) (this->*table).resize(r, n);
  for (auto values : kPointArrays) (this->*values).assign(static_cast<std::size_t>(n), 0.0);
  for (auto values : kComponentArrays) (this->*values).assign(static_cast<std::size_t>(r), 0.0);
  for (auto table : kPairTables) (this->*table).resize(r, r);
  onsagerCoefficient.resize(r, r, n);

  const InitialProfile& p = c.initial;
  copyPoints(p.position, position);
  copyTable(p.concentration, concentration);
  copyTable(p.molarRatio, molarRatio);
  copyPoints(p.totalConcentration, totalConcentration);
  copyPoints(p.molarVolume, molarVolume);
  copyPoints(p.darkenVelocity, darkenVelocity);
  copyPoints(p.sigmaVelocity, sigmaVelocity);
  copyPoints(p.pressure, pressure);
  for (int i = 0; i < r && static_cast<std::size_t>(i) < c.partialMolarVolume.size(); ++i)
    std::fill_n(partialMolarVolume[i], n, c.partialMolarVolume[static_cast<std::size_t>(i)]);

  currentTime = 0.0;
  timeStep = c.timeStep;
  stageTimeStep = 0.0;
  largestTimeStep = 0.0;
  stepCount = 0;
  atOutputTime = false;
  temperature = c.temperature;
  oxide = OxideScale();
  life = LifeRunState();
  receding = false;
  sampleLength = stageSampleLength = sampleLengthRate = 0.0;
  kirkendallPosition = 0.0;
  kirkendallVelocity = 0.0;
  kirkendallStagePosition = 0.0;
  formulas.reset(r);
}

void RunState::release() {
  for (auto table : kComponentPointTables) (this->*table).release();
  for (auto values : kPointArrays) freeVector(this->*values);
  for (auto values : kComponentArrays) freeVector(this->*values);
  for (auto table : kPairTables) (this->*table).release();
  onsagerCoefficient.release();
  formulas.reset(0);
}

}  // namespace torvex
