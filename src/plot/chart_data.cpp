#include "plot/chart_data.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/life_options.h"
#include "model/number_format.h"
#include "plot/axis_ticks.h"
#include "results/units.h"

namespace torvex::plot {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A chart line of more points than this looks no different and draws slower.
constexpr std::size_t kMaxDrawnPoints = 2000;

// A number for a legend or a title: four significant digits, full stop.
std::string shortNumber(double value, int digits = 4) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value > 0 ? "inf" : "-inf");
  std::array<char, 64> buffer{};
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, digits);
  return std::string(buffer.data(), result.ptr);
}

// The component's number as file names and chart ids carry it.
std::string componentNumber(int component) {
  return "N" + std::to_string(component + 1);
}

double positionScale(PositionUnit unit) {
  return unit == PositionUnit::Micrometre ? 1e4 : 1.0;
}
std::string unitName(PositionUnit unit) {
  return unit == PositionUnit::Micrometre ? "µm" : "cm";
}
std::string basisName(CompositionBasis basis) {
  return basis == CompositionBasis::Atomic ? "at.%" : "wt.%";
}

// The percentages of the chosen basis; atomic when weight is not known.
const std::vector<double>& percentOf(const ProfileFrame& frame, CompositionBasis basis) {
  return basis == CompositionBasis::Weight && !frame.wtPct.empty() ? frame.wtPct : frame.atPct;
}

CompositionBasis effectiveBasis(const RunData& run, CompositionBasis basis) {
  if (basis == CompositionBasis::Weight && !run.frames.empty() && run.frames.back().wtPct.empty())
    return CompositionBasis::Atomic;
  return basis;
}

std::vector<double> componentColumn(const RunData& run, const ProfileFrame& frame, CompositionBasis basis,
                                    int component) {
  const auto& percent = percentOf(frame, basis);
  const std::size_t n = run.pointCount();
  const std::size_t start = static_cast<std::size_t>(component) * n;
  if (start + n > percent.size()) return {};
  return {percent.begin() + static_cast<std::ptrdiff_t>(start),
          percent.begin() + static_cast<std::ptrdiff_t>(start + n)};
}

std::vector<double> scaledPositions(const RunData& run, PositionUnit unit) {
  std::vector<double> x = run.positionCm;
  for (double& value : x) value *= positionScale(unit);
  return x;
}

std::string timeLabel(double timeS, TimeUnit unit) {
  return "t = " + TimeText(timeS, unit);
}

// The time of a save for a title: its temperature beside it under a schedule.
std::string saveLabel(const RunData& run, double timeS, TimeUnit unit) {
  std::string text = timeLabel(timeS, unit);
  const double kelvin = ScheduleTemperatureAt(run, timeS);
  if (std::isfinite(kelvin)) text += ", T = " + shortNumber(kelvin) + " K";
  return text;
}

// A time for a legend of many curves: three significant digits ("2530 s",
// "612000 s", "1.5×10⁻⁴ s").
std::string compactTime(double timeS, TimeUnit unit) {
  return ReadableNumber(timeS / SecondsPer(unit), 3) + " " + TimeUnitName(unit);
}

// A chart of compositions against position, without its curves yet.
ChartData compositionChart(std::string id, CompositionBasis basis, PositionUnit unit) {
  ChartData chart;
  chart.id = std::move(id);
  chart.xTitle = "x [" + unitName(unit) + "]";
  chart.yTitle = "composition [" + basisName(basis) + "]";
  return chart;
}

// Times on a time axis in the chosen unit.
std::vector<double> inUnit(std::vector<double> timesS, TimeUnit unit) {
  const double per = SecondsPer(unit);
  for (double& t : timesS) t /= per;
  return timesS;
}

std::string timeAxisTitle(TimeUnit unit) {
  return "t [" + TimeUnitName(unit) + "]";
}

// The schedule the run followed, when it had one: its rows, and the cycles
// after them expanded from their description.
std::optional<TemperatureSchedule> scheduleOf(const RunData& run) {
  const std::size_t count = std::min(run.scheduleTimeS.size(), run.scheduleTemperatureK.size());
  std::vector<ScheduleRow> rows;
  for (std::size_t k = 0; k < count; ++k) rows.push_back({run.scheduleTimeS[k], run.scheduleTemperatureK[k], 0});
  TemperatureSchedule schedule(rows, run.scheduleFile);
  if (!run.cyclesText.empty()) {
    try {
      const ThermalCycles cycles = parseCycles(run.cyclesText, "cycles", run.cyclesStartS);
      return TemperatureSchedule::withCycles(rows.empty() ? nullptr : &schedule, cycles, run.cyclesStartS);
    } catch (const InputError&) {
      // The reader checked the description; a run made in memory may not have.
    }
  }
  if (count == 0) return std::nullopt;
  return schedule;
}

// The saves of a chart of several curves: those asked for that exist, else
// up to `spread` spread evenly over the run, first and last included.
std::vector<std::size_t> framesOf(const RunData& run, std::vector<std::size_t> asked, std::size_t spread) {
  std::erase_if(asked, [&](std::size_t i) { return i >= run.frames.size(); });
  if (asked.empty()) {
    const std::size_t count = run.frames.size();
    const std::size_t curves = std::min(count, spread);
    for (std::size_t k = 0; k < curves; ++k) asked.push_back(curves == 1 ? count - 1 : k * (count - 1) / (curves - 1));
  }
  asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
  return asked;
}

// A colour between two, fraction 0 giving a and 1 giving b.
std::uint32_t blend(std::uint32_t a, std::uint32_t b, double fraction) {
  std::uint32_t rgb = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const double ca = static_cast<double>((a >> shift) & 0xffu);
    const double cb = static_cast<double>((b >> shift) & 0xffu);
    rgb |= static_cast<std::uint32_t>(std::lround(ca + (cb - ca) * fraction)) << shift;
  }
  return rgb;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

std::uint32_t ComponentColour(int component) {
  // Blue, vermilion, bluish green, reddish purple, orange, sky blue, yellow,
  // black: distinct also for red-green colour blindness; then a grey ramp.
  static constexpr std::array<std::uint32_t, 8> kPalette = {0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7,
                                                            0xE69F00, 0x56B4E9, 0xB8A000, 0x000000};
  if (component >= 0 && static_cast<std::size_t>(component) < kPalette.size())
    return kPalette[static_cast<std::size_t>(component)];
  return 0x808080;
}

std::uint32_t MeasuredColour(int component) {
  return blend(ComponentColour(component), 0x000000, 0.3);
}

std::uint32_t RampColour(double fraction) {
  // Light yellow-green through teal to dark blue-violet: early light, late dark.
  fraction = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
  constexpr std::uint32_t kEarly = 0xB5DE2B, kMiddle = 0x21918C, kLate = 0x440154;
  return fraction < 0.5 ? blend(kEarly, kMiddle, 2.0 * fraction) : blend(kMiddle, kLate, 2.0 * fraction - 1.0);
}

std::string ShortNumber(double value, int digits) {
  return shortNumber(value, digits);
}

std::string ComponentName(const RunData& run, int component) {
  const auto index = static_cast<std::size_t>(component);
  if (component >= 0 && index < run.componentNames.size() && !run.componentNames[index].empty())
    return run.componentNames[index];
  return componentNumber(component);
}

double SecondsPer(TimeUnit unit) {
  switch (unit) {
    case TimeUnit::Minute: return 60.0;
    case TimeUnit::Hour: return 3600.0;
    case TimeUnit::Second: break;
  }
  return 1.0;
}

std::string TimeUnitName(TimeUnit unit) {
  switch (unit) {
    case TimeUnit::Minute: return "min";
    case TimeUnit::Hour: return "h";
    case TimeUnit::Second: break;
  }
  return "s";
}

std::string TimeText(double timeS, TimeUnit unit) {
  return ReadableNumber(timeS / SecondsPer(unit)) + " " + TimeUnitName(unit);
}

double ScheduleTemperatureAt(const RunData& run, double timeS) {
  const std::optional<TemperatureSchedule> schedule = scheduleOf(run);
  return schedule ? schedule->temperatureAt(timeS) : kNaN;
}

std::size_t ChosenFrame(const RunData& run, const ChartOptions& options) {
  if (run.frames.empty()) return 0;
  if (options.frame && *options.frame < run.frames.size()) return *options.frame;
  return run.frames.size() - 1;
}

std::size_t FrameNearest(const RunData& run, double timeS) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < run.frames.size(); ++i)
    if (std::abs(run.frames[i].timeS - timeS) < std::abs(run.frames[best].timeS - timeS)) best = i;
  return best;
}

ChartData ProfilesChart(const RunData& run, const ChartOptions& options) {
  const CompositionBasis basis = effectiveBasis(run, options.basis);
  ChartData chart = compositionChart("profiles", basis, options.unit);
  if (run.frames.empty()) return chart;
  const ProfileFrame& frame = run.frames[ChosenFrame(run, options)];
  chart.title = "Concentration profiles, " + saveLabel(run, frame.timeS, options.timeUnit);
  const std::vector<double> x = scaledPositions(run, options.unit);
  for (int c = 0; c < run.componentCount; ++c)
    chart.series.push_back(
        {ComponentName(run, c), ComponentColour(c), false, false, x, componentColumn(run, frame, basis, c)});
  return chart;
}

ChartData SeveralTimesChart(const RunData& run, const ChartOptions& options) {
  // One line style per time, so at most as many times as there are styles.
  static constexpr std::array<LineStyle, 5> kStyles = {LineStyle::Solid, LineStyle::Dash, LineStyle::Dot,
                                                       LineStyle::DashDot, LineStyle::DashDotDot};
  constexpr std::uint32_t kKeyGrey = 0x555555;
  const CompositionBasis basis = effectiveBasis(run, options.basis);
  ChartData chart = compositionChart("profiles_several_times", basis, options.unit);
  if (run.frames.empty()) return chart;
  std::vector<std::size_t> frames = framesOf(run, options.severalFrames, 4);
  std::sort(frames.begin(), frames.end());
  if (frames.size() > kStyles.size()) {
    chart.note = "The first " + std::to_string(kStyles.size()) + " of the " + std::to_string(frames.size()) +
                 " times asked for are drawn (one line style each).";
    frames.resize(kStyles.size());
  }
  chart.title =
      "Concentration profiles at " + std::to_string(frames.size()) + (frames.size() == 1 ? " time" : " times");
  const std::vector<double> x = scaledPositions(run, options.unit);
  std::vector<ChartSeries> keys;
  for (int c = 0; c < run.componentCount; ++c)
    keys.push_back({ComponentName(run, c), ComponentColour(c), false, false, {}, {}});
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const double t = run.frames[frames[k]].timeS;
    std::string time = timeLabel(t, options.timeUnit);
    if (const double kelvin = ScheduleTemperatureAt(run, t); std::isfinite(kelvin))
      time += " (" + shortNumber(kelvin) + " K)";
    for (int c = 0; c < run.componentCount; ++c) {
      ChartSeries curve{ComponentName(run, c) + ", " + time,
                        ComponentColour(c),
                        false,
                        false,
                        x,
                        componentColumn(run, run.frames[frames[k]], basis, c)};
      curve.style = kStyles[k];
      curve.inLegend = false;
      chart.series.push_back(std::move(curve));
    }
    ChartSeries key{time, kKeyGrey, false, false, {}, {}};
    key.style = kStyles[k];
    keys.push_back(std::move(key));
  }
  for (ChartSeries& key : keys) chart.series.push_back(std::move(key));
  return chart;
}

ChartData TemperatureChart(const RunData& run, const ChartOptions& options) {
  ChartData chart;
  chart.id = "temperature";
  chart.title = "Temperature schedule";
  chart.xTitle = timeAxisTitle(options.timeUnit);
  chart.yTitle = "T [K]";
  chart.yMargin = 0.05;  // the hold at the top and its markers off the frame
  chart.xLog = options.logTime;
  const std::optional<TemperatureSchedule> schedule = scheduleOf(run);
  if (!schedule || run.frames.empty()) return chart;
  const std::size_t count = schedule->rows().size();
  const double start = std::min(run.startTimeS, run.frames.front().timeS);
  double end = run.frames.back().timeS;
  if (std::isfinite(run.endTimeS)) end = std::max(end, run.endTimeS);

  std::string file = run.scheduleFile;
  if (const std::size_t slash = file.find_last_of('/'); slash != std::string::npos) file.erase(0, slash + 1);
  const std::optional<ThermalCycles>& cycles = schedule->cycles();
  const std::string what = !file.empty() ? file : cycles ? std::string("the cycles") : std::string("the schedule");
  ChartSeries curve{"T(t) of " + what, 0xD55E00, false, false, {}, {}};
  // The T(t) the run itself followed, corner to corner: T just before and
  // at each corner, so that a step is drawn upright.
  const auto corners = [&](ChartSeries& line, double from, double to) {
    line.x.push_back(from);
    line.y.push_back(schedule->temperatureAt(from));
    for (double t = schedule->nextCorner(from); t < to; t = schedule->nextCorner(t)) {
      const double before = schedule->temperatureBefore(t), at = schedule->temperatureAt(t);
      line.x.push_back(t);
      line.y.push_back(before);
      if (at != before) {
        line.x.push_back(t);
        line.y.push_back(at);
      }
    }
    line.x.push_back(to);
    line.y.push_back(schedule->temperatureBefore(to));
  };
  // The cycles within the run, and how many points their corners take.
  double cyclesFrom = end, cyclesTo = end;
  double drawnCycles = 0.0;
  if (cycles) {
    cyclesFrom = std::clamp(cycles->start(), start, end);
    cyclesTo = std::clamp(cycles->end(), start, end);
    if (cyclesTo > cyclesFrom) drawnCycles = std::ceil((cyclesTo - cyclesFrom) / cycles->period()) + 1.0;
  }
  if (4.0 * drawnCycles + static_cast<double>(count) <= static_cast<double>(kMaxTemperatureCorners)) {
    corners(curve, start, end);
    curve.x = inUnit(std::move(curve.x), options.timeUnit);
    chart.series.push_back(std::move(curve));
  } else {
    // Too many cycles to draw one by one: the rows before them, the band
    // they sweep, and the cold hold after them.
    if (cyclesFrom > start) corners(curve, start, cyclesFrom);
    // The cycles the run went through, begun within it.
    const CyclePosition first = cycles->positionAt(cyclesFrom), last = cycles->positionAt(cyclesTo);
    const long long shown = (last.phase == CyclePhase::kAfter ? cycles->count() : last.cycle + 1) -
                            (first.phase == CyclePhase::kBefore ? 0 : first.cycle);
    ChartSeries band{ReadableNumber(static_cast<double>(shown), 6) + " cycles between " +
                         shortNumber(cycles->coldKelvin()) + " and " + shortNumber(cycles->hotKelvin()) +
                         " K (envelope)",
                     0xD55E00,
                     false,
                     false,
                     inUnit({cyclesFrom, cyclesTo}, options.timeUnit),
                     {cycles->hotKelvin(), cycles->hotKelvin()}};
    band.yLow = {cycles->coldKelvin(), cycles->coldKelvin()};
    curve.x = inUnit(std::move(curve.x), options.timeUnit);
    if (!curve.x.empty()) chart.series.push_back(std::move(curve));
    const std::size_t bandIndex = chart.series.size();
    chart.series.push_back(std::move(band));
    if (end > cyclesTo) {
      ChartSeries after{"T(t) after the cycles", 0xD55E00, false, false, {}, {}};
      corners(after, cyclesTo, end);
      after.x = inUnit(std::move(after.x), options.timeUnit);
      after.inLegend = false;
      chart.series.push_back(std::move(after));
    }
    ChartSeries detail{"T(t) in view", 0xD55E00, false, false, {}, {}};
    detail.inLegend = false;
    if (const auto& view = options.temperatureViewS) {
      const double from = std::max(view->first, cyclesFrom), to = std::min(view->second, cyclesTo);
      if (to > from &&
          4.0 * (std::ceil((to - from) / cycles->period()) + 1.0) <= static_cast<double>(kMaxTemperatureCorners)) {
        corners(detail, from, to);
        detail.x = inUnit(std::move(detail.x), options.timeUnit);
        // The band closes over the span drawn cycle by cycle, so that the
        // cycles there are not lost in its shade.
        ChartSeries& band = chart.series[bandIndex];
        const double cold = cycles->coldKelvin(), hot = cycles->hotKelvin();
        const double a = detail.x.front(), b = detail.x.back();
        band.x = {band.x.front(), a, a, b, b, band.x.back()};
        band.y = {hot, hot, cold, cold, hot, hot};
        band.yLow = {cold, cold, cold, cold, cold, cold};
      }
    }
    chart.series.push_back(std::move(detail));
  }

  ChartSeries saves{"saves", 0x0072B2, true, false, {}, {}};
  for (const ProfileFrame& frame : run.frames) {
    saves.x.push_back(frame.timeS);
    saves.y.push_back(schedule->temperatureAt(frame.timeS));
  }
  Thin(saves.x, saves.y, kMaxDrawnPoints);
  saves.x = inUnit(std::move(saves.x), options.timeUnit);
  chart.series.push_back(std::move(saves));
  // The save the profile charts show, so that the slider's choice shows here.
  const double shown = run.frames[ChosenFrame(run, options)].timeS;
  chart.series.push_back(
      {"save shown", 0x000000, true, false, {shown / SecondsPer(options.timeUnit)}, {schedule->temperatureAt(shown)}});

  if (count > 0) {
    chart.note = "Schedule " + run.scheduleFile;
    if (!run.scheduleSha256.empty()) chart.note += " (sha256 " + run.scheduleSha256.substr(0, 12) + ")";
    chart.note += ", " + std::to_string(count) + (count == 1 ? " row" : " rows");
  }
  if (cycles) {
    chart.note += std::string(count > 0 ? ", then" : "Thermal") + " cycles " + cycles->text() +
                  " from t = " + TimeText(cycles->start(), options.timeUnit);
    if (drawnCycles * 4.0 + static_cast<double>(count) > static_cast<double>(kMaxTemperatureCorners))
      chart.note += " (too many to draw one by one: their envelope is drawn)";
  }
  chart.note += "; markers at the times of the " + std::to_string(run.frames.size()) +
                (run.frames.size() == 1 ? " save" : " saves");
  return chart;
}

ChartData EvolutionChart(const RunData& run, const ChartOptions& options) {
  const CompositionBasis basis = effectiveBasis(run, options.basis);
  const int component = std::clamp(options.evolutionComponent, 0, std::max(run.componentCount - 1, 0));
  ChartData chart;
  chart.id = "evolution_" + componentNumber(component);
  chart.title = "Evolution of the profile of " + ComponentName(run, component);
  chart.xTitle = "x [" + unitName(options.unit) + "]";
  chart.yTitle = ComponentName(run, component) + " [" + basisName(basis) + "]";
  if (run.frames.empty()) return chart;
  const std::vector<std::size_t> frames = framesOf(run, options.evolutionFrames, 8);
  const std::vector<double> x = scaledPositions(run, options.unit);
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const double fraction = frames.size() == 1 ? 1.0 : static_cast<double>(k) / static_cast<double>(frames.size() - 1);
    const ProfileFrame& frame = run.frames[frames[k]];
    chart.series.push_back({compactTime(frame.timeS, options.timeUnit), RampColour(fraction), false, false, x,
                            componentColumn(run, frame, basis, component)});
  }
  return chart;
}

ChartData KirkendallChart(const RunData& run, const ChartOptions& options) {
  ChartData chart;
  chart.id = "kirkendall";
  chart.title = "Kirkendall plane";
  const std::string rootUnit = TimeUnitName(options.timeUnit) + "^½";
  chart.xTitle = "√t [" + rootUnit + "]";
  chart.yTitle = "x_K − x_K0 [" + unitName(options.unit) + "]";
  const double scale = positionScale(options.unit);
  const double per = SecondsPer(options.timeUnit);
  ChartSeries plane{"Kirkendall plane", 0x000000, false, false, {}, {}};
  double sumSD = 0.0, sumSS = 0.0, largestCm = 0.0;
  double firstS = kNaN, lastS = kNaN;
  for (std::size_t i = 0; i < run.kirkendallTimeS.size() && i < run.kirkendallCm.size(); ++i) {
    const double elapsed = run.kirkendallTimeS[i] - run.startTimeS;
    if (!(elapsed >= 0.0)) continue;
    const double shiftCm = run.kirkendallCm[i] - run.initialKirkendallCm;
    if (!std::isfinite(shiftCm)) continue;
    const double root = std::sqrt(elapsed / per);
    const double shift = shiftCm * scale;
    plane.x.push_back(root);
    plane.y.push_back(shift);
    largestCm = std::max(largestCm, std::abs(shiftCm));
    if (std::isnan(firstS)) firstS = run.kirkendallTimeS[i];
    lastS = run.kirkendallTimeS[i];
    // x_K - x_K0 = A sqrt(t): least squares through the origin.
    sumSD += root * shift;
    sumSS += root * root;
  }
  if (plane.x.empty()) return chart;
  // How much of the motion the law x_K - x_K0 = A sqrt(t) explains (R² of a
  // fit through the origin).
  const double a = sumSS > 0.0 ? sumSD / sumSS : kNaN;
  double residual = 0.0, total = 0.0;
  for (std::size_t i = 0; i < plane.x.size(); ++i) {
    residual += (plane.y[i] - a * plane.x[i]) * (plane.y[i] - a * plane.x[i]);
    total += plane.y[i] * plane.y[i];
  }
  const double r2 = total > 0.0 ? 1.0 - residual / total : kNaN;
  // A plane that moved less than a thousandth of a grid step, and not as
  // sqrt(t) (the law explains less than half its motion), has not moved in any sense the profile can show: a line
  // fitted to that is noise.
  if (run.pointCount() >= 2) {
    const double stepCm = (run.positionCm.back() - run.positionCm.front()) / static_cast<double>(run.pointCount() - 1);
    if (largestCm < 1e-3 * std::abs(stepCm) && !(r2 >= 0.5)) {
      chart.unavailable = "The Kirkendall plane moved at most " + shortNumber(largestCm * scale, 2) + " " +
                          unitName(options.unit) + ", less than a thousandth of a grid step (" +
                          shortNumber(std::abs(stepCm) * scale, 3) + " " + unitName(options.unit) +
                          "), and not as √t (R² = " + shortNumber(r2, 2) + "): no shift to fit a law to.";
      return chart;
    }
  }
  const std::size_t used = plane.x.size();
  Thin(plane.x, plane.y, kMaxDrawnPoints);
  const double rootEnd = plane.x.back();
  chart.series.push_back(std::move(plane));
  if (std::isfinite(a)) {
    const std::string aText = "A = " + shortNumber(a) + " " + unitName(options.unit) + "/" + rootUnit;
    chart.series.push_back(
        {"fit x_K − x_K0 = A·√t, " + aText, 0xD55E00, false, true, {0.0, rootEnd}, {0.0, a * rootEnd}});
    chart.note = "Least-squares fit through the origin over the record from t = " + TimeText(firstS, options.timeUnit) +
                 " to " + TimeText(lastS, options.timeUnit) + " (" + std::to_string(used) + " points): " + aText +
                 ", R² = " + shortNumber(r2, 6);
  }
  return chart;
}

ChartData DiffusionPathChart(const RunData& run, const ChartOptions& options) {
  const CompositionBasis basis = effectiveBasis(run, options.basis);
  ChartData chart;
  chart.id = "diffusion_path";
  chart.xTitle = ComponentName(run, 0) + " [" + basisName(basis) + "]";
  chart.yTitle = "other components [" + basisName(basis) + "]";
  if (run.frames.empty()) return chart;
  if (run.componentCount < 3) {
    chart.unavailable = "With " + std::to_string(run.componentCount) +
                        (run.componentCount == 1 ? " component" : " components") + " the diffusion path is the line " +
                        ComponentName(run, 1) + " = 100 − " + ComponentName(run, 0) +
                        ": it says nothing the profiles do not.";
    if (run.componentCount < 2) chart.unavailable = "With one component there is no diffusion path.";
    return chart;
  }
  const ProfileFrame& frame = run.frames[ChosenFrame(run, options)];
  chart.title = "Diffusion path, " + saveLabel(run, frame.timeS, options.timeUnit);
  const std::vector<double> first = componentColumn(run, frame, basis, 0);
  for (int c = 1; c < run.componentCount; ++c)
    chart.series.push_back({ComponentName(run, c) + " against " + ComponentName(run, 0), ComponentColour(c), false,
                            false, first, componentColumn(run, frame, basis, c)});
  return chart;
}

ChartData SurfaceChart(const RunData& run, const ChartOptions& options) {
  ChartData chart;
  chart.id = "surface";
  chart.title = "Surface composition (selective oxidation of " + ComponentName(run, 0) + ")";
  chart.xTitle = timeAxisTitle(options.timeUnit);
  chart.yTitle = ComponentName(run, 0) + " at the surface [molar ratio]";
  chart.xLog = options.logTime;
  ChartSeries surface{
      ComponentName(run, 0) + " at the surface", ComponentColour(0), false, false, run.surfaceTimeS, run.surfaceRatio};
  if (surface.x.empty()) return chart;
  Thin(surface.x, surface.y, kMaxDrawnPoints);
  surface.x = inUnit(std::move(surface.x), options.timeUnit);
  chart.series.push_back(std::move(surface));
  return chart;
}

ChartData MassChangeChart(const RunData& run, const ChartOptions& options) {
  ChartData chart;
  chart.id = "mass_change";
  chart.title = "Specific mass change";
  chart.xTitle = timeAxisTitle(options.timeUnit);
  chart.yTitle = "ΔW/A [mg/cm²]";
  chart.xLog = options.logTime;
  chart.yMargin = 0.05;
  const auto series = [&](const char* name, std::uint32_t rgb, const std::vector<double>& y, bool dashed) {
    ChartSeries line{name, rgb, false, dashed, run.massChangeTimeS, y};
    Thin(line.x, line.y, kMaxDrawnPoints);
    line.x = inUnit(std::move(line.x), options.timeUnit);
    return line;
  };
  if (run.massChangeTimeS.empty()) return chart;
  chart.series.push_back(series("mass change", 0x000000, run.massChange, false));
  chart.series.push_back(series("oxygen in the retained scale", 0x1f77b4, run.massChangeOxygen, true));
  chart.series.push_back(series("metal lost with spalled scale", 0xd62728, run.massChangeSpalled, true));
  const auto peak = std::max_element(run.massChange.begin(), run.massChange.end());
  if (peak != run.massChange.end())
    chart.note =
        "largest gain " + ShortNumber(*peak) + " mg/cm² at " +
        TimeText(run.massChangeTimeS[static_cast<std::size_t>(peak - run.massChange.begin())], options.timeUnit) +
        "; at the end " + ShortNumber(run.massChange.back()) + " mg/cm²";
  return chart;
}

ChartData LifeChart(const RunData& run, const ChartOptions& options) {
  ChartData chart;
  chart.id = "life";
  // In words: a chart title is rich text, where "<" would open a tag.
  chart.title = "End of life: " + run.watchedName;
  chart.xTitle = timeAxisTitle(options.timeUnit);
  chart.yTitle = run.watchedName + " watched [molar ratio]";
  chart.xLog = options.logTime;
  chart.yMargin = 0.05;
  if (run.watchedTimeS.empty()) return chart;
  int component = 0;
  std::optional<double> critical;
  try {
    const CriticalContent condition = parseCritical(run.lifeCondition, "run.json");
    component = condition.component;
    critical = condition.value;
    chart.title += std::string(condition.below ? " below " : " above ") + ShortNumber(condition.value);
  } catch (const InputError&) {
    // No condition that reads: the content alone.
  }
  ChartSeries content{run.watchedName, ComponentColour(component), false, false, run.watchedTimeS, run.watchedContent};
  Thin(content.x, content.y, kMaxDrawnPoints);
  content.x = inUnit(std::move(content.x), options.timeUnit);
  const double first = content.x.front();
  const double last = content.x.back();
  chart.series.push_back(std::move(content));
  if (critical) {
    chart.series.push_back(
        {"critical " + ShortNumber(*critical), 0x7f7f7f, false, true, {first, last}, {*critical, *critical}});
    if (run.lifeS) {
      chart.series.push_back({"life " + TimeText(*run.lifeS, options.timeUnit),
                              0xd62728,
                              true,
                              false,
                              inUnit({*run.lifeS}, options.timeUnit),
                              {*critical}});
      chart.note = "life " + TimeText(*run.lifeS, options.timeUnit);
    } else {
      chart.note = "life not reached";
    }
  }
  return chart;
}

double HoldStart(const RunData& run) {
  const double end = std::isfinite(run.endTimeS) ? run.endTimeS : std::numeric_limits<double>::infinity();
  // Under cycles the temperature last changed at their last corner before the end.
  if (!run.cyclesText.empty())
    if (const std::optional<TemperatureSchedule> schedule = scheduleOf(run))
      return schedule->constantFrom(run.startTimeS, end);
  return isothermalFrom(run.scheduleTimeS, run.scheduleTemperatureK, run.startTimeS, end);
}

ChartData ScaleChart(const RunData& run, const ChartOptions& options) {
  ChartData chart;
  chart.id = "scale";
  chart.title = "Oxide scale growth";
  chart.xTitle = timeAxisTitle(options.timeUnit);
  chart.yTitle = "X² [µm²]";
  chart.xLog = options.logTime;
  const double per = SecondsPer(options.timeUnit);
  const std::string unit = TimeUnitName(options.timeUnit);
  ChartSeries scale{"X² (scale thickness squared)", 0x000000, false, false, {}, {}};
  for (std::size_t i = 0; i < run.scaleTimeS.size() && i < run.scaleThicknessCm.size(); ++i) {
    const double x = run.scaleThicknessCm[i] * 1e4;  // µm
    if (!std::isfinite(x)) continue;
    scale.x.push_back(run.scaleTimeS[i] / per);
    scale.y.push_back(x * x);
  }
  if (scale.x.empty()) return chart;
  // X² = a + b t: parabolic growth has b = 2 kp, for a constant kp. Under a
  // schedule that changes the temperature, kp is constant over the final
  // hold only, and the line is fitted there.
  const double hold = HoldStart(run);
  std::vector<double> holdT;
  std::vector<double> holdX2;
  for (std::size_t i = 0; i < scale.x.size(); ++i)
    if (scale.x[i] * per >= hold) {
      holdT.push_back(scale.x[i]);
      holdX2.push_back(scale.y[i]);
    }
  const LineFit fit = FitLine(holdT, holdX2);
  Thin(scale.x, scale.y, kMaxDrawnPoints);
  const double t0 = holdT.empty() ? scale.x.front() : holdT.front(), t1 = scale.x.back();
  chart.series.push_back(std::move(scale));
  if (std::isfinite(fit.slope)) {
    const double kp = 0.5 * fit.slope * 1e-8 / per;  // cm²/s
    const std::string text = "2kp = " + shortNumber(fit.slope) + " µm²/" + unit + " (kp = " + shortNumber(kp) +
                             " cm²/s), R² = " + shortNumber(fit.r2, 6);
    // On a logarithmic time axis a straight line of X² against t is a curve:
    // drawn through points spread evenly in log t.
    ChartSeries line{"parabolic fit X² = a + 2kp·t, " + text, 0xD55E00, false, true, {}, {}};
    const int pieces = options.logTime && t0 > 0.0 && t1 > t0 ? 48 : 1;
    for (int k = 0; k <= pieces; ++k) {
      const double t = pieces == 1 ? (k == 0 ? t0 : t1) : t0 * std::pow(t1 / t0, static_cast<double>(k) / pieces);
      line.x.push_back(t);
      line.y.push_back(fit.intercept + fit.slope * t);
    }
    chart.series.push_back(std::move(line));
    chart.note =
        (hold > run.startTimeS
             ? "Least-squares line of X² against t over the final hold from t = " + TimeText(hold, options.timeUnit) +
                   " to " + TimeText(t1 * per, options.timeUnit) + ": "
             : "Least-squares line of X² against t over the record from t = " + TimeText(t0 * per, options.timeUnit) +
                   " to " + TimeText(t1 * per, options.timeUnit) + ": ") +
        text;
    if (!run.scaleKp.empty()) chart.note += "; kp of the run at its end " + shortNumber(run.scaleKp.back()) + " cm²/s";
  }
  return chart;
}

ChartData MeasuredOverlayChart(const RunData& run, const MeasuredProfile& measured, const ChartOptions& options) {
  ChartOptions asMeasured = options;
  asMeasured.basis = measured.basis;
  const CompositionBasis basis = effectiveBasis(run, measured.basis);
  ChartData chart = compositionChart("measured_overlay", measured.basis, options.unit);
  if (run.frames.empty()) return chart;
  // The misfit means something only against the save of the measured time.
  const std::size_t index =
      options.measuredTimeS ? FrameNearest(run, *options.measuredTimeS) : ChosenFrame(run, asMeasured);
  const ProfileFrame& frame = run.frames[index];
  const TimeUnit unit = options.timeUnit;
  chart.title = options.measuredTimeS
                    ? "Measured (" + timeLabel(*options.measuredTimeS, unit) + ") and simulated profiles, save at " +
                          saveLabel(run, frame.timeS, unit)
                    : "Measured and simulated profiles at the save shown, " + saveLabel(run, frame.timeS, unit);
  if (basis != measured.basis) {
    chart.note = "The run's molar masses are unknown, so its profile cannot be given in wt.%.";
    return chart;
  }
  std::vector<std::vector<double>> simulated;
  for (int c = 0; c < run.componentCount; ++c) simulated.push_back(componentColumn(run, frame, basis, c));
  const std::vector<double> x = scaledPositions(run, options.unit);
  const double scale = positionScale(options.unit);
  const ProfileMisfit total = MeasuredMisfit(measured, run.positionCm, simulated);
  for (std::size_t column = 0; column < measured.components.size(); ++column) {
    const int c = measured.components[column];
    MeasuredProfile one = measured;
    one.components = {c};
    one.percent = {measured.percent[column]};
    const ProfileMisfit misfit = MeasuredMisfit(one, run.positionCm, simulated);
    chart.series.push_back({ComponentName(run, c) + " simulated", ComponentColour(c), false, false, x,
                            simulated[static_cast<std::size_t>(c)]});
    ChartSeries points{ComponentName(run, c) + " measured (RMS " + shortNumber(misfit.rmsPercent, 3) + " " +
                           basisName(measured.basis) + ")",
                       MeasuredColour(c),
                       true,
                       false,
                       {},
                       measured.percent[column]};
    for (const double position : measured.positionCm) points.x.push_back(position * scale);
    points.open = true;
    chart.series.push_back(std::move(points));
  }
  // The scan, not the whole sample: a scan over a tenth of it would be lost.
  const auto [lowest, highest] = std::minmax_element(measured.positionCm.begin(), measured.positionCm.end());
  if (lowest != measured.positionCm.end()) {
    const double span = *highest - *lowest;
    const double sample = run.positionCm.empty() ? 0.0 : run.positionCm.back() - run.positionCm.front();
    const double margin = span > 0.0 ? 0.1 * span : 0.05 * std::max(sample, 1e-4);
    chart.xView = std::pair{(*lowest - margin) * scale, (*highest + margin) * scale};
  }
  chart.note = "RMS misfit " + shortNumber(total.rmsPercent, 3) + " " + basisName(measured.basis) + " over " +
               std::to_string(total.pointsUsed) + " measured points";
  if (total.pointsOutside > 0)
    chart.note += " (" + std::to_string(total.pointsOutside) + " points beyond the sample left out)";
  if (options.measuredTimeS) {
    const double asked = *options.measuredTimeS;
    chart.note += ", against the save at " + timeLabel(frame.timeS, unit) + ", the nearest to the measured " +
                  timeLabel(asked, unit);
    if (asked > run.frames.back().timeS && std::abs(asked - frame.timeS) > 1e-6 * std::abs(asked))
      chart.note += "; the run has not reached the measured time";
    else if (std::abs(asked - frame.timeS) > 0.01 * std::abs(asked))
      chart.note += "; " + TimeText(std::abs(asked - frame.timeS), unit) + " away from it";
  } else {
    chart.note += ", against the save shown (" + timeLabel(frame.timeS, unit) +
                  "); give the time the profile was measured to compare with the save nearest to it";
  }
  return chart;
}

std::vector<ChartData> AllCharts(const RunData& run, const MeasuredProfile* measured, const ChartOptions& options) {
  std::vector<ChartData> charts;
  charts.push_back(ProfilesChart(run, options));
  if (!run.scheduleTimeS.empty() || !run.cyclesText.empty()) charts.push_back(TemperatureChart(run, options));
  if (run.frames.size() > 1) charts.push_back(SeveralTimesChart(run, options));
  for (int c = 0; c < run.componentCount; ++c) {
    ChartOptions one = options;
    one.evolutionComponent = c;
    charts.push_back(EvolutionChart(run, one));
  }
  charts.push_back(DiffusionPathChart(run, options));
  if (!run.kirkendallTimeS.empty()) charts.push_back(KirkendallChart(run, options));
  if (run.oxidation) {
    charts.push_back(SurfaceChart(run, options));
    charts.push_back(ScaleChart(run, options));
  }
  if (!run.massChangeTimeS.empty()) charts.push_back(MassChangeChart(run, options));
  if (!run.watchedTimeS.empty()) charts.push_back(LifeChart(run, options));
  if (measured != nullptr) charts.push_back(MeasuredOverlayChart(run, *measured, options));
  std::erase_if(charts, [](const ChartData& chart) { return !HasData(chart) && chart.unavailable.empty(); });
  return charts;
}

bool HasData(const ChartData& chart) {
  return std::any_of(chart.series.begin(), chart.series.end(), [](const ChartSeries& s) { return !s.x.empty(); });
}

std::string ChartCsv(const ChartData& chart) {
  std::string text = "series," + csvField(chart.xTitle) + "," + csvField(chart.yTitle) + "\n";
  for (const ChartSeries& series : chart.series) {
    const std::string name = csvField(series.name);
    const bool band = !series.yLow.empty();
    const std::string upper = band ? csvField(series.name + ", upper") : name;
    for (std::size_t i = 0; i < series.x.size() && i < series.y.size(); ++i)
      text += upper + "," + formatGeneral(series.x[i]) + "," + formatGeneral(series.y[i]) + "\n";
    const std::string lower = csvField(series.name + ", lower");
    for (std::size_t i = 0; i < series.x.size() && i < series.yLow.size(); ++i)
      text += lower + "," + formatGeneral(series.x[i]) + "," + formatGeneral(series.yLow[i]) + "\n";
  }
  return text;
}

LineFit FitLine(const std::vector<double>& x, const std::vector<double>& y) {
  const std::size_t n = std::min(x.size(), y.size());
  LineFit fit{kNaN, kNaN, kNaN};
  if (n < 2) return fit;
  double mx = 0.0, my = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    mx += x[i];
    my += y[i];
  }
  mx /= static_cast<double>(n);
  my /= static_cast<double>(n);
  double sxx = 0.0, sxy = 0.0, syy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sxx += (x[i] - mx) * (x[i] - mx);
    sxy += (x[i] - mx) * (y[i] - my);
    syy += (y[i] - my) * (y[i] - my);
  }
  if (!(sxx > 0.0)) return fit;
  fit.slope = sxy / sxx;
  fit.intercept = my - fit.slope * mx;
  fit.r2 = syy > 0.0 ? sxy * sxy / (sxx * syy) : 1.0;
  return fit;
}

void Thin(std::vector<double>& x, std::vector<double>& y, std::size_t limit) {
  const std::size_t n = std::min(x.size(), y.size());
  if (n <= limit || limit < 2) return;
  std::vector<double> tx, ty;
  tx.reserve(limit);
  ty.reserve(limit);
  for (std::size_t k = 0; k < limit; ++k) {
    const std::size_t i = k * (n - 1) / (limit - 1);
    tx.push_back(x[i]);
    ty.push_back(y[i]);
  }
  x = std::move(tx);
  y = std::move(ty);
}

}  // namespace torvex::plot
