// The Data page of the main window: every parameter of a case, on three
// sub-pages, with the boxes built at run time for the components and the
// initial profile, and the rules that show, hide and rebuild controls.
//
// Controls sit at fixed positions on their sub-page, like a form designed
// once: the handlers move labels to stated columns and the run-time boxes
// are laid out from their templates, so a layout manager would only fight
// them. The page scrolls when the window is smaller than the panel.

#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include "model/number_format.h"
#include "ui/form_reader.h"
#include "ui/key_filters.h"
#include "ui/main_window.h"
#include "ui/text_editor.h"

namespace torvex {
namespace {

constexpr int kColumn = 12;       // left edge of the first box of every row
constexpr int kBoxWidth = 50;     // width of a one-value box or choice box
constexpr int kBoxHeight = 24;    // height of every box
constexpr int kRowPitch = 30;     // vertical distance of two rows
constexpr int kLabelColumn = 67;  // labels beside a one-box row
constexpr int kFirstRow = 10;

int rowTop(int row) {
  return kFirstRow + row * kRowPitch;
}

QLabel* makeLabel(QWidget* page, const char* caption, int left, int row) {
  auto* label = new QLabel(QString::fromUtf8(caption), page);
  label->move(left, rowTop(row) + 4);
  label->adjustSize();
  return label;
}

QLineEdit* makeBox(QWidget* page, const char* text, int left, int top, int width) {
  auto* box = new QLineEdit(QString::fromUtf8(text), page);
  box->setGeometry(left, top, width, kBoxHeight);
  return box;
}

enum class Choice {
  Editable,      // the user may pick an item or type
  PickOnly,      // the user may only pick an item
  ListOnTyping,  // editable, and the list drops down as soon as the user types
};

QComboBox* makeChoice(QWidget* page, const QStringList& items, const char* text, int row,
                      Choice kind = Choice::Editable) {
  auto* box = new QComboBox(page);
  box->setEditable(kind != Choice::PickOnly);
  box->addItems(items);
  box->setGeometry(kColumn, rowTop(row), kBoxWidth, kBoxHeight);
  if (kind == Choice::PickOnly) {
    box->setCurrentText(QString::fromUtf8(text));
    return box;
  }
  box->setEditText(QString::fromUtf8(text));
  // A completer's list leaves the keys with the box, so typing goes on while
  // the list is shown (the combo box's own list would take them).
  if (kind == Choice::ListOnTyping) box->completer()->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  installKeyFilter(box, KeyFilter::Kind::Integer);
  return box;
}

QPushButton* makeButton(QWidget* page, const char* caption, int left, int row, int width) {
  auto* button = new QPushButton(QString::fromUtf8(caption), page);
  button->setGeometry(left, rowTop(row), width, kBoxHeight);
  return button;
}

// The file name box, the "..." picker and the "Edit" button of a choice row
// whose choice can name a side file; its label then moves to column 265.
void makeFileControls(QWidget* page, int row, QLineEdit*& name, QPushButton*& pick, QPushButton*& edit) {
  name = makeBox(page, "", kLabelColumn, rowTop(row), 130);
  pick = makeButton(page, "...", kLabelColumn + 133, row, 26);
  edit = makeButton(page, "Edit", kLabelColumn + 162, row, 33);
}

int rightEdge(const QWidget* widget) {
  return widget->x() + widget->width();
}

// The integer a choice or edit box holds, or fallback.
int integerOf(const QString& text, int fallback) {
  return integerOr(text.toStdString(), fallback);
}

// Shows or hides the side-file controls of a choice row; its label stands
// beside them (column 265) or beside the choice box alone (column 67).
void showFileControls(std::initializer_list<QWidget*> controls, QLabel* label, bool shown) {
  for (QWidget* control : controls) control->setVisible(shown);
  label->move(shown ? 265 : 67, label->y());
}

}  // namespace

// Turns a filter of description|pattern pairs into the dialog's filter list.
// Patterns match either case; "*.*" means every file.
QStringList dialogFilters(const QString& pairs) {
  const QStringList parts = pairs.split(QChar('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    const qsizetype paren = description.indexOf(QStringLiteral(" ("));
    if (paren >= 0) description.truncate(paren);
    const QString pattern = parts[i + 1];
    const QString patterns =
        pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern.toLower() + QChar(' ') + pattern.toUpper();
    filters << description + QStringLiteral(" (") + patterns + QChar(')');
  }
  return filters;
}

void TForm2::buildDataPage() {
  ScrollBox1 = new QScrollArea(TabSheetData);
  ScrollBox1->setFrameShape(QFrame::NoFrame);
  ScrollBox1->setWidgetResizable(false);
  auto* layout = new QVBoxLayout(TabSheetData);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(ScrollBox1);

  Panel1 = new QWidget;
  auto* panelLayout = new QVBoxLayout(Panel1);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  PageControl2 = new QTabWidget(Panel1);
  panelLayout->addWidget(PageControl2);
  TabSheet1 = new QWidget;
  TabSheet2 = new QWidget;
  TabSheet3 = new QWidget;
  PageControl2->addTab(TabSheet1, QStringLiteral("Components"));
  PageControl2->addTab(TabSheet2, QStringLiteral("Others"));
  PageControl2->addTab(TabSheet3, QStringLiteral("Graphical interface"));

  buildComponentsPage();
  buildOthersPage();
  buildGraphicalPage();
  Panel1->resize(900, rowTop(18) + 60);
  ScrollBox1->setWidget(Panel1);
  connectDataHandlers();
}

void TForm2::buildComponentsPage() {
  QWidget* page = TabSheet1;
  Edit1 = makeBox(page, "3", kColumn, rowTop(0), kBoxWidth);
  Label8 = makeLabel(page, "Number of components", kLabelColumn, 0);
  ComponentNamesEdit = makeBox(page, "", 240, rowTop(0), 150);
  ComponentNamesEdit->setPlaceholderText(QStringLiteral("Cu,Fe,Ni"));
  ComponentNamesEdit->setToolTip(QStringLiteral(
      "Optional: one name per component, separated by commas. The names go into the results files, the run "
      "report and the charts; they are saved beside the data file, which does not change."));
  ComponentNamesLabel = makeLabel(page, "Component names (optional)", 395, 0);
  Edit13 = makeBox(page, "", kColumn, rowTop(1) + 10, 64);
  Label19 = makeLabel(page, "Molar Mass of components [g mol^-1]", kLabelColumn, 1);
  Label19->move(Label19->x(), Edit13->y() + 4);
  Edit14 = makeBox(page, "", kColumn, rowTop(2) + 20, 64);
  Label20 = makeLabel(page, "Standard molar Volume of components [cm^3 mol^-1]", kLabelColumn, 2);
  Label20->move(Label20->x(), Edit14->y() + 4);
  Edit26 = makeBox(page, "2", kColumn, rowTop(4), kBoxWidth);
  Label31 = makeLabel(page,
                      "Number of initial points: {2} - hevyside function, {number = number of points to set density "
                      "of components} user defined mesh",
                      kLabelColumn, 4);
  Label32 = makeLabel(page, "Initial concentration data  (x [cm], con_1 ,..., con_r-1 [% at.])", kColumn, 5);
  Edit27 = makeBox(page, "", kColumn, rowTop(6), 64);
  for (QLineEdit* hiddenTemplate : {Edit13, Edit14, Edit27}) hiddenTemplate->hide();
  Memo1 = new QPlainTextEdit(page);
  Memo1->move(Edit27->pos());
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->hide();
  installKeyFilter(Edit1, KeyFilter::Kind::Integer);
  installKeyFilter(Edit26, KeyFilter::Kind::Integer);
}

void TForm2::buildOthersPage() {
  QWidget* page = TabSheet2;
  const QStringList two = {"0", "1"};
  const QStringList three = {"0", "1", "2"};
  const QStringList four = {"0", "1", "2", "3"};

  Edit4 = makeBox(page, "200", kColumn, rowTop(0), kBoxWidth);
  Label10 = makeLabel(page, "Number of points to set the density of components", kLabelColumn, 0);
  Edit2 = makeBox(page, "0", kColumn, rowTop(1), kBoxWidth);
  Edit3 = makeBox(page, "612000", kLabelColumn, rowTop(1), 60);
  Label9 = makeLabel(page, "The time of the diffusion process [s] (start, end)", 133, 1);
  Edit5 = makeBox(page, "0.0001", kColumn, rowTop(2), kBoxWidth);
  Label11 = makeLabel(page, "Initial time step", kLabelColumn, 2);
  Edit6 = makeBox(page, "0.0001", kColumn, rowTop(3), kBoxWidth);
  Label12 = makeLabel(page, "Concentration error", kLabelColumn, 3);
  Edit7 = makeBox(page, "25", kColumn, rowTop(4), kBoxWidth);
  Label13 = makeLabel(page, "maximal integration time step [s]", kLabelColumn, 4);
  Edit8 = makeBox(page, "25", kColumn, rowTop(5), kBoxWidth);
  Label14 = makeLabel(page, "number of time steps between changing the integration time", kLabelColumn, 5);
  Edit9 = makeBox(page, "2", kColumn, rowTop(6), kBoxWidth);
  Label15 = makeLabel(page, "integration time multiplicator", kLabelColumn, 6);
  Edit10 = makeBox(page, "1273", kColumn, rowTop(7), kBoxWidth);
  Label16 = makeLabel(page, "Temperature [K]", kLabelColumn, 7);

  Edit11C = makeChoice(page, three, "0", 8);
  makeFileControls(page, 8, Edit28, Button1, Button4);
  Label17 = makeLabel(page,
                      "Self Diffusion coefficients [cm^2 s^-1]: {0} - as function (from file), {1} - as matrix (from "
                      "file), {2} for Cu-Fe-Ni alloy",
                      265, 8);
  Edit12 = makeBox(page, "1.0", kColumn, rowTop(9), kBoxWidth);
  Label18 = makeLabel(page, "Correlation factor, D_self = correlation factor * D_traser", kLabelColumn, 9);

  Edit15C = makeChoice(page, four, "0", 10);
  makeFileControls(page, 10, Edit29, Button2, Button6);
  Label21 = makeLabel(page,
                      "Thermodynamic actvities eg., a_i=a_i(c_1,c_2,c_3): {0} - ideal, {1} - Cu-Fe-Ni alloy, {2} - "
                      "Fe-Ni-Cr alloy, {3} as a molar fraction deriv. (from file)",
                      kLabelColumn, 10);
  Edit16C = makeChoice(page, two, "0", 11);
  Label22 =
      makeLabel(page, "The constitutive equations: {0} - Nernst-Planck and Fick (when above=0: Fick), {1} - Onsager",
                kLabelColumn, 11);
  Edit17C = makeChoice(page, two, "0", 12);
  Label23 = makeLabel(page, "Equation of mass conservation: {0} - in volume fixed RF, {1} - other RF (classic)",
                      kLabelColumn, 12);
  Edit18C = makeChoice(page, two, "1", 13);
  Label24 = makeLabel(page, "Darken velocity: {0} v^D=0, {1} - v^D computed", kLabelColumn, 13);
  // The difference scheme sits below the last row: 0-2 expand the
  // divergences at the grid points, 3 balances face fluxes over cells.
  Edit19C = makeChoice(page, four, "0", 18);
  Label25 = makeLabel(page,
                      "type of differentation, {0} - central, {1} - forward, {2} - backward, {3} - conservative "
                      "(face fluxes, always volume-fixed)",
                      kLabelColumn, 18);
  Edit23C = makeChoice(page, two, "0", 14);
  Label28 = makeLabel(page, "Kirkendall plane, {0} - non visible, {1} - visible", kLabelColumn, 14);
  Edit24C = makeChoice(page, two, "0", 15);
  Edit11 = makeBox(page, "0", kLabelColumn, rowTop(15), 60);
  Label29 = makeLabel(page,
                      "initial position of Kirkendall plane (initial contact interace) [cm]: {0} - the half width of "
                      "the sample, {1} - declare",
                      133, 15);
  Edit25C = makeChoice(page, three, "0", 16, Choice::PickOnly);
  makeFileControls(page, 16, Edit30, Button3, Button5);
  Label30 = makeLabel(page,
                      "initial boundary flux file: {0} - all J^d = 0, {1} - as function (from file), {2} selective "
                      "oxidation (from file)",
                      265, 16);
  Edit31 = makeBox(page, "6.58e-7", kColumn, rowTop(17), 70);
  Label33 = makeLabel(page, "minimal molar fraction", kColumn + 76, 17);

  for (QLineEdit* box : {Edit4, Edit2, Edit3, Edit7, Edit8}) installKeyFilter(box, KeyFilter::Kind::Integer);
  for (QLineEdit* box : {Edit5, Edit6, Edit9, Edit10, Edit12, Edit11}) installKeyFilter(box, KeyFilter::Kind::Decimal);
}

void TForm2::buildGraphicalPage() {
  QWidget* page = TabSheet3;
  Edit20 = makeBox(page, "50", kColumn, rowTop(0), kBoxWidth);
  Edit21 = makeBox(page, "250", kLabelColumn, rowTop(0), kBoxWidth);
  Label26 = makeLabel(page, "number of time steps between: refreshig the screen, saving data", 118, 0);
  Edit22C = makeChoice(page, {"1", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"}, "10", 1,
                       Choice::ListOnTyping);
  Label27 = makeLabel(page, "speed of the calculations, 0 = quickest ~100 slowest", kLabelColumn, 1);
  installKeyFilter(Edit20, KeyFilter::Kind::Integer);
  installKeyFilter(Edit21, KeyFilter::Kind::Integer);
}

void TForm2::connectDataHandlers() {
  const auto onUserChoice = [this](QComboBox* box, void (TForm2::*handler)()) {
    // A choice made by the user (picked or typed) runs the handler; setting
    // the box from code does not.
    connect(box, &QComboBox::activated, this, [this, handler] { command([this, handler] { (this->*handler)(); }); });
    if (box->lineEdit() != nullptr)
      connect(box->lineEdit(), &QLineEdit::textEdited, this,
              [this, handler] { command([this, handler] { (this->*handler)(); }); });
  };
  connect(Edit1, &QLineEdit::textChanged, this, [this] { command([this] { Edit1Change(); }); });
  connect(Edit26, &QLineEdit::textChanged, this, [this] { command([this] { Edit26Change(); }); });
  connect(Edit11, &QLineEdit::textChanged, this, [this] { command([this] { Edit11Change(); }); });
  onUserChoice(Edit11C, &TForm2::Edit11Change);
  onUserChoice(Edit15C, &TForm2::Edit15Change);
  onUserChoice(Edit24C, &TForm2::Edit24CChange);
  onUserChoice(Edit25C, &TForm2::Edit25Change);
  connect(Button1, &QPushButton::clicked, this, [this] { command([this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { command([this] { Button2Click(); }); });
  connect(Button3, &QPushButton::clicked, this, [this] { command([this] { Button3Click(); }); });
  connect(Button4, &QPushButton::clicked, this, [this] { command([this] { Button4Click(); }); });
  connect(Button5, &QPushButton::clicked, this, [this] { command([this] { Button5Click(); }); });
  connect(Button6, &QPushButton::clicked, this, [this] { command([this] { Button6Click(); }); });
}

// ---- Rebuilding for the number of components and of initial points ----

void TForm2::Edit1Change() {
  const std::optional<int> components = parseInteger(Edit1->text().toStdString());
  const std::optional<int> points = parseInteger(Edit26->text().toStdString());
  if (!components || !points) return;
  BuildComponentFields(*components, *points <= 9 ? *points : 0);
}

void TForm2::Edit26Change() {
  const std::optional<int> parsed = parseInteger(Edit26->text().toStdString());
  if (!parsed) return;
  const int points = *parsed;
  Edit4->setEnabled(true);
  if (points > 2) {
    // A continuation profile fixes the grid to the given points.
    Edit4->setText(Edit26->text());
    Edit4->setEnabled(false);
  }
  InitialPoints = points;
  if (points > 9) {
    BuildProfileGrid(0, ComponentCount);
    Memo1->clear();
    Memo1->setPlainText(QString::fromLatin1(kProfileHeading));
    Memo1->show();
  } else {
    Memo1->hide();
    BuildProfileGrid(points, ComponentCount);
  }
  if (integerOf(Edit4->text(), 0) < points) Edit4->setText(QString::number(points));
}

void TForm2::BuildComponentFields(int components, int rows) {
  const int oldCount = ComponentCount;
  for (QLineEdit* box : MolarMassBoxes) delete box;
  for (QLineEdit* box : MolarVolumeBoxes) delete box;
  MolarMassBoxes.clear();
  MolarVolumeBoxes.clear();

  // No bound is put on the count while typing; the boxes are only capped at
  // what the model accepts, so a slip of the keyboard cannot create millions.
  ComponentCount = components;
  const int shown = std::clamp(components, 0, Case::kMaxComponents);
  for (int i = 0; i < shown; ++i) {
    for (auto [boxes, form] : {std::pair{&MolarMassBoxes, Edit13}, std::pair{&MolarVolumeBoxes, Edit14}}) {
      auto* box = new QLineEdit(form->parentWidget());
      box->setGeometry(form->x() + i * (form->width() + 5), form->y(), form->width(), form->height());
      box->show();
      boxes->push_back(box);
    }
  }
  Label19->move(Edit13->x() + shown * (Edit13->width() + 5), Label19->y());
  Label20->move(Edit14->x() + shown * (Edit14->width() + 5), Label20->y());
  BuildProfileGrid(rows, oldCount);
  FitDataPanel();
}

void TForm2::BuildProfileGrid(int rows, int oldCount) {
  static_cast<void>(oldCount);  // every box of the old grid is known by reference
  for (const auto& row : ProfileGrid)
    for (QLineEdit* box : row) delete box;
  ProfileGrid.clear();

  GridRows = std::max(rows, 0);
  const int columns = std::clamp(ComponentCount, 0, Case::kMaxComponents) + 3;
  for (int j = 0; j < GridRows; ++j) {
    std::vector<QLineEdit*> row;
    for (int k = 0; k < columns; ++k) {
      auto* box = new QLineEdit(Edit27->parentWidget());
      box->setGeometry(Edit27->x() + k * (Edit27->width() + 5), Edit27->y() + j * (Edit27->height() + 5),
                       Edit27->width(), Edit27->height());
      // The last three columns (Darken and sigma velocity, pressure) are
      // carried to the file but not edited here.
      if (k >= columns - 3) {
        box->setText(QStringLiteral("0.0"));
        box->hide();
      } else {
        box->show();
      }
      row.push_back(box);
    }
    ProfileGrid.push_back(std::move(row));
  }

  int height = Edit31->y() + 60;
  if (!ProfileGrid.empty()) height = std::max(height, ProfileGrid.back().front()->y() + 40);
  height = std::max(height, pageSize().height() - 20);
  Panel1->resize(Panel1->width(), height);
  FitDataPanel();
}

// ---- Show and hide by choice ----

void TForm2::Edit11Change() {
  const int choice = integerOf(Edit11C->currentText(), -1);
  const bool fromFile = choice == 0 || choice == 1;
  showFileControls({Edit28, Button1, Button4}, Label17, fromFile);
  FitDataPanel();
}

void TForm2::Edit15Change() {
  const bool fromFile = integerOf(Edit15C->currentText(), -1) == 3;
  showFileControls({Edit29, Button2, Button6}, Label21, fromFile);
  FitDataPanel();
}

void TForm2::Edit24CChange() {
  const bool declared = integerOf(Edit24C->currentText(), -1) != 0;
  Edit11->setVisible(declared);
  Label29->move(declared ? 133 : 66, Label29->y());
}

void TForm2::Edit25Change() {
  const int choice = integerOf(Edit25C->currentText(), -1);
  const bool fromFile = choice == 1 || choice == 2;
  showFileControls({Edit30, Button3, Button5}, Label30, fromFile);
  FitDataPanel();
}

void TForm2::ApplyChoiceVisibility() {
  Edit11Change();
  Edit15Change();
  Edit24CChange();
  Edit25Change();
  SizeMemo();
}

void TForm2::FitDataPanel() {
  int width = rightEdge(Label21) + 40;
  width = std::max(width, rightEdge(Label30) + 40);
  width = std::max(width, rightEdge(Label17) + 40);
  width = std::max(width, rightEdge(Label20) + 60);
  width = std::max(width, pageSize().width() - 20);
  Panel1->resize(width, Panel1->height());
  SizeMemo();
}

void TForm2::SizeMemo() {
  Memo1->resize(std::max(PageControl1->width() - 45, 0), std::max(PageControl1->height() - 225, 0));
}

// ---- Side files: pickers and editor buttons ----

bool FileCanBeOpened(const QString& fileName) {
  if (fileName.isEmpty()) return false;
  // Read-and-update mode: the file must exist and be writable. Nothing is
  // created or changed.
  std::FILE* file = std::fopen(QFile::encodeName(fileName).constData(), "r+b");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

void TForm2::pickFile(QLineEdit* box, const QString& filter) {
  QFileDialog dialog(this);
  dialog.setNameFilters(dialogFilters(filter));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (FileCanBeOpened(box->text())) {
    dialog.selectFile(box->text());
  } else {
    dialog.setDirectory(QString::fromStdString(model_.applicationDirectory));
    dialog.selectFile(QString());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  box->setText(dialog.selectedFiles().constFirst());
}

void TForm2::Button1Click() {
  pickFile(Edit28, QStringLiteral("DFV files (*.dfv)|*.DFV|DAT files (*.dat)|*.DAT|Text files (*.txt)|*.TXT|All files "
                                  "(*.*)|*.*"));
}

void TForm2::Button2Click() {
  pickFile(Edit29, QStringLiteral("ACT files (*.act)|*.ACT|DAT files (*.dat)|*.DAT|Text files (*.txt)|*.TXT|All files "
                                  "(*.*)|*.*"));
}

void TForm2::Button3Click() {
  pickFile(Edit30, QStringLiteral("FLX files (*.flx)|*.FLX|DAT files (*.dat)|*.DAT|Text files (*.txt)|*.TXT|All files "
                                  "(*.*)|*.*"));
}

void TForm2::editSideFile(QLineEdit* box) {
  if (editor == nullptr) return;
  editor->FileName = box->text();
  editor->exec();
  box->setText(editor->FileName);
}

void TForm2::Button4Click() {
  editSideFile(Edit28);
}
void TForm2::Button6Click() {
  editSideFile(Edit29);
}
void TForm2::Button5Click() {
  editSideFile(Edit30);
}

}  // namespace torvex
