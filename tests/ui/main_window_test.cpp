// The main window driven as a user would: typing, choosing, START, Pause,
// STOP and closing, on the offscreen platform. Every test works in a scratch
// directory of its own, since START writes "datafil.dat" and the run writes
// "results/" into the working directory.

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <memory>

#include "model/number_format.h"
#include "results/run_report.h"
#include "run/simulation.h"
#include "ui/main_window.h"
#include "ui/paint_box.h"
#include "ui_support.h"

using torvex::DesktopModel;
using torvex::TForm2;

using torvex::test::choose;
using torvex::test::enterShortCase;
using torvex::test::fileLines;

// The time of the last block of results/history.csv.
QString lastHistoryTime() {
  QFile file(QStringLiteral("results/history.csv"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
  return lines.size() < 2 ? QString() : QString::fromUtf8(lines.back().split(',').front());
}

// The rows of results/history.csv at time `time`.
int historyRowsAt(const QString& time) {
  QFile file(QStringLiteral("results/history.csv"));
  if (!file.open(QIODevice::ReadOnly)) return 0;
  int rows = 0;
  for (const QByteArray& line : file.readAll().split('\n'))
    if (line.startsWith((time + QLatin1Char(',')).toUtf8())) ++rows;
  return rows;
}

class MainWindowTest : public torvex::test::WindowTest {
  Q_OBJECT

 private:
  TForm2& window() { return *window_; }

 private slots:
  void init() { openWindow(); }
  void cleanup() { closeWindow(); }

  void keyFiltersDiscardWhatTheBoxCannotHold() {
    TForm2& w = window();
    w.Edit5->clear();
    QTest::keyClicks(w.Edit5, "1-e.5.2x");
    QCOMPARE(w.Edit5->text(), QStringLiteral("1.52"));  // no sign, no exponent, one full stop
    w.Edit4->clear();
    QTest::keyClicks(w.Edit4, "2.5e");
    QCOMPARE(w.Edit4->text(), QStringLiteral("25"));
    QTest::keyClick(w.Edit4, Qt::Key_Backspace);
    QCOMPARE(w.Edit4->text(), QStringLiteral("2"));
    w.Edit31->clear();
    QTest::keyClicks(w.Edit31, "6.58e-7");  // no filter on the minimal fraction
    QCOMPARE(w.Edit31->text(), QStringLiteral("6.58e-7"));
    // The speed list drops down while typing and passes the keys on to the
    // box: they are filtered there too.
    w.PageControl2->setCurrentWidget(w.TabSheet3);
    w.Edit22C->lineEdit()->clear();
    QTest::keyClicks(w.Edit22C->lineEdit(), "5");
    QAbstractItemView* list = w.Edit22C->completer()->popup();
    QTRY_VERIFY(list->isVisible());
    QTest::keyClicks(list, "x0");
    QCOMPARE(w.Edit22C->currentText(), QStringLiteral("50"));
  }

  void rebuildsForComponentsAndInitialPoints() {
    TForm2& w = window();
    w.MolarMassBoxes[0]->setText("63.5");
    w.ProfileGrid[0][0]->setText("-0.1");
    w.Edit1->setText("4");
    QCOMPARE(w.MolarMassBoxes.size(), std::size_t{4});
    QCOMPARE(w.MolarVolumeBoxes.size(), std::size_t{4});
    QVERIFY(w.MolarMassBoxes[0]->text().isEmpty());  // entered values are gone
    QCOMPARE(w.GridRows, 2);
    QCOMPARE(w.ProfileGrid[0].size(), std::size_t{7});
    QVERIFY(w.ProfileGrid[0][0]->text().isEmpty());
    QVERIFY(w.ProfileGrid[0][3]->isVisible());
    QVERIFY(!w.ProfileGrid[0][4]->isVisible());
    QCOMPARE(w.ProfileGrid[0][4]->text(), QStringLiteral("0.0"));
    QVERIFY(w.Label19->x() > w.MolarMassBoxes[3]->x());

    w.Edit26->setText("5");  // a continuation profile fixes the grid size
    QVERIFY(!w.Edit4->isEnabled());
    QCOMPARE(w.Edit4->text(), QStringLiteral("5"));
    QCOMPARE(w.GridRows, 5);
    w.Edit26->setText("2");
    QVERIFY(w.Edit4->isEnabled());
    QCOMPARE(w.Edit4->text(), QStringLiteral("5"));

    w.Edit26->setText("12");
    QCOMPARE(w.GridRows, 0);
    QVERIFY(w.ProfileGrid.empty());
    QVERIFY(w.Memo1->isVisible());
    QCOMPARE(w.Memo1->toPlainText(),
             QStringLiteral(
                 "#Initial concentration data  (x [cm], con_1 ,..., con_r-1 [% at.], v_Darken, v_Sigma, pressure)"));
    QCOMPARE(w.Edit4->text(), QStringLiteral("12"));
    w.Edit1->setText("2");  // more than 9 points: boxes rebuilt, still no grid
    QCOMPARE(w.MolarMassBoxes.size(), std::size_t{2});
    QVERIFY(w.ProfileGrid.empty());
    w.Edit1->setText("x");  // not an integer: nothing changes
    QCOMPARE(w.MolarMassBoxes.size(), std::size_t{2});
  }

  void choicesShowAndHideTheirFileControls() {
    TForm2& w = window();
    QVERIFY(!w.Edit28->isHidden());  // defaults: formulas from a file
    QCOMPARE(w.Label17->x(), 265);
    QVERIFY(w.Edit29->isHidden() && w.Edit30->isHidden() && w.Edit11->isHidden());
    choose(w.Edit11C, "2");
    QVERIFY(w.Edit28->isHidden() && w.Button1->isHidden() && w.Button4->isHidden());
    QCOMPARE(w.Label17->x(), 67);
    choose(w.Edit11C, "1");
    QVERIFY(!w.Edit28->isHidden() && !w.Button1->isHidden() && !w.Button4->isHidden());
    choose(w.Edit15C, "3");
    QVERIFY(!w.Edit29->isHidden() && !w.Button2->isHidden() && !w.Button6->isHidden());
    choose(w.Edit15C, "2");
    QVERIFY(w.Edit29->isHidden());
    for (const char* mode : {"1", "2"}) {
      choose(w.Edit25C, mode);
      QVERIFY(!w.Edit30->isHidden() && !w.Button3->isHidden() && !w.Button5->isHidden());
      QCOMPARE(w.Label30->x(), 265);
    }
    choose(w.Edit25C, "0");
    QVERIFY(w.Edit30->isHidden());
    QVERIFY(!w.Edit31->isHidden());
    choose(w.Edit24C, "1");
    QVERIFY(!w.Edit11->isHidden());
    QCOMPARE(w.Label29->x(), 133);
    // Setting a choice from code does not run its handler.
    w.Edit11C->setCurrentIndex(2);
    QVERIFY(!w.Edit28->isHidden());
    QVERIFY(!torvex::FileCanBeOpened(QStringLiteral("no such file.dfv")));
  }

  void writesTheFormsAsAnInputDataFile() {
    TForm2& w = window();
    enterShortCase(w);
    choose(w.Edit25C, "0");
    QVERIFY(w.WriteDataFile(QStringLiteral("case.dat")));
    const QStringList lines = fileLines(QStringLiteral("case.dat"));
    QCOMPARE(lines.size(), 1 + 2 * 24 + 1 + 2 + 1);
    QCOMPARE(lines.front(), QStringLiteral("###Torvex_v2.3###"));
    QCOMPARE(lines[1], QStringLiteral("#|D0|-Number of components:"));
    const QStringList values = {"   3",
                                "   0   10",
                                "   20",
                                "   0.0001",
                                "   0.0001",
                                "   25",
                                "   25",
                                "   2",
                                "   1273",
                                "   2",
                                "   1.0",
                                "   63.546 55.847 58.71 ",
                                "   7.11 7.09 6.59 ",
                                "   0",
                                "   0",
                                "   0",
                                "   1",
                                "   0",
                                "   1   5",
                                "   0",
                                "   0",
                                "   0",
                                "   0   6.58e-7",
                                "   2"};
    for (int key = 0; key < 24; ++key) QCOMPARE(lines[2 + 2 * key], values[key]);
    QCOMPARE(lines[50], QStringLiteral("   -0.1 85 0.5 0.0 0.0 0.0 "));
    QCOMPARE(lines[51], QStringLiteral("   0.1 0.5 25 0.0 0.0 0.0 "));
    QCOMPARE(lines.back(), QStringLiteral("#end of data file"));

    // A continuation: the lines below the heading of the text box, as typed;
    // the grid size follows the number of points.
    w.Edit4->setText("100");
    w.Edit26->setText("12");
    QString memo = w.Memo1->toPlainText();
    for (int k = 0; k < 12; ++k) memo += QStringLiteral("\n%1 50 25 0 0 0").arg(k);
    w.Memo1->setPlainText(memo);
    choose(w.Edit11C, "0");
    w.Edit28->setText(QStringLiteral("missing.dfv"));
    w.Edit4->setEnabled(true);
    w.Edit4->setText("10");
    QVERIFY(!w.WriteDataFile(QStringLiteral("continue.dat")));  // the diffusivity file does not exist
    QCOMPARE(w.Edit28->toolTip(), QStringLiteral("Uncorrect value"));
    const QStringList continuation = fileLines(QStringLiteral("continue.dat"));
    QCOMPARE(continuation[6], QStringLiteral("   12"));  // raised to the number of initial points
    QCOMPARE(continuation[20], QStringLiteral("   0 missing.dfv"));
    QCOMPARE(continuation[50], QStringLiteral("0 50 25 0 0 0"));
    QCOMPARE(continuation[61], QStringLiteral("11 50 25 0 0 0"));
    QCOMPARE(continuation.size(), 63);
  }

  void startWithAnInvalidRealWritesTheFileAndStartsNothing() {
    TForm2& w = window();
    enterShortCase(w);
    w.Edit5->setText("abc");
    w.Edit1->setText("3");
    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(QFile::exists(QStringLiteral("datafil.dat")));
    QVERIFY(w.RunThread == nullptr);
    QCOMPARE(w.START->text(), QStringLiteral("START"));
    QCOMPARE(w.Edit5->toolTip(), QStringLiteral("Uncorrect value"));
    QCOMPARE(w.Edit5->palette().color(QPalette::Base), QColor(0, 255, 255));
    w.Edit5->setText("0.0001");  // corrected: the mark goes at the next write
    QVERIFY(w.WriteDataFile(QStringLiteral("datafil.dat")));
    QVERIFY(w.Edit5->toolTip().isEmpty());
    QCOMPARE(w.Edit5->palette().color(QPalette::Base), QColor(255, 255, 255));
  }

  void aShortRunStartedFromTheFormsEndsByItself() {
    TForm2& w = window();
    enterShortCase(w);
    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(messages_.isEmpty());
    QVERIFY(w.RunThread != nullptr);
    QCOMPARE(w.PageControl1->currentWidget(), w.TabSheetResult);
    QCOMPARE(w.START->text(), QStringLiteral("STOP"));
    QVERIFY(!w.Start1->isEnabled() && w.Pause1->isEnabled() && w.Stop1->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(w.RunThread == nullptr, 60000);
    QCOMPARE(w.START->text(), QStringLiteral("START"));
    QVERIFY(w.Start1->isEnabled() && !w.Pause1->isEnabled() && !w.Stop1->isEnabled());
    QCOMPARE(w.Time_Label->text(), QString::fromStdString(torvex::formatLabel(10.0)));
    QCOMPARE(fileLines(QStringLiteral("results/at_out.dat")).isEmpty(), false);
    // The desktop program leaves the same history and report as torvex-batch.
    const torvex::RunReport report = torvex::readRunReport("results");
    QCOMPARE(report.provenance.program, std::string("torvex"));
    QCOMPARE(report.outcome.end, std::string("completed"));
    QVERIFY(!report.checks.empty());
    QCOMPARE(lastHistoryTime(), QStringLiteral("10"));
    QVERIFY(QFile::exists(QStringLiteral("results/series.csv")));
    QVERIFY(messages_.isEmpty());
    // The graphs were drawn from the final state: the profile is not blank.
    const QImage image = w.PaintBox1->surface();
    bool coloured = false;
    for (int y = 0; y < image.height() && !coloured; ++y)
      for (int x = 0; x < image.width() && !coloured; ++x) coloured = image.pixelColor(x, y) == QColor(255, 0, 0);
    QVERIFY(coloured);
  }

  // After a run the panel lists its checks in the words torvex-batch prints
  // (run.json's checks, one line each); a new START hides them until that
  // run has ended, and Hide puts them away.
  // The Calculation menu's choice of the implicit integrator: off by default,
  // locked while a run is in hand, and recorded in the run's report.
  void theImplicitIntegratorIsChosenInTheCalculationMenu() {
    TForm2& w = window();
    QVERIFY(w.ImplicitIntegrator1->isCheckable() && !w.ImplicitIntegrator1->isChecked());
    enterShortCase(w);
    w.ImplicitIntegrator1->setChecked(true);
    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(w.RunThread != nullptr);
    QVERIFY(!w.ImplicitIntegrator1->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(w.RunThread == nullptr, 60000);
    QVERIFY(w.ImplicitIntegrator1->isEnabled());
    QVERIFY(messages_.isEmpty());
    const torvex::RunReport report = torvex::readRunReport("results");
    QCOMPARE(report.outcome.end, std::string("completed"));
    QVERIFY(report.integrator.has_value());
    QCOMPARE(report.integrator->steps, report.outcome.acceptedPasses);
    QVERIFY(fileLines(QStringLiteral("datafil.dat")).join('\n').indexOf(QStringLiteral("bdf")) < 0);

    w.ImplicitIntegrator1->setChecked(false);
    QTest::mouseClick(w.START, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.RunThread == nullptr, 60000);
    QVERIFY(!torvex::readRunReport("results").integrator.has_value());
  }

  void theChecksOfARunAreShownWhenItEnds() {
    TForm2& w = window();
    QVERIFY(!w.ChecksPanel->isVisible());
    enterShortCase(w);
    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(!w.ChecksPanel->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(w.RunThread == nullptr, 60000);
    QVERIFY(w.ChecksPanel->isVisible());
    const torvex::RunReport report = torvex::readRunReport("results");
    QVERIFY(!report.checks.empty());
    // Warnings first, then notes, then the checks that passed.
    QStringList expected;
    for (const int rank : {0, 1, 2})
      for (const torvex::RunCheck& check : report.checks)
        if ((!check.warn ? 2 : check.note ? 1 : 0) == rank)
          expected << QString::fromStdString(torvex::describeCheck(check));
    const QStringList shown = w.ChecksText->toPlainText().split(QChar('\n'));
    QCOMPARE(shown.mid(0, expected.size()), expected);
    int notes = 0, warnings = 0;
    for (const torvex::RunCheck& check : report.checks) {
      notes += check.warn && check.note ? 1 : 0;
      warnings += check.warn && !check.note ? 1 : 0;
    }
    QCOMPARE(w.ChecksPanel->title(), QStringLiteral("Checks of the last run: %1 passed, %2 note(s), %3 warning(s)")
                                         .arg(static_cast<int>(report.checks.size()) - notes - warnings)
                                         .arg(notes)
                                         .arg(warnings));
    QVERIFY2(notes > 0, "unequal molar volumes in the volume-fixed form are noted");
    QVERIFY(w.ChecksText->isReadOnly());

    enterShortCase(w, "20");
    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(!w.ChecksPanel->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(w.RunThread == nullptr, 60000);
    QVERIFY(w.ChecksPanel->isVisible());
    QTest::mouseClick(w.ChecksPanel->findChild<QPushButton*>(QStringLiteral("HideChecks")), Qt::LeftButton);
    QVERIFY(!w.ChecksPanel->isVisible());
  }

  void pauseContinueAndStopWhilePaused() {
    TForm2& w = window();
    enterShortCase(w, "612000");
    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(w.RunThread != nullptr);
    torvex::TGUIThread* run = w.RunThread;
    w.Pause1->trigger();
    QCOMPARE(w.Pause1->text(), QStringLiteral("Continue"));
    QCOMPARE(w.START->text(), QStringLiteral("STOP"));
    QTRY_VERIFY(run->isHeld());
    w.Pause1->trigger();
    QCOMPARE(w.Pause1->text(), QStringLiteral("Pause"));
    QTRY_VERIFY(!run->isHeld());
    w.Pause1->trigger();
    QTRY_VERIFY(run->isHeld());
    const QString heldTime = QString::fromStdString(torvex::formatGeneral(model_->state.currentTime));

    // Stop while held: the results are written at once, from the held state,
    // and the worker is released to end without another pass.
    QFile::remove(QStringLiteral("results/at_out.dat"));
    w.Stop1->trigger();
    QVERIFY(QFile::exists(QStringLiteral("results/at_out.dat")));
    QCOMPARE(w.START->text(), QStringLiteral("START"));
    QVERIFY(!w.Pause1->isEnabled());
    QCOMPARE(w.Pause1->text(), QStringLiteral("Pause"));
    QTRY_VERIFY(run->isFinished());
    QCOMPARE(QString::fromStdString(torvex::formatGeneral(model_->state.currentTime)), heldTime);
    // The history ends with the held profile, saved once; the report says the run was stopped.
    QCOMPARE(lastHistoryTime(), heldTime);
    QCOMPARE(historyRowsAt(heldTime), model_->input.pointCount * model_->input.componentCount);
    QCOMPARE(torvex::readRunReport("results").outcome.end, std::string("stopped"));
    QVERIFY(messages_.isEmpty());
  }

  void stopDuringThePacingDelayWritesTheResultsAtOnce() {
    TForm2& w = window();
    enterShortCase(w, "612000");
    w.Edit22C->setEditText("100");  // 100 ms between passes
    QTest::mouseClick(w.START, Qt::LeftButton);
    torvex::TGUIThread* run = w.RunThread;
    QTRY_VERIFY(w.Time_Label->text() != QStringLiteral("0"));
    QTRY_VERIFY(run->isBetweenPasses());
    QFile::remove(QStringLiteral("results/at_out.dat"));
    w.Stop1->trigger();
    QVERIFY(QFile::exists(QStringLiteral("results/at_out.dat")));
    QTRY_VERIFY(run->isFinished());
    QVERIFY(messages_.isEmpty());
  }

  void startRightAfterStopWaitsForTheStoppedRun() {
    TForm2& w = window();
    enterShortCase(w, "612000");
    for (int round = 0; round < 5; ++round) {
      QTest::mouseClick(w.START, Qt::LeftButton);
      QVERIFY(w.RunThread != nullptr);
      QTest::qWait(round * 3);
      QTest::mouseClick(w.START, Qt::LeftButton);  // STOP
      QVERIFY(w.RunThread == nullptr);
    }
    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(w.RunThread != nullptr);
    // The labels are written while the worker waits; the model itself is
    // the worker's while it runs and is not read here.
    QTRY_VERIFY(w.Time_Label->text() != QStringLiteral("0"));
    QVERIFY(messages_.isEmpty());
  }

  void closingTheWindowDuringARunStopsTheWorkerFirst() {
    enterShortCase(window(), "612000");
    QTest::mouseClick(window().START, Qt::LeftButton);
    QTRY_VERIFY(window().Time_Label->text() != QStringLiteral("0"));
    window_.reset();  // joins the worker, then releases the arrays
    QVERIFY(model_->state.molarRatio.empty());
    QCOMPARE(model_->state.stopRequested.load(), 1);
    QVERIFY(QFile::exists(QStringLiteral("results/at_out.dat")));

    // Closing while paused, too.
    window_ = std::make_unique<TForm2>(*model_);
    window_->messageHook = [this](const QString& caption, const QString& text) { messages_ << caption + ": " + text; };
    enterShortCase(window(), "612000");
    QTest::mouseClick(window().START, Qt::LeftButton);
    window().Pause1->trigger();
    QTRY_VERIFY(window().RunThread->isHeld());
    window_.reset();
    QVERIFY(messages_.isEmpty());
  }

  void aFatalModelErrorShowsTheErrorBox() {
    TForm2& w = window();
    enterShortCase(w);
    w.Edit1->setText("2");  // the built-in Cu-Fe-Ni mobilities need three components
    w.MolarMassBoxes[0]->setText("63.546");
    w.MolarMassBoxes[1]->setText("55.847");
    w.MolarVolumeBoxes[0]->setText("7.11");
    w.MolarVolumeBoxes[1]->setText("7.09");
    const std::array<std::array<const char*, 2>, 2> rows = {{{"-0.1", "85"}, {"0.1", "0.5"}}};
    for (std::size_t j = 0; j < 2; ++j)
      for (std::size_t k = 0; k < 2; ++k) w.ProfileGrid[j][k]->setText(rows[j][k]);
    QTest::mouseClick(w.START, Qt::LeftButton);
    QTRY_COMPARE(messages_.size(), 1);
    QVERIFY(messages_.front().startsWith(QStringLiteral("ERROR: ERROR 1. Check input files.")));
  }

  // A value that describes no physical case is refused at START like any
  // invalid input; a run whose rates turn NaN stops at once with the place in
  // a message box and leaves the window idle.
  void meaninglessInputAndANonFiniteRunEndInAMessage() {
    TForm2& w = window();
    enterShortCase(w);
    w.Edit10->setText("0");
    QTest::mouseClick(w.START, Qt::LeftButton);
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_.front().contains(QStringLiteral("key D8: the temperature 0 K must be above 0 K")),
             qPrintable(messages_.front()));
    QVERIFY(w.RunThread == nullptr);
    QCOMPARE(w.START->text(), QStringLiteral("START"));

    messages_.clear();
    w.Edit10->setText("1273");
    QFile formulas(QStringLiteral("nan.dfv"));
    QVERIFY(formulas.open(QIODevice::WriteOnly));
    formulas.write("log(N1-2)\r\nlog(N1-2)\r\nlog(N1-2)\r\n");  // NaN everywhere
    formulas.close();
    choose(w.Edit11C, "0");
    w.Edit28->setText(QStringLiteral("nan.dfv"));
    QTest::mouseClick(w.START, Qt::LeftButton);
    QTRY_COMPARE(messages_.size(), 1);
    QVERIFY2(messages_.front().contains(QStringLiteral("the diffusivity formula of component 1 (nan.dfv)")),
             qPrintable(messages_.front()));
    QVERIFY(messages_.front().contains(QStringLiteral("at the start of pass 1, t = 0 s")));
    QTRY_VERIFY(w.RunThread == nullptr);
    QCOMPARE(w.START->text(), QStringLiteral("START"));
    QVERIFY(QFile::exists(QStringLiteral("results/at_out.dat")));
  }

  void aResultsFileThatCannotBeWrittenEndsTheRunWithAMessage() {
    TForm2& w = window();
    enterShortCase(w);
    QFile blocker(QStringLiteral("results"));  // a file where the folder should be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QTest::mouseClick(w.START, Qt::LeftButton);
    QTRY_COMPARE(messages_.size(), 1);
    QVERIFY(messages_.front().contains(QStringLiteral("results")));
    QVERIFY(w.RunThread == nullptr);
    QCOMPARE(w.START->text(), QStringLiteral("START"));
  }

  void graphPagesPlaceTheFourGraphs() {
    TForm2& w = window();
    QVERIFY(!w.PageControl1->isTabVisible(w.PageControl1->indexOf(w.TabSheetPressure)));
    w.PageControl1->setCurrentWidget(w.TabSheetVelocities);
    w.PageControl1->setCurrentWidget(w.TabSheetPaths);
    const QSize page = w.pageSize();
    const int width = page.width() - 20;
    const int height = page.height() - 20;
    QCOMPARE(w.PaintBox4->parentWidget(), w.TabSheetPaths);
    QCOMPARE(w.PaintBox4->geometry(), QRect(3, 20, width, static_cast<int>(0.65 * height)));
    const int smallTop = static_cast<int>(0.7 * height) + 20;
    const QSize small(static_cast<int>(0.3 * width), static_cast<int>(0.3 * height));
    QCOMPARE(w.PaintBox2->geometry(), QRect(QPoint(3, smallTop), small));
    QCOMPARE(w.PaintBox1->geometry(), QRect(QPoint(static_cast<int>(0.33 * width) + 3, smallTop), small));
    QCOMPARE(w.PaintBox3->geometry(), QRect(QPoint(static_cast<int>(0.66 * width) + 3, smallTop), small));
    QCOMPARE(w.PaintBox3->parentWidget(), w.TabSheetPaths);
    QCOMPARE(w.Label4->pos(), QPoint(3, 3));
    w.resize(w.width() + 100, w.height() + 50);  // a resize lays the page out again
    QTRY_COMPARE(w.PaintBox4->width(), w.pageSize().width() - 20);
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
