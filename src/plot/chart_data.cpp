#include "plot/chart_data.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "model/heat_treatment.h"
#include "model/number_format.h"
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

std::string componentName(int component) {
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

std::string timeLabel(double timeS) {
  return "t = " + shortNumber(timeS) + " s";
}

// A time for a legend of many curves: three digits, a short exponent
// ("2.13e4 s"; 612000 s reads "6.12e5 s").
std::string compactTime(double timeS) {
  std::string text = shortNumber(timeS, 3);
  const std::size_t e = text.find('e');
  if (e != std::string::npos) {
    std::string exponent = text.substr(e + 1);
    const bool negative = exponent.front() == '-';
    exponent.erase(0, exponent.find_first_not_of("+-0"));
    text = text.substr(0, e + 1) + (negative ? "-" : "") + exponent;
  }
  return text + " s";
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

std::uint32_t RampColour(double fraction) {
  // Light yellow-green through teal to dark blue-violet: early light, late dark.
  fraction = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
  constexpr std::uint32_t kEarly = 0xB5DE2B, kMiddle = 0x21918C, kLate = 0x440154;
  return fraction < 0.5 ? blend(kEarly, kMiddle, 2.0 * fraction) : blend(kMiddle, kLate, 2.0 * fraction - 1.0);
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
  ChartData chart;
  chart.id = "profiles";
  chart.xTitle = "x [" + unitName(options.unit) + "]";
  chart.yTitle = "composition [" + basisName(basis) + "]";
  if (run.frames.empty()) return chart;
  const ProfileFrame& frame = run.frames[ChosenFrame(run, options)];
  chart.title = "Concentration profiles, " + timeLabel(frame.timeS);
  const std::vector<double> x = scaledPositions(run, options.unit);
  for (int c = 0; c < run.componentCount; ++c)
    chart.series.push_back(
        {componentName(c), ComponentColour(c), false, false, x, componentColumn(run, frame, basis, c)});
  return chart;
}

ChartData TemperatureChart(const RunData& run, const ChartOptions& options) {
  ChartData chart;
  chart.id = "temperature";
  chart.title = "Temperature schedule";
  chart.xTitle = "t [s]";
  chart.yTitle = "T [K]";
  chart.yMargin = 0.05;  // the hold at the top and its markers off the frame
  const std::size_t count = std::min(run.scheduleTimeS.size(), run.scheduleTemperatureK.size());
  if (count == 0 || run.frames.empty()) return chart;
  // The T(t) the run itself followed: interpolated between the rows, and at
  // a step the second row from the step on.
  std::vector<ScheduleRow> rows;
  for (std::size_t k = 0; k < count; ++k) rows.push_back({run.scheduleTimeS[k], run.scheduleTemperatureK[k], 0});
  const TemperatureSchedule schedule(rows, run.scheduleFile);
  const double start = std::min(run.startTimeS, run.frames.front().timeS);
  double end = run.frames.back().timeS;
  if (std::isfinite(run.endTimeS)) end = std::max(end, run.endTimeS);

  // The rows within the run, and T at its start and end unless a row is
  // there: two rows at one time draw the step as an upright line.
  std::string file = run.scheduleFile;
  if (const std::size_t slash = file.find_last_of('/'); slash != std::string::npos) file.erase(0, slash + 1);
  ChartSeries curve{"T(t) of " + (file.empty() ? std::string("the schedule") : file), 0xD55E00, false, false, {}, {}};
  const auto first =
      std::lower_bound(rows.begin(), rows.end(), start, [](const ScheduleRow& row, double t) { return row.time < t; });
  const auto last =
      std::upper_bound(first, rows.end(), end, [](double t, const ScheduleRow& row) { return t < row.time; });
  if (first == last || first->time > start) {
    curve.x.push_back(start);
    curve.y.push_back(schedule.temperatureAt(start));
  }
  for (auto row = first; row != last; ++row) {
    curve.x.push_back(row->time);
    curve.y.push_back(row->temperature);
  }
  if (first == last || (last - 1)->time < end) {
    curve.x.push_back(end);
    curve.y.push_back(schedule.temperatureAt(end));
  }
  chart.series.push_back(std::move(curve));

  ChartSeries saves{"saves", 0x0072B2, true, false, {}, {}};
  for (const ProfileFrame& frame : run.frames) {
    saves.x.push_back(frame.timeS);
    saves.y.push_back(schedule.temperatureAt(frame.timeS));
  }
  Thin(saves.x, saves.y, kMaxDrawnPoints);
  chart.series.push_back(std::move(saves));
  // The save the profile charts show, so that the slider's choice shows here.
  const double shown = run.frames[ChosenFrame(run, options)].timeS;
  chart.series.push_back({"save shown", 0x000000, true, false, {shown}, {schedule.temperatureAt(shown)}});

  chart.note = "Schedule " + run.scheduleFile;
  if (!run.scheduleSha256.empty()) chart.note += " (sha256 " + run.scheduleSha256.substr(0, 12) + ")";
  chart.note += ", " + std::to_string(count) + (count == 1 ? " row" : " rows") + "; markers at the times of the " +
                std::to_string(run.frames.size()) + (run.frames.size() == 1 ? " save" : " saves");
  return chart;
}

ChartData EvolutionChart(const RunData& run, const ChartOptions& options) {
  const CompositionBasis basis = effectiveBasis(run, options.basis);
  const int component = std::clamp(options.evolutionComponent, 0, std::max(run.componentCount - 1, 0));
  ChartData chart;
  chart.id = "evolution_" + componentName(component);
  chart.title = "Evolution of the profile of " + componentName(component);
  chart.xTitle = "x [" + unitName(options.unit) + "]";
  chart.yTitle = componentName(component) + " [" + basisName(basis) + "]";
  if (run.frames.empty()) return chart;
  std::vector<std::size_t> frames = options.evolutionFrames;
  std::erase_if(frames, [&](std::size_t i) { return i >= run.frames.size(); });
  if (frames.empty()) {
    constexpr std::size_t kCurves = 8;
    const std::size_t count = run.frames.size();
    const std::size_t curves = std::min(count, kCurves);
    for (std::size_t k = 0; k < curves; ++k) frames.push_back(curves == 1 ? count - 1 : k * (count - 1) / (curves - 1));
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  }
  const std::vector<double> x = scaledPositions(run, options.unit);
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const double fraction = frames.size() == 1 ? 1.0 : static_cast<double>(k) / static_cast<double>(frames.size() - 1);
    const ProfileFrame& frame = run.frames[frames[k]];
    chart.series.push_back({compactTime(frame.timeS), RampColour(fraction), false, false, x,
                            componentColumn(run, frame, basis, component)});
  }
  return chart;
}

ChartData KirkendallChart(const RunData& run, const ChartOptions& options) {
  ChartData chart;
  chart.id = "kirkendall";
  chart.title = "Kirkendall plane";
  chart.xTitle = "√t [s^½]";
  chart.yTitle = "x_K − x_K0 [" + unitName(options.unit) + "]";
  const double scale = positionScale(options.unit);
  ChartSeries plane{"Kirkendall plane", 0x000000, false, false, {}, {}};
  double sumSD = 0.0, sumSS = 0.0;
  for (std::size_t i = 0; i < run.kirkendallTimeS.size() && i < run.kirkendallCm.size(); ++i) {
    const double elapsed = run.kirkendallTimeS[i] - run.startTimeS;
    if (!(elapsed >= 0.0)) continue;
    const double root = std::sqrt(elapsed);
    const double shift = (run.kirkendallCm[i] - run.initialKirkendallCm) * scale;
    if (!std::isfinite(shift)) continue;
    plane.x.push_back(root);
    plane.y.push_back(shift);
    // x_K - x_K0 = A sqrt(t): least squares through the origin.
    sumSD += root * shift;
    sumSS += root * root;
  }
  if (plane.x.empty()) return chart;
  Thin(plane.x, plane.y, kMaxDrawnPoints);
  const double rootEnd = plane.x.back();
  chart.series.push_back(std::move(plane));
  if (sumSS > 0.0) {
    const double a = sumSD / sumSS;
    const std::string aText = "A = " + shortNumber(a) + " " + unitName(options.unit) + "/s^½";
    chart.series.push_back(
        {"fit x_K − x_K0 = A·√t, " + aText, 0xD55E00, false, true, {0.0, rootEnd}, {0.0, a * rootEnd}});
    chart.note = "Least-squares fit through the origin over the whole record: " + aText;
  }
  return chart;
}

ChartData DiffusionPathChart(const RunData& run, const ChartOptions& options) {
  const CompositionBasis basis = effectiveBasis(run, options.basis);
  ChartData chart;
  chart.id = "diffusion_path";
  chart.xTitle = "N1 [" + basisName(basis) + "]";
  chart.yTitle = "other components [" + basisName(basis) + "]";
  if (run.frames.empty() || run.componentCount < 2) return chart;
  const ProfileFrame& frame = run.frames[ChosenFrame(run, options)];
  chart.title = "Diffusion path, " + timeLabel(frame.timeS);
  const std::vector<double> first = componentColumn(run, frame, basis, 0);
  for (int c = 1; c < run.componentCount; ++c)
    chart.series.push_back({componentName(c) + " against N1", ComponentColour(c), false, false, first,
                            componentColumn(run, frame, basis, c)});
  return chart;
}

ChartData SurfaceChart(const RunData& run, const ChartOptions&) {
  ChartData chart;
  chart.id = "surface";
  chart.title = "Surface composition (selective oxidation of component 1)";
  chart.xTitle = "t [s]";
  chart.yTitle = "N1 at the surface [molar ratio]";
  ChartSeries surface{"N1 at the surface", ComponentColour(0), false, false, run.surfaceTimeS, run.surfaceRatio};
  if (surface.x.empty()) return chart;
  Thin(surface.x, surface.y, kMaxDrawnPoints);
  chart.series.push_back(std::move(surface));
  return chart;
}

double HoldStart(const RunData& run) {
  const double end = std::isfinite(run.endTimeS) ? run.endTimeS : std::numeric_limits<double>::infinity();
  return isothermalFrom(run.scheduleTimeS, run.scheduleTemperatureK, run.startTimeS, end);
}

ChartData ScaleChart(const RunData& run, const ChartOptions&) {
  ChartData chart;
  chart.id = "scale";
  chart.title = "Oxide scale growth";
  chart.xTitle = "t [s]";
  chart.yTitle = "X² [µm²]";
  ChartSeries scale{"X² (scale thickness squared)", 0x000000, false, false, {}, {}};
  for (std::size_t i = 0; i < run.scaleTimeS.size() && i < run.scaleThicknessCm.size(); ++i) {
    const double x = run.scaleThicknessCm[i] * 1e4;  // µm
    if (!std::isfinite(x)) continue;
    scale.x.push_back(run.scaleTimeS[i]);
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
    if (scale.x[i] >= hold) {
      holdT.push_back(scale.x[i]);
      holdX2.push_back(scale.y[i]);
    }
  const LineFit fit = FitLine(holdT, holdX2);
  Thin(scale.x, scale.y, kMaxDrawnPoints);
  const double t0 = holdT.empty() ? scale.x.front() : holdT.front(), t1 = scale.x.back();
  chart.series.push_back(std::move(scale));
  if (std::isfinite(fit.slope)) {
    const double kp = 0.5 * fit.slope * 1e-8;  // cm²/s
    const std::string text = "2kp = " + shortNumber(fit.slope) + " µm²/s (kp = " + shortNumber(kp) +
                             " cm²/s), R² = " + shortNumber(fit.r2, 6);
    chart.series.push_back({"parabolic fit X² = a + 2kp·t, " + text,
                            0xD55E00,
                            false,
                            true,
                            {t0, t1},
                            {fit.intercept + fit.slope * t0, fit.intercept + fit.slope * t1}});
    chart.note = (hold > run.startTimeS
                      ? "Least-squares line of X² against t over the final hold from t = " + shortNumber(hold) + " s: "
                      : std::string("Least-squares line of X² against t over the whole record: ")) +
                 text;
    if (!run.scaleKp.empty()) chart.note += "; kp of the run at its end " + shortNumber(run.scaleKp.back()) + " cm²/s";
  }
  return chart;
}

ChartData MeasuredOverlayChart(const RunData& run, const MeasuredProfile& measured, const ChartOptions& options) {
  ChartOptions asMeasured = options;
  asMeasured.basis = measured.basis;
  const CompositionBasis basis = effectiveBasis(run, measured.basis);
  ChartData chart;
  chart.id = "measured_overlay";
  chart.xTitle = "x [" + unitName(options.unit) + "]";
  chart.yTitle = "composition [" + basisName(measured.basis) + "]";
  if (run.frames.empty()) return chart;
  const ProfileFrame& frame = run.frames[ChosenFrame(run, asMeasured)];
  chart.title = "Measured and simulated profiles, " + timeLabel(frame.timeS);
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
    chart.series.push_back(
        {componentName(c) + " simulated", ComponentColour(c), false, false, x, simulated[static_cast<std::size_t>(c)]});
    ChartSeries points{componentName(c) + " measured (RMS " + shortNumber(misfit.rmsPercent, 3) + " " +
                           basisName(measured.basis) + ")",
                       ComponentColour(c),
                       true,
                       false,
                       {},
                       measured.percent[column]};
    for (const double position : measured.positionCm) points.x.push_back(position * scale);
    chart.series.push_back(std::move(points));
  }
  chart.note = "RMS misfit " + shortNumber(total.rmsPercent, 3) + " " + basisName(measured.basis) + " over " +
               std::to_string(total.pointsUsed) + " measured points";
  if (total.pointsOutside > 0)
    chart.note += " (" + std::to_string(total.pointsOutside) + " points beyond the sample left out)";
  return chart;
}

std::vector<ChartData> AllCharts(const RunData& run, const MeasuredProfile* measured, const ChartOptions& options) {
  std::vector<ChartData> charts;
  charts.push_back(ProfilesChart(run, options));
  if (!run.scheduleTimeS.empty()) charts.push_back(TemperatureChart(run, options));
  for (int c = 0; c < run.componentCount; ++c) {
    ChartOptions one = options;
    one.evolutionComponent = c;
    charts.push_back(EvolutionChart(run, one));
  }
  if (run.componentCount >= 2) charts.push_back(DiffusionPathChart(run, options));
  if (!run.kirkendallTimeS.empty()) charts.push_back(KirkendallChart(run, options));
  if (run.oxidation) {
    charts.push_back(SurfaceChart(run, options));
    charts.push_back(ScaleChart(run, options));
  }
  if (measured != nullptr) charts.push_back(MeasuredOverlayChart(run, *measured, options));
  std::erase_if(charts, [](const ChartData& chart) { return !HasData(chart); });
  return charts;
}

bool HasData(const ChartData& chart) {
  return std::any_of(chart.series.begin(), chart.series.end(), [](const ChartSeries& s) { return !s.x.empty(); });
}

std::string ChartCsv(const ChartData& chart) {
  std::string text = "series," + csvField(chart.xTitle) + "," + csvField(chart.yTitle) + "\n";
  for (const ChartSeries& series : chart.series) {
    const std::string name = csvField(series.name);
    for (std::size_t i = 0; i < series.x.size() && i < series.y.size(); ++i)
      text += name + "," + formatGeneral(series.x[i]) + "," + formatGeneral(series.y[i]) + "\n";
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
