#pragma once
// The main window: the forms of every parameter of a case (the Data page),
// the run controls, the status row and the graph pages. It never computes
// anything itself: START writes the forms to the working input file, has the
// model load it, and hands the run to a TGUIThread.
//
// Controls keep the names the handlers refer to (Edit1, Edit15C, PaintBox4,
// ...); they are public so that tests can drive the window as a user would.

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "study/treatment_file.h"
#include "ui/desktop_model.h"
#include "ui/draw_graphs.h"
#include "ui/gui_thread.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;

namespace torvex {

namespace plot {
class PlotsWindow;
}

class PaintBox;
class TAboutBox;
class TForm3;

// What the redraw decision reads from the model, copied with the graphs so
// that a repaint during a run never reads what the worker is changing.
struct RedrawClock {
  int refreshInterval = 0;
  int stepCount = 0;
  double currentTime = 0.0;
  double endTime = 0.0;
};

class TForm2 : public QMainWindow, public RunWindow {
  Q_OBJECT

 public:
  explicit TForm2(DesktopModel& model, QWidget* parent = nullptr);
  ~TForm2() override;

  // The other windows, set by the program's start-up (may stay null in tests).
  TAboutBox* aboutBox = nullptr;
  TForm3* editor = nullptr;

  // ---- Window state ----
  TGUIThread* RunThread = nullptr;  // the active run, or none
  std::vector<QLineEdit*> MolarMassBoxes;
  std::vector<QLineEdit*> MolarVolumeBoxes;
  std::vector<std::vector<QLineEdit*>> ProfileGrid;
  bool FieldsValid = true;
  bool RedrawRequested = false;
  int ComponentCount = 0;
  int GridRows = 0;
  int InitialPoints = 0;

  // ---- Run controls and main window operations ----
  void STARTClick();
  void Start1Click();
  void Pause1Click();
  void Stop1Click();
  void UpdateRunControls();
  void PaintForm();
  void RedrawIfDue();
  void ArrangeGraphPages();
  void PageControl1Change();
  void PageControl1Resize();
  void FormDestroy();
  void Close1Click();
  void About2Click();
  void Fi1Click();
  void Savedata1Click();
  void editmenuClick();
  void Generatesampleinputfiles1Click();
  // Results menu: the Plots window (opened on the running case, or on the
  // results folder when no run is active) and a measured profile to draw
  // over the simulated one.
  void Plots1Click();
  void Loadmeasuredprofile1Click();
  // Reads the measured profile (positions shifted by shiftUm micrometres) and
  // shows it in the Plots window, compared with the save nearest to
  // measuredTimeS (s) when given. Throws InputError naming the file, the
  // line and the column; the window keeps its earlier profile then.
  void LoadMeasuredProfile(const QString& path, double shiftUm, std::optional<double> measuredTimeS = std::nullopt);
  // The Plots window, or null before it was first opened.
  [[nodiscard]] plot::PlotsWindow* plotsWindow() const { return plots_.get(); }
  // The folder the runs write their results to.
  [[nodiscard]] QString resultsFolder() const;

  // ---- Data page (parameter forms) ----
  void Edit1Change();
  void Edit26Change();
  void Edit11Change();
  void Edit15Change();
  void Edit24CChange();
  void Edit25Change();
  void BuildComponentFields(int components, int rows);
  void BuildProfileGrid(int rows, int oldCount);
  void ApplyChoiceVisibility();
  void FitDataPanel();
  void SizeMemo();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void Button6Click();

  // ---- Reading a data file into the forms ----
  // Fills the Data page from an input data file, by position of its data
  // lines, correcting values a run could not use. Throws InputError, with no
  // control changed, when the file cannot be read as text; otherwise returns
  // true. The model is not touched.
  bool ReadDataFileIntoForms(const QString& path);
  // The file beside a data file that keeps the components' names: the data
  // file's name with the extension .names (couple.dat: couple.names).
  static QString namesFileOf(const QString& dataFile);

  // ---- The heat treatment (not part of the data file) ----
  // What the runs follow beyond the data page: a schedule, cycles, the life
  // settings. Set by the Heat treatment dialog and by Open data from the
  // side file beside the data file (treatmentFileOf).
  TreatmentSettings Treatment;
  // The data file the forms were last opened from or saved to: the side
  // file the dialog writes is beside it (datafil.dat, the working input
  // file, until one is opened or saved).
  QString DataFileName = QStringLiteral("datafil.dat");
  // Calculation menu: edits Treatment in the dialog and, on OK, writes the
  // side file of DataFileName.
  void Heattreatment1Click();
  // Reads the side file of dataFile into Treatment: none when there is no
  // such file; a file that cannot be read is shown with the message naming
  // it, the line, the key and the text, and leaves Treatment none (the file
  // stays as it is). Returns whether the settings were read (or absent).
  bool ReadTreatmentFile(const QString& dataFile);
  // Writes Treatment to the side file of dataFile, or removes that file
  // when there is no treatment. A side file there that cannot be read is
  // never replaced unseen: it is kept under the name <file>.unread first,
  // and a notice says so. False (with a message) when it cannot be written.
  bool WriteTreatmentFile(const QString& dataFile);
  // Writes the names box to the names file of dataFile, or removes that
  // file when the box is empty; false (with a message) when it cannot.
  bool WriteNamesFile(const QString& dataFile);

  // ---- Data file writer and its field checks ----
  // Writes the forms to path as an input data file (replacing it) and returns
  // whether every real and file field passed its check. The file is written
  // either way; failing fields are marked. Throws InputError when the file
  // cannot be written.
  bool WriteDataFile(const QString& path);
  QString CheckedIntegerText(QWidget* control);
  QString CheckedRealText(QWidget* control);
  QString CheckedFileText(QLineEdit* box);

  // Runs a command of the user; an error it throws is shown in a message box
  // and the program goes on.
  void command(const std::function<void()>& action);
  // Shows an error: a message box captioned caption, or messageHook when set.
  void showMessage(const QString& caption, const QString& message);
  // Shows a notice with an OK button (or hands it to messageHook).
  void showNotice(const QString& caption, const QString& message);
  std::function<void(const QString& caption, const QString& message)> messageHook;
  // The size every page of PageControl1 has.
  [[nodiscard]] QSize pageSize() const;

  // ---- What a run shows (RunWindow; GUI thread, the worker waiting) ----
  void showRunValues() override;
  void takeGraphSnapshot(bool draw) override;
  void runEnded(TGUIThread* worker) override;
  void runFailed(const QString& message) override;
  void fatalModelError(const QString& message) override;

  // True while a worker exists that has not ended: the active run, or a
  // stopped one still finishing its pass.
  [[nodiscard]] bool workerActive() const { return worker_ && !worker_->isFinished(); }

  // ---- Controls ----
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheetData = nullptr;
  QWidget* TabSheetResult = nullptr;
  QWidget* TabSheetVelocities = nullptr;
  QWidget* TabSheetPaths = nullptr;
  QWidget* TabSheetPressure = nullptr;
  PaintBox* PaintBox1 = nullptr;
  PaintBox* PaintBox2 = nullptr;
  PaintBox* PaintBox3 = nullptr;
  PaintBox* PaintBox4 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Time_Label = nullptr;
  QLabel* Kirkendall_Label = nullptr;
  QLabel* Time_step_label = nullptr;
  QPushButton* START = nullptr;
  // The heat treatment the next START runs with (describeTreatment).
  QLabel* TreatmentLabel = nullptr;
  void ShowTreatment();
  // The whole line TreatmentLabel shows, cut to its width.
  [[nodiscard]] const QString& treatmentLine() const { return treatmentText_; }
  // The checks of the last run, with the words torvex-batch prints; hidden
  // until a run has ended, and again when the next one starts.
  QGroupBox* ChecksPanel = nullptr;
  QPlainTextEdit* ChecksText = nullptr;
  QAction* Fi1 = nullptr;
  QAction* Savedata1 = nullptr;
  QAction* editmenu = nullptr;
  QAction* Generatesampleinputfiles1 = nullptr;
  QAction* Close1 = nullptr;
  QAction* Start1 = nullptr;
  QAction* Pause1 = nullptr;
  QAction* Stop1 = nullptr;
  // Checked: runs integrate with the implicit BDF method instead of the
  // explicit loop (torvex-batch --integrator bdf); not a key of the data file.
  QAction* ImplicitIntegrator1 = nullptr;
  // Opens the heat-treatment dialog; locked while a run is in hand.
  QAction* Heattreatment1 = nullptr;
  QAction* About2 = nullptr;
  QAction* Plots1 = nullptr;
  QAction* Loadmeasuredprofile1 = nullptr;

  QScrollArea* ScrollBox1 = nullptr;
  QWidget* Panel1 = nullptr;
  QTabWidget* PageControl2 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  // Components
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit13 = nullptr;
  QLineEdit* Edit14 = nullptr;
  QLineEdit* Edit26 = nullptr;
  QLineEdit* Edit27 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label19 = nullptr;
  QLabel* Label20 = nullptr;
  QLabel* Label31 = nullptr;
  QLabel* Label32 = nullptr;
  // The components' names (optional, "Cu,Fe,Ni"): not part of the data file,
  // kept in a names file beside it (namesFileOf).
  QLineEdit* ComponentNamesEdit = nullptr;
  QLabel* ComponentNamesLabel = nullptr;
  // Others
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QLineEdit* Edit6 = nullptr;
  QLineEdit* Edit7 = nullptr;
  QLineEdit* Edit8 = nullptr;
  QLineEdit* Edit9 = nullptr;
  QLineEdit* Edit10 = nullptr;
  QLineEdit* Edit11 = nullptr;
  QLineEdit* Edit12 = nullptr;
  QLineEdit* Edit28 = nullptr;
  QLineEdit* Edit29 = nullptr;
  QLineEdit* Edit30 = nullptr;
  QLineEdit* Edit31 = nullptr;
  QComboBox* Edit11C = nullptr;
  QComboBox* Edit15C = nullptr;
  QComboBox* Edit16C = nullptr;
  QComboBox* Edit17C = nullptr;
  QComboBox* Edit18C = nullptr;
  QComboBox* Edit19C = nullptr;
  QComboBox* Edit23C = nullptr;
  QComboBox* Edit24C = nullptr;
  QComboBox* Edit25C = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button6 = nullptr;
  QLabel* Label9 = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* Label11 = nullptr;
  QLabel* Label12 = nullptr;
  QLabel* Label13 = nullptr;
  QLabel* Label14 = nullptr;
  QLabel* Label15 = nullptr;
  QLabel* Label16 = nullptr;
  QLabel* Label17 = nullptr;
  QLabel* Label18 = nullptr;
  QLabel* Label21 = nullptr;
  QLabel* Label22 = nullptr;
  QLabel* Label23 = nullptr;
  QLabel* Label24 = nullptr;
  QLabel* Label25 = nullptr;
  QLabel* Label28 = nullptr;
  QLabel* Label29 = nullptr;
  QLabel* Label30 = nullptr;
  QLabel* Label33 = nullptr;
  // Graphical interface
  QLineEdit* Edit20 = nullptr;
  QLineEdit* Edit21 = nullptr;
  QComboBox* Edit22C = nullptr;
  QLabel* Label26 = nullptr;
  QLabel* Label27 = nullptr;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenus();
  void buildPages();
  void buildDataPage();
  void buildComponentsPage();
  void buildOthersPage();
  void buildGraphicalPage();
  void connectDataHandlers();
  void drawGraphsFromSnapshot();
  // Sets the three value labels from the values of the last refresh.
  void flushRunValues();
  // Fills the checks panel from the report of the run that has just ended
  // and shows it.
  void showRunChecks();
  // Lets the previous run's worker end (serving its hand-overs) and frees it.
  void finishPreviousWorker();
  void pickFile(QLineEdit* box, const QString& filter);
  void editSideFile(QLineEdit* box);

  DesktopModel& model_;
  QString treatmentText_;
  std::unique_ptr<TGUIThread> worker_;  // the latest worker, active or ending
  GraphSnapshot snapshot_;
  RedrawClock clock_;
  bool drawing_ = false;
  std::array<double, 3> runValues_{};  // clock, step, Kirkendall plane of the last refresh
  bool runValuesPending_ = false;
  // Made when first opened; follows a run only while it is shown.
  std::unique_ptr<plot::PlotsWindow> plots_;
  // Hands the Plots window the snapshot just taken (the worker waiting).
  void feedPlots();
  // Shows the results folder in the Plots window; a folder that cannot be
  // read leaves the window as it was and returns the reason.
  QString showResultsInPlots();
};

// True when the named file exists and can be opened for reading and writing
// (it is closed again at once). Relative names resolve against the working
// directory.
bool FileCanBeOpened(const QString& fileName);

// Turns a filter of description|pattern pairs ("dat|*.dat|txt|*.txt") into a
// file dialog's filter list. Patterns match either case; "*.*" means every
// file.
QStringList dialogFilters(const QString& pairs);

}  // namespace torvex
