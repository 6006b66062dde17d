#include "cli/case_summary.h"

#include <locale>
#include <sstream>

#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "run/temperature_effect.h"

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

// The temperature the run follows: D8, or the schedule that replaces it
// (each row when there are few, else the range).
std::string temperatureText(const TForm1& m) {
  const auto& schedule = m.temperatureSchedule;
  if (!schedule) return formatGeneral(m.temperature) + " K (D8)";
  const std::vector<ScheduleRow>& rows = schedule->rows();
  std::string text = "schedule " + schedule->source() + " (D8 = " + formatGeneral(m.temperature) +
                     " K is not used): " + formatInteger(static_cast<long long>(rows.size())) +
                     (rows.size() == 1 ? " row" : " rows");
  constexpr std::size_t kRowsShown = 8;
  for (std::size_t k = 0; k < rows.size() && k < kRowsShown; ++k)
    text += (k == 0 ? "; " : ", ") + formatGeneral(rows[k].temperature) + " K at " + formatGeneral(rows[k].time) + " s";
  if (rows.size() > kRowsShown) text += ", ...";
  text += "; " + formatGeneral(schedule->temperatureAt(m.startTime)) + " K at the start, " +
          formatGeneral(schedule->temperatureAt(m.endTime)) + " K at the end";
  return text;
}

// The times the run saves at besides every D17 passes.
std::string outputTimesText(const TForm1& m) {
  const std::vector<double>& times = m.outputTimes;
  std::string text = formatInteger(static_cast<long long>(times.size())) + ":";
  constexpr std::size_t kTimesShown = 12;
  for (std::size_t k = 0; k < times.size(); ++k) {
    if (times.size() > kTimesShown && k == kTimesShown - 2) {
      text += " ...,";
      k = times.size() - 2;
      continue;
    }
    text += " " + formatGeneral(times[k]) + (k + 1 < times.size() ? "," : " s");
  }
  return text;
}

}  // namespace

std::string describeCase(const TForm1& m, const std::string& path, bool temperatureChosen) {
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
      << "  temperature       " << temperatureText(m) << "\n"
      << (m.outputTimes.empty() ? std::string() : "  output times      " + outputTimesText(m) + "\n")
      << "  effect of T       " << describeTemperatureEffect(temperatureEffect(m), temperatureChosen) << "\n"
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
