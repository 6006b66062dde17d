#include "support/solver_model.h"

#include "solver/evaluate_derivative.h"

namespace torvex::test {

std::vector<double> uniformGrid(int n, double width) {
  std::vector<double> x(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) x[static_cast<std::size_t>(k)] = width * k / (n - 1);
  return x;
}

void buildModel(Simulation& m, int r, const std::vector<double>& positions) {
  const int n = static_cast<int>(positions.size());
  m.input = Case();
  m.input.setShape(r, n);
  m.input.initial.position = positions;
  m.input.temperature = 1273;
  m.input.correlationFactor = 1;
  m.input.diffusivityModel = DiffusivityModel::Formulas;
  m.input.activityModel = ActivityModel::Ideal;
  m.input.constitutive = Constitutive::NernstPlanck;
  m.input.frame = Frame::VolumeFixed;
  m.input.darkenVelocityOn = 0;
  m.input.differenceScheme = DifferenceScheme::Central;
  m.input.boundaryFlux = BoundaryFlux::None;
  m.input.partialMolarVolume.assign(static_cast<std::size_t>(r), 7.0);
  m.input.molarMass.assign(static_cast<std::size_t>(r), 50.0);
  m.prepare();
}

void setProfile(Simulation& m, const std::function<double(int, double)>& ratio) {
  for (int k = 0; k < m.input.pointCount; ++k) {
    const double x = m.state.position[static_cast<std::size_t>(k)];
    double volume = 0;
    for (int i = 0; i < m.input.componentCount; ++i) volume += m.state.partialMolarVolume[i][k] * ratio(i, x);
    for (int i = 0; i < m.input.componentCount; ++i) m.state.concentration[i][k] = ratio(i, x) / volume;
  }
  SumConcentrations(m.input, m.state);
  ComputeMolarRatios(m.input, m.state);
  ComputeMixtureVolume(m.input, m.state);
}

}  // namespace torvex::test
