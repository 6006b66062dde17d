#include "cli/case_summary.h"

#include <locale>
#include <sstream>

#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "run/bdf_integrator.h"
#include "run/temperature_effect.h"

namespace torvex {
namespace {

std::string fromFile(const std::string& what, const std::string& file) {
  return what + " from " + file;
}

std::string diffusivityText(const Case& c) {
  switch (c.diffusivityModel) {
    case DiffusivityModel::Formulas: return fromFile("formulas", c.diffusivityFile.name);
    case DiffusivityModel::Matrix: return fromFile("matrix", c.diffusivityFile.name);
    case DiffusivityModel::CuFeNi: return "built-in Cu-Fe-Ni model";
  }
  return "mode " + formatInteger(keyValue(c.diffusivityModel)) + " (not a known mode)";
}

std::string activityText(const Case& c) {
  switch (c.activityModel) {
    case ActivityModel::Ideal: return "ideal";
    case ActivityModel::CuFeNi: return "built-in Cu-Fe-Ni model";
    case ActivityModel::FeNiCr: return "built-in Fe-Ni-Cr model";
    case ActivityModel::Formulas: return fromFile("chemical-potential derivatives", c.activityFile.name);
  }
  return "mode " + formatInteger(keyValue(c.activityModel)) + " (not a known mode)";
}

std::string boundaryText(const Case& c) {
  const std::string floor = " (minimal molar fraction " + formatGeneral(c.minimalMolarFraction) + ")";
  switch (c.boundaryFlux) {
    case BoundaryFlux::None: return "none" + floor;
    case BoundaryFlux::Formulas: return fromFile("formulas", c.boundaryFluxFile.name) + floor;
    case BoundaryFlux::SelectiveOxidation: return fromFile("selective oxidation", c.boundaryFluxFile.name) + floor;
  }
  return "mode " + formatInteger(keyValue(c.boundaryFlux)) + " (not a known mode)" + floor;
}

std::string frameText(const Case& c) {
  // The face fluxes of the conservative scheme are volume-fixed by
  // construction.
  if (c.differenceScheme == DifferenceScheme::Conservative) return kConservativeFrameText;
  return c.frame == Frame::VolumeFixed ? "volume-fixed" : "classic";
}

std::string compositionAt(const Case& c, int j) {
  std::string text;
  for (int i = 0; i < c.componentCount; ++i) {
    if (i > 0) text += "  ";
    text += formatGeneral(100.0 * c.initial.molarRatio[i][j]);
  }
  return text;
}

// The temperature the run follows: D8, or the schedule that replaces it
// (each row when there are few, else the range).
std::string temperatureText(const Case& c) {
  const auto& schedule = c.heatTreatment.schedule;
  if (!schedule) return formatGeneral(c.temperature) + " K (D8)";
  const std::vector<ScheduleRow>& rows = schedule->rows();
  const auto& cycles = schedule->cycles();
  std::string text;
  if (!rows.empty() || !cycles) {
    text = "schedule " + schedule->source() + " (D8 = " + formatGeneral(c.temperature) +
           " K is not used): " + formatInteger(static_cast<long long>(rows.size())) +
           (rows.size() == 1 ? " row" : " rows");
    constexpr std::size_t kRowsShown = 8;
    for (std::size_t k = 0; k < rows.size() && k < kRowsShown; ++k)
      text +=
          (k == 0 ? "; " : ", ") + formatGeneral(rows[k].temperature) + " K at " + formatGeneral(rows[k].time) + " s";
    if (rows.size() > kRowsShown) text += ", ...";
  }
  if (cycles) {
    text += (text.empty() ? "cycles " : ", then cycles ") + cycles->text() + " from " + formatGeneral(cycles->start()) +
            " s to " + formatGeneral(cycles->end()) + " s (period " + formatGeneral(cycles->period()) + " s)";
    if (rows.empty()) text += " (D8 = " + formatGeneral(c.temperature) + " K is not used)";
  }
  text += "; " + formatGeneral(schedule->temperatureAt(c.startTime)) + " K at the start, " +
          formatGeneral(schedule->temperatureAt(c.endTime)) + " K at the end";
  return text;
}

// The times the run saves at besides every D17 passes.
std::string outputTimesText(const Case& c) {
  const std::vector<double>& times = c.heatTreatment.outputTimes;
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

// The life settings, one line; empty without any.
std::string lifeText(const Case& c) {
  const LifeSettings& life = c.heatTreatment.life;
  std::string text;
  const auto add = [&](const std::string& piece) { text += (text.empty() ? "" : ", ") + piece; };
  if (life.hasSpall) add("spallation " + life.spall.text() + " at every cool-down");
  if (life.hasOxide) add("oxide " + life.oxide.text());
  if (life.hasCritical) add("ends at " + life.critical.text());
  if (life.receding) add("receding surface");
  return text;
}

// The explicit loop's step control, or the implicit integrator's tolerances.
std::string timeStepText(const Case& c) {
  if (c.integrator == Integrator::Bdf) {
    const BdfTolerances tolerances = bdfTolerances(c);
    return "  time step         initial " + formatGeneral(c.timeStep) + " s (0: estimated), largest " +
           formatGeneral(c.maxTimeStep) + " s\n  integrator        bdf, from the error " +
           formatGeneral(c.concentrationError) + ": relative tolerance " + formatGeneral(tolerances.relative) +
           ", absolute " + formatGeneral(tolerances.absolute) + " mol/cm3 (D6 and D7 not used)\n";
  }
  return "  time step         initial " + formatGeneral(c.timeStep) + " s, largest " + formatGeneral(c.maxTimeStep) +
         " s, error " + formatGeneral(c.concentrationError) + ", changed every " +
         std::to_string(c.timeStepChangeInterval) + " passes by " + formatGeneral(c.timeStepMultiplier) + "\n";
}

}  // namespace

std::string describeCase(const Case& c, const std::string& path, bool temperatureChosen) {
  const int last = c.pointCount - 1;
  const auto& x = c.initial.position;
  std::ostringstream out;
  out.imbue(std::locale::classic());  // no digit grouping from the user's locale
  out << "Case " << path << ": valid input\n"
      << "  components        " << c.componentCount;
  if (!c.componentNames.empty()) {
    out << " (";
    for (std::size_t i = 0; i < c.componentNames.size(); ++i) out << (i > 0 ? ", " : "") << c.componentNames[i];
    out << ")";
  }
  out << "\n"
      << "  grid              " << c.pointCount << " points, x from " << formatGeneral(x.front()) << " to "
      << formatGeneral(x.back()) << " cm (sample width " << formatGeneral(c.initial.sampleWidth) << " cm)\n"
      << "  process time      " << formatGeneral(c.startTime) << " s to " << formatGeneral(c.endTime) << " s\n"
      << timeStepText(c) << "  temperature       " << temperatureText(c) << "\n"
      << (c.heatTreatment.outputTimes.empty() ? std::string() : "  output times      " + outputTimesText(c) + "\n")
      << (lifeText(c).empty() ? std::string() : "  life              " + lifeText(c) + "\n") << "  effect of T       "
      << describeTemperatureEffect(temperatureEffect(c), temperatureChosen) << "\n"
      << "  diffusivities     " << diffusivityText(c) << ", correlation factor " << formatGeneral(c.correlationFactor)
      << "\n"
      << "  activities        " << activityText(c) << "\n"
      << "  constitutive      "
      << (c.constitutive == Constitutive::NernstPlanck ? "Nernst-Planck"
          : c.constitutive == Constitutive::Onsager    ? "Onsager"
                                                       : "mode " + formatInteger(keyValue(c.constitutive)))
      << "\n"
      << "  reference frame   " << frameText(c) << "\n"
      << "  Darken velocity   " << (c.darkenVelocityOn == 1 ? "computed" : "not computed") << "\n"
      << "  boundary flux     " << boundaryText(c) << "\n"
      << "  initial profile   "
      << (c.initialPointCount == 2 ? "step between two alloys (new calculation)" : "continuation of a profile") << ", "
      << c.initialPointCount << " lines; Kirkendall plane at " << formatGeneral(c.initialKirkendallPosition) << " cm\n"
      << "  refresh / save    every " << c.refreshInterval << " / " << c.saveInterval << " passes\n"
      << "  left end  (at.%)  " << compositionAt(c, 0) << "\n"
      << "  right end (at.%)  " << compositionAt(c, last) << "\n";
  return out.str();
}

}  // namespace torvex
