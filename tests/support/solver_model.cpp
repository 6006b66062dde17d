#include "support/solver_model.h"

#include "solver/evaluate_derivative.h"

namespace torvex::test {

std::vector<double> uniformGrid(int n, double width) {
  std::vector<double> x(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) x[static_cast<std::size_t>(k)] = width * k / (n - 1);
  return x;
}

void buildModel(TForm1& m, int r, const std::vector<double>& positions) {
  const int n = static_cast<int>(positions.size());
  m.componentCount = r;
  m.pointCount = n;
  m.allocateArrays(r, n);
  m.clearArrays();
  m.position = positions;
  m.temperature = 1273;
  m.correlationFactor = 1;
  m.diffusivityMode = 0;
  m.activityMode = 0;
  m.constitutiveMode = 0;
  m.referenceFrameMode = 0;
  m.darkenVelocityOn = 0;
  m.differenceScheme = 0;
  m.boundaryFluxMode = 0;
  m.partialMolarVolume.fill(7.0);
  m.molarMass.assign(static_cast<std::size_t>(r), 50.0);
}

void setProfile(TForm1& m, const std::function<double(int, double)>& ratio) {
  for (int k = 0; k < m.pointCount; ++k) {
    const double x = m.position[static_cast<std::size_t>(k)];
    double volume = 0;
    for (int i = 0; i < m.componentCount; ++i) volume += m.partialMolarVolume[i][k] * ratio(i, x);
    for (int i = 0; i < m.componentCount; ++i) m.concentration[i][k] = ratio(i, x) / volume;
  }
  SumConcentrations(m);
  ComputeMolarRatios(m);
  ComputeMixtureVolume(m);
}

}  // namespace torvex::test
