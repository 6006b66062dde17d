#include "support/solver_cases.h"

#include <cmath>

#include "model/sample_files.h"

namespace torvex::test {
namespace {

// Blends the compositions of the two ends over a tenth of the sample.
void smoothProfile(Simulation& m) {
  const int r = m.input.componentCount;
  const int n = m.input.pointCount;
  const double left = m.state.position.front(), width = m.state.position.back() - left;
  std::vector<double> leftRatio(static_cast<std::size_t>(r)), rightRatio(static_cast<std::size_t>(r));
  for (int i = 0; i < r; ++i) {
    leftRatio[static_cast<std::size_t>(i)] = m.state.molarRatio[i][0];
    rightRatio[static_cast<std::size_t>(i)] = m.state.molarRatio[i][n - 1];
  }
  for (int k = 0; k < n; ++k) {
    const double s =
        0.5 + 0.5 * std::tanh((m.state.position[static_cast<std::size_t>(k)] - left - 0.5 * width) / (0.05 * width));
    double volume = 0;
    for (int i = 0; i < r; ++i) {
      const auto index = static_cast<std::size_t>(i);
      m.state.molarRatio[i][k] = (1 - s) * leftRatio[index] + s * rightRatio[index];
      volume += m.state.partialMolarVolume[i][k] * m.state.molarRatio[i][k];
    }
    for (int i = 0; i < r; ++i) m.state.concentration[i][k] = m.state.molarRatio[i][k] / volume;
  }
}

void asLoaded(Simulation&) {}

}  // namespace

std::vector<std::string> sampleFormulas(std::string_view name) {
  std::vector<std::string> formulas;
  for (const SampleFile& file : sampleFiles())
    if (file.name == name)
      for (std::string_view line : *file.lines)
        if (!line.empty() && line.front() != '#') formulas.emplace_back(line);
  return formulas;
}

const std::vector<SolverCase>& solverCases() {
  static const std::vector<SolverCase> cases = {
      {"matrix, Cu-Fe-Ni activities, Nernst-Planck", "interdiffusion.dat", asLoaded},
      {"matrix, ideal, Fick", "interdiffusion.dat",
       [](Simulation& m) { m.input.activityModel = ActivityModel::Ideal; }},
      {"formulas, ideal, Fick, classic frame", "interdiffusion.dat",
       [](Simulation& m) {
         m.input.diffusivityModel = DiffusivityModel::Formulas;
         m.input.diffusivityFormulas = {"1.021e-9*exp(N1)", "1.254e-10", "3.647e-12*(1+N3)"};
         m.input.activityModel = ActivityModel::Ideal;
         m.input.frame = Frame::Classic;
       },
       true},
      {"Cu-Fe-Ni diffusivities, Fe-Ni-Cr activities", "interdiffusion.dat",
       [](Simulation& m) {
         m.input.diffusivityModel = DiffusivityModel::CuFeNi;
         m.input.activityModel = ActivityModel::FeNiCr;
       }},
      {"matrix, activities from file", "interdiffusion.dat",
       [](Simulation& m) {
         m.input.activityModel = ActivityModel::Formulas;
         m.input.activityFormulas = sampleFormulas("activities.act");
       },
       true},
      {"matrix, Cu-Fe-Ni activities, Onsager", "interdiffusion.dat",
       [](Simulation& m) { m.input.constitutive = Constitutive::Onsager; }},
      {"Cu-Fe-Ni diffusivities, ideal, Onsager", "interdiffusion.dat",
       [](Simulation& m) {
         m.input.diffusivityModel = DiffusivityModel::CuFeNi;
         m.input.activityModel = ActivityModel::Ideal;
         m.input.constitutive = Constitutive::Onsager;
       }},
      {"selective oxidation", "oxidation.dat",
       [](Simulation& m) {
         m.state.oxide.thickness = 1e-5;
         m.state.stageTimeStep = 1e-4;
         m.state.currentTime = 100;
       }},
      {"boundary flux formulas", "oxidation.dat",
       [](Simulation& m) {
         m.input.boundaryFlux = BoundaryFlux::Formulas;
         m.input.boundaryFluxFormulas = sampleFormulas("fluxes_funct.flx");
         m.state.currentTime = 100;
       },
       true},
  };
  return cases;
}

void loadSolverCase(Simulation& m, const SolverCase& solverCase) {
  m.load(solverCase.dataFile);
  smoothProfile(m);
  solverCase.adjust(m);
}

}  // namespace torvex::test
