// torvex-plot: every chart of a finished run as PNG and SVG, with the CSV of
// the points each one draws. It needs no display (Qt's offscreen platform),
// so it runs on a cluster node beside torvex-batch.

#include <QApplication>
#include <QDir>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "model/errors.h"
#include "model/measured_profile.h"
#include "model/number_format.h"
#include "plot/chart_data.h"
#include "plot/chart_render.h"
#include "plot/map_render.h"
#include "plot/value_map.h"
#include "results/results_files.h"
#include "results/run_data.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitInvalidInput = 1;
constexpr int kExitUsage = 2;

// The help text; the results files are named as the results library names them.
const std::string kHelp =
    std::string(R"(Usage: torvex-plot RESULTS_DIR [--measured FILE] [--shift-um X] [--measured-time T]
                   [--wt] [--unit um|cm] [--time-unit s|min|h] [--log-time]
                   [--out DIR] [--format png,svg] [--times T1,T2,...] [--size WxH]
       torvex-plot summary SUMMARY_CSV --map X,Y,Z [--map ...]
                   [--out DIR] [--format png,svg] [--size WxH]

Writes every chart that applies to the run whose results are in RESULTS_DIR:
the concentration profiles at the last save (or at each time of --times),
every component at several times on one chart, the temperature schedule or
thermal cycles the run followed with its saves marked on it (when
)") +
    std::string(torvex::kRunReportFile) + R"( records one), the
evolution of each component's profile, the diffusion path (three components
or more), the Kirkendall plane against the square root of time with its fit
(when the plane moved), and under selective oxidation the surface
composition and the squared scale thickness with its parabolic fit. Each
chart goes out in every format asked for and as CSV holding exactly the
points drawn. The paths written are printed, one a line; a chart that would
mean nothing for the run is left out with a line on standard error saying
why.

  RESULTS_DIR         A run's results folder: its )" +
    std::string(torvex::kHistoryFile) + R"( and )" + std::string(torvex::kSeriesFile) +
    R"(
                      when present, otherwise )" +
    std::string(torvex::kAtomicProfileFile) + R"(, )" + std::string(torvex::kWeightProfileFile) +
    R"(,
                      )" +
    std::string(torvex::kKirkendallRecordFile) + R"( and )" + std::string(torvex::kBoundaryRecordFile) + R"(; and )" +
    std::string(torvex::kRunReportFile) +
    R"(
                      for the schedule (one that cannot be read leaves the
                      temperature chart out, with a message).
  --measured FILE     A measured profile (CSV; see the README) drawn over the
                      simulated one, with the RMS misfit in the legend.
  --shift-um X        Added to every measured position, in micrometres.
  --measured-time T   The time [s] the profile was measured at: the overlay
                      and its misfit use the save nearest to it (default the
                      last save, or each time of --times).
  --wt                Compositions in weight percent (default atomic).
  --unit um|cm        Unit of position (default um).
  --time-unit s|min|h Unit of time on the axes, in titles and legends
                      (default s).
  --log-time          Time axes (temperature, surface, scale) logarithmic.
  --out DIR           Where the files go (default RESULTS_DIR/plots; made
                      when missing).
  --format LIST       Image formats, from png and svg (default png,svg).
  --times LIST        Times [s] of the saves to draw: the profiles, diffusion
                      paths and overlay at each (the nearest save; a time
                      without a save of its own is named on standard error
                      and in the chart's title), all of them on the
                      several-times chart, and the evolution curves; default
                      the last save, four saves spread over the run for the
                      several-times chart and eight for the evolution.
  --size WxH          PNG size in pixels (default 1200x800).
  --help              Show this text.
  --version           The version, source revision, build type and vector
                      path of this program, and how to cite it.

With "summary", draws from a sweep's summary.csv the map of column Z over
the swept parameters X and Y: one cell per (X, Y) pair, coloured on a scale
and with its value written in it (a life in seconds shown in hours once it
lasts hours; the unit is in the title and on the scale), a case whose life
outlasted its run hatched and marked "not reached", one that did not
complete hatched with its status, a pair the summary lacks blank. Beside
each image goes map_Z_X_Y.csv, the values as a table: one row per value of
Y, one column per value of X, the numbers of the summary to full precision.
A summary without one of the columns, with a value of X or Y that is not a
number, or with two cases at one pair (a third parameter was swept: it is
named) is refused. --out defaults to the folder of SUMMARY_CSV, plus
"plots". (A results folder named "summary" is given as ./summary.)

Exit status: 0 success, 1 unreadable results, measured profile or summary,
or a file that cannot be written (the message names the file, the line and
the text), 2 wrong usage.
)";

struct Options {
  std::string folder;
  std::optional<std::string> measured;
  double shiftUm = 0.0;
  std::optional<double> measuredTimeS;
  bool weight = false;
  bool centimetre = false;
  torvex::plot::TimeUnit timeUnit = torvex::plot::TimeUnit::Second;
  bool logTime = false;
  std::string out;
  QStringList formats{QStringLiteral("png"), QStringLiteral("svg")};
  std::vector<double> times;
  QSize size{1200, 800};
};

[[noreturn]] void usage(const std::string& message) {
  std::cerr << "torvex-plot: " << message << "\nTry 'torvex-plot --help'.\n";
  std::exit(kExitUsage);
}

std::vector<std::string_view> listOf(std::string_view text) {
  std::vector<std::string_view> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    items.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

QStringList formatsOf(std::string_view text) {
  QStringList formats;
  for (const std::string_view format : listOf(text)) {
    if (format != "png" && format != "svg") usage("--format: '" + std::string(format) + "' is neither png nor svg");
    formats << QString::fromUtf8(format.data(), static_cast<qsizetype>(format.size()));
  }
  return formats;
}

QSize sizeOf(std::string_view text) {
  const std::size_t x = text.find('x');
  const auto w = x == std::string_view::npos ? std::nullopt : torvex::parseInteger(text.substr(0, x));
  const auto h = x == std::string_view::npos ? std::nullopt : torvex::parseInteger(text.substr(x + 1));
  if (!w || !h || *w < 16 || *h < 16 || *w > 20000 || *h > 20000)
    usage("--size: '" + std::string(text) + "' is not WIDTHxHEIGHT (16 to 20000 pixels)");
  return QSize(*w, *h);
}

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> std::string_view {
      if (i + 1 >= argc) usage(std::string(arg) + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      std::exit(kExitOk);
    } else if (arg == "--version") {
      std::cout << torvex::versionText("torvex-plot");
      std::exit(kExitOk);
    } else if (arg == "--measured") {
      options.measured = std::string(value());
    } else if (arg == "--shift-um") {
      const std::string_view text = value();
      const auto shift = torvex::parseReal(text);
      if (!shift) usage("--shift-um: '" + std::string(text) + "' is not a number");
      options.shiftUm = *shift;
    } else if (arg == "--measured-time") {
      const std::string_view text = value();
      const auto time = torvex::parseReal(text);
      if (!time || !std::isfinite(*time)) usage("--measured-time: '" + std::string(text) + "' is not a time");
      options.measuredTimeS = *time;
    } else if (arg == "--wt") {
      options.weight = true;
    } else if (arg == "--time-unit") {
      const std::string_view unit = value();
      if (unit == "s")
        options.timeUnit = torvex::plot::TimeUnit::Second;
      else if (unit == "min")
        options.timeUnit = torvex::plot::TimeUnit::Minute;
      else if (unit == "h")
        options.timeUnit = torvex::plot::TimeUnit::Hour;
      else
        usage("--time-unit: '" + std::string(unit) + "' is none of s, min and h");
    } else if (arg == "--log-time") {
      options.logTime = true;
    } else if (arg == "--unit") {
      const std::string_view unit = value();
      if (unit != "um" && unit != "cm") usage("--unit: '" + std::string(unit) + "' is neither um nor cm");
      options.centimetre = unit == "cm";
    } else if (arg == "--out") {
      options.out = std::string(value());
    } else if (arg == "--format") {
      options.formats = formatsOf(value());
    } else if (arg == "--times") {
      for (const std::string_view item : listOf(value())) {
        const auto time = torvex::parseReal(item);
        if (!time || !std::isfinite(*time)) usage("--times: '" + std::string(item) + "' is not a time");
        options.times.push_back(*time);
      }
    } else if (arg == "--size") {
      options.size = sizeOf(value());
    } else if (arg.starts_with("-")) {
      usage(torvex::unknownOptionMessage(arg, {"--measured", "--shift-um", "--wt", "--unit", "--out", "--format",
                                               "--times", "--size", "--help", "--version"}));
    } else if (options.folder.empty()) {
      options.folder = std::string(arg);
    } else {
      usage("one results folder only");
    }
  }
  if (options.folder.empty()) usage("no results folder given");
  return options;
}

struct SummaryOptions {
  std::string summary;
  std::vector<torvex::plot::MapColumns> maps;
  std::string out;
  QStringList formats{QStringLiteral("png"), QStringLiteral("svg")};
  QSize size{1200, 800};
};

// torvex-plot summary SUMMARY_CSV --map X,Y,Z ...; argv[1] is "summary".
SummaryOptions parseSummary(int argc, char** argv) {
  SummaryOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> std::string_view {
      if (i + 1 >= argc) usage(std::string(arg) + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      std::exit(kExitOk);
    } else if (arg == "--map") {
      try {
        options.maps.push_back(torvex::plot::ParseMapColumns(value(), "--map"));
      } catch (const torvex::InputError& error) {
        usage(error.what());
      }
    } else if (arg == "--out") {
      options.out = std::string(value());
    } else if (arg == "--format") {
      options.formats = formatsOf(value());
    } else if (arg == "--size") {
      options.size = sizeOf(value());
    } else if (arg.starts_with("-")) {
      usage(torvex::unknownOptionMessage(arg, {"--map", "--out", "--format", "--size", "--help"}));
    } else if (options.summary.empty()) {
      options.summary = std::string(arg);
    } else {
      usage("one summary file only");
    }
  }
  if (options.summary.empty()) usage("summary: no summary file given");
  if (options.maps.empty()) usage("summary: no --map X,Y,Z given");
  return options;
}

// Qt's notice that it made its own runtime folder is noise on a cluster node.
QtMessageHandler previousHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) return;
  if (previousHandler != nullptr) previousHandler(type, context, message);
}

std::string stemTime(double timeS) {
  std::string text = torvex::formatGeneral(timeS);
  return "_t" + text + "s";
}

// Runs draw; whatever goes wrong is told on standard error, with exit
// status 1. `source` and `what` name what was read, for a lack of memory.
template <class Draw>
int drawing(const std::string& source, const char* what, Draw draw) {
  try {
    draw();
  } catch (const std::bad_alloc&) {
    std::cerr << "torvex-plot: " << source << ": not enough memory to read and draw " << what << "\n";
    return kExitInvalidInput;
  } catch (const std::exception& error) {
    std::cerr << "torvex-plot: " << error.what() << "\n";
    return kExitInvalidInput;
  }
  return kExitOk;
}

// The maps of a sweep's summary; the exit status.
int drawSummary(const SummaryOptions& options) {
  using namespace torvex;
  using namespace torvex::plot;
  return drawing(options.summary, "the summary", [&] {
    const SummaryTable table = ReadSummary(options.summary);
    // Every map is checked before any file is written.
    std::vector<ValueMap> maps;
    for (const MapColumns& columns : options.maps) maps.push_back(BuildValueMap(table, columns));
    QString out = QString::fromStdString(options.out);
    if (out.isEmpty()) {
      const QString summary = QString::fromStdString(options.summary);
      const qsizetype slash = summary.lastIndexOf(QLatin1Char('/'));
      out = (slash < 0 ? QStringLiteral(".") : summary.left(slash + 1)) + QStringLiteral("/plots");
      out = QDir::cleanPath(out);
    }
    if (!QDir().mkpath(out)) throw InputError(out.toStdString() + ": cannot make the folder");
    QStringList formats = options.formats;
    formats << QStringLiteral("csv");
    for (const ValueMap& map : maps) {
      const QString stem = QDir(out).filePath(QString::fromStdString(ValueMapStem(map.columns)));
      for (const QString& path : ExportValueMap(map, stem, options.size, formats))
        std::cout << path.toStdString() << "\n";
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  using namespace torvex;
  using namespace torvex::plot;
  // No display is needed (or wanted: a cluster node has none).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc >= 2 && std::string_view(argv[1]) == "summary") {
    const SummaryOptions options = parseSummary(argc, argv);
    previousHandler = qInstallMessageHandler(quietHandler);
    QApplication application(argc, argv);
    return drawSummary(options);
  }
  const Options options = parse(argc, argv);
  previousHandler = qInstallMessageHandler(quietHandler);
  QApplication application(argc, argv);
  return drawing(options.folder, "the results", [&] {
    const RunData run = ReadRunData(options.folder);
    for (const std::string& note : run.notes) std::cerr << "torvex-plot: " << note << "\n";
    std::optional<MeasuredProfile> measured;
    if (options.measured) {
      MeasuredProfileOptions read;
      read.shiftCm = options.shiftUm * 1e-4;
      read.componentNames = run.componentNames;  // columns may use the run's names (Ni_at_pct)
      measured = ReadMeasuredProfile(*options.measured, read);
    }
    ChartOptions chartOptions;
    chartOptions.basis = options.weight ? CompositionBasis::Weight : CompositionBasis::Atomic;
    chartOptions.unit = options.centimetre ? PositionUnit::Centimetre : PositionUnit::Micrometre;
    chartOptions.timeUnit = options.timeUnit;
    chartOptions.logTime = options.logTime;
    chartOptions.measuredTimeS = options.measuredTimeS;
    // Each time asked for is drawn at the save nearest to it, and a time
    // without a save of its own is said, not silently replaced.
    std::vector<std::size_t> nearest;
    for (const double time : options.times) {
      nearest.push_back(FrameNearest(run, time));
      const double saved = run.frames[nearest.back()].timeS;
      if (std::abs(saved - time) > 1e-9 * std::max(std::abs(time), 1.0))
        std::cerr << "torvex-plot: --times " << formatGeneral(time)
                  << ": no save at that time; drawn at the nearest, t = " << formatGeneral(saved) << " s\n";
    }
    chartOptions.evolutionFrames = nearest;
    chartOptions.severalFrames = nearest;

    std::vector<ChartData> charts = AllCharts(run, measured ? &*measured : nullptr, chartOptions);
    // With --times, the charts of one save are drawn at each time asked for.
    if (!options.times.empty()) {
      std::erase_if(charts, [](const ChartData& c) {
        return c.id == "profiles" || c.id == "diffusion_path" || c.id == "measured_overlay";
      });
      for (std::size_t k = 0; k < options.times.size(); ++k) {
        ChartOptions at = chartOptions;
        at.frame = nearest[k];
        const double saved = run.frames[nearest[k]].timeS;
        const std::string suffix = stemTime(saved);
        std::vector<ChartData> ofTime = {ProfilesChart(run, at), DiffusionPathChart(run, at)};
        if (measured) {
          ChartOptions overlay = at;
          if (!options.measuredTimeS) overlay.measuredTimeS = saved;
          ofTime.push_back(MeasuredOverlayChart(run, *measured, overlay));
        }
        for (ChartData& chart : ofTime) {
          if (!HasData(chart)) continue;
          chart.id += suffix;
          if (std::abs(saved - options.times[k]) > 1e-9 * std::max(std::abs(options.times[k]), 1.0))
            chart.title += " (the save nearest to " + formatGeneral(options.times[k]) + " s)";
          charts.push_back(std::move(chart));
        }
      }
    }

    const QString out = options.out.empty() ? QDir(QString::fromStdString(options.folder)).filePath("plots")
                                            : QString::fromStdString(options.out);
    if (!QDir().mkpath(out)) throw InputError(out.toStdString() + ": cannot make the folder");
    QStringList formats = options.formats;
    formats << QStringLiteral("csv");
    for (const ChartData& chart : charts) {
      if (!chart.unavailable.empty()) {
        std::cerr << "torvex-plot: " << chart.id << " not drawn: " << chart.unavailable << "\n";
        continue;
      }
      const QString stem = QDir(out).filePath(QString::fromStdString(chart.id));
      for (const QString& path : ExportChart(chart, stem, options.size, formats))
        std::cout << path.toStdString() << "\n";
      if (!chart.note.empty()) std::cerr << chart.id << ": " << chart.note << "\n";
    }
  });
}
