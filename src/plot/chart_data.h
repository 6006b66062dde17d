#pragma once
// The charts of a run as data: titles, axis titles with units, and the
// series with their points and colours. Building them needs no toolkit, so
// what is drawn, exported as CSV and tested is one and the same thing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/measured_profile.h"
#include "results/run_data.h"

namespace torvex::plot {

enum class PositionUnit { Micrometre, Centimetre };

struct ChartSeries {
  std::string name;
  std::uint32_t rgb = 0;  // 0xRRGGBB
  bool markers = false;   // points (measured data) rather than a line
  bool dashed = false;    // a fitted line
  std::vector<double> x;
  std::vector<double> y;
};

struct ChartData {
  std::string id;  // file-name stem: "profiles", "evolution_N1", ...
  std::string title;
  std::string xTitle;  // with its unit, e.g. "x [µm]"
  std::string yTitle;
  std::vector<ChartSeries> series;
  std::string note;  // a fit or misfit worth a line under the chart
  // Room above and below the values on the y axis, as a fraction of their
  // span, so that markers at the extremes stay clear of the frame.
  double yMargin = 0.0;
};

struct ChartOptions {
  CompositionBasis basis = CompositionBasis::Atomic;
  PositionUnit unit = PositionUnit::Micrometre;
  // The save shown by the profile, path and overlay charts: the index into
  // RunData::frames; the last save when none or out of range.
  std::optional<std::size_t> frame;
  // The saves of the evolution chart; when empty, up to eight spread evenly.
  std::vector<std::size_t> evolutionFrames;
  int evolutionComponent = 0;  // 0-based
};

// One colour per component, the same in every chart: a palette that stays
// distinct for readers with the common colour-vision deficiencies.
std::uint32_t ComponentColour(int component);
// Early (light) to late (dark) along a ramp, for 0 <= fraction <= 1.
std::uint32_t RampColour(double fraction);

// The save a chart shows for these options.
std::size_t ChosenFrame(const RunData& run, const ChartOptions& options);
// The index of the save nearest to timeS.
std::size_t FrameNearest(const RunData& run, double timeS);

ChartData ProfilesChart(const RunData& run, const ChartOptions& options);
// T(t) of the schedule over the run, from its start to its end (constant
// before the first row and after the last, a step drawn upright), with a
// marker at every save and one at the save the profile charts show. Empty
// series when the run had no schedule.
ChartData TemperatureChart(const RunData& run, const ChartOptions& options);
ChartData EvolutionChart(const RunData& run, const ChartOptions& options);
// Empty series when the run has no Kirkendall record.
ChartData KirkendallChart(const RunData& run, const ChartOptions& options);
ChartData DiffusionPathChart(const RunData& run, const ChartOptions& options);
ChartData SurfaceChart(const RunData& run, const ChartOptions& options);
// The parabolic line is fitted where kp is constant: over the whole record,
// or under a schedule that changes the temperature over the final hold.
ChartData ScaleChart(const RunData& run, const ChartOptions& options);
// The time from which the run's temperature stayed constant to its end: the
// end of the schedule's last ramp or step within the run, else the start.
double HoldStart(const RunData& run);
// The measured points over the simulated profile of the save nearest in
// time (the chosen save); the RMS misfit goes in the legend. The basis is the
// measured profile's.
ChartData MeasuredOverlayChart(const RunData& run, const MeasuredProfile& measured, const ChartOptions& options);

// Every chart that applies to the run, in the order of the Plots window's
// tabs: profiles, temperature (a run under a schedule), evolution (one per
// component), diffusion path, Kirkendall plane, surface and scale (selective
// oxidation), measured overlay.
std::vector<ChartData> AllCharts(const RunData& run, const MeasuredProfile* measured, const ChartOptions& options);

// True when the chart has at least one point to draw.
bool HasData(const ChartData& chart);

// The points drawn, as CSV: a header "series,X,Y" with the axis titles, then
// one row per point in drawing order (full stop, 15 significant digits, LF).
std::string ChartCsv(const ChartData& chart);

// Least squares of y = a + b x; NaN when fewer than two distinct x.
struct LineFit {
  double intercept = 0.0;
  double slope = 0.0;
  double r2 = 0.0;
};
LineFit FitLine(const std::vector<double>& x, const std::vector<double>& y);

// At most `limit` points of a long record for drawing: the record thinned
// evenly, first and last point kept.
void Thin(std::vector<double>& x, std::vector<double>& y, std::size_t limit);

}  // namespace torvex::plot
