// The Plots window and the Results menu, driven as a user would on the
// offscreen platform: following a run, reading its results afterwards,
// the save slider, the at.%/wt.% and µm/cm choices, zoom and reset (never a
// freeze, whatever the range), the value under the pointer, the exports,
// greyed charts, small screens, and loading a measured profile.

#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QXYSeries>
#include <QtTest/QtTest>
#include <memory>

#include "model/errors.h"
#include "model/measured_profile.h"
#include "plot/axis_ticks.h"
#include "plot/chart_view.h"
#include "plot/measured_dialog.h"
#include "plot/plots_window.h"
#include "plot/tick_axis.h"
#include "run/simulation.h"
#include "ui/main_window.h"
#include "ui_support.h"

using torvex::DesktopModel;
using torvex::TForm2;
using torvex::plot::LiveSample;
using torvex::plot::PlotsWindow;
using torvex::test::enterShortCase;

namespace {

// A two-component sample of 11 points at time t: N1 falls from 1 to 0 over
// 0 .. 0.01 cm, steeper as t grows; the Kirkendall plane moves as sqrt(t).
LiveSample sampleAt(double t) {
  LiveSample s;
  s.timeS = t;
  s.componentCount = 2;
  for (int k = 0; k <= 10; ++k) s.positionCm.push_back(0.001 * k);
  s.molarRatio.resize(22);
  for (int k = 0; k <= 10; ++k) {
    const double n1 = 1.0 - 0.1 * k;
    s.molarRatio[static_cast<std::size_t>(k)] = n1;
    s.molarRatio[11 + static_cast<std::size_t>(k)] = 1.0 - n1;
  }
  s.molarMass = {58.69, 195.08};
  s.initialKirkendallCm = 0.005;
  s.kirkendallCm = 0.005 + 1e-6 * std::sqrt(t);
  s.oxidation = true;
  return s;
}

// A finished run with every chart: four saves of the sample above, a
// schedule, a Kirkendall plane moving as sqrt(t), and a growing scale.
torvex::RunData everyChartRun() {
  torvex::RunData run;
  const LiveSample first = sampleAt(0.0);
  run.componentCount = 3;
  run.positionCm = first.positionCm;
  for (const double t : {0.0, 1200.0, 2400.0, 3600.0}) {
    std::vector<double> at(33);
    for (std::size_t k = 0; k <= 10; ++k) {
      at[k] = 100.0 * first.molarRatio[k] * (1.0 - t / 1e4);
      at[11 + k] = 5.0;
      at[22 + k] = 95.0 - at[k];
    }
    run.frames.push_back({t, at, {}});
  }
  run.initialKirkendallCm = 0.005;
  run.oxidation = true;
  for (int p = 1; p <= 900; ++p) {
    const double t = 4.0 * p;
    run.kirkendallTimeS.push_back(t);
    run.kirkendallCm.push_back(0.005 + 2e-5 * std::sqrt(t));
    run.surfaceTimeS.push_back(t);
    run.surfaceRatio.push_back(0.2 - 0.1 * std::sqrt(t / 3600.0));
    run.scaleTimeS.push_back(t);
    run.scaleThicknessCm.push_back(std::sqrt(2e-12 * t));
  }
  run.scheduleTimeS = {0, 1800, 3600};
  run.scheduleTemperatureK = {1073, 1273, 1273};
  return run;
}

int tabIndex(const PlotsWindow& plots, const QString& title) {
  for (int i = 0; i < plots.tabs->count(); ++i)
    if (plots.tabs->tabText(i) == title) return i;
  return -1;
}

// Every axis of the view: at most the cap of ticks, at least two while the
// range can hold them, distinct labels, none in exponent notation.
void expectSaneTicks(const torvex::plot::ChartView& view, const char* chart) {
  for (const Qt::Orientation orientation : {Qt::Horizontal, Qt::Vertical}) {
    auto* axis = qobject_cast<torvex::plot::TickAxis*>(view.chart()->axes(orientation).front());
    QVERIFY2(axis != nullptr, chart);
    const auto& ticks = axis->ticks();
    const QByteArray where = QByteArray(chart) + (orientation == Qt::Horizontal ? " x: " : " y: ") +
                             QByteArray::number(axis->min(), 'g', 17) + " .. " +
                             QByteArray::number(axis->max(), 'g', 17);
    QVERIFY2(ticks.size() >= 2 && ticks.size() <= static_cast<std::size_t>(torvex::plot::kMaxTicks), where.constData());
    QCOMPARE(axis->categoriesLabels().size(), static_cast<qsizetype>(ticks.size()));
    for (std::size_t i = 0; i < ticks.size(); ++i) {
      QVERIFY2(ticks[i].label.find('e') == std::string::npos, (where + " " + ticks[i].label.c_str()).constData());
      if (i > 0) QVERIFY2(ticks[i].label != ticks[i - 1].label, where.constData());
    }
  }
}

QString axisTitle(PlotsWindow& w, Qt::Orientation orientation) {
  return w.currentView()->chart()->axes(orientation).front()->titleText();
}

}  // namespace

class PlotsWindowTest : public torvex::test::WindowTest {
  Q_OBJECT

 private slots:
  void init() { openWindow(); }
  void cleanup() { closeWindow(); }

  void theResultsMenuStandsBesideTheOthers() {
    QStringList titles;
    for (QAction* action : window_->menuBar()->actions()) titles << action->text();
    QCOMPARE(titles, QStringList({"File", "Calculation", "Results", "Help"}));
    QCOMPARE(window_->Plots1->text(), QStringLiteral("Plots..."));
    QCOMPARE(window_->Loadmeasuredprofile1->text(), QStringLiteral("Load measured profile..."));
    // Before any run the window says why it is empty.
    window_->Plots1->trigger();
    QVERIFY(window_->plotsWindow() != nullptr && window_->plotsWindow()->isVisible());
    QCOMPARE(window_->plotsWindow()->tabCount(), 0);
    QVERIFY(window_->plotsWindow()->noteLabel->text().contains("results: no results to plot"));
    QVERIFY(messages_.isEmpty());
  }

  void theWindowFollowsARunAndThenReadsItsResults() {
    TForm2& w = *window_;
    enterShortCase(w, "400");
    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(w.RunThread != nullptr);
    w.Plots1->trigger();
    PlotsWindow* plots = w.plotsWindow();
    QVERIFY(plots != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(w.RunThread == nullptr, 120000);
    QVERIFY(messages_.isEmpty());
    // After the run: the results folder, with every chart of a couple.
    QCOMPARE(plots->runData().source, std::string("results"));
    QCOMPARE(plots->runData().componentCount, 3);
    QCOMPARE(plots->runData().frames.back().timeS, 400.0);
    // Earlier saves too: from the run history, or those seen while following.
    QVERIFY(plots->runData().frames.size() > 1);
    QCOMPARE(plots->saveSlider->maximum(), static_cast<int>(plots->runData().frames.size()) - 1);
    QVERIFY(plots->showTab("kirkendall"));
    QVERIFY(plots->showTab("diffusion_path"));
    QVERIFY(!plots->showTab("scale"));
    QCOMPARE(plots->currentView()->chart()->series().size(), 2);
  }

  void liveSamplesAreKeptBoundedAndTheSliderPicksTheSave() {
    PlotsWindow plots;
    plots.show();
    plots.beginLive();
    for (int i = 1; i <= 300; ++i) plots.addLiveSample(sampleAt(10.0 * i));
    plots.redrawNow();
    const auto& run = plots.runData();
    QVERIFY(run.frames.size() <= 120 && run.frames.size() > 60);
    QCOMPARE(run.frames.front().timeS, 10.0);
    QCOMPARE(run.frames.back().timeS, 3000.0);
    QCOMPARE(run.kirkendallTimeS.size(), std::size_t{300});
    // wt.% from the molar masses: 50 at.% Ni in Pt.
    QVERIFY(std::abs(run.frames.back().wtPct[5] - 100.0 * 0.5 * 58.69 / (0.5 * 58.69 + 0.5 * 195.08)) < 1e-9);
    QCOMPARE(plots.saveSlider->maximum(), static_cast<int>(run.frames.size()) - 1);
    QCOMPARE(plots.saveSlider->value(), plots.saveSlider->maximum());
    QVERIFY(plots.currentChart()->title.find("t = 3000 s") != std::string::npos);
    plots.saveSlider->setValue(0);
    QVERIFY(plots.currentChart()->title.find("t = 10 s") != std::string::npos);
    QVERIFY(plots.saveLabel->text().startsWith("Save 1/"));
    // A later sample does not move a save the user picked.
    plots.addLiveSample(sampleAt(4000.0));
    plots.redrawNow();
    QVERIFY(plots.currentChart()->title.find("t = 10 s") != std::string::npos);
    QVERIFY(plots.showTab("surface"));
    QVERIFY(plots.showTab("kirkendall"));
  }

  void unitsBasisZoomAndTheValueUnderThePointer() {
    PlotsWindow plots;
    plots.resize(900, 700);
    plots.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plots));
    plots.addLiveSample(sampleAt(100.0));
    plots.redrawNow();
    QVERIFY(plots.showTab("profiles"));
    QCOMPARE(axisTitle(plots, Qt::Horizontal), QStringLiteral("x [µm]"));
    QCOMPARE(axisTitle(plots, Qt::Vertical), QStringLiteral("composition [at.%]"));
    plots.unitBox->setCurrentIndex(1);
    plots.basisBox->setCurrentIndex(1);
    QCOMPARE(axisTitle(plots, Qt::Horizontal), QStringLiteral("x [cm]"));
    QCOMPARE(axisTitle(plots, Qt::Vertical), QStringLiteral("composition [wt.%]"));
    auto* x = static_cast<QValueAxis*>(plots.currentView()->chart()->axes(Qt::Horizontal).front());
    QCOMPARE(x->max(), 0.01);

    torvex::plot::ChartView* view = plots.currentView();
    const QPointF middle = view->chart()->plotArea().center();
    const QPoint inView = view->mapFromScene(view->chart()->mapToScene(middle));
    view->zoomAround(inView, 4.0);
    QVERIFY(view->isZoomed());
    QVERIFY(x->max() - x->min() < 0.003 && x->min() > 0.0);
    // A redraw with new data keeps the zoom the user made.
    plots.addLiveSample(sampleAt(200.0));
    plots.redrawNow();
    QVERIFY(view->isZoomed());
    QTest::mouseClick(plots.resetButton, Qt::LeftButton);
    QVERIFY(!view->isZoomed());
    QCOMPARE(x->max(), 0.01);

    QMouseEvent move(QEvent::MouseMove, QPointF(inView), view->viewport()->mapToGlobal(QPointF(inView)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QTRY_VERIFY2(plots.pointerLabel->text().startsWith("x [cm] = 0.005"), qPrintable(plots.pointerLabel->text()));
  }

  // A run under a schedule gets a Temperature tab beside the profiles, whose
  // marker of the save shown follows the slider. A file that left a chart
  // out is told under every tab.
  void aScheduledRunShowsItsTemperatureBesideTheProfiles() {
    torvex::RunData run;
    for (const double t : {0.0, 1800.0, 3600.0}) {
      const LiveSample sample = sampleAt(t);
      run.componentCount = sample.componentCount;
      run.positionCm = sample.positionCm;
      run.frames.push_back({t, sample.molarRatio, {}});
    }
    run.scheduleTimeS = {0, 3600};
    run.scheduleTemperatureK = {1073, 1273};
    PlotsWindow plots;
    plots.show();
    plots.showRun(run);
    QCOMPARE(plots.tabs->tabText(1), QStringLiteral("Temperature"));
    QVERIFY(plots.showTab("temperature"));
    QCOMPARE(axisTitle(plots, Qt::Vertical), QStringLiteral("T [K]"));
    plots.saveSlider->setValue(1);
    QCOMPARE(plots.currentChart()->series[2].y, std::vector<double>{1173});

    run.scheduleTimeS.clear();
    run.notes = {"results/run.json: not a run report (...); the temperature chart is left out"};
    plots.showRun(run);
    QVERIFY(plots.showTab("evolution") && !plots.showTab("temperature"));
    QVERIFY(plots.noteLabel->text().contains("the temperature chart is left out"));
  }

  // A run of 10 000 cycles, recorded as their description: the temperature
  // tab draws their envelope as a band, a zoom onto a few cycles draws each
  // of them corner by corner, and the whole chart again drops them.
  void aCycledRunShowsItsCyclesAndAZoomShowsEachOne() {
    torvex::RunData run;
    for (const double t : {0.0, 2.1e7, 4.2e7}) {
      const LiveSample sample = sampleAt(t);
      run.componentCount = sample.componentCount;
      run.positionCm = sample.positionCm;
      run.frames.push_back({t, sample.molarRatio, {}});
    }
    run.cyclesText = "10000:3600@1373,600@300";
    run.endTimeS = 4.2e7;
    PlotsWindow plots;
    plots.resize(1000, 700);
    plots.show();
    plots.showRun(run);
    QVERIFY(plots.showTab("temperature"));
    torvex::plot::ChartView& view = *plots.currentView();
    const auto shownSeries = [&](const QString& name) -> QAbstractSeries* {
      for (QAbstractSeries* series : view.chart()->series())
        if (series->name() == name) return series;
      return nullptr;
    };
    const QString bandName = QStringLiteral("10000 cycles between 300 and 1373 K (envelope)");
    QVERIFY(shownSeries(bandName) != nullptr);
    QCOMPARE(shownSeries(bandName)->type(), QAbstractSeries::SeriesTypeArea);
    auto* detail = qobject_cast<QXYSeries*>(shownSeries(QStringLiteral("T(t) in view")));
    QVERIFY(detail != nullptr);
    QCOMPARE(detail->count(), 0);

    // Onto about 40 cycles around the middle: each drawn.
    QTest::qWait(50);
    const QRectF area = view.chart()->mapRectToScene(view.chart()->plotArea());
    // A rubber band over the full height and a 250th of the width.
    const QRectF onView = view.mapFromScene(area).boundingRect();
    view.zoomToRect(QRectF(onView.center().x(), onView.top() + 1, onView.width() / 250, onView.height() - 2));
    const auto [low, high] = view.xValuesShown();
    QVERIFY2(high - low < 50 * 4200.0, QByteArray::number(high - low).constData());
    QVERIFY(detail->count() >= static_cast<int>(4 * std::floor((high - low) / 4200.0)));
    QVERIFY(detail->count() <= static_cast<int>(4 * std::ceil((high - low) / 4200.0)) + 4);
    for (const QPointF& p : detail->points()) QVERIFY(p.y() == 300.0 || p.y() == 1373.0);
    // A corner falls on a cycle's start or the end of its hot hold.
    const double cornerTime = detail->points()[1].x();
    QVERIFY(std::fmod(cornerTime, 4200.0) == 0.0 || std::fmod(cornerTime, 4200.0) == 3600.0);
    QVERIFY(view.isZoomed());
    view.resetView();
    QCOMPARE(detail->count(), 0);
  }

  void theShownChartIsExportedAsPngSvgAndCsv() {
    PlotsWindow plots;
    plots.show();
    plots.addLiveSample(sampleAt(100.0));
    plots.redrawNow();
    QVERIFY(plots.showTab("profiles"));
    plots.exportPng("p.png", QSize(3000, 2000));
    QCOMPARE(QImage("p.png").size(), QSize(3000, 2000));
    plots.exportSvg("p.svg");
    QFile svg("p.svg");
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    while (!xml.atEnd()) xml.readNext();
    QVERIFY(!xml.hasError());
    plots.exportCsv("p.csv");
    QCOMPARE(QFile("p.csv").size() > 0, true);
    QFile csv("p.csv");
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(csv.readAll()).count('\n'), 1 + 2 * 11);
    QVERIFY_THROWS_EXCEPTION(torvex::InputError, plots.exportPng("no/such/folder/p.png", QSize(100, 100)));
  }

  void aMeasuredProfileIsDrawnOverTheRunOrRefusedWithItsLine() {
    TForm2& w = *window_;
    QFile bad("bad.csv");
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("x_um,N1\n0,50\n10,fifty\n");
    bad.close();
    try {
      w.LoadMeasuredProfile("bad.csv", 0.0);
      QFAIL("a malformed profile was taken");
    } catch (const torvex::InputError& error) {
      QVERIFY2(QString(error.what()).contains("bad.csv, line 3, column 2: 'fifty' is not a number"), error.what());
    }
    w.Plots1->trigger();
    w.plotsWindow()->addLiveSample(sampleAt(100.0));
    QFile good("good.csv");
    QVERIFY(good.open(QIODevice::WriteOnly));
    good.write("# shifted by 20 um below\nx_um,N1\n-20,100\n30,50\n");
    good.close();
    w.LoadMeasuredProfile("good.csv", 20.0);
    const torvex::plot::ChartData* chart = w.plotsWindow()->currentChart();
    QVERIFY(chart != nullptr);
    QCOMPARE(chart->id, std::string("measured_overlay"));
    QVERIFY2(chart->series[1].name.find("RMS 0 at.%") != std::string::npos, chart->series[1].name.c_str());
  }

  // Keep the Plots window open, run the oxidation sample, let it go on a
  // while, then pick the Surface tab: its chart was built on the first pass
  // (a ten-thousandth of a second) and now shows ten thousand times longer.
  // That once froze the program building a tick every 1e-5 s of the record.
  void theSurfaceTabOfARunningOxidationOpensAtOnce() {
    TForm2& w = *window_;
    w.Generatesampleinputfiles1->trigger();
    QVERIFY(w.ReadDataFileIntoForms("oxidation.dat"));
    w.Plots1->trigger();
    PlotsWindow* plots = w.plotsWindow();
    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(w.RunThread != nullptr);
    // The tabs are made at the first redraw, the Surface chart with them.
    QTRY_VERIFY_WITH_TIMEOUT(plots->tabCount() > 0 && !plots->runData().surfaceTimeS.empty(), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(plots->runData().surfaceTimeS.back() > 1e4 * plots->runData().surfaceTimeS.front(),
                             120000);
    const int surface = tabIndex(*plots, "Surface");
    QVERIFY(surface > 0);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(plots->tabs->tabBar(), Qt::LeftButton, Qt::NoModifier,
                      plots->tabs->tabBar()->tabRect(surface).center());
    QCOMPARE(plots->tabs->currentIndex(), surface);
    plots->currentView()->grab();  // drawn, not only laid out
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    expectSaneTicks(*plots->currentView(), "Surface");
    QTest::mouseClick(w.START, Qt::LeftButton);  // STOP
    QTRY_VERIFY_WITH_TIMEOUT(w.RunThread == nullptr, 60000);
  }

  // Turn the wheel out a hundred notches and in a hundred on every chart:
  // each call returns at once, and the axes keep a few readable ticks (at
  // 35 notches out the ticks of a fixed spacing once ran into thousands).
  void everyChartZoomsFarOutAndInWithFewReadableTicks() {
    PlotsWindow plots;
    plots.resize(900, 650);
    plots.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plots));
    plots.showRun(everyChartRun());
    QVERIFY(plots.tabCount() >= 8);
    for (int tab = 0; tab < plots.tabCount(); ++tab) {
      if (!plots.tabs->isTabEnabled(tab)) continue;
      plots.tabs->setCurrentIndex(tab);
      torvex::plot::ChartView* view = plots.currentView();
      const QByteArray name = plots.tabs->tabText(tab).toUtf8();
      const QPoint centre = view->mapFromScene(view->chart()->mapToScene(view->chart()->plotArea().center()));
      QElapsedTimer clock;
      clock.start();
      for (const int notch : {-120, 120}) {
        for (int k = 0; k < 100; ++k) {
          QWheelEvent wheel(QPointF(centre), view->viewport()->mapToGlobal(QPointF(centre)), QPoint(), QPoint(0, notch),
                            Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
          QApplication::sendEvent(view->viewport(), &wheel);
          if (k % 25 == 24) {
            view->grab();
            expectSaneTicks(*view, name.constData());
          }
        }
      }
      QVERIFY(view->isZoomed());
      QVERIFY2(clock.elapsed() < 30000, name.constData());
      // Back to the whole chart from deep inside it.
      QTest::mouseClick(plots.resetButton, Qt::LeftButton);
      QVERIFY(!view->isZoomed());
      expectSaneTicks(*view, name.constData());
    }
  }

  // A rubber band zooms into its rectangle; one of a few pixels is a click.
  void aRubberBandZoomsIntoItsRectangle() {
    PlotsWindow plots;
    plots.resize(900, 650);
    plots.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plots));
    plots.addLiveSample(sampleAt(100.0));
    plots.redrawNow();
    torvex::plot::ChartView* view = plots.currentView();
    const QRectF area = view->chart()->plotArea();
    const auto at = [&](double fx, double fy) {
      return view->mapFromScene(
          view->chart()->mapToScene(QPointF(area.left() + fx * area.width(), area.top() + fy * area.height())));
    };
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, at(0.5, 0.5));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, at(0.5, 0.5) + QPoint(2, 2));
    QVERIFY(!view->isZoomed());
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, at(0.25, 0.25));
    QMouseEvent drag(QEvent::MouseMove, QPointF(at(0.5, 0.75)), view->viewport()->mapToGlobal(QPointF(at(0.5, 0.75))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drag);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, at(0.5, 0.75));
    QVERIFY(view->isZoomed());
    auto* x = static_cast<QValueAxis*>(view->chart()->axes(Qt::Horizontal).front());
    QVERIFY2(std::abs(x->min() - 25.0) < 1.0 && std::abs(x->max() - 50.0) < 1.0,
             qPrintable(QString("%1 %2").arg(x->min()).arg(x->max())));  // the quarter to the half of 0..100 µm
    expectSaneTicks(*view, "profiles");
  }

  // The measured profile goes with its case: a run of a case without a
  // component it names sets it aside (with a note), not a blank tab. Given
  // its time, the overlay uses the save of that time whatever the slider.
  void aMeasuredProfileFollowsItsCaseAndItsTime() {
    PlotsWindow plots;
    plots.show();
    torvex::RunData three;
    three.componentCount = 3;
    three.positionCm = {0.0, 0.005, 0.01};
    for (const double t : {0.0, 3600.0, 7200.0}) three.frames.push_back({t, {100, 50, 0, 0, 25, 50, 0, 25, 50}, {}});
    plots.showRun(three);
    plots.saveSlider->setValue(0);
    const torvex::MeasuredProfile scan = torvex::ParseMeasuredProfile("x_um,N3\n0,1\n100,49\n", "scan.csv");
    plots.setMeasured(scan, 3000.0);
    QVERIFY(plots.showTab("measured_overlay"));
    QVERIFY2(plots.noteLabel->text().contains("against the save at t = 3600 s, the nearest to the measured t = 3000 s"),
             qPrintable(plots.noteLabel->text()));
    plots.addLiveSample(sampleAt(10.0));  // a two-component case starts
    plots.redrawNow();
    QVERIFY(!plots.showTab("measured_overlay"));
    QVERIFY2(plots.noteLabel->text().contains("The measured profile scan.csv was set aside: it has a column for N3"),
             qPrintable(plots.noteLabel->text()));
  }

  // After a followed run, the results replace the saves kept while following,
  // and a save the user chose stays chosen (the nearest in time), instead of
  // the slider jumping to the last.
  void theChosenSaveStaysWhenTheRunEnds() {
    PlotsWindow plots;
    plots.show();
    plots.beginLive();
    for (const double t : {10.0, 20.0, 30.0, 40.0}) plots.addLiveSample(sampleAt(t));
    plots.redrawNow();
    plots.saveSlider->setValue(1);  // t = 20 s
    QTemporaryDir folder;
    QFile history(folder.filePath("history.csv"));
    QVERIFY(history.open(QIODevice::WriteOnly));
    history.write("time_s,x_cm,component,at_pct,wt_pct\n");
    for (const int t : {0, 15, 25, 40})
      for (int k = 0; k <= 10; ++k)
        for (int c = 1; c <= 2; ++c)
          history.write(QStringLiteral("%1,%2,%3,%4,%4\n")
                            .arg(t)
                            .arg(0.001 * k)
                            .arg(c)
                            .arg(c == 1 ? 100 - 10 * k : 10 * k)
                            .toUtf8());
    history.close();
    plots.finishLive(folder.path());
    QCOMPARE(plots.runData().frames.size(), std::size_t{4});
    QCOMPARE(plots.saveSlider->value(), 1);  // 15 s and 25 s are equally near 20 s: the earlier
    QVERIFY(plots.saveLabel->text().startsWith("Save 2/4"));
    // Followed to its end, the results' last save.
    plots.beginLive();
    plots.addLiveSample(sampleAt(10.0));
    plots.redrawNow();
    plots.finishLive(folder.path());
    QCOMPARE(plots.saveSlider->value(), 3);
  }

  // Nothing to export before a run; a chart that would mean nothing is a
  // greyed tab saying why; the several-times chart follows the times typed.
  void greyedTabsExportsAndTheTimesTyped() {
    PlotsWindow plots;
    plots.show();
    QVERIFY(!plots.pngButton->isEnabled() && !plots.svgButton->isEnabled() && !plots.csvButton->isEnabled());
    plots.beginLive();
    for (const double t : {0.0, 3600.0, 7200.0, 10800.0}) plots.addLiveSample(sampleAt(t));
    plots.redrawNow();
    QVERIFY(plots.pngButton->isEnabled() && plots.csvButton->isEnabled());
    const int path = tabIndex(plots, "Diffusion path");
    QVERIFY(path > 0 && !plots.tabs->isTabEnabled(path));
    QVERIFY(plots.tabs->tabToolTip(path).contains("N2 = 100 − N1"));
    QVERIFY(plots.noteLabel->text().contains("Diffusion path not drawn: "));
    QVERIFY(plots.showTab("profiles_several_times"));
    QCOMPARE(plots.currentChart()->title, std::string("Concentration profiles at 4 times"));
    plots.timeUnitBox->setCurrentIndex(2);  // h
    plots.timesEdit->setText("1, 3");
    emit plots.timesEdit->editingFinished();
    QCOMPARE(plots.currentChart()->series.back().name, std::string("t = 3 h"));
    QCOMPARE(plots.currentChart()->title, std::string("Concentration profiles at 2 times"));
    plots.timesEdit->setText("1, 3 h");
    emit plots.timesEdit->editingFinished();
    QVERIFY(!plots.timesEdit->styleSheet().isEmpty());  // marked: "h" is not a time
    // The log time axis on the surface chart.
    plots.logTimeBox->setChecked(true);
    QVERIFY(plots.showTab("surface"));
    const auto* x = qobject_cast<torvex::plot::TickAxis*>(plots.currentView()->chart()->axes(Qt::Horizontal).front());
    QVERIFY(x != nullptr && x->scale() == torvex::plot::AxisScale::Log10);
  }

  // Both windows fit a 1366 x 768 laptop and a 1600 x 1000 screen scaled by
  // 1.5 (1066 x 666 logical pixels), title bars included, and open no
  // larger than their screen.
  void theWindowsFitSmallScreens() {
    window_->Plots1->trigger();
    PlotsWindow* plots = window_->plotsWindow();
    plots->showRun(everyChartRun());
    const QSize smallest(1066 - 16, 666 - 48);
    for (QWidget* w : {static_cast<QWidget*>(window_.get()), static_cast<QWidget*>(plots)}) {
      const QSize hint = w->minimumSizeHint();
      QVERIFY2(hint.width() <= smallest.width() && hint.height() <= smallest.height(),
               qPrintable(QString("%1 x %2").arg(hint.width()).arg(hint.height())));
      const QSize room = w->screen()->availableGeometry().size();
      QVERIFY(w->width() <= room.width() && w->height() <= room.height());
    }
  }

  // The prompt for a measured profile says where the sample and the scan lie
  // and proposes the shift; the time is taken in the unit chosen.
  void theMeasuredPromptProposesTheShift() {
    torvex::RunData run;
    run.componentCount = 2;
    for (int k = 0; k <= 20; ++k) run.positionCm.push_back(-0.1 + 0.01 * k);
    std::vector<double> at(42);
    for (std::size_t k = 0; k <= 20; ++k) {
      at[k] = k < 10 ? 100 : k == 10 ? 50 : 0;
      at[21 + k] = 100 - at[k];
    }
    run.frames.push_back({3600, at, {}});
    const torvex::MeasuredProfile scan =
        torvex::ParseMeasuredProfile("x_um,N1\n0,100\n300,100\n400,0\n600,0\n", "scan.csv");
    torvex::plot::MeasuredProfileDialog dialog(run, scan, 0);
    QVERIFY2(dialog.text->text().contains("The simulated sample runs from -1000 µm to 1000 µm."),
             qPrintable(dialog.text->text()));
    QVERIFY(dialog.text->text().contains("The scan, as read, runs from 0 µm to 600 µm."));
    QCOMPARE(dialog.shiftBox->value(), -350.0);  // its 50 % at 350 µm onto the interface at 0
    QVERIFY(!dialog.measuredTimeS());
    dialog.timeBox->setValue(2);
    dialog.timeUnitBox->setCurrentIndex(2);
    QCOMPARE(*dialog.measuredTimeS(), 7200.0);
  }
};

QTEST_MAIN(PlotsWindowTest)
#include "plots_window_test.moc"
