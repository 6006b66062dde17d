#include "cli/case_summary.h"

#include <locale>
#include <sstream>

#include "model/number_format.h"

namespace torvex {
namespace {

std::string fromFile(const std::string& what, const std::string& file) {
  return what + " from " + file;
}

std::string diffusivityText(const TForm1& m) {
  switch (m.diffusivityMode) {
    case 0: return fromFile("formulas", m.diffusivityFileName);
    case 1: return fromFile("matrix", m.diffusivityFileName);
    case 2: return "built-in Cu-Fe-Ni model";
    default: return "mode " + formatInteger(m.diffusivityMode) + " (not a known mode)";
  }
}

std::string activityText(const TForm1& m) {
  switch (m.activityMode) {
    case 0: return "ideal";
    case 1: return "built-in Cu-Fe-Ni model";
    case 2: return "built-in Fe-Ni-Cr model";
    case 3: return fromFile("chemical-potential derivatives", m.activityFileName);
    default: return "mode " + formatInteger(m.activityMode) + " (not a known mode)";
  }
}

std::string boundaryText(const TForm1& m) {
  const std::string floor = " (minimal molar fraction " + formatGeneral(m.minimalMolarFraction) + ")";
  switch (m.boundaryFluxMode) {
    case 0: return "none" + floor;
    case 1: return fromFile("formulas", m.boundaryFluxFileName) + floor;
    case 2: return fromFile("selective oxidation", m.boundaryFluxFileName) + floor;
    default: return "mode " + formatInteger(m.boundaryFluxMode) + " (not a known mode)" + floor;
  }
}

std::string frameText(const TForm1& m) {
  // The face fluxes of the conservative scheme are volume-fixed by
  // construction.
  if (m.differenceScheme == 3) return kConservativeFrameText;
  return m.referenceFrameMode == 0 ? "volume-fixed" : "classic";
}

std::string compositionAt(const TForm1& m, int j) {
  std::string text;
  for (int i = 0; i < m.componentCount; ++i) {
    if (i > 0) text += "  ";
    text += formatGeneral(100.0 * m.molarRatio[i][j]);
  }
  return text;
}

}  // namespace

std::string describeCase(const TForm1& m, const std::string& path) {
  const int last = m.pointCount - 1;
  const auto& x = m.position;
  std::ostringstream out;
  out.imbue(std::locale::classic());  // no digit grouping from the user's locale
  out << "Case " << path << ": valid input\n"
      << "  components        " << m.componentCount << "\n"
      << "  grid              " << m.pointCount << " points, x from " << formatGeneral(x.front()) << " to "
      << formatGeneral(x.back()) << " cm (sample width " << formatGeneral(m.sampleWidth) << " cm)\n"
      << "  process time      " << formatGeneral(m.startTime) << " s to " << formatGeneral(m.endTime) << " s\n"
      << "  time step         initial " << formatGeneral(m.timeStep) << " s, largest " << formatGeneral(m.maxTimeStep)
      << " s, error " << formatGeneral(m.concentrationError) << ", changed every " << m.timeStepChangeInterval
      << " passes by " << formatGeneral(m.timeStepMultiplier) << "\n"
      << "  temperature       " << formatGeneral(m.temperature) << " K\n"
      << "  diffusivities     " << diffusivityText(m) << ", correlation factor " << formatGeneral(m.correlationFactor)
      << "\n"
      << "  activities        " << activityText(m) << "\n"
      << "  constitutive      "
      << (m.constitutiveMode == 0   ? "Nernst-Planck"
          : m.constitutiveMode == 1 ? "Onsager"
                                    : "mode " + formatInteger(m.constitutiveMode))
      << "\n"
      << "  reference frame   " << frameText(m) << "\n"
      << "  Darken velocity   " << (m.darkenVelocityOn == 1 ? "computed" : "not computed") << "\n"
      << "  boundary flux     " << boundaryText(m) << "\n"
      << "  initial profile   "
      << (m.initialPointCount == 2 ? "step between two alloys (new calculation)" : "continuation of a profile") << ", "
      << m.initialPointCount << " lines; Kirkendall plane at " << formatGeneral(m.initialKirkendallPosition) << " cm\n"
      << "  refresh / save    every " << m.refreshInterval << " / " << m.saveInterval << " passes\n"
      << "  left end  (at.%)  " << compositionAt(m, 0) << "\n"
      << "  right end (at.%)  " << compositionAt(m, last) << "\n";
  return out.str();
}

}  // namespace torvex
