// The Plots window and the Results menu, driven as a user would on the
// offscreen platform: following a run, reading its results afterwards,
// the save slider, the at.%/wt.% and µm/cm choices, zoom and reset, the value
// under the pointer, the exports, and loading a measured profile.

#include <QChart>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QtTest/QtTest>
#include <memory>

#include "model/errors.h"
#include "model/tform1.h"
#include "plot/chart_view.h"
#include "plot/plots_window.h"
#include "ui/main_window.h"
#include "ui_support.h"

using torvex::TForm1;
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
    torvex::plot::RunData run;
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
};

QTEST_MAIN(PlotsWindowTest)
#include "plots_window_test.moc"
