// The charts of a run: reading results folders (the run history, and the
// files every run writes), the chart data a reader relies on (axis titles
// with units, one series per component, fits that recover known laws, the
// measured overlay and its misfit), and the exports (PNG of the asked size,
// SVG that parses, CSV of exactly the points drawn). Offscreen platform.

#include <QChart>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLegend>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QXYSeries>
#include <QXmlStreamReader>
#include <QtTest/QtTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/errors.h"
#include "model/measured_profile.h"
#include "model/number_format.h"
#include "model/sha256.h"
#include "plot/chart_data.h"
#include "plot/chart_render.h"
#include "plot/measured_shift.h"
#include "plot/tick_axis.h"
#include "results/run_data.h"
#include "results/units.h"

using namespace torvex;
using namespace torvex::plot;

namespace {

void writeText(const QString& path, const std::string& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text.data(), static_cast<qint64>(text.size()));
}

std::string num(double value) {
  return formatGeneral(value);
}

// A three-component run of 4 points: at save s (time 100 s) component 1
// holds 10 (s + 1) + k at point k, component 2 holds 5, component 3 the
// rest; wt.% is a made-up 2x at.% so that the reader's choice of column
// shows. One block torn by a kill after the three whole ones.
std::string historyText(bool torn) {
  std::string text = "time_s,x_cm,component,at_pct,wt_pct\n";
  for (int s = 0; s < 3; ++s)
    for (int k = 0; k < 4; ++k) {
      const double a1 = 10.0 * (s + 1) + k;
      const double values[3] = {a1, 5.0, 95.0 - a1};
      for (int i = 0; i < 3; ++i)
        text += num(100.0 * s) + "," + num(0.001 * k) + "," + std::to_string(i + 1) + "," + num(values[i]) + "," +
                num(2.0 * values[i]) + "\n";
    }
  if (torn) text += "300,0,1,40,80\n300,0,2,5,10\n300,0,3,5";
  return text;
}

// One row per pass: the Kirkendall plane moves as x_K0 + A sqrt(t), the
// scale grows as X^2 = 2 kp t.
constexpr double kA = 2e-5;     // cm/s^0.5
constexpr double kKp = 1e-12;   // cm^2/s
constexpr double kX0 = 0.0015;  // cm
std::string seriesText() {
  std::string text =
      "time_s,dt_s,kirkendall_cm,N1_left,N1_right,N2_left,N2_right,N3_left,N3_right,oxide_thickness_cm,kp_cm2_s\n";
  for (int p = 1; p <= 50; ++p) {
    const double t = 4.0 * p;
    text += num(t) + ",4," + num(kX0 + kA * std::sqrt(t)) + ",0.1," + num(0.2 - 0.001 * p) + ",0.05,0.05,0.85," +
            num(0.75 + 0.001 * p) + "," + num(std::sqrt(2.0 * kKp * t)) + "," + num(kKp) + "\n";
  }
  return text + "204,4,0.0015";  // torn last line
}

std::string readText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

// Runs torvex-batch in folder; its exit status.
int runBatch(const QString& folder, const QStringList& arguments) {
  QProcess batch;
  batch.setWorkingDirectory(folder);
  batch.start(TORVEX_BATCH_PATH, arguments);
  if (!batch.waitForFinished(120000)) return -1;
  if (batch.exitCode() != 0) qWarning("%s", batch.readAll().constData());
  return batch.exitCode();
}

bool containsAll(const ChartData& chart, const AxisRange& x, const AxisRange& y) {
  for (const ChartSeries& s : chart.series)
    for (std::size_t i = 0; i < s.x.size(); ++i)
      if (s.x[i] < x.low || s.x[i] > x.high || s.y[i] < y.low || s.y[i] > y.high) return false;
  return true;
}

// A binary couple of 201 points over -0.1 .. 0.1 cm whose N1 falls from 100
// to 0 at the interface x0 as 50 erfc((x - x0) / (2 sqrt(D t))), saved at
// the given times (the first at t = 0 is the step).
RunData erfcCouple(const std::vector<double>& times, double x0Cm = 0.0) {
  constexpr double kD = 1e-10;  // cm^2/s
  RunData run;
  run.componentCount = 2;
  run.molarMass = {58.69, 195.08};
  for (int k = 0; k <= 200; ++k) run.positionCm.push_back(-0.1 + 0.001 * k);
  for (const double t : times) {
    ProfileFrame frame{t, std::vector<double>(402), {}};
    for (std::size_t k = 0; k <= 200; ++k) {
      const double x = run.positionCm[k] - x0Cm;
      const double n1 = t > 0 ? 50.0 * std::erfc(x / (2.0 * std::sqrt(kD * t))) : (x < 0 ? 100.0 : 0.0);
      frame.atPct[k] = n1;
      frame.atPct[201 + k] = 100.0 - n1;
    }
    frame.wtPct = weightFromAtomicPercent(frame.atPct, run.molarMass, 2);
    run.frames.push_back(std::move(frame));
  }
  return run;
}

// The texts of an SVG file.
QStringList svgTexts(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QXmlStreamReader xml(&file);
  QStringList texts;
  while (!xml.atEnd())
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("text"))
      texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
  return texts;
}

}  // namespace

class PlotTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  QString folder_;

  RunData historyRun() {
    writeText(folder_ + "/history.csv", historyText(true));
    writeText(folder_ + "/series.csv", seriesText());
    return ReadRunData(folder_.toStdString());
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    folder_ = dir_->filePath(QStringLiteral("results"));
    QDir().mkpath(folder_);
  }

  void readsTheHistoryWithoutItsTornLastBlock() {
    const RunData run = historyRun();
    QCOMPARE(run.componentCount, 3);
    QCOMPARE(run.pointCount(), std::size_t{4});
    QCOMPARE(run.frames.size(), std::size_t{3});
    QCOMPARE(run.positionCm[3], 0.003);
    QCOMPARE(run.frames[2].timeS, 200.0);
    // Component-major: component 1 at point 2 of the last save, then
    // component 3 there; the wt.% column read as such.
    QCOMPARE(run.frames[2].atPct[0 * 4 + 2], 32.0);
    QCOMPARE(run.frames[2].atPct[2 * 4 + 2], 63.0);
    QCOMPARE(run.frames[2].wtPct[2 * 4 + 2], 126.0);
    // The series without its torn line; oxidation columns found.
    QCOMPARE(run.kirkendallTimeS.size(), std::size_t{50});
    QVERIFY(run.oxidation);
    QCOMPARE(run.scaleThicknessCm.size(), std::size_t{50});
    QCOMPARE(run.surfaceRatio.front(), 0.199);
  }

  // Files of the tidy form: a start block, named components, contents at
  // both ends in at.%. The names reach every legend; the surface ratio is
  // the same number as from the older molar-ratio column.
  void readsNamedFilesWithTheStartAndContentsInAtomicPercent() {
    std::string history = "time_s,x_cm,component,at_pct,wt_pct,name\n";
    for (const double t : {0.0, 100.0})
      for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 2; ++i)
          history += num(t) + "," + num(0.001 * k) + "," + std::to_string(i + 1) + "," + (i == 0 ? "30" : "70") + "," +
                     (i == 0 ? "20" : "80") + "," + (i == 0 ? "Ni" : "Pt") + "\n";
    writeText(folder_ + "/history.csv", history);
    writeText(folder_ + "/series.csv",
              "time_s,dt_s,kirkendall_cm,Ni_left_at_pct,Ni_right_at_pct,Pt_left_at_pct,Pt_right_at_pct,"
              "oxide_thickness_cm,kp_cm2_s\n0,0,0.001,30,30,70,70,0,0\n4,4,0.001,30,19.9,70,80.1,1e-6,1e-12\n");
    const RunData run = ReadRunData(folder_.toStdString());
    QCOMPARE(run.componentNames, (std::vector<std::string>{"Ni", "Pt"}));
    QCOMPARE(run.frames.size(), std::size_t{2});
    QCOMPARE(run.frames[0].timeS, 0.0);
    QCOMPARE(run.frames[1].atPct[1], 30.0);
    QVERIFY(run.oxidation);
    QCOMPARE(run.surfaceRatio.size(), std::size_t{2});
    QCOMPARE(run.surfaceRatio[1], 0.199);
    QCOMPARE(run.kirkendallTimeS.front(), 0.0);
    const ChartData profiles = ProfilesChart(run, ChartOptions());
    QCOMPARE(profiles.series[0].name, std::string("Ni"));
    QCOMPARE(profiles.series[1].name, std::string("Pt"));
    QVERIFY(SurfaceChart(run, ChartOptions()).title.find("selective oxidation of Ni") != std::string::npos);
    // A scan may name its columns by the run's names.
    MeasuredProfileOptions named;
    named.componentNames = run.componentNames;
    QCOMPARE(ParseMeasuredProfile("x_um,Pt_at_pct\n0,70\n", "scan.csv", named).components, (std::vector<int>{1}));
  }

  void readsTheFilesEveryRunWritesWhenThereIsNoHistory() {
    struct Case {
      const char* folder;
      int r;
      double initialKirkendall;
      bool oxidation;
    };
    for (const Case& c : {Case{"oxidation", 2, 0.001, true}, Case{"interdiffusion", 3, 0.0, false}}) {
      const RunData run = ReadRunData(std::string(TORVEX_TEST_DATA_DIR) + "/run/" + c.folder);
      QCOMPARE(run.componentCount, c.r);
      QCOMPARE(run.pointCount(), std::size_t{200});
      QCOMPARE(run.frames.size(), std::size_t{1});
      QCOMPARE(run.frames[0].timeS, 2.0);
      QCOMPARE(run.oxidation, c.oxidation);
      QCOMPARE(run.molarMass.size(), static_cast<std::size_t>(c.r));
      QCOMPARE(run.initialKirkendallCm, c.initialKirkendall);
      QVERIFY(!run.kirkendallTimeS.empty());
      QCOMPARE(run.kirkendallTimeS.back(), 2.0);
      QCOMPARE(run.scaleTimeS.empty(), !c.oxidation);
      // Every point sums to 100 % in both bases.
      for (std::size_t k = 0; k < 200; k += 37) {
        double at = 0, wt = 0;
        for (int i = 0; i < c.r; ++i) {
          at += run.frames[0].atPct[static_cast<std::size_t>(i) * 200 + k];
          wt += run.frames[0].wtPct[static_cast<std::size_t>(i) * 200 + k];
        }
        QVERIFY(std::abs(at - 100.0) < 1e-9 && std::abs(wt - 100.0) < 1e-9);
      }
    }
    // Weight percent as wt_out.dat has it: 20 at.% Ni in Pt is 7.0 wt.% Ni.
    const RunData ox = ReadRunData(std::string(TORVEX_TEST_DATA_DIR) + "/run/oxidation");
    QVERIFY(std::abs(ox.frames[0].wtPct[0] - 100.0 * 20 * 58.69 / (20 * 58.69 + 80 * 195.08)) < 1e-12);
  }

  void aHistoryTornInItsFirstSaveGivesWayToTheLastProfile() {
    const QString atOut = QString(TORVEX_TEST_DATA_DIR) + "/run/oxidation/at_out.dat";
    QVERIFY(QFile::copy(atOut, folder_ + "/at_out.dat"));
    // The first save cut after 3 of 200 points (at a line end, or inside a
    // line): not a profile of 3 points.
    for (const std::string& torn : {std::string("time_s,x_cm,component,at_pct,wt_pct\n0,0,1,20,7\n0,0,2,80,93\n"),
                                    std::string("time_s,x_cm,component,at_pct,wt_pct\n0,0,1,20,7\n0,0,2,8")}) {
      writeText(folder_ + "/history.csv", torn);
      const RunData run = ReadRunData(folder_.toStdString());
      QCOMPARE(run.pointCount(), std::size_t{200});
      QCOMPARE(run.frames.size(), std::size_t{1});
      QCOMPARE(run.filesRead.front(), std::string("at_out.dat"));
    }
    // A whole history wins, and takes from at_out.dat what only it knows:
    // the molar masses and where the Kirkendall plane started.
    writeText(folder_ + "/history.csv", historyText(false));
    QFile::remove(folder_ + "/at_out.dat");
    QVERIFY(QFile::copy(QString(TORVEX_TEST_DATA_DIR) + "/run/interdiffusion/at_out.dat", folder_ + "/at_out.dat"));
    const RunData run = ReadRunData(folder_.toStdString());
    QCOMPARE(run.frames.size(), std::size_t{3});
    QCOMPARE(run.molarMass.size(), std::size_t{3});
    QCOMPARE(run.initialKirkendallCm, 0.0);
  }

  void malformedResultsNameFileLineAndText() {
    struct Case {
      const char* file;
      std::string text;
      const char* expected;
    };
    const std::vector<Case> cases = {
        {"history.csv", "time_s,x_cm,component,at_pct,wt_pct\n0,0,1,5x,1\n", "history.csv, line 2: '5x' in column 4"},
        {"history.csv", "time_s,x_cm,component,at_pct\n0,0,1,5\n",
         "history.csv, line 1: the header has no column 'wt_pct'"},
        {"history.csv",
         "time_s,x_cm,component,at_pct,wt_pct\n0,0,1,50,50\n0,0,2,50,50\n1,0,1,50,50\n2,0,1,50,50\n2,0,2,50,50\n",
         "is not a whole block"},
        {"series.csv", "time_s,dt_s\n1,1\n", "series.csv, line 1: the header has no column 'kirkendall_cm'"},
    };
    for (const Case& c : cases) {
      init();
      if (std::string(c.file) == "series.csv") writeText(folder_ + "/history.csv", historyText(false));
      writeText(folder_ + "/" + c.file, c.text);
      std::string message;
      try {
        ReadRunData(folder_.toStdString());
      } catch (const InputError& error) {
        message = error.what();
      }
      QVERIFY2(message.find(c.expected) != std::string::npos, message.c_str());
    }
    init();
    try {
      ReadRunData(folder_.toStdString());
      QFAIL("an empty folder was read");
    } catch (const InputError& error) {
      QVERIFY(std::string(error.what()).starts_with(folder_.toStdString() + ": no results"));
    }
  }

  void everyChartHasTitledAxesAndRangesHoldingItsPoints() {
    const RunData run = historyRun();
    const std::vector<ChartData> charts = AllCharts(run, nullptr, ChartOptions());
    QStringList ids;
    for (const ChartData& chart : charts) ids << QString::fromStdString(chart.id);
    QCOMPARE(ids, QStringList({"profiles", "profiles_several_times", "evolution_N1", "evolution_N2", "evolution_N3",
                               "diffusion_path", "kirkendall", "surface", "scale"}));
    for (const ChartData& data : charts) {
      QVERIFY2(data.xTitle.find('[') != std::string::npos && data.yTitle.find(']') != std::string::npos,
               data.id.c_str());
      std::unique_ptr<QChart> chart(BuildChart(data));
      QCOMPARE(chart->series().size(), static_cast<qsizetype>(data.series.size()));
      for (qsizetype i = 0; i < chart->series().size(); ++i)
        QCOMPARE(static_cast<QXYSeries*>(chart->series()[i])->count(),
                 static_cast<qsizetype>(data.series[static_cast<std::size_t>(i)].x.size()));
      auto* x = static_cast<QValueAxis*>(chart->axes(Qt::Horizontal).front());
      auto* y = static_cast<QValueAxis*>(chart->axes(Qt::Vertical).front());
      QCOMPARE(x->titleText(), QString::fromStdString(data.xTitle));
      QCOMPARE(y->titleText(), QString::fromStdString(data.yTitle));
      QVERIFY2(containsAll(data, {x->min(), x->max(), 1}, {y->min(), y->max(), 1}), data.id.c_str());
      QVERIFY(chart->legend()->isVisible());
    }
    // Profiles: one series per component, one point per grid point, in the
    // colour that component has on every chart.
    const ChartData& profiles = charts[0];
    QCOMPARE(profiles.series.size(), std::size_t{3});
    for (int c = 0; c < 3; ++c) {
      QCOMPARE(profiles.series[static_cast<std::size_t>(c)].x.size(), std::size_t{4});
      QCOMPARE(profiles.series[static_cast<std::size_t>(c)].rgb, ComponentColour(c));
    }
    QCOMPARE(charts[5].series[1].rgb, ComponentColour(2));  // N3 against N1
    QCOMPARE(profiles.xTitle, std::string("x [µm]"));
    QCOMPARE(profiles.series[0].x[3], 30.0);
    QCOMPARE(profiles.series[0].y[3], 33.0);
    // Evolution: every save, early light to late dark.
    const ChartData& evolution = charts[2];
    QCOMPARE(evolution.series.size(), std::size_t{3});
    QCOMPARE(evolution.series[0].name, std::string("0 s"));
    QCOMPARE(evolution.series[2].name, std::string("200 s"));
    const auto lightness = [](std::uint32_t rgb) { return ((rgb >> 16) & 255) + ((rgb >> 8) & 255) + (rgb & 255); };
    QVERIFY(lightness(evolution.series[0].rgb) > lightness(evolution.series[2].rgb));
  }

  // T(t) over the run: the rows, upright at the step, held to the run's end
  // and from its start; cut at the end of a run still going. A marker on the
  // curve at every save and one at the save the profiles show. The chart
  // follows the profiles, and only under a schedule.
  void temperatureChartDrawsTheScheduleOverTheRunWithTheSaves() {
    RunData run = historyRun();  // saves at 0, 100 and 200 s
    run.scheduleTimeS = {0, 100, 150, 150};
    run.scheduleTemperatureK = {1000, 1200, 1200, 1100};
    run.scheduleFile = "treatments/ramp.csv";
    run.endTimeS = 250;
    QCOMPARE(ChartCsv(TemperatureChart(run, ChartOptions())),
             std::string("series,t [s],T [K]\nT(t) of ramp.csv,0,1000\nT(t) of ramp.csv,100,1200\n"
                         "T(t) of ramp.csv,150,1200\nT(t) of ramp.csv,150,1100\nT(t) of ramp.csv,250,1100\n"
                         "saves,0,1000\nsaves,100,1200\nsaves,200,1100\nsave shown,200,1100\n"));
    run.scheduleTimeS = {50, 400};
    run.scheduleTemperatureK = {1000, 1700};
    run.endTimeS = std::nan("");
    ChartOptions second;
    second.frame = 1;
    const ChartData chart = TemperatureChart(run, second);
    QCOMPARE(chart.series[0].x, (std::vector<double>{0, 50, 200}));
    QCOMPARE(chart.series[0].y, (std::vector<double>{1000, 1000, 1300}));
    QCOMPARE(chart.series[2].y, std::vector<double>{1100});
    QCOMPARE(AllCharts(run, nullptr, ChartOptions())[1].id, std::string("temperature"));
    run.scheduleTimeS.clear();
    QCOMPARE(AllCharts(run, nullptr, ChartOptions())[1].id, std::string("profiles_several_times"));
  }

  // Cycles recorded as their description are drawn corner by corner after
  // the rows before them: upright steps at each heating and cooling, the
  // cold hold after the last cycle, the saves on the curve. Thousands of
  // cycles become their envelope (a band from the cold to the hot
  // temperature) and the points drawn stay bounded.
  void temperatureChartExpandsTheCyclesFromTheirDescription() {
    RunData run = historyRun();  // saves at 0, 100 and 200 s
    run.scheduleTimeS = {0, 30};
    run.scheduleTemperatureK = {900, 900};
    run.cyclesText = "3:40@1000,20@500";  // from the last row, 30 s: 60 s a cycle
    run.cyclesStartS = 30;
    run.endTimeS = 250;
    const ChartData chart = TemperatureChart(run, ChartOptions());
    QCOMPARE(chart.series[0].x,
             (std::vector<double>{0, 30, 30, 70, 70, 90, 90, 130, 130, 150, 150, 190, 190, 210, 250}));
    QCOMPARE(chart.series[0].y,
             (std::vector<double>{900, 900, 1000, 1000, 500, 500, 1000, 1000, 500, 500, 1000, 1000, 500, 500, 500}));
    QCOMPARE(chart.series[1].y, (std::vector<double>{900, 1000, 500}));  // saves at 0, 100 (hot) and 200 s (cold)
    QVERIFY2(chart.note.find("cycles 3:40@1000,20@500 from t = 30 s") != std::string::npos, chart.note.c_str());
    QCOMPARE(ScheduleTemperatureAt(run, 100), 1000.0);
    // The scale's final hold under cycles begins at the last cool-down (the
    // end of the last cycle changes nothing).
    QCOMPARE(HoldStart(run), 190.0);

    // Cycles alone from the start, with ramps: four corners a cycle, each
    // at its time, while they fit; 999 cycles are drawn one by one.
    run.scheduleTimeS.clear();
    run.scheduleTemperatureK.clear();
    run.cyclesText = "999:3600@1373,600@300,ramp=300/900";  // 5400 s a cycle
    run.cyclesStartS = 0;
    run.endTimeS = 999 * 5400.0;
    const ChartData many = TemperatureChart(run, ChartOptions());
    QCOMPARE(many.series.size(), std::size_t{3});
    const ChartSeries& curve = many.series[0];
    QCOMPARE(curve.x.size(), std::size_t{4 * 999 + 1});
    for (const std::size_t k : {std::size_t{0}, std::size_t{500}, std::size_t{998}}) {
      const double t0 = 5400.0 * static_cast<double>(k);
      const std::size_t i = 4 * k;
      QCOMPARE(curve.x[i], t0);
      QCOMPARE(curve.y[i], 300.0);
      QCOMPARE(curve.x[i + 1], t0 + 300);
      QCOMPARE(curve.y[i + 1], 1373.0);
      QCOMPARE(curve.x[i + 2], t0 + 3900);
      QCOMPARE(curve.x[i + 3], t0 + 4800);
      QCOMPARE(curve.y[i + 3], 300.0);
    }

    // 10 000 cycles of 4200 s: the band over the cycles the run went
    // through (it stopped within cycle 5001), the cold after them not drawn
    // as none came; a few points whatever the count.
    run.cyclesText = "10000:3600@1373,600@300";
    run.endTimeS = 5000 * 4200.0 + 1000;
    const ChartData envelope = TemperatureChart(run, ChartOptions());
    std::size_t points = 0;
    for (const ChartSeries& series : envelope.series) points += series.x.size() + series.yLow.size();
    QVERIFY2(points < 20, std::to_string(points).c_str());
    const ChartSeries& band = envelope.series[0];
    QCOMPARE(band.x, (std::vector<double>{0, run.endTimeS}));
    QCOMPARE(band.y, (std::vector<double>{1373, 1373}));
    QCOMPARE(band.yLow, (std::vector<double>{300, 300}));
    QCOMPARE(band.name, std::string("5001 cycles between 300 and 1373 K (envelope)"));
    QVERIFY(envelope.note.find("their envelope is drawn") != std::string::npos);
    QVERIFY(ChartCsv(envelope).find("\"5001 cycles between 300 and 1373 K (envelope), lower\",0,300\n") !=
            std::string::npos);
    // Every cycle over, then a cold hold to the end: drawn after the band.
    run.endTimeS = 10000 * 4200.0 + 5000;
    const ChartData after = TemperatureChart(run, ChartOptions());
    QCOMPARE(after.series[1].x, (std::vector<double>{10000 * 4200.0, run.endTimeS}));
    QCOMPARE(after.series[1].y, (std::vector<double>{300, 300}));
    // The band is drawn as an area whose range the axes contain.
    std::unique_ptr<QChart> drawn(BuildChart(after));
    QCOMPARE(drawn->series().size(), qsizetype{5});
    // Zoomed onto two cycles, those are drawn corner by corner over the band.
    ChartOptions zoomed;
    zoomed.temperatureViewS = std::pair{4200.0 * 100 + 10, 4200.0 * 102};
    const ChartSeries detail = TemperatureChart(run, zoomed).series[2];
    QCOMPARE(detail.name, std::string("T(t) in view"));
    QCOMPARE(detail.x, (std::vector<double>{420010, 423600, 423600, 424200, 424200, 427800, 427800, 428400}));
    QCOMPARE(detail.y, (std::vector<double>{1373, 1373, 300, 300, 1373, 1373, 300, 300}));
    const ChartSeries closed = TemperatureChart(run, zoomed).series[0];  // no shade over them
    QCOMPARE(closed.x, (std::vector<double>{0, 420010, 420010, 428400, 428400, 4.2e7}));
    QCOMPARE(closed.y, (std::vector<double>{1373, 1373, 300, 300, 1373, 1373}));
    zoomed.temperatureViewS = std::pair{0.0, 4200.0 * 2000};
    QVERIFY(TemperatureChart(run, zoomed).series[2].x.empty());  // too many to draw: the band alone
    QCOMPARE(RangeOf(after, true).low < 300 && RangeOf(after, true).high > 1373, true);
  }

  // A coating-life run (the worked example) gives the mass-change chart with
  // its two parts, and the watched content with the critical line and the
  // life marked; torvex-plot draws both.
  void aLifeRunGivesItsMassChangeAndLifeCharts() {
    const QString work = dir_->path();
    const QString results = work + "/results";
    const QString example = QString(TORVEX_TEST_DATA_DIR) + "/../../examples/life/";
    for (const char* name : {"coating.dat", "coating_diff.dfv", "coating_flux.flx"})
      QVERIFY(QFile::copy(example + name, work + "/" + name));
    QCOMPARE(runBatch(work, {"--quiet", "--cycles", "4000:3600@1373,600@300", "--spall", "0.005,1", "--oxide", "1.5",
                             "--critical", "N1<0.05", "coating.dat"}),
             0);
    const RunData run = ReadRunData(results.toStdString());
    QVERIFY(run.lifeS.has_value());
    QCOMPARE(run.watchedName, std::string("N1"));
    QCOMPARE(run.lifeCondition, std::string("N1<0.05"));
    QVERIFY(!run.massChange.empty());
    QVERIFY(std::abs(run.massChange.back() - run.massChangeOxygen.back() - run.massChangeSpalled.back()) <
            1e-12 * std::abs(run.massChangeSpalled.back()));
    QVERIFY(run.massChangeSpalled.back() < 0 && run.massChange.back() < 0);
    QVERIFY(*std::max_element(run.massChange.begin(), run.massChange.end()) > 0);

    ChartOptions hours;
    hours.timeUnit = TimeUnit::Hour;
    const ChartData life = LifeChart(run, hours);
    QCOMPARE(life.series.size(), std::size_t(3));
    QCOMPARE(life.series[1].y, (std::vector<double>{0.05, 0.05}));
    QCOMPARE(life.series[2].x, std::vector<double>{*run.lifeS / 3600});
    QVERIFY(life.series[0].y.back() < 0.05 && life.series[0].y.front() > 0.05);
    const ChartData mass = MassChangeChart(run, hours);
    QCOMPARE(mass.series.size(), std::size_t(3));
    std::vector<std::string> ids;
    for (const ChartData& chart : AllCharts(run, nullptr, ChartOptions())) ids.push_back(chart.id);
    QVERIFY(std::find(ids.begin(), ids.end(), "mass_change") != ids.end());
    QVERIFY(std::find(ids.begin(), ids.end(), "life") != ids.end());
    // The cycles come back from run.json as their description, and the
    // temperature chart draws them to the end of life.
    QCOMPARE(run.cyclesText, std::string("4000:3600@1373,600@300"));
    QVERIFY(std::find(ids.begin(), ids.end(), "temperature") != ids.end());
    const ChartData temperature = TemperatureChart(run, ChartOptions());
    QCOMPARE(temperature.series[0].x.back(), run.endTimeS);
    QCOMPARE(*std::max_element(temperature.series[0].y.begin(), temperature.series[0].y.end()), 1373.0);

    QProcess plot;
    plot.start(TORVEX_PLOT_PATH, {results, "--format", "png"});
    QVERIFY(plot.waitForFinished(60000) && plot.exitCode() == 0);
    QCOMPARE(readText(results + "/plots/mass_change.csv"), ChartCsv(MassChangeChart(run, ChartOptions())));
    QCOMPARE(readText(results + "/plots/life.csv"), ChartCsv(LifeChart(run, ChartOptions())));
    QVERIFY(QFile::exists(results + "/plots/life.png"));
  }

  // A folder written by torvex-batch under a schedule gives the reader the
  // rows, digest and end of the run, and torvex-plot the chart. A damaged
  // run.json leaves that chart out with a note naming the file and what is
  // wrong; every other chart is drawn.
  void aScheduledRunGivesItsTemperatureChartAndADamagedReportOnlyANote() {
    const QString work = dir_->path();
    const QString results = work + "/results";
    QCOMPARE(runBatch(work, {"--write-samples", "."}), 0);
    const std::string schedule = "time_s,T_K\n0,1073\n3600,1273\n5400,1273\n5400,1173\n";
    writeText(work + "/ramp.csv", schedule);
    QCOMPARE(runBatch(work, {"--quiet", "--set", "D1=0 7200", "--schedule", "ramp.csv", "interdiffusion.dat"}), 0);
    const RunData run = ReadRunData(results.toStdString());
    QCOMPARE(run.scheduleTemperatureK, (std::vector<double>{1073, 1273, 1273, 1173}));
    QCOMPARE(run.scheduleTimeS[2], 5400.0);
    QCOMPARE(run.scheduleSha256, sha256Hex(schedule));
    QCOMPARE(run.endTimeS, 7200.0);
    QProcess plot;
    plot.start(TORVEX_PLOT_PATH, {results, "--format", "png"});
    QVERIFY(plot.waitForFinished(60000) && plot.exitCode() == 0);
    QCOMPARE(readText(results + "/plots/temperature.csv"), ChartCsv(TemperatureChart(run, ChartOptions())));

    const std::string report = readText(results + "/run.json");
    for (const auto& [from, to, message] : std::vector<std::array<std::string, 3>>{
             {"5400.0", "100.0", "run.json: heat_treatment.schedule.rows[2]: the times decrease (100 s after 3600 s)"},
             {"{", "[", "run.json: not a run report ("}}) {
      std::string damaged = report;
      writeText(results + "/run.json", damaged.replace(damaged.find(from), from.size(), to));
      const RunData partial = ReadRunData(results.toStdString());
      QVERIFY(partial.scheduleTimeS.empty() && partial.notes.size() == 1);
      QVERIFY2(partial.notes[0].find(message) != std::string::npos, partial.notes[0].c_str());
      QCOMPARE(AllCharts(partial, nullptr, ChartOptions()).size(), AllCharts(run, nullptr, ChartOptions()).size() - 1);
    }
    plot.start(TORVEX_PLOT_PATH, {results, "--format", "png", "--out", work + "/again"});
    QVERIFY(plot.waitForFinished(60000) && plot.exitCode() == 0);
    QVERIFY(QString::fromUtf8(plot.readAllStandardError()).contains("the temperature chart is left out"));
    QVERIFY(QFile::exists(work + "/again/profiles.png") && !QFile::exists(work + "/again/temperature.png"));
  }

  void fitsRecoverTheLawsTheRecordsFollow() {
    RunData run = historyRun();
    run.initialKirkendallCm = kX0;
    const ChartData kirkendall = KirkendallChart(run, ChartOptions());
    QCOMPARE(kirkendall.series.size(), std::size_t{2});
    QVERIFY(kirkendall.series[1].dashed);
    // The fitted line's end: A sqrt(t_end) in µm.
    const double end = kirkendall.series[1].x.back();
    QVERIFY(std::abs(kirkendall.series[1].y.back() - kA * 1e4 * end) < 1e-9 * kA * 1e4 * end);
    QVERIFY2(kirkendall.note.find("A = 0.2 µm/s^½") != std::string::npos, kirkendall.note.c_str());

    const ChartData scale = ScaleChart(run, ChartOptions());
    QVERIFY2(scale.note.find("kp = 1e-12 cm²/s") != std::string::npos, scale.note.c_str());
    QVERIFY2(scale.note.find("R² = 1") != std::string::npos, scale.note.c_str());
    QCOMPARE(scale.yTitle, std::string("X² [µm²]"));

    // Heated first: the scale grew slower before the hold, and the line is
    // fitted over the hold alone, where X² = X0² + 2 kp (t - t0).
    RunData heated = run;
    const double t0 = heated.scaleTimeS[heated.scaleTimeS.size() / 2];
    for (std::size_t i = 0; i < heated.scaleTimeS.size(); ++i)
      if (heated.scaleTimeS[i] < t0)
        heated.scaleThicknessCm[i] = heated.scaleThicknessCm[i] * heated.scaleTimeS[i] / t0;
    heated.scheduleTimeS = {0, t0, 1e12};
    heated.scheduleTemperatureK = {900, 1200, 1200};
    QCOMPARE(HoldStart(heated), t0);
    QCOMPARE(HoldStart(run), run.startTimeS);
    const ChartData held = ScaleChart(heated, ChartOptions());
    QVERIFY2(held.note.find("over the final hold") != std::string::npos, held.note.c_str());
    QVERIFY2(held.note.find("kp = 1e-12 cm²/s") != std::string::npos, held.note.c_str());
    QCOMPARE(held.series[1].x.front(), t0);
  }

  void unitsAndBasisFollowTheOptions() {
    const RunData run = historyRun();
    ChartOptions options;
    options.unit = PositionUnit::Centimetre;
    options.basis = CompositionBasis::Weight;
    options.frame = 0;
    const ChartData profiles = ProfilesChart(run, options);
    QCOMPARE(profiles.xTitle, std::string("x [cm]"));
    QCOMPARE(profiles.yTitle, std::string("composition [wt.%]"));
    QCOMPARE(profiles.series[0].x[3], 0.003);
    QCOMPARE(profiles.series[0].y[3], 26.0);  // 2 x 13 at.% in the made-up wt.% column
    QVERIFY(profiles.title.find("t = 0 s") != std::string::npos);
    QCOMPARE(FrameNearest(run, 140.0), std::size_t{1});
    // Legends of many curves keep their times short.
    RunData later = run;
    later.frames[0].timeS = 0.25;
    later.frames[1].timeS = 2530.0;
    later.frames[2].timeS = 612000.0;
    QStringList names;
    for (const ChartSeries& s : EvolutionChart(later, ChartOptions()).series) names << QString::fromStdString(s.name);
    QCOMPARE(names, QStringList({"0.25 s", "2530 s", "612000 s"}));
  }

  void measuredOverlayShowsPointsAndTheirMisfit() {
    const RunData run = historyRun();
    // Last save: N1 = 30 + k at x = 10 k µm. Measured 1 above at two points
    // (RMS 1), and one point beyond the sample, left out.
    const MeasuredProfile measured =
        ParseMeasuredProfile("x_um,N1\n0,31\n15,30.5\n40,1\n", "scan.csv", {std::nullopt, 0.0, {}});
    ChartData overlay = MeasuredOverlayChart(run, measured, ChartOptions());
    QCOMPARE(overlay.series.size(), std::size_t{2});
    QVERIFY(!overlay.series[0].markers && overlay.series[1].markers);
    QCOMPARE(overlay.series[1].x.size(), std::size_t{3});
    QVERIFY2(overlay.series[1].name.find("RMS 1 at.%") != std::string::npos, overlay.series[1].name.c_str());
    QVERIFY2(overlay.note.find("over 2 measured points") != std::string::npos, overlay.note.c_str());
    QVERIFY2(overlay.note.find("1 points beyond the sample") != std::string::npos, overlay.note.c_str());
    // A measured component the run does not have is an error naming the file.
    const MeasuredProfile fourth = ParseMeasuredProfile("x_um,N4\n0,1\n", "four.csv");
    QVERIFY_THROWS_EXCEPTION(InputError, MeasuredOverlayChart(run, fourth, ChartOptions()));
  }

  void exportsPngOfTheAskedSizeSvgThatParsesAndCsvOfTheDrawnPoints() {
    const RunData run = historyRun();
    ChartData profiles = ProfilesChart(run, ChartOptions());
    profiles.series[0].name = "N1, \"first\"";  // a name a CSV must quote
    const QString stem = dir_->filePath(QStringLiteral("profiles"));
    const QStringList written = ExportChart(profiles, stem, QSize(2400, 1500), {"png", "svg", "csv"});
    QCOMPARE(written.size(), 3);
    QCOMPARE(QImage(stem + ".png").size(), QSize(2400, 1500));
    QFile svg(stem + ".svg");
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    int elements = 0;
    while (!xml.atEnd())
      if (xml.readNext() == QXmlStreamReader::StartElement) ++elements;
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(elements > 10);
    QFile csv(stem + ".csv");
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 3 * 4);
    QCOMPARE(lines[0], QStringLiteral("series,x [µm],composition [at.%]"));
    QCOMPARE(lines[1], QStringLiteral("\"N1, \"\"first\"\"\",0,30"));
    QCOMPARE(lines[12], QStringLiteral("N3,30,62"));
    // A size no one means is refused with the file named.
    QVERIFY_THROWS_EXCEPTION(InputError, ExportChart(profiles, stem, QSize(8, 8), {"png"}));
  }

  void commandLineWritesEveryChartAndNamesBadInput() {
    historyRun();
    const QString out = dir_->filePath(QStringLiteral("plots"));
    writeText(dir_->filePath("scan.csv"), "x_um,N1\n0,31\n");
    QProcess plot;
    plot.start(TORVEX_PLOT_PATH, {folder_, "--measured", dir_->filePath("scan.csv"), "--out", out, "--format", "png",
                                  "--times", "0,200"});
    QVERIFY(plot.waitForFinished(60000));
    QCOMPARE(plot.exitCode(), 0);
    const QStringList printed = QString::fromUtf8(plot.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (const QString& path : printed) QVERIFY2(QFile::exists(path), qPrintable(path));
    for (const char* name : {"profiles_t0s.png", "profiles_t200s.csv", "measured_overlay_t200s.png", "kirkendall.csv",
                             "scale.png", "evolution_N3.csv"})
      QVERIFY2(printed.contains(QDir(out).filePath(name)), name);
    QVERIFY(!QFile::exists(QDir(out).filePath("profiles.svg")));

    writeText(dir_->filePath("bad.csv"), "x_um,N1\n0,31\n5,3l\n");
    plot.start(TORVEX_PLOT_PATH, {folder_, "--measured", dir_->filePath("bad.csv"), "--out", out});
    QVERIFY(plot.waitForFinished(60000));
    QCOMPARE(plot.exitCode(), 1);
    const QString error = QString::fromUtf8(plot.readAllStandardError());
    QVERIFY2(error.contains("bad.csv, line 3, column 2: '3l' is not a number"), qPrintable(error));
    plot.start(TORVEX_PLOT_PATH, {folder_, "--format", "gif"});
    QVERIFY(plot.waitForFinished(60000));
    QCOMPARE(plot.exitCode(), 2);
  }

  // Every component at each time on one chart: the colour says the
  // component, the line style the time; the legend lists each once, and the
  // CSV holds the curves alone. Four saves spread over the run unless asked.
  void severalTimesChartDrawsEveryComponentAtEachTimeInItsStyle() {
    const RunData run = erfcCouple({0, 600, 1200, 1800, 2400, 3000, 3600});
    ChartData chart = SeveralTimesChart(run, ChartOptions());
    QCOMPARE(chart.id, std::string("profiles_several_times"));
    QCOMPARE(chart.title, std::string("Concentration profiles at 4 times"));
    std::vector<std::string> curves, keys;
    for (const ChartSeries& s : chart.series) (s.x.empty() ? keys : curves).push_back(s.name);
    QCOMPARE(curves,
             (std::vector<std::string>{"N1, t = 0 s", "N2, t = 0 s", "N1, t = 1200 s", "N2, t = 1200 s",
                                       "N1, t = 2400 s", "N2, t = 2400 s", "N1, t = 3600 s", "N2, t = 3600 s"}));
    QCOMPARE(keys, (std::vector<std::string>{"N1", "N2", "t = 0 s", "t = 1200 s", "t = 2400 s", "t = 3600 s"}));
    for (std::size_t i = 0; i < 8; ++i) {
      QCOMPARE(chart.series[i].rgb, ComponentColour(static_cast<int>(i % 2)));
      QCOMPARE(chart.series[i].style, chart.series[10 + i / 2].style);  // the key of its time
      QVERIFY(!chart.series[i].inLegend);
    }
    QVERIFY(chart.series[2].style != chart.series[0].style);
    const std::string csv = ChartCsv(chart);
    QCOMPARE(csv.find("\nN1,"), std::string::npos);  // no row of a key
    QCOMPARE(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), std::size_t{1 + 8 * 201});
    // Asked for: in time order, one style each, at most as many as styles.
    ChartOptions asked;
    asked.severalFrames = {6, 1, 1, 3, 0, 2, 4};
    chart = SeveralTimesChart(run, asked);
    QCOMPARE(chart.series.front().name, std::string("N1, t = 0 s"));
    QVERIFY2(chart.note.find("first 5 of the 6 times") != std::string::npos, chart.note.c_str());
    // In hours, with the temperature of each time under a schedule.
    RunData scheduled = run;
    scheduled.scheduleTimeS = {0, 3600};
    scheduled.scheduleTemperatureK = {1073, 1273};
    asked.severalFrames = {3};
    asked.timeUnit = TimeUnit::Hour;
    QCOMPARE(SeveralTimesChart(scheduled, asked).series.back().name, std::string("t = 0.5 h (1173 K)"));
    // The components' names, where the run has them, in every legend.
    scheduled.componentNames = {"Ni", ""};
    const ChartData named = SeveralTimesChart(scheduled, asked);
    QCOMPARE(named.series[0].name, std::string("Ni, t = 0.5 h (1173 K)"));
    QCOMPARE(named.series[1].name, std::string("N2, t = 0.5 h (1173 K)"));
    QCOMPARE(ProfilesChart(scheduled, asked).series[0].name, std::string("Ni"));
  }

  // A chart that would mean nothing is not drawn, and says why: the path of
  // a binary (a straight line), and a Kirkendall plane that moved less than
  // a thousandth of a grid step and not as sqrt(t). A plane that moved
  // little but as sqrt(t) is drawn, with the span of the record fitted.
  void chartsThatMeanNothingComeWithTheirReason() {
    RunData run = erfcCouple({0, 3600});
    const ChartData path = DiffusionPathChart(run, ChartOptions());
    QVERIFY(!HasData(path));
    QVERIFY2(path.unavailable.find("N2 = 100 − N1") != std::string::npos, path.unavailable.c_str());
    run.initialKirkendallCm = 0.0;
    for (int p = 1; p <= 400; ++p) {
      run.kirkendallTimeS.push_back(9.0 * p);
      // Noise of 1e-9 cm about the start: a thousandth of the 0.001 cm step is 1e-6 cm.
      run.kirkendallCm.push_back(1e-9 * std::sin(0.37 * p));
    }
    const ChartData noise = KirkendallChart(run, ChartOptions());
    QVERIFY(!HasData(noise));
    QVERIFY2(noise.unavailable.find("less than a thousandth of a grid step (10 µm)") != std::string::npos,
             noise.unavailable.c_str());
    const std::vector<ChartData> all = AllCharts(run, nullptr, ChartOptions());
    QCOMPARE(std::count_if(all.begin(), all.end(), [](const ChartData& c) { return !c.unavailable.empty(); }), 2);
    for (std::size_t p = 0; p < run.kirkendallCm.size(); ++p)
      run.kirkendallCm[p] = 1e-8 * std::sqrt(run.kirkendallTimeS[p]);
    const ChartData small = KirkendallChart(run, ChartOptions());
    QVERIFY(small.unavailable.empty() && HasData(small));
    QVERIFY2(small.note.find("over the record from t = 9 s to 3600 s (400 points): A = 0.0001 µm/s^½, R² = 1") !=
                 std::string::npos,
             small.note.c_str());
  }

  // Times in the unit chosen on axes, titles, legends and fits (A of the
  // Kirkendall plane scales as the root of the unit, kp stays in cm²/s); a
  // logarithmic time axis draws log10 t, leaves out t <= 0 and bends the
  // fitted line of X² against t; the schedule's temperature in the titles.
  void timeUnitsLogTimeAndTheTemperatureInTitles() {
    RunData run = historyRun();  // saves at 0, 100, 200 s; series every 4 s
    run.initialKirkendallCm = kX0;
    ChartOptions hours;
    hours.timeUnit = TimeUnit::Hour;
    const ChartData surface = SurfaceChart(run, hours);
    QCOMPARE(surface.xTitle, std::string("t [h]"));
    QCOMPARE(surface.series[0].x.back(), 200.0 / 3600.0);
    QCOMPARE(ProfilesChart(run, hours).title, std::string("Concentration profiles, t = 0.05556 h"));
    const ChartData kirkendall = KirkendallChart(run, hours);
    QCOMPARE(kirkendall.xTitle, std::string("√t [h^½]"));
    QVERIFY2(kirkendall.note.find("A = 12 µm/h^½") != std::string::npos, kirkendall.note.c_str());  // 0.2 · 60
    const ChartData scale = ScaleChart(run, hours);
    QVERIFY2(scale.note.find("µm²/h (kp = 1e-12 cm²/s)") != std::string::npos, scale.note.c_str());

    ChartOptions log;
    log.logTime = true;
    ChartData logScale = ScaleChart(run, log);
    QVERIFY(logScale.xLog && logScale.series[1].x.size() > 10);  // the line as a curve
    for (std::size_t i = 0; i < logScale.series[1].x.size(); ++i)
      QVERIFY(std::abs(logScale.series[1].y[i] - 2e-4 * logScale.series[1].x[i]) < 1e-9);  // X² = 2 kp t in µm²
    logScale.series[0].x.front() = 0.0;  // a point at t = 0 has no place on a log axis
    std::unique_ptr<QChart> chart(BuildChart(logScale));
    const auto* axis = qobject_cast<TickAxis*>(chart->axes(Qt::Horizontal).front());
    QVERIFY(axis != nullptr && axis->scale() == AxisScale::Log10);
    QCOMPARE(axis->min(), 0.0);  // 4 s .. 200 s: the decades 10^0 .. 10^3
    QCOMPARE(axis->max(), 3.0);
    QCOMPARE(static_cast<QXYSeries*>(chart->series()[0])->count(),
             static_cast<qsizetype>(logScale.series[0].x.size() - 1));

    run.scheduleTimeS = {0, 200};
    run.scheduleTemperatureK = {1000, 1200};
    ChartOptions first;
    first.frame = 1;
    QCOMPARE(ProfilesChart(run, first).title, std::string("Concentration profiles, t = 100 s, T = 1100 K"));
    QVERIFY(DiffusionPathChart(run, first).title.ends_with("T = 1100 K"));
    QVERIFY(TemperatureChart(run, log).xLog);
  }

  // Given the time the profile was measured, the overlay compares it with
  // the save nearest to that time, whatever save the slider shows, and says
  // which; without it, it says that it used the save shown. The chart opens
  // on the scan, and measured points differ from the simulated line.
  void measuredOverlayComparesWithTheSaveOfItsTimeAndShowsTheScan() {
    const RunData run = erfcCouple({0, 3600, 36000});
    const MeasuredProfile scan = ParseMeasuredProfile("x_um,N1\n-100,80\n0,50\n100,20\n", "scan.csv");
    ChartOptions options;
    options.frame = 0;  // the slider on the step profile
    options.measuredTimeS = 30000;
    const ChartData overlay = MeasuredOverlayChart(run, scan, options);
    QCOMPARE(overlay.title, std::string("Measured (t = 30000 s) and simulated profiles, save at t = 36000 s"));
    QVERIFY2(overlay.note.find("against the save at t = 36000 s, the nearest to the measured t = 30000 s; 6000 s "
                               "away from it") != std::string::npos,
             overlay.note.c_str());
    QCOMPARE(overlay.series[0].y, std::vector<double>(run.frames[2].atPct.begin(), run.frames[2].atPct.begin() + 201));
    QVERIFY(overlay.series[1].markers && overlay.series[1].open && !overlay.series[0].markers);
    QVERIFY(overlay.series[1].rgb != overlay.series[0].rgb);
    QCOMPARE(overlay.xView->first, -120.0);  // the scan and a tenth of it each side, in µm
    QCOMPARE(overlay.xView->second, 120.0);
    const AxisRange x = RangeOf(overlay, false);
    QVERIFY(x.low >= -150.0 && x.high <= 150.0 && x.low <= -120.0 && x.high >= 120.0);

    options.measuredTimeS = 1e6;
    QVERIFY(MeasuredOverlayChart(run, scan, options).note.ends_with("the run has not reached the measured time"));
    options.measuredTimeS.reset();
    const ChartData shown = MeasuredOverlayChart(run, scan, options);
    QVERIFY(shown.title.ends_with("at the save shown, t = 0 s"));
    QVERIFY2(shown.note.find("against the save shown (t = 0 s); give the time") != std::string::npos,
             shown.note.c_str());
  }

  // The proposed shift puts the scan's crossing of the mid content on the
  // simulated one: a noisy scan of a couple whose interface lies 103.2 µm
  // into it; a scan that never crosses is centred on the sample.
  void proposedShiftPutsTheScanOnTheInterface() {
    const RunData run = erfcCouple({0, 36000}, 0.0012);  // interface at 12 µm
    std::string text = "x_um,N1\n";
    for (int k = 0; k <= 40; ++k) {
      const double xUm = -100.0 + 5.0 * k;  // on the sample
      const double n1 = 50.0 * std::erfc((xUm - 12.0) * 1e-4 / (2.0 * std::sqrt(1e-10 * 36000))) +
                        0.8 * std::sin(1.7 * k);                               // probe noise
      text += num(xUm + 91.2) + "," + num(std::clamp(n1, 0.0, 100.0)) + "\n";  // scan origin 91.2 µm off
    }
    const MeasuredProfile scan = ParseMeasuredProfile(text, "scan.csv");
    const ShiftProposal proposal = ProposeMeasuredShift(run, scan, 1);
    QVERIFY(proposal.fromCrossing);
    QVERIFY2(std::abs(proposal.shiftCm * 1e4 + 91.2) < 1.0, std::to_string(proposal.shiftCm * 1e4).c_str());
    QVERIFY2(proposal.explanation.find("crossing of 50 at.% N1") != std::string::npos, proposal.explanation.c_str());

    const MeasuredProfile plateau = ParseMeasuredProfile("x_um,N1\n500,100\n700,100\n", "plateau.csv");
    const ShiftProposal centred = ProposeMeasuredShift(run, plateau, 1);
    QVERIFY(!centred.fromCrossing);
    QCOMPARE(centred.shiftCm, 0.5 * (-0.1 + 0.1) - 0.06);
    QVERIFY(ProposeMeasuredShift(RunData(), scan, 0).explanation.starts_with("No simulated profile"));
    // The crossing of a noisy profile is the median of its crossings.
    QCOMPARE(CrossingPosition({0, 1, 2, 3, 4, 5, 6}, {90, 60, 40, 55, 45, 20, 10}, 50.0), 2.0 + 10.0 / 15.0);
    QVERIFY(std::isnan(CrossingPosition({0, 1}, {90, 80}, 50.0)));
  }

  // The sample runs as torvex-plot draws them: no tick label shows rounding
  // residue ("-6.939e-18" at zero in cm, "-5.551e-17" on the Kirkendall axis
  // of the conservative scheme) or any exponent notation; a time without a
  // save of its own is named; the several-times chart, hours and a log time
  // axis come out as asked.
  void sampleRunChartsHaveCleanTickLabels() {
    const QString work = dir_->path();
    QCOMPARE(runBatch(work, {"--write-samples", "."}), 0);
    struct Run {
      QString results;
      QStringList arguments;
    };
    const std::vector<Run> runs = {
        {"inter", {"--set", "D1=0 36000", "interdiffusion.dat"}},
        {"inter3", {"--set", "D1=0 36000", "--set", "D16=3", "interdiffusion.dat"}},
        {"ox", {"--set", "D1=0 36000", "oxidation.dat"}},
    };
    for (const Run& r : runs) {
      QCOMPARE(runBatch(work, QStringList{"--quiet", "--results", r.results} + r.arguments), 0);
      for (const QStringList& extra : {QStringList{"--unit", "cm"}, QStringList{"--time-unit", "h", "--log-time"},
                                       QStringList{"--times", "3601,36000"}}) {
        const QString out = work + "/" + r.results + "/plots" + extra.join("");
        QProcess plot;
        plot.start(TORVEX_PLOT_PATH, QStringList{work + "/" + r.results, "--format", "svg", "--out", out} + extra);
        QVERIFY(plot.waitForFinished(120000));
        QCOMPARE(plot.exitCode(), 0);
        const QString errors = QString::fromUtf8(plot.readAllStandardError());
        const QStringList files = QDir(out).entryList({"*.svg"});
        QVERIFY(files.contains("profiles_several_times.svg") && files.contains("evolution_N1.svg"));
        for (const QString& file : files)
          for (const QString& text : svgTexts(out + "/" + file)) {
            QVERIFY2(!text.contains(QRegularExpression("e-1[5-9]|e-[2-9][0-9]")), qPrintable(file + ": " + text));
            // No number alone (a tick label) in exponent notation.
            QVERIFY2(!QRegularExpression("^[−-]?[0-9.]+e[+-]?[0-9]+$").match(text).hasMatch(),
                     qPrintable(file + ": " + text));
          }
        if (extra.contains("--times")) {
          // Saves come every so many passes, not on round times.
          const QRegularExpressionMatch said =
              QRegularExpression("--times 3601: no save at that time; drawn at the nearest, t = ([0-9.]+) s")
                  .match(errors);
          QVERIFY2(said.hasMatch(), qPrintable(errors));
          const QStringList texts = svgTexts(out + "/profiles_t" + said.captured(1) + "s.svg");
          QVERIFY2(texts.filter("(the save nearest to 3601 s)").size() == 1, qPrintable(texts.join('|')));
        }
        if (extra.contains("--log-time") && r.results == "ox") {
          const QStringList texts = svgTexts(out + "/surface.svg");
          QVERIFY(texts.contains("t [h]") && texts.contains("10⁻⁴"));
        }
      }
    }
  }
};

QTEST_MAIN(PlotTest)
#include "plot_test.moc"
