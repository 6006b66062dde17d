#include "plot/plots_window.h"

#include <QAreaSeries>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <map>

#include "model/errors.h"
#include "model/number_format.h"
#include "plot/chart_render.h"
#include "plot/chart_view.h"
#include "plot/screen_fit.h"
#include "plot/tick_axis.h"
#include "results/units.h"

namespace torvex::plot {
namespace {

// A run in progress keeps at most this many saves for the slider and the
// evolution chart; older ones are thinned evenly.
constexpr std::size_t kMaxLiveFrames = 120;
// And at most this many points of the per-pass records.
constexpr std::size_t kMaxLiveRecord = 20000;
// The charts of a running case are redrawn at most this often.
constexpr int kRedrawMilliseconds = 500;

// The window's size when the screen has room for it.
constexpr QSize kPreferredSize(1100, 760);
// A chart smaller than this shows nothing worth reading.
constexpr QSize kSmallestChart(240, 150);
// The lines of notes under the chart before they scroll.
constexpr int kNoteLines = 4;

// The tab a chart belongs on: its id without the component or time suffix.
std::string kindOf(const std::string& id) {
  for (const char* kind : {"evolution", "profiles_several_times", "profiles", "diffusion_path", "measured_overlay"})
    if (id.starts_with(kind)) return kind;
  return id;
}

QString tabTitle(const std::string& kind) {
  if (kind == "profiles") return QStringLiteral("Profiles");
  if (kind == "profiles_several_times") return QStringLiteral("Several times");
  if (kind == "temperature") return QStringLiteral("Temperature");
  if (kind == "evolution") return QStringLiteral("Evolution");
  if (kind == "diffusion_path") return QStringLiteral("Diffusion path");
  if (kind == "kirkendall") return QStringLiteral("Kirkendall plane");
  if (kind == "surface") return QStringLiteral("Surface");
  if (kind == "scale") return QStringLiteral("Scale growth");
  if (kind == "mass_change") return QStringLiteral("Mass change");
  if (kind == "life") return QStringLiteral("Life");
  if (kind == "measured_overlay") return QStringLiteral("Measured");
  return QString::fromStdString(kind);
}

// Replaces the points of the view's chart in place when it has the same
// series and axis scales as data; keeps a zoom the user made. False when the
// chart must be rebuilt.
bool updateInPlace(ChartView& view, const ChartData& data) {
  QChart& chart = *view.chart();
  const QList<QAbstractSeries*> series = chart.series();
  if (series.size() != static_cast<qsizetype>(data.series.size())) return false;
  for (qsizetype i = 0; i < series.size(); ++i)
    if (series[i]->name() != QString::fromStdString(data.series[static_cast<std::size_t>(i)].name)) return false;
  const auto xAxes = chart.axes(Qt::Horizontal);
  const auto yAxes = chart.axes(Qt::Vertical);
  if (xAxes.isEmpty() || yAxes.isEmpty()) return false;
  auto* xAxis = qobject_cast<TickAxis*>(xAxes.front());
  auto* yAxis = qobject_cast<TickAxis*>(yAxes.front());
  if (xAxis == nullptr || yAxis == nullptr || (xAxis->scale() == AxisScale::Log10) != data.xLog) return false;
  chart.setTitle(QString::fromStdString(data.title));
  for (qsizetype i = 0; i < series.size(); ++i)
    if ((series[i]->type() == QAbstractSeries::SeriesTypeArea) !=
        !data.series[static_cast<std::size_t>(i)].yLow.empty())
      return false;
  for (qsizetype i = 0; i < series.size(); ++i) {
    const ChartSeries& source = data.series[static_cast<std::size_t>(i)];
    if (auto* band = qobject_cast<QAreaSeries*>(series[i])) {
      band->upperSeries()->replace(DrawnPoints(source, data.xLog));
      band->lowerSeries()->replace(DrawnPoints(LowerEdge(source), data.xLog));
    } else {
      static_cast<QXYSeries*>(series[i])->replace(DrawnPoints(source, data.xLog));
    }
  }
  xAxis->setTitleText(QString::fromStdString(data.xTitle));
  yAxis->setTitleText(QString::fromStdString(data.yTitle));
  view.setHome(RangeOf(data, false), RangeOf(data, true));
  return true;
}

// The files give positions to 15 significant digits; the run holds them to
// the last bit.
bool sameGrid(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size() || a.empty()) return false;
  const double tolerance = 1e-12 * (std::abs(a.front()) + std::abs(a.back()) + 1e-300);
  for (std::size_t k = 0; k < a.size(); ++k)
    if (!(std::abs(a[k] - b[k]) <= tolerance)) return false;
  return true;
}

}  // namespace

PlotsWindow::PlotsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Torvex - Plots"));
  auto* layout = new QVBoxLayout(this);

  // The save on a row of its own, the choices of units and curves below: a
  // narrow screen keeps every control.
  auto* saveRow = new QHBoxLayout();
  saveLabel = new QLabel(QStringLiteral("Save:"), this);
  saveSlider = new QSlider(Qt::Horizontal, this);
  saveSlider->setMinimumWidth(120);
  saveSlider->setToolTip(QStringLiteral("The save shown by the profile, path and measured charts"));
  saveRow->addWidget(saveLabel);
  saveRow->addWidget(saveSlider, 1);
  layout->addLayout(saveRow);

  auto* choices = new QHBoxLayout();
  basisBox = new QComboBox(this);
  basisBox->addItems({QStringLiteral("at.%"), QStringLiteral("wt.%")});
  basisBox->setToolTip(QStringLiteral("Compositions in atomic or weight percent"));
  unitBox = new QComboBox(this);
  unitBox->addItems({QStringLiteral("µm"), QStringLiteral("cm")});
  unitBox->setToolTip(QStringLiteral("Positions in micrometres or centimetres"));
  timeUnitBox = new QComboBox(this);
  timeUnitBox->addItems({QStringLiteral("s"), QStringLiteral("min"), QStringLiteral("h")});
  timeUnitBox->setToolTip(QStringLiteral("Times in seconds, minutes or hours"));
  logTimeBox = new QCheckBox(QStringLiteral("log t"), this);
  logTimeBox->setToolTip(QStringLiteral("Time axes (temperature, surface, scale) on a logarithmic scale"));
  componentBox = new QComboBox(this);
  componentBox->setToolTip(QStringLiteral("The component of the evolution chart"));
  timesEdit = new QLineEdit(this);
  timesEdit->setPlaceholderText(QStringLiteral("spread over the run"));
  timesEdit->setToolTip(
      QStringLiteral("Times of the several-times chart, in the time unit chosen, separated by commas; the nearest "
                     "save of each is drawn"));
  timesEdit->setMinimumWidth(100);
  for (QWidget* item : {static_cast<QWidget*>(basisBox), static_cast<QWidget*>(unitBox),
                        static_cast<QWidget*>(timeUnitBox), static_cast<QWidget*>(logTimeBox)})
    choices->addWidget(item);
  choices->addSpacing(8);
  choices->addWidget(new QLabel(QStringLiteral("Evolution of:"), this));
  choices->addWidget(componentBox);
  choices->addSpacing(8);
  choices->addWidget(new QLabel(QStringLiteral("Times:"), this));
  choices->addWidget(timesEdit, 1);
  layout->addLayout(choices);

  tabs = new QTabWidget(this);
  layout->addWidget(tabs, 1);

  auto* bottom = new QHBoxLayout();
  pointerLabel = new QLabel(this);
  resetButton = new QPushButton(QStringLiteral("Reset view"), this);
  resetButton->setToolTip(QStringLiteral("Drag a rectangle or turn the wheel to zoom; right click also resets"));
  pngWidth = new QSpinBox(this);
  pngHeight = new QSpinBox(this);
  for (QSpinBox* box : {pngWidth, pngHeight}) {
    box->setRange(16, 20000);
    box->setSuffix(QStringLiteral(" px"));
  }
  pngWidth->setValue(2400);
  pngHeight->setValue(1600);
  pngButton = new QPushButton(QStringLiteral("Export PNG..."), this);
  svgButton = new QPushButton(QStringLiteral("Export SVG..."), this);
  csvButton = new QPushButton(QStringLiteral("Export CSV..."), this);
  bottom->addWidget(resetButton);
  bottom->addStretch(1);
  bottom->addWidget(pngWidth);
  bottom->addWidget(new QLabel(QStringLiteral("x"), this));
  bottom->addWidget(pngHeight);
  bottom->addWidget(pngButton);
  bottom->addWidget(svgButton);
  bottom->addWidget(csvButton);
  layout->addLayout(bottom);
  // The value under the pointer, then what the chart's fit or misfit says;
  // many notes scroll rather than push the chart off a small screen.
  layout->addWidget(pointerLabel);
  noteLabel = new QLabel(this);
  noteLabel->setWordWrap(true);
  noteLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  noteLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  notes_ = new QScrollArea(this);
  notes_->setWidget(noteLabel);
  notes_->setWidgetResizable(true);
  notes_->setFrameShape(QFrame::NoFrame);
  notes_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  layout->addWidget(notes_);

  redrawTimer_ = new QTimer(this);
  redrawTimer_->setSingleShot(true);
  redrawTimer_->setInterval(kRedrawMilliseconds);
  connect(redrawTimer_, &QTimer::timeout, this, [this] {
    if (dirty_ && isVisible()) rebuild();
  });
  connect(saveSlider, &QSlider::valueChanged, this, [this](int value) {
    followLatest_ = value >= saveSlider->maximum();
    rebuild();
  });
  for (QComboBox* box : {basisBox, unitBox, componentBox, timeUnitBox})
    connect(box, &QComboBox::currentIndexChanged, this, [this] { rebuild(); });
  connect(logTimeBox, &QCheckBox::toggled, this, [this] { rebuild(); });
  connect(timesEdit, &QLineEdit::editingFinished, this, [this] { rebuild(); });
  connect(tabs, &QTabWidget::currentChanged, this, [this](int index) {
    refreshView(index);
    setNoteText(noteText());
    pointerLabel->clear();
    updateExportButtons();
  });
  connect(resetButton, &QPushButton::clicked, this, [this] {
    if (ChartView* view = currentView()) view->resetView();
  });
  connect(pngButton, &QPushButton::clicked, this, [this] { exportWithDialog(QStringLiteral("png")); });
  connect(svgButton, &QPushButton::clicked, this, [this] { exportWithDialog(QStringLiteral("svg")); });
  connect(csvButton, &QPushButton::clicked, this, [this] { exportWithDialog(QStringLiteral("csv")); });
  updateExportButtons();
  FitToScreen(*this, kPreferredSize);
}

PlotsWindow::~PlotsWindow() = default;

void PlotsWindow::showFolder(const QString& folder) {
  RunData run = ReadRunData(folder.toStdString());
  showRun(std::move(run));
}

void PlotsWindow::showRun(RunData run) {
  run_ = std::move(run);
  temperatureViewS_.reset();
  live_ = false;
  followLatest_ = true;
  setAsideForeignMeasured();
  rebuild();
}

void PlotsWindow::finishLive(const QString& folder) {
  RunData run = ReadRunData(folder.toStdString());
  if (live_ && run.frames.size() == 1 && run_.frames.size() > 1 && sameGrid(run.positionCm, run_.positionCm) &&
      run.componentCount == run_.componentCount) {
    std::vector<ProfileFrame> frames;
    for (ProfileFrame& frame : run_.frames)
      if (frame.timeS < run.frames.front().timeS) frames.push_back(std::move(frame));
    frames.push_back(std::move(run.frames.front()));
    for (ProfileFrame& frame : frames)
      if (frame.wtPct.empty()) frame.wtPct = weightFromAtomicPercent(frame.atPct, run.molarMass, run.componentCount);
    run.frames = std::move(frames);
  }
  // A save the user chose while following stays chosen (the one nearest to
  // its time among the saves of the results); otherwise the last is shown.
  const bool follow = followLatest_ || run_.frames.empty();
  const std::optional<double> chosen =
      follow ? std::nullopt : std::optional<double>(run_.frames[ChosenFrame(run_, options())].timeS);
  run_ = std::move(run);
  live_ = false;
  followLatest_ = follow;
  keepTimeS_ = chosen;
  setAsideForeignMeasured();
  rebuild();
}

void PlotsWindow::beginLive() {
  run_ = RunData();
  run_.source = "running case";
  live_ = true;
  followLatest_ = true;
  dirty_ = true;
}

void PlotsWindow::addLiveSample(const LiveSample& sample) {
  const auto r = static_cast<std::size_t>(std::max(sample.componentCount, 0));
  const std::size_t n = sample.positionCm.size();
  if (r == 0 || n == 0 || sample.molarRatio.size() != r * n) return;
  if (!live_ || run_.componentCount != sample.componentCount || run_.positionCm != sample.positionCm) {
    beginLive();
    run_.componentCount = sample.componentCount;
    run_.positionCm = sample.positionCm;
    run_.molarMass = sample.molarMass;
    run_.startTimeS = sample.startTimeS;
    run_.oxidation = sample.oxidation;
    run_.initialKirkendallCm = sample.initialKirkendallCm;
    setAsideForeignMeasured();
  }
  if (run_.componentNames != sample.componentNames) run_.componentNames = sample.componentNames;
  if (!run_.frames.empty() && run_.frames.back().timeS == sample.timeS) run_.frames.pop_back();
  ProfileFrame frame;
  frame.timeS = sample.timeS;
  frame.atPct.resize(sample.molarRatio.size());
  for (std::size_t i = 0; i < sample.molarRatio.size(); ++i) frame.atPct[i] = 100.0 * sample.molarRatio[i];
  frame.wtPct = weightFromAtomicPercent(frame.atPct, run_.molarMass, sample.componentCount);
  run_.frames.push_back(std::move(frame));
  if (run_.frames.size() > kMaxLiveFrames) {
    // Every other save goes, the first and the latest stay.
    std::vector<ProfileFrame> kept;
    for (std::size_t i = 0; i + 1 < run_.frames.size(); i += 2) kept.push_back(std::move(run_.frames[i]));
    kept.push_back(std::move(run_.frames.back()));
    run_.frames = std::move(kept);
  }
  if (run_.kirkendallTimeS.empty() || run_.kirkendallTimeS.back() < sample.timeS) {
    run_.kirkendallTimeS.push_back(sample.timeS);
    run_.kirkendallCm.push_back(sample.kirkendallCm);
    Thin(run_.kirkendallTimeS, run_.kirkendallCm,
         run_.kirkendallTimeS.size() > kMaxLiveRecord ? kMaxLiveRecord / 2 : kMaxLiveRecord);
    if (sample.oxidation) {
      run_.surfaceTimeS.push_back(sample.timeS);
      run_.surfaceRatio.push_back(sample.molarRatio[n - 1]);
      Thin(run_.surfaceTimeS, run_.surfaceRatio,
           run_.surfaceTimeS.size() > kMaxLiveRecord ? kMaxLiveRecord / 2 : kMaxLiveRecord);
    }
  }
  scheduleRedraw();
}

void PlotsWindow::setMeasured(std::optional<MeasuredProfile> measured, std::optional<double> measuredTimeS) {
  measured_ = std::move(measured);
  measuredTimeS_ = measured_ ? measuredTimeS : std::nullopt;
  setAside_.clear();
  setAsideForeignMeasured();
  rebuild();
}

void PlotsWindow::setAsideForeignMeasured() {
  if (!measured_ || run_.componentCount <= 0) return;
  for (const int c : measured_->components)
    if (c >= run_.componentCount) {
      setAside_ = "The measured profile " + measured_->fileName + " was set aside: it has a column for N" +
                  std::to_string(c + 1) + ", and this case has " + std::to_string(run_.componentCount) + " components.";
      measured_.reset();
      measuredTimeS_.reset();
      return;
    }
}

void PlotsWindow::scheduleRedraw() {
  dirty_ = true;
  if (!redrawTimer_->isActive()) redrawTimer_->start();
}

void PlotsWindow::redrawNow() {
  redrawTimer_->stop();
  rebuild();
}

void PlotsWindow::setNoteText(const QString& text) {
  // Laying the text out costs more than the rest of a live redraw.
  if (text == noteLabel->text()) return;
  noteLabel->setText(text);
  fitNotes();
}

void PlotsWindow::fitNotes() {
  // As high as the notes need, up to a few lines; more scroll. The lines
  // are counted from the width of each (a wrapped one takes several), which
  // costs far less than laying the text out.
  const QString text = noteLabel->text();
  if (notes_->isVisibleTo(this) == text.isEmpty()) notes_->setVisible(!text.isEmpty());
  const QFontMetrics metrics(noteLabel->font());
  const int width = std::max(notes_->viewport()->width(), 100);
  int lines = 0;
  for (const QString& line : text.split(QLatin1Char('\n')))
    lines += std::max(1, static_cast<int>(std::ceil(metrics.horizontalAdvance(line) / static_cast<double>(width))));
  const int height = std::min(lines, kNoteLines) * metrics.lineSpacing() + 4;
  if (notes_->minimumHeight() != height || notes_->maximumHeight() != height) notes_->setFixedHeight(height);
}

void PlotsWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  fitNotes();
}

void PlotsWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (dirty_) rebuild();
}

std::vector<std::size_t> PlotsWindow::severalFrames() const {
  std::vector<std::size_t> frames;
  bool understood = true;
  const double per = SecondsPer(static_cast<TimeUnit>(std::max(timeUnitBox->currentIndex(), 0)));
  for (const QString& item :
       timesEdit->text().split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts)) {
    const std::optional<double> time = parseReal(item.toStdString());
    if (!time || !std::isfinite(*time)) {
      understood = false;
      continue;
    }
    if (!run_.frames.empty()) frames.push_back(FrameNearest(run_, *time * per));
  }
  timesEdit->setStyleSheet(understood ? QString() : QStringLiteral("QLineEdit { color: #b00020; }"));
  return frames;
}

ChartOptions PlotsWindow::options() const {
  ChartOptions o;
  o.basis = basisBox->currentIndex() == 1 ? CompositionBasis::Weight : CompositionBasis::Atomic;
  o.unit = unitBox->currentIndex() == 1 ? PositionUnit::Centimetre : PositionUnit::Micrometre;
  if (!followLatest_ && saveSlider->value() >= 0) o.frame = static_cast<std::size_t>(saveSlider->value());
  o.evolutionComponent = std::max(componentBox->currentIndex(), 0);
  o.timeUnit = static_cast<TimeUnit>(std::clamp(timeUnitBox->currentIndex(), 0, 2));
  o.logTime = logTimeBox->isChecked();
  o.severalFrames = severalFrames();
  o.measuredTimeS = measuredTimeS_;
  o.temperatureViewS = temperatureViewS_;
  return o;
}

void PlotsWindow::followTemperatureZoom(ChartView* view) {
  const auto at = std::find(views_.begin(), views_.end(), view);
  if (at == views_.end() || run_.cyclesText.empty()) return;
  const auto i = static_cast<std::size_t>(at - views_.begin());
  if (i >= charts_.size() || kindOf(charts_[i].id) != "temperature") return;
  std::optional<std::pair<double, double>> span;
  if (view->isZoomed()) {
    const auto [low, high] = view->xValuesShown();
    const double per = SecondsPer(static_cast<TimeUnit>(std::clamp(timeUnitBox->currentIndex(), 0, 2)));
    span = std::pair{low * per, high * per};
  }
  // Showing the new points shows the same ranges again: nothing more to do.
  if (span == temperatureViewS_) return;
  temperatureViewS_ = span;
  charts_[i] = TemperatureChart(run_, options());
  if (!updateInPlace(*view, charts_[i])) {
    QChart* old = view->chart();
    view->replaceChart(BuildChart(charts_[i]));
    delete old;
  }
}

void PlotsWindow::updateSlider() {
  const QSignalBlocker blockSlider(saveSlider);
  const int last = static_cast<int>(run_.frames.size()) - 1;
  saveSlider->setRange(0, std::max(last, 0));
  if (followLatest_)
    saveSlider->setValue(std::max(last, 0));
  else if (keepTimeS_ && !run_.frames.empty())
    saveSlider->setValue(static_cast<int>(FrameNearest(run_, *keepTimeS_)));
  keepTimeS_.reset();
  const std::size_t shown = ChosenFrame(run_, options());
  const TimeUnit unit = static_cast<TimeUnit>(std::clamp(timeUnitBox->currentIndex(), 0, 2));
  saveLabel->setText(run_.frames.empty() ? QStringLiteral("Save: none")
                                         : QStringLiteral("Save %1/%2, t = %3")
                                               .arg(shown + 1)
                                               .arg(run_.frames.size())
                                               .arg(QString::fromStdString(TimeText(run_.frames[shown].timeS, unit))));
  const QSignalBlocker blockBox(componentBox);
  QStringList names;
  for (int c = 0; c < run_.componentCount; ++c) names << QString::fromStdString(ComponentName(run_, c));
  QStringList present;
  for (int i = 0; i < componentBox->count(); ++i) present << componentBox->itemText(i);
  if (present != names) {
    const int previous = componentBox->currentIndex();
    componentBox->clear();
    componentBox->addItems(names);
    componentBox->setCurrentIndex(std::clamp(previous, 0, std::max(run_.componentCount - 1, 0)));
  }
}

void PlotsWindow::rebuild() {
  dirty_ = false;
  updateSlider();
  const ChartOptions o = options();
  std::vector<ChartData> charts;
  if (!run_.frames.empty()) {
    charts.push_back(ProfilesChart(run_, o));
    charts.push_back(TemperatureChart(run_, o));
    if (run_.frames.size() > 1) charts.push_back(SeveralTimesChart(run_, o));
    charts.push_back(EvolutionChart(run_, o));
    charts.push_back(DiffusionPathChart(run_, o));
    charts.push_back(KirkendallChart(run_, o));
    if (run_.oxidation) {
      charts.push_back(SurfaceChart(run_, o));
      charts.push_back(ScaleChart(run_, o));
    }
    // A coating-life run's charts; without its series columns they hold no
    // data and are left out below.
    charts.push_back(MassChangeChart(run_, o));
    charts.push_back(LifeChart(run_, o));
    if (measured_) {
      try {
        charts.push_back(MeasuredOverlayChart(run_, *measured_, o));
      } catch (const InputError& error) {
        ChartData failed;
        failed.id = "measured_overlay";
        failed.unavailable = error.what();
        charts.push_back(std::move(failed));
      }
    }
  }
  std::erase_if(charts, [](const ChartData& c) { return !HasData(c) && c.unavailable.empty(); });

  bool sameTabs = charts.size() == views_.size();
  for (std::size_t i = 0; sameTabs && i < charts.size(); ++i)
    sameTabs = kindOf(charts[i].id) == kindOf(charts_[i].id) && charts[i].unavailable.empty() == (views_[i] != nullptr);
  if (sameTabs) {
    // Only the chart shown is redrawn now; the others when their tab is
    // picked. A run followed live thus pays for one chart, not all.
    charts_ = std::move(charts);
    stale_.assign(charts_.size(), true);
    refreshView(tabs->currentIndex());
    for (std::size_t i = 0; i < charts_.size(); ++i)
      if (views_[i] == nullptr) {
        const QString reason = QString::fromStdString(charts_[i].unavailable);
        static_cast<QLabel*>(tabs->widget(static_cast<int>(i)))->setText(reason);
        tabs->setTabToolTip(static_cast<int>(i), reason);
      }
  } else {
    replaceTabs(std::move(charts));
  }
  setNoteText(run_.frames.empty() && setAside_.empty() ? QStringLiteral("No run to show yet.") : noteText());
  updateExportButtons();
}

void PlotsWindow::replaceTabs(std::vector<ChartData> charts) {
  const ChartData* shown = currentChart();
  const std::string shownKind = shown != nullptr ? kindOf(shown->id) : std::string();
  // The page of a chart that stays keeps its view, and with it a zoom the
  // user made; a chart that comes or goes (the several-times chart at the
  // second save, the Kirkendall plane once it moves) touches no other tab.
  const auto keyOf = [](const ChartData& chart) {
    return kindOf(chart.id) + (chart.unavailable.empty() ? "" : "/grey");
  };
  std::map<std::string, QWidget*> pages;
  for (std::size_t i = 0; i < charts_.size() && static_cast<int>(i) < tabs->count(); ++i)
    pages[keyOf(charts_[i])] = tabs->widget(static_cast<int>(i));
  const QSignalBlocker block(tabs);
  tabs->clear();  // takes the pages off the tabs, deletes none
  views_.clear();
  stale_.clear();
  int select = 0;
  for (std::size_t i = 0; i < charts.size(); ++i) {
    const QString title = tabTitle(kindOf(charts[i].id));
    QWidget* page = nullptr;
    bool stale = false;
    if (const auto kept = pages.find(keyOf(charts[i])); kept != pages.end()) {
      page = kept->second;
      pages.erase(kept);
      stale = true;
    }
    if (!charts[i].unavailable.empty()) {
      // Greyed, with the reason: a chart that would mean nothing is not drawn.
      auto* reason = page != nullptr ? static_cast<QLabel*>(page) : new QLabel(tabs);
      reason->setText(QString::fromStdString(charts[i].unavailable));
      reason->setWordWrap(true);
      reason->setAlignment(Qt::AlignCenter);
      reason->setEnabled(false);
      views_.push_back(nullptr);
      stale_.push_back(false);
      const int index = tabs->addTab(reason, title);
      tabs->setTabEnabled(index, false);
      tabs->setTabToolTip(index, reason->text());
      continue;
    }
    auto* view = static_cast<ChartView*>(page);
    if (view == nullptr) {
      view = new ChartView(BuildChart(charts[i]), tabs);
      view->setMinimumSize(kSmallestChart);
      connect(view, &ChartView::rangesShown, this, [this, view] { followTemperatureZoom(view); });
      connect(view, &ChartView::pointerValue, this, [this](QPointF value, bool valid) {
        const ChartData* chart = currentChart();
        if (!valid || chart == nullptr) {
          pointerLabel->clear();
          return;
        }
        pointerLabel->setText(QStringLiteral("%1 = %2,  %3 = %4")
                                  .arg(QString::fromStdString(chart->xTitle), QString::number(value.x(), 'g', 6),
                                       QString::fromStdString(chart->yTitle), QString::number(value.y(), 'g', 6)));
      });
    }
    views_.push_back(view);
    stale_.push_back(stale);
    if (kindOf(charts[i].id) == shownKind) select = static_cast<int>(i);
    tabs->addTab(view, title);
  }
  for (const auto& [key, page] : pages) delete page;
  charts_ = std::move(charts);
  tabs->setCurrentIndex(select);
  refreshView(select);
}

QString PlotsWindow::noteText() const {
  QStringList lines;
  if (const ChartData* chart = currentChart(); chart != nullptr && !chart->note.empty())
    lines << QString::fromStdString(chart->note);
  // What a missing or greyed tab cannot tell itself is told under every tab.
  for (const ChartData& chart : charts_)
    if (!chart.unavailable.empty())
      lines << tabTitle(kindOf(chart.id)) + QStringLiteral(" not drawn: ") + QString::fromStdString(chart.unavailable);
  for (const std::string& note : run_.notes) lines << QString::fromStdString(note);
  if (!setAside_.empty()) lines << QString::fromStdString(setAside_);
  return lines.join(QLatin1Char('\n'));
}

void PlotsWindow::updateExportButtons() {
  const bool drawn = currentView() != nullptr && currentChart() != nullptr && HasData(*currentChart());
  for (QPushButton* button : {pngButton, svgButton, csvButton}) button->setEnabled(drawn);
  resetButton->setEnabled(drawn);
}

void PlotsWindow::refreshView(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= views_.size() ||
      static_cast<std::size_t>(index) >= stale_.size() || !stale_[static_cast<std::size_t>(index)])
    return;
  const auto i = static_cast<std::size_t>(index);
  stale_[i] = false;
  ChartView* view = views_[i];
  if (view == nullptr) return;
  if (!updateInPlace(*view, charts_[i])) {
    QChart* old = view->chart();
    view->replaceChart(BuildChart(charts_[i]));
    delete old;
  }
}

std::size_t PlotsWindow::shownFrame() const {
  return ChosenFrame(run_, options());
}

int PlotsWindow::tabCount() const {
  return tabs->count();
}

const ChartData* PlotsWindow::currentChart() const {
  const int index = tabs->currentIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= charts_.size()) return nullptr;
  return &charts_[static_cast<std::size_t>(index)];
}

ChartView* PlotsWindow::currentView() const {
  const int index = tabs->currentIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= views_.size()) return nullptr;
  return views_[static_cast<std::size_t>(index)];
}

bool PlotsWindow::showTab(const std::string& prefix) {
  for (std::size_t i = 0; i < charts_.size(); ++i)
    if (charts_[i].id.starts_with(prefix) && views_[i] != nullptr) {
      tabs->setCurrentIndex(static_cast<int>(i));
      return true;
    }
  return false;
}

void PlotsWindow::exportPng(const QString& path, QSize size) {
  ChartView* view = currentView();
  if (view == nullptr) throw InputError(path.toStdString() + ": no chart to export");
  ExportPng(*view->chart(), path, size);
}

void PlotsWindow::exportSvg(const QString& path) {
  ChartView* view = currentView();
  if (view == nullptr) throw InputError(path.toStdString() + ": no chart to export");
  ExportSvg(*view->chart(), path, view->size());
}

void PlotsWindow::exportCsv(const QString& path) {
  const ChartData* chart = currentChart();
  if (chart == nullptr || currentView() == nullptr) throw InputError(path.toStdString() + ": no chart to export");
  ExportCsv(*chart, path);
}

void PlotsWindow::exportWithDialog(const QString& format) {
  const ChartData* chart = currentChart();
  if (chart == nullptr || currentView() == nullptr) return;
  const QString filter = format == QLatin1String("png")   ? QStringLiteral("PNG image (*.png)")
                         : format == QLatin1String("svg") ? QStringLiteral("SVG drawing (*.svg)")
                                                          : QStringLiteral("CSV table (*.csv)");
  QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export chart"),
                                              QString::fromStdString(chart->id) + QLatin1Char('.') + format, filter);
  if (path.isEmpty()) return;
  try {
    if (format == QLatin1String("png"))
      exportPng(path, QSize(pngWidth->value(), pngHeight->value()));
    else if (format == QLatin1String("svg"))
      exportSvg(path);
    else
      exportCsv(path);
  } catch (const std::exception& error) {
    QMessageBox::warning(this, windowTitle(), QString::fromStdString(error.what()));
  }
}

}  // namespace torvex::plot
