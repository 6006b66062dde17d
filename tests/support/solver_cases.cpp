#include "support/solver_cases.h"

#include <cmath>

#include "model/sample_files.h"

namespace torvex::test {
namespace {

// Blends the compositions of the two ends over a tenth of the sample.
void smoothProfile(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  const double left = m.position.front(), width = m.position.back() - left;
  std::vector<double> leftRatio(static_cast<std::size_t>(r)), rightRatio(static_cast<std::size_t>(r));
  for (int i = 0; i < r; ++i) {
    leftRatio[static_cast<std::size_t>(i)] = m.molarRatio[i][0];
    rightRatio[static_cast<std::size_t>(i)] = m.molarRatio[i][n - 1];
  }
  for (int k = 0; k < n; ++k) {
    const double s =
        0.5 + 0.5 * std::tanh((m.position[static_cast<std::size_t>(k)] - left - 0.5 * width) / (0.05 * width));
    double volume = 0;
    for (int i = 0; i < r; ++i) {
      const auto index = static_cast<std::size_t>(i);
      m.molarRatio[i][k] = (1 - s) * leftRatio[index] + s * rightRatio[index];
      volume += m.partialMolarVolume[i][k] * m.molarRatio[i][k];
    }
    for (int i = 0; i < r; ++i) m.concentration[i][k] = m.molarRatio[i][k] / volume;
  }
}

void asLoaded(TForm1&) {}

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
      {"matrix, ideal, Fick", "interdiffusion.dat", [](TForm1& m) { m.activityMode = 0; }},
      {"formulas, ideal, Fick, classic frame", "interdiffusion.dat",
       [](TForm1& m) {
         m.diffusivityMode = 0;
         m.diffusivityFormulas = {"1.021e-9*exp(N1)", "1.254e-10", "3.647e-12*(1+N3)"};
         m.activityMode = 0;
         m.referenceFrameMode = 1;
       },
       true},
      {"Cu-Fe-Ni diffusivities, Fe-Ni-Cr activities", "interdiffusion.dat",
       [](TForm1& m) {
         m.diffusivityMode = 2;
         m.activityMode = 2;
       }},
      {"matrix, activities from file", "interdiffusion.dat",
       [](TForm1& m) {
         m.activityMode = 3;
         m.activityFormulas = sampleFormulas("activities.act");
       },
       true},
      {"matrix, Cu-Fe-Ni activities, Onsager", "interdiffusion.dat", [](TForm1& m) { m.constitutiveMode = 1; }},
      {"Cu-Fe-Ni diffusivities, ideal, Onsager", "interdiffusion.dat",
       [](TForm1& m) {
         m.diffusivityMode = 2;
         m.activityMode = 0;
         m.constitutiveMode = 1;
       }},
      {"selective oxidation", "oxidation.dat",
       [](TForm1& m) {
         m.oxideThickness = 1e-5;
         m.stageTimeStep = 1e-4;
         m.currentTime = 100;
       }},
      {"boundary flux formulas", "oxidation.dat",
       [](TForm1& m) {
         m.boundaryFluxMode = 1;
         m.boundaryFluxFormulas = sampleFormulas("fluxes_funct.flx");
         m.currentTime = 100;
       },
       true},
  };
  return cases;
}

void loadSolverCase(TForm1& m, const SolverCase& solverCase) {
  m.load(solverCase.dataFile);
  smoothProfile(m);
  solverCase.adjust(m);
}

}  // namespace torvex::test
