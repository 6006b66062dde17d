#pragma once
// The Plots window: the charts of a run on tabs, to read, zoom and export.
// It shows either a results folder (after a run, or any earlier run) or a
// run in progress, from samples the desktop program hands it on the GUI
// thread; it never reads a model itself.

#include <QPointer>
#include <QWidget>
#include <optional>
#include <vector>

#include "model/measured_profile.h"
#include "plot/chart_data.h"
#include "results/run_data.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollArea;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTimer;

namespace torvex::plot {

class ChartView;

// What a running case shows at one refresh: a copy, owned by the sample.
struct LiveSample {
  double timeS = 0.0;
  double startTimeS = 0.0;
  int componentCount = 0;
  std::vector<double> positionCm;  // [n]
  std::vector<double> molarRatio;  // [r * n], component-major
  std::vector<double> molarMass;   // [r] g/mol
  double kirkendallCm = 0.0;
  double initialKirkendallCm = 0.0;
  bool oxidation = false;                   // component 1 leaves through the right end
  std::vector<std::string> componentNames;  // [r], or empty when the case names none
};

class PlotsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PlotsWindow(QWidget* parent = nullptr);
  ~PlotsWindow() override;

  // Shows the run whose results are in folder. Throws InputError (nothing
  // changed) when they cannot be read.
  void showFolder(const QString& folder);
  // Shows run data directly.
  void showRun(RunData run);
  // The followed run has ended and written its results to folder: shows
  // them. A folder without a run history knows only the last save; then the
  // saves kept while following stay, with the folder's last one after them.
  // Throws InputError (nothing changed) when the folder cannot be read.
  void finishLive(const QString& folder);
  // Starts following a new run: forgets what was shown.
  void beginLive();
  // Takes one refresh of a running case. Cheap: it copies the sample into
  // the window's own history (a bounded number of saves) and redraws at most
  // a few times a second, and only while the window is visible.
  void addLiveSample(const LiveSample& sample);
  // Draws over the profile, until replaced or cleared, or set aside for a
  // run of another case (one without a component the profile names). With
  // the time it was measured at (s), the overlay compares it with the save
  // nearest to that time, else with the save shown.
  void setMeasured(std::optional<MeasuredProfile> measured, std::optional<double> measuredTimeS = std::nullopt);

  // The chart data of the tab shown, and its view (null when none).
  [[nodiscard]] const ChartData* currentChart() const;
  [[nodiscard]] ChartView* currentView() const;
  [[nodiscard]] const RunData& runData() const { return run_; }
  // The save the profile charts show (an index into runData().frames).
  [[nodiscard]] std::size_t shownFrame() const;
  [[nodiscard]] int tabCount() const;
  // Selects the tab whose chart id starts with prefix; false when none.
  bool showTab(const std::string& prefix);

  // Exports the chart shown. Throw InputError naming the file on failure.
  void exportPng(const QString& path, QSize size);
  void exportSvg(const QString& path);
  void exportCsv(const QString& path);

  // Redraws now what is pending (the timer would do it shortly).
  void redrawNow();
  // Says text under the chart (until the next redraw says otherwise).
  void setNoteText(const QString& text);

  // ---- Controls, public so that tests drive them as a user would ----
  QTabWidget* tabs = nullptr;
  QSlider* saveSlider = nullptr;
  QLabel* saveLabel = nullptr;
  QComboBox* basisBox = nullptr;      // at.%, wt.%
  QComboBox* unitBox = nullptr;       // µm, cm
  QComboBox* componentBox = nullptr;  // the component of the evolution chart
  QComboBox* timeUnitBox = nullptr;   // s, min, h
  QCheckBox* logTimeBox = nullptr;    // the time axes logarithmic
  QLineEdit* timesEdit = nullptr;     // the times of the several-times chart
  QPushButton* resetButton = nullptr;
  QPushButton* pngButton = nullptr;
  QPushButton* svgButton = nullptr;
  QPushButton* csvButton = nullptr;
  QSpinBox* pngWidth = nullptr;
  QSpinBox* pngHeight = nullptr;
  QLabel* pointerLabel = nullptr;
  QLabel* noteLabel = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void rebuild();
  void fitNotes();
  // Puts charts on the tabs when the tabs change (a chart comes, goes or
  // turns greyed).
  void replaceTabs(std::vector<ChartData> charts);
  void scheduleRedraw();
  void updateSlider();
  ChartOptions options() const;
  void exportWithDialog(const QString& format);
  // Brings the chart of tab index up to charts_ when it is stale.
  void refreshView(int index);
  // The note of the chart shown, the charts not drawn and why, then the
  // notes of the run's files.
  QString noteText() const;
  // Export only what is drawn.
  void updateExportButtons();
  // A measured profile naming a component the run lacks belongs to another
  // case: it goes, and a note says so.
  void setAsideForeignMeasured();
  // The saves of the several-times chart from timesEdit (times in the chosen
  // unit, the nearest save each); marks the field when it holds something
  // other than times.
  std::vector<std::size_t> severalFrames() const;
  // A zoom of the temperature chart of a cycled run: the cycles in view are
  // drawn corner by corner over their envelope, back to the envelope alone
  // when the whole chart shows again.
  void followTemperatureZoom(ChartView* view);

  RunData run_;
  std::optional<MeasuredProfile> measured_;
  std::optional<double> measuredTimeS_;
  std::string setAside_;  // why a measured profile was set aside
  std::vector<ChartData> charts_;
  std::vector<ChartView*> views_;  // null for a chart not drawn
  std::vector<bool> stale_;        // per tab: charts_ holds newer data than its view
  bool live_ = false;
  bool followLatest_ = true;
  // The time of the save to show after the next rebuild, when the saves
  // change under a save the user chose.
  std::optional<double> keepTimeS_;
  // The time span (s) the zoomed temperature chart shows; none unzoomed.
  std::optional<std::pair<double, double>> temperatureViewS_;
  bool dirty_ = false;
  QTimer* redrawTimer_ = nullptr;
  QScrollArea* notes_ = nullptr;
};

}  // namespace torvex::plot
