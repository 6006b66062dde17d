#include "ui/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>
#include <array>

#include "model/component_names.h"
#include "model/errors.h"
#include "model/measured_profile.h"
#include "model/number_format.h"
#include "model/sample_files.h"
#include "plot/measured_dialog.h"
#include "plot/plots_window.h"
#include "plot/screen_fit.h"
#include "results/run_report.h"
#include "run/simulation.h"
#include "run/temperature_effect.h"
#include "ui/about_box.h"
#include "ui/paint_box.h"
#include "ui/text_editor.h"
#include "ui/treatment_dialog.h"

namespace torvex {
namespace {

QLabel* makeHeading(const QString& caption, QWidget* page) {
  auto* heading = new QLabel(caption, page);
  heading->adjustSize();
  return heading;
}

}  // namespace

TForm2::TForm2(DesktopModel& model, QWidget* parent) : QMainWindow(parent), model_(model) {
  setWindowTitle(QStringLiteral("Torvex"));
  buildMenus();
  buildPages();
  BuildComponentFields(3, 2);
  ApplyChoiceVisibility();
  UpdateRunControls();
  plot::FitToScreen(*this, QSize(1000, 720));
  ShowTreatment();
}

void TForm2::ShowTreatment() {
  treatmentText_ = QStringLiteral("Heat treatment: ") + describeTreatment(Treatment);
  TreatmentLabel->setToolTip(treatmentText_ + QStringLiteral(" (Calculation > Heat treatment...)"));
  // Cut with an ellipsis where the row has no room: a number cut short
  // ("cycles 5" of 500) would say something else.
  TreatmentLabel->setText(
      TreatmentLabel->fontMetrics().elidedText(treatmentText_, Qt::ElideRight, std::max(TreatmentLabel->width(), 60)));
}

TForm2::~TForm2() {
  FormDestroy();
}

void TForm2::buildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  Fi1 = file->addAction(QStringLiteral("Open data..."));
  Savedata1 = file->addAction(QStringLiteral("Save data..."));
  editmenu = file->addAction(QStringLiteral("Edit current data as file ..."));
  Generatesampleinputfiles1 = file->addAction(QStringLiteral("Generate sample input files"));
  Close1 = file->addAction(QStringLiteral("Close"));
  QMenu* calculation = menuBar()->addMenu(QStringLiteral("Calculation"));
  Start1 = calculation->addAction(QStringLiteral("Start"));
  Pause1 = calculation->addAction(QStringLiteral("Pause"));
  Stop1 = calculation->addAction(QStringLiteral("Stop"));
  calculation->addSeparator();
  Heattreatment1 = calculation->addAction(QStringLiteral("Heat treatment..."));
  Heattreatment1->setToolTip(
      QStringLiteral("Temperature schedule or cycles, spallation, oxide, receding surface and the critical content; "
                     "kept beside the data file"));
  ImplicitIntegrator1 = calculation->addAction(QStringLiteral("Implicit integrator (BDF)"));
  ImplicitIntegrator1->setCheckable(true);
  ImplicitIntegrator1->setToolTip(
      QStringLiteral("For fine grids and long anneals: steps limited by accuracy alone, tolerances from the "
                     "concentration error; the data file does not change"));
  QMenu* results = menuBar()->addMenu(QStringLiteral("Results"));
  Plots1 = results->addAction(QStringLiteral("Plots..."));
  Loadmeasuredprofile1 = results->addAction(QStringLiteral("Load measured profile..."));
  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  About2 = help->addAction(QStringLiteral("About..."));

  const auto bind = [this](QAction* action, void (TForm2::*handler)()) {
    connect(action, &QAction::triggered, this, [this, handler] { command([this, handler] { (this->*handler)(); }); });
  };
  bind(Fi1, &TForm2::Fi1Click);
  bind(Savedata1, &TForm2::Savedata1Click);
  bind(editmenu, &TForm2::editmenuClick);
  bind(Generatesampleinputfiles1, &TForm2::Generatesampleinputfiles1Click);
  bind(Close1, &TForm2::Close1Click);
  bind(Start1, &TForm2::Start1Click);
  bind(Pause1, &TForm2::Pause1Click);
  bind(Stop1, &TForm2::Stop1Click);
  bind(Heattreatment1, &TForm2::Heattreatment1Click);
  bind(About2, &TForm2::About2Click);
  bind(Plots1, &TForm2::Plots1Click);
  bind(Loadmeasuredprofile1, &TForm2::Loadmeasuredprofile1Click);
}

void TForm2::buildPages() {
  auto* central = new QWidget(this);
  PageControl1 = new QTabWidget(central);
  TabSheetData = new QWidget;
  TabSheetResult = new QWidget;
  TabSheetVelocities = new QWidget;
  TabSheetPaths = new QWidget;
  TabSheetPressure = new QWidget;
  PageControl1->addTab(TabSheetData, QStringLiteral("Data"));
  PageControl1->addTab(TabSheetResult, QStringLiteral("Concentration profile"));
  PageControl1->addTab(TabSheetVelocities, QStringLiteral("Velocities"));
  PageControl1->addTab(TabSheetPaths, QStringLiteral("Diffusion Paths"));
  PageControl1->addTab(TabSheetPressure, QStringLiteral("Pressure"));
  // The pressure graph has no page of its own to choose; it is only shown
  // small beside the others.
  PageControl1->setTabVisible(PageControl1->indexOf(TabSheetPressure), false);

  PaintBox1 = new PaintBox(TabSheetResult);
  Label7 = makeHeading(QStringLiteral("Concentration profile"), TabSheetResult);
  PaintBox2 = new PaintBox(TabSheetVelocities);
  Label6 = makeHeading(QStringLiteral("Darken velocity"), TabSheetVelocities);
  PaintBox4 = new PaintBox(TabSheetPaths);
  Label4 = makeHeading(QStringLiteral("Diffusion Paths"), TabSheetPaths);
  PaintBox3 = new PaintBox(TabSheetPressure);
  Label5 = makeHeading(QString(), TabSheetPressure);
  buildDataPage();

  Label1 = new QLabel(QStringLiteral("Current Time"));
  Time_Label = new QLabel(QStringLiteral("0"));
  Label3 = new QLabel(QStringLiteral("Kirkendall Plane"));
  Kirkendall_Label = new QLabel(QStringLiteral("0"));
  Label2 = new QLabel(QStringLiteral("Current Time step"));
  Time_step_label = new QLabel(QStringLiteral("0"));
  // Fixed sizes: a new value never makes the status row lay itself out again.
  for (QLabel* value : {Time_Label, Kirkendall_Label, Time_step_label})
    value->setFixedSize(90, value->sizeHint().height());
  START = new QPushButton(QStringLiteral("START"));
  connect(START, &QPushButton::clicked, this, [this] { command([this] { STARTClick(); }); });

  auto* status = new QHBoxLayout;
  for (QWidget* item :
       {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Time_Label), static_cast<QWidget*>(Label3),
        static_cast<QWidget*>(Kirkendall_Label), static_cast<QWidget*>(Label2), static_cast<QWidget*>(Time_step_label)})
    status->addWidget(item);
  TreatmentLabel = new QLabel;
  TreatmentLabel->setObjectName(QStringLiteral("TreatmentLabel"));
  TreatmentLabel->setMinimumWidth(60);
  TreatmentLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  status->addWidget(TreatmentLabel, 1);
  TreatmentLabel->installEventFilter(this);
  status->addWidget(START);
  ChecksPanel = new QGroupBox(QStringLiteral("Checks of the last run"));
  ChecksPanel->setObjectName(QStringLiteral("ChecksPanel"));
  ChecksText = new QPlainTextEdit;
  ChecksText->setObjectName(QStringLiteral("ChecksText"));
  ChecksText->setReadOnly(true);
  ChecksText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Room for a few checks; more scroll.
  ChecksText->setFixedHeight(ChecksText->fontMetrics().lineSpacing() * 6 + 12);
  auto* hide = new QPushButton(QStringLiteral("Hide"));
  hide->setObjectName(QStringLiteral("HideChecks"));
  connect(hide, &QPushButton::clicked, ChecksPanel, &QWidget::hide);
  auto* checksLayout = new QHBoxLayout(ChecksPanel);
  checksLayout->setContentsMargins(4, 2, 4, 4);
  checksLayout->addWidget(ChecksText, 1);
  checksLayout->addWidget(hide, 0, Qt::AlignTop);
  ChecksPanel->hide();

  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(PageControl1, 1);
  layout->addWidget(ChecksPanel);
  layout->addLayout(status);
  setCentralWidget(central);

  connect(PageControl1, &QTabWidget::currentChanged, this, [this] { command([this] { PageControl1Change(); }); });
  // The pages take their size from the tab control's page area; its resize
  // is the moment to lay out the graphs again.
  PageControl1->widget(0)->parentWidget()->installEventFilter(this);
}

QSize TForm2::pageSize() const {
  return PageControl1->widget(0)->parentWidget()->size();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == PageControl1->widget(0)->parentWidget())
    command([this] { PageControl1Resize(); });
  if (event->type() == QEvent::Resize && watched == TreatmentLabel) ShowTreatment();
  return QMainWindow::eventFilter(watched, event);
}

// ---- Errors ----

void TForm2::command(const std::function<void()>& action) {
  try {
    action();
  } catch (const FatalModelError& error) {
    fatalModelError(QString::fromStdString(error.what()));
  } catch (const std::exception& error) {
    showMessage(windowTitle(), QString::fromStdString(error.what()));
  } catch (...) {
    showMessage(windowTitle(), QString());
  }
}

void TForm2::showMessage(const QString& caption, const QString& message) {
  if (messageHook) {
    messageHook(caption, message);
    return;
  }
  QMessageBox::critical(this, caption, message);
}

void TForm2::showNotice(const QString& caption, const QString& message) {
  if (messageHook) {
    messageHook(caption, message);
    return;
  }
  QMessageBox::information(this, caption, message);
}

// ---- Run controls ----

void TForm2::STARTClick() {
  if (RunThread != nullptr)
    Stop1Click();
  else
    Start1Click();
}

void TForm2::Start1Click() {
  if (RunThread == nullptr) {
    if (!WriteDataFile(QStringLiteral("datafil.dat"))) return;
    // A stopped run may still be finishing its pass: it must be done with the
    // model before the model is loaded again.
    finishPreviousWorker();
    try {
      model_.load("datafil.dat");
    } catch (...) {
      // A failed load leaves the model empty; show that, not the last case.
      takeGraphSnapshot(false);
      throw;
    }
    takeGraphSnapshot(false);
    model_.input.componentNames =
        parseComponentNames(ComponentNamesEdit->text().toStdString(), model_.input.componentCount, "Component names");
    model_.input.integrator = ImplicitIntegrator1->isChecked() ? Integrator::Bdf : Integrator::RungeKutta;
    // The heat treatment as torvex-batch installs its options: the schedule
    // file is read now, so a run follows the file as it is at START.
    TreatmentPlaces places;
    places.cycles = "Heat treatment, cycles";
    places.spall = "Heat treatment, spallation";
    places.oxide = "Heat treatment, oxide";
    places.critical = "Heat treatment, critical content";
    model_.input.heatTreatment = heatTreatmentOf(Treatment, model_.input.startTime, places);
    // Settings the loop cannot run with are refused here, before a worker
    // exists, with the message naming the key.
    model_.input.validate();
    model_.journal.setProvenance({.program = "torvex", .commandLine = {}, .overrides = {}, .parameters = {}});
    ChecksPanel->hide();
    PageControl1->setCurrentWidget(TabSheetResult);
    ArrangeGraphPages();
    worker_ = std::make_unique<TGUIThread>(model_, *this);
    RunThread = worker_.get();
  }
  UpdateRunControls();
}

void TForm2::Pause1Click() {
  if (RunThread != nullptr) {
    if (RunThread->isPaused())
      RunThread->Resume();
    else
      RunThread->Suspend();
  }
  UpdateRunControls();
}

void TForm2::Stop1Click() {
  if (RunThread != nullptr) {
    TGUIThread* run = std::exchange(RunThread, nullptr);
    std::exception_ptr saveError;
    // The results are written at once when the worker is between two passes
    // (paused, or in its pacing delay), and kept there meanwhile; otherwise
    // the worker writes them at its end, after the pass in hand, so that no
    // file ever holds a half-done pass.
    try {
      run->whileBetweenPasses([this] { WriteResults(model_, /*final=*/true); });
    } catch (...) {
      saveError = std::current_exception();
    }
    run->requestStop();
    UpdateRunControls();
    if (saveError) std::rethrow_exception(saveError);
  }
  UpdateRunControls();
}

void TForm2::UpdateRunControls() {
  const bool active = RunThread != nullptr;
  Start1->setEnabled(!active);
  Pause1->setEnabled(active);
  Pause1->setText(active && RunThread->isPaused() ? QStringLiteral("Continue") : QStringLiteral("Pause"));
  Stop1->setEnabled(active);
  ImplicitIntegrator1->setEnabled(!active);
  Heattreatment1->setEnabled(!active);
  START->setText(active ? QStringLiteral("STOP") : QStringLiteral("START"));
  SizeMemo();
}

void TForm2::Heattreatment1Click() {
  if (RunThread != nullptr) return;  // a run in hand keeps the settings it started with
  // What the data page says now: the dialog refuses settings this case
  // could not run with, as START would.
  LifeCase lifeCase;
  lifeCase.componentCount = ComponentCount;
  lifeCase.boundaryFluxMode = integerOr(Edit25C->currentText().toStdString(), -1);
  lifeCase.differenceScheme = integerOr(Edit19C->currentText().toStdString(), -1);
  TreatmentDialog dialog(Treatment, lifeCase, this);
  if (dialog.exec() != QDialog::Accepted) return;
  Treatment = dialog.settings();
  ShowTreatment();
  WriteTreatmentFile(DataFileName);
}

void TForm2::finishPreviousWorker() {
  if (!worker_) return;
  worker_->requestStop();
  worker_->finish();
  worker_.reset();
}

// ---- What the run shows (GUI thread, the worker waiting) ----

void TForm2::showRunValues() {
  // The labels take the values of every refresh, but are set when the GUI
  // thread next turns to its events: a screen shows them no faster, and the
  // text work then costs nothing against the passes of a fast case.
  runValues_ = {model_.state.currentTime, model_.state.timeStep, model_.state.kirkendallPosition};
  if (runValuesPending_) return;
  runValuesPending_ = true;
  QMetaObject::invokeMethod(
      this, [this] { flushRunValues(); }, Qt::QueuedConnection);
}

void TForm2::flushRunValues() {
  if (!runValuesPending_) return;
  runValuesPending_ = false;
  Time_Label->setText(QString::fromStdString(formatLabel(runValues_[0])));
  Time_step_label->setText(QString::fromStdString(formatLabel(runValues_[1])));
  Kirkendall_Label->setText(QString::fromStdString(formatLabel(runValues_[2])));
}

void TForm2::takeGraphSnapshot(bool draw) {
  snapshot_.takeFrom(model_.input, model_.state);
  clock_ =
      RedrawClock{model_.input.refreshInterval, model_.state.stepCount, model_.state.currentTime, model_.input.endTime};
  if (draw) {
    drawGraphsFromSnapshot();
    feedPlots();
  }
}

void TForm2::runEnded(TGUIThread* worker) {
  flushRunValues();
  Time_Label->update();
  if (RunThread == worker) RunThread = nullptr;
  UpdateRunControls();
  showRunChecks();
  update();  // the run has ended, so the next paint draws its last state
  // The results are written: the Plots window turns to them (the whole
  // history, not the saves it kept while following the run).
  if (plots_ && plots_->isVisible()) {
    try {
      plots_->finishLive(resultsFolder());
    } catch (const std::exception&) {
      feedPlots();  // no results to read: the run's last state as followed
    }
  }
}

void TForm2::showRunChecks() {
  const RunReport* report = model_.journal.lastReport();
  if (report == nullptr) return;
  // What asks for attention first: the warnings, then the notes, then the
  // checks that passed, each in the run's order.
  QStringList lines;
  int notes = 0, warnings = 0;
  for (const int rank : {0, 1, 2})
    for (const RunCheck& check : report->checks) {
      const int own = !check.warn ? 2 : check.note ? 1 : 0;
      if (own == rank) lines << QString::fromStdString(describeCheck(check));
    }
  for (const RunCheck& check : report->checks) {
    notes += check.warn && check.note ? 1 : 0;
    warnings += check.warn && !check.note ? 1 : 0;
  }
  if (const TemperatureEffect effect = temperatureEffect(model_.input); !effect.acts())
    lines << QString::fromStdString(describeTemperatureEffect(effect, false));
  if (lines.isEmpty()) return;
  ChecksPanel->setTitle(QStringLiteral("Checks of the last run: %1 passed, %2 note(s), %3 warning(s)")
                            .arg(static_cast<int>(report->checks.size()) - notes - warnings)
                            .arg(notes)
                            .arg(warnings));
  ChecksText->setPlainText(lines.join(QChar('\n')));
  ChecksPanel->show();
}

void TForm2::runFailed(const QString& message) {
  showMessage(windowTitle(), message);
}

void TForm2::fatalModelError(const QString& message) {
  RunThread = nullptr;
  UpdateRunControls();
  showMessage(QStringLiteral("ERROR"), message);
  // The program ends with status 1; the window's destruction stops and joins
  // the worker before the arrays are released.
  QCoreApplication::exit(1);
}

// ---- Graphs ----

void TForm2::drawGraphsFromSnapshot() {
  if (drawing_) return;
  drawing_ = true;
  DrawGraphs(snapshot_, *PaintBox1, *PaintBox2, *PaintBox4);
  drawing_ = false;
}

void TForm2::PaintForm() {
  RedrawIfDue();
}

void TForm2::RedrawIfDue() {
  const int interval = clock_.refreshInterval;
  if (interval <= 0 || clock_.currentTime == clock_.endTime || model_.state.stopRequested != 0 || RedrawRequested) {
    RedrawRequested = false;
    drawGraphsFromSnapshot();
  } else if (clock_.stepCount % interval == 0) {
    drawGraphsFromSnapshot();
  }
}

void TForm2::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  PaintForm();
}

void TForm2::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  PaintForm();
}

void TForm2::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) PaintForm();
}

void TForm2::ArrangeGraphPages() {
  SizeMemo();
  struct Graph {
    PaintBox* box;
    QLabel* heading;
  };
  const Graph concentration{PaintBox1, Label7};
  const Graph velocity{PaintBox2, Label6};
  const Graph paths{PaintBox4, Label4};
  const Graph pressure{PaintBox3, Label5};
  QWidget* page = PageControl1->currentWidget();
  std::array<Graph, 4> order{};
  if (page == TabSheetResult)
    order = {concentration, velocity, paths, pressure};
  else if (page == TabSheetVelocities)
    order = {velocity, concentration, paths, pressure};
  else if (page == TabSheetPaths)
    order = {paths, velocity, concentration, pressure};
  else if (page == TabSheetPressure)
    order = {pressure, velocity, paths, concentration};
  else
    return;

  const int w = pageSize().width() - 20;
  const int h = pageSize().height() - 20;
  const auto place = [page](const Graph& graph, int left, int headingTop, int boxTop, int width, int height) {
    graph.heading->setParent(page);
    graph.heading->move(left, headingTop);
    graph.heading->show();
    graph.box->setParent(page);
    graph.box->setGeometry(left, boxTop, std::max(width, 0), std::max(height, 0));
    graph.box->show();
  };
  place(order[0], 3, 3, 20, w, static_cast<int>(0.65 * h));
  const std::array<int, 3> lefts = {3, static_cast<int>(0.33 * w) + 3, static_cast<int>(0.66 * w) + 3};
  const int smallTop = static_cast<int>(0.7 * h);
  for (std::size_t s = 0; s < 3; ++s)
    place(order[s + 1], lefts[s], smallTop + 3, smallTop + 20, static_cast<int>(0.3 * w), static_cast<int>(0.3 * h));
}

void TForm2::PageControl1Change() {
  ArrangeGraphPages();
  RedrawRequested = true;
  update();
}

void TForm2::PageControl1Resize() {
  ArrangeGraphPages();
  const QSize page = pageSize();
  Panel1->resize(std::max(Panel1->width(), page.width() - 20), std::max(Panel1->height(), page.height() - 20));
  RedrawRequested = true;
  RedrawIfDue();
}

// ---- Window commands ----

void TForm2::FormDestroy() {
  // The worker ends before the arrays go: it finishes its pass (its
  // hand-overs served here) and writes its results.
  RunThread = nullptr;
  if (worker_) {
    worker_->requestStop();
    worker_->finish();
    worker_.reset();
  }
  model_.state.release();
  model_.state.stopRequested = 1;
}

void TForm2::Close1Click() {
  QCoreApplication::quit();
}

void TForm2::About2Click() {
  if (aboutBox != nullptr) aboutBox->exec();
}

void TForm2::Savedata1Click() {
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDirectory(QString::fromStdString(model_.applicationDirectory));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  WriteDataFile(dialog.selectedFiles().constFirst());  // marks fields; the validity is not needed here
  WriteNamesFile(dialog.selectedFiles().constFirst());
  DataFileName = dialog.selectedFiles().constFirst();
  WriteTreatmentFile(DataFileName);
}

void TForm2::editmenuClick() {
  if (editor == nullptr) return;
  // The forms go to "datafil.tmp" in the working directory, and the editor is
  // given that file's full path: the text edited, saved and read back is the
  // file just written, wherever the program itself is installed.
  const QString path = QDir::current().absoluteFilePath(QStringLiteral("datafil.tmp"));
  WriteDataFile(path);  // marks fields; the validity is not needed here
  editor->FileName = path;
  editor->AskForFileName = false;
  editor->Saved = false;
  editor->exec();
  if (!editor->Saved) return;
  // The names and the heat treatment are not in the data file: the file
  // just edited has neither beside it, and the forms keep their own.
  const QString names = ComponentNamesEdit->text();
  ReadDataFileIntoForms(path);
  ComponentNamesEdit->setText(names);
}

void TForm2::Generatesampleinputfiles1Click() {
  showNotice(QStringLiteral("Generate"), QStringLiteral("Automatic generation of sample input files."));
  WriteSampleFiles();  // into the working directory; the forms stay as they are
}

// ---- Results menu ----

QString TForm2::resultsFolder() const {
  return QString::fromStdString(model_.resultsDirectory.value_or(std::string()));
}

void TForm2::Plots1Click() {
  if (!plots_) plots_ = std::make_unique<plot::PlotsWindow>(this);
  if (workerActive()) {
    // Follows the run from the next refresh on; until then it shows the
    // snapshot of the last one.
    plots_->beginLive();
    plots_->show();
    feedPlots();
  } else {
    plots_->show();
    const QString problem = showResultsInPlots();
    if (!problem.isEmpty()) plots_->setNoteText(problem);
  }
  plots_->raise();
  plots_->activateWindow();
}

void TForm2::Loadmeasuredprofile1Click() {
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Load measured profile"), QString(),
                                                    QStringLiteral("Measured profile (*.csv *.txt);;All files (*)"));
  if (path.isEmpty()) return;
  // Read as it is first: the prompt shows where the scan lies and proposes
  // the shift against the run the Plots window shows.
  if (!plots_ || !plots_->isVisible()) Plots1Click();
  MeasuredProfileOptions named;
  named.componentNames = plots_->runData().componentNames;  // columns may use them (Ni_at_pct)
  const MeasuredProfile asRead = ReadMeasuredProfile(path.toStdString(), named);
  plot::MeasuredProfileDialog dialog(plots_->runData(), asRead, plots_->shownFrame(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  LoadMeasuredProfile(path, dialog.shiftUm(), dialog.measuredTimeS());
}

void TForm2::LoadMeasuredProfile(const QString& path, double shiftUm, std::optional<double> measuredTimeS) {
  MeasuredProfileOptions options;
  options.shiftCm = shiftUm * 1e-4;  // µm to cm
  if (!plots_) Plots1Click();
  options.componentNames = plots_->runData().componentNames;
  MeasuredProfile measured = ReadMeasuredProfile(path.toStdString(), options);
  if (!plots_) Plots1Click();
  plots_->setMeasured(std::move(measured), measuredTimeS);
  plots_->show();
  plots_->showTab("measured_overlay");
}

QString TForm2::showResultsInPlots() {
  try {
    plots_->showFolder(resultsFolder());
  } catch (const std::exception& error) {
    return QString::fromStdString(error.what());
  }
  return QString();
}

void TForm2::feedPlots() {
  if (!plots_ || !plots_->isVisible()) return;
  const GraphSnapshot& s = snapshot_;
  const auto r = static_cast<std::size_t>(std::max(s.componentCount, 0));
  const auto n = static_cast<std::size_t>(std::max(s.pointCount, 0));
  if (r == 0 || n == 0 || s.position.size() < n || s.molarRatio.rows() < s.componentCount ||
      s.molarRatio.columns() < s.pointCount)
    return;
  plot::LiveSample sample;
  sample.timeS = clock_.currentTime;
  sample.startTimeS = model_.input.startTime;
  sample.componentCount = s.componentCount;
  sample.positionCm.assign(s.position.begin(), s.position.begin() + static_cast<std::ptrdiff_t>(n));
  sample.molarRatio.resize(r * n);
  for (std::size_t i = 0; i < r; ++i)
    for (std::size_t k = 0; k < n; ++k) sample.molarRatio[i * n + k] = s.molarRatio[static_cast<int>(i)][k];
  sample.molarMass = model_.input.molarMass;
  sample.kirkendallCm = s.kirkendallPosition;
  sample.initialKirkendallCm = s.initialKirkendallPosition;
  sample.oxidation = model_.input.boundaryFlux == BoundaryFlux::SelectiveOxidation;
  sample.componentNames = model_.input.componentNames;
  plots_->addLiveSample(sample);
}

}  // namespace torvex
