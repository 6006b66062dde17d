#pragma once
// The charts of a run as data: titles, axis titles with units, and the
// series with their points and colours. Building them needs no toolkit, so
// what is drawn, exported as CSV and tested is one and the same thing.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/measured_profile.h"
#include "results/run_data.h"

namespace torvex::plot {

enum class PositionUnit { Micrometre, Centimetre };
enum class TimeUnit { Second, Minute, Hour };

// How a line is drawn, for curves told apart by style (the profiles at
// several times) rather than by colour.
enum class LineStyle { Solid, Dash, Dot, DashDot, DashDotDot };

struct ChartSeries {
  std::string name;
  std::uint32_t rgb = 0;  // 0xRRGGBB
  bool markers = false;   // points (measured data) rather than a line
  bool dashed = false;    // a fitted line
  std::vector<double> x;
  std::vector<double> y;
  LineStyle style = LineStyle::Solid;
  // False for a curve the legend need not list because a key series (one
  // without points) stands for it.
  bool inLegend = true;
  // Markers drawn as rings (measured points over a line).
  bool open = false;
  // A band: the area between yLow (below) and y (above) at each x, filled
  // in a light shade of the colour. Empty for a line or markers.
  std::vector<double> yLow{};
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
  // The x axis is logarithmic: points at x <= 0 are not drawn.
  bool xLog = false;
  // The x range shown first when it is not that of every point (the measured
  // overlay shows the scan); low < high.
  std::optional<std::pair<double, double>> xView;
  // Why the chart means nothing for this run (then it has no series): it is
  // not drawn, and the reason is told instead.
  std::string unavailable;
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
  // The saves of the chart of every component at several times; when empty,
  // up to four spread evenly over the run.
  std::vector<std::size_t> severalFrames;
  // Times on axes, in titles and legends.
  TimeUnit timeUnit = TimeUnit::Second;
  // The time axes (temperature, surface, scale) logarithmic.
  bool logTime = false;
  // When the measured profile was taken (s): the overlay and its misfit use
  // the save nearest to it whatever save the other charts show.
  std::optional<double> measuredTimeS;
  // The span of time (s, low < high) a zoomed temperature chart shows: the
  // cycles drawn as their envelope are drawn corner by corner within it
  // when they fit there.
  std::optional<std::pair<double, double>> temperatureViewS;
};

// A number for a title, a legend or a note: `digits` significant digits,
// full stop ("1.034e-13", "3600").
std::string ShortNumber(double value, int digits = 4);

// The name of a component (0-based) in legends and titles: the run's own
// name for it, else N1, N2, ...
std::string ComponentName(const RunData& run, int component);

// Seconds per unit, and the unit's symbol ("s", "min", "h").
double SecondsPer(TimeUnit unit);
std::string TimeUnitName(TimeUnit unit);
// A time in the unit for a title or a note: four significant digits and the
// unit ("3600 s", "60 min", "1 h").
std::string TimeText(double timeS, TimeUnit unit);
// T (K) of the run's schedule at timeS; NaN when the run had no schedule.
double ScheduleTemperatureAt(const RunData& run, double timeS);

// One colour per component, the same in every chart: a palette that stays
// distinct for readers with the common colour-vision deficiencies.
std::uint32_t ComponentColour(int component);
// The measured points of a component: rings in a darker shade of its
// colour, so that they stand apart from its simulated line and still belong
// to it.
std::uint32_t MeasuredColour(int component);
// Early (light) to late (dark) along a ramp, for 0 <= fraction <= 1.
std::uint32_t RampColour(double fraction);

// The save a chart shows for these options.
std::size_t ChosenFrame(const RunData& run, const ChartOptions& options);
// The index of the save nearest to timeS.
std::size_t FrameNearest(const RunData& run, double timeS);

ChartData ProfilesChart(const RunData& run, const ChartOptions& options);
// Every component at several saves on one chart: one colour per component,
// one line style per time; the legend lists the components (solid) and the
// times (grey, in their styles) once each.
ChartData SeveralTimesChart(const RunData& run, const ChartOptions& options);
// T(t) of the schedule over the run, from its start to its end (constant
// before the first row and after the last, a step drawn upright), with a
// marker at every save and one at the save the profile charts show. Empty
// series when the run had no schedule. Thermal cycles are expanded from
// their description: every corner of every cycle while the curve stays
// within kMaxTemperatureCorners points; beyond that the cycles are drawn as
// their envelope, a band from the cold to the hot temperature over the time
// they run (at a thousand pixels across, thousands of cycles look like that
// band anyway), with the rows before them and the cold hold after them as
// lines. Then a last series, "T(t) in view", holds the corners of the cycles
// within options.temperatureViewS when they fit (none otherwise), drawn over
// the band: zooming in shows each cycle.
ChartData TemperatureChart(const RunData& run, const ChartOptions& options);
inline constexpr std::size_t kMaxTemperatureCorners = 4000;
ChartData EvolutionChart(const RunData& run, const ChartOptions& options);
// Empty series when the run has no Kirkendall record; unavailable when the
// plane moved less than a thousandth of a grid step and not as √t (R² of
// the law below 0.5): nothing to fit. The note gives the span of the record
// the fit used and its R².
ChartData KirkendallChart(const RunData& run, const ChartOptions& options);
// Unavailable for two components: N2 = 100 − N1 is a straight line.
ChartData DiffusionPathChart(const RunData& run, const ChartOptions& options);
ChartData SurfaceChart(const RunData& run, const ChartOptions& options);
// The parabolic line is fitted where kp is constant: over the whole record,
// or under a schedule that changes the temperature over the final hold.
ChartData ScaleChart(const RunData& run, const ChartOptions& options);
// The time from which the run's temperature stayed constant to its end: the
// end of the schedule's last ramp or step within the run, else the start.
double HoldStart(const RunData& run);
// A coating-life run: the specific mass change against time with its oxygen
// and spalled-metal parts; and the content its critical condition watched,
// with the critical value as a line and the life marked on it.
ChartData MassChangeChart(const RunData& run, const ChartOptions& options);
ChartData LifeChart(const RunData& run, const ChartOptions& options);
// The measured points over the simulated profile, the RMS misfit in the
// legend and the note. The save compared is the one nearest to
// options.measuredTimeS when given, else the chosen save; the title and the
// note say which. The basis is the measured profile's; the x axis shows the
// scan with a margin first. Measured points are darker markers than the
// simulated lines of the same component.
ChartData MeasuredOverlayChart(const RunData& run, const MeasuredProfile& measured, const ChartOptions& options);

// Every chart that applies to the run, in the order of the Plots window's
// tabs: profiles, temperature (a run under a schedule), profiles at several
// times (more than one save), evolution (one per component),
// diffusion path, Kirkendall plane, surface and scale (selective oxidation),
// measured overlay. A chart that means nothing for the run comes with its
// reason (ChartData::unavailable) and no series.
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
