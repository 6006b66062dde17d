// Reading data files into the forms, the sample-files command, the text
// editor and the About box, driven as a user would on the offscreen
// platform. Every test works in a scratch directory of its own.

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QtTest>
#include <functional>
#include <map>
#include <memory>

#include "model/data_file_keys.h"
#include "run/simulation.h"
#include "ui/about_box.h"
#include "ui/control_map.h"
#include "ui/main_window.h"
#include "ui/text_editor.h"
#include "ui_support.h"

using torvex::DesktopModel;
using torvex::TForm2;
using torvex::TForm3;
using torvex::test::fileLines;

namespace {

void writeLines(const QString& path, const QStringList& lines) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Everything the Data page shows: each box's text and whether it is shown,
// each choice, and the profile text.
QStringList formsOf(const TForm2& w) {
  QStringList state;
  for (const QLineEdit* box : w.Panel1->findChildren<QLineEdit*>())
    state << box->text() + (box->isVisibleTo(w.Panel1) ? "" : " (hidden)");
  for (const QComboBox* choice : w.Panel1->findChildren<QComboBox*>())
    state << QString::number(choice->currentIndex()) + ":" + choice->currentText();
  state << w.Memo1->toPlainText() + (w.Memo1->isVisibleTo(w.Panel1) ? "" : " (hidden)");
  return state;
}

// The value line of a key of the sample data files: a header line, then a
// key line and a value line per key (D9a between D9 and D10).
int valueLineOf(const QString& key) {
  return 2 * torvex::position(*torvex::keyNamed(key.toStdString())) + 2;
}

// The text of a control named as in the window ("Edit8"), a choice's item
// index ("Edit19C" → "1"), or a per-component box ("mass2", "volume0").
QString controlText(const TForm2& w, const QString& name) {
  static const std::map<QString, QLineEdit* TForm2::*> boxes = {
      {"Edit1", &TForm2::Edit1},   {"Edit2", &TForm2::Edit2},   {"Edit3", &TForm2::Edit3},
      {"Edit4", &TForm2::Edit4},   {"Edit5", &TForm2::Edit5},   {"Edit6", &TForm2::Edit6},
      {"Edit7", &TForm2::Edit7},   {"Edit8", &TForm2::Edit8},   {"Edit9", &TForm2::Edit9},
      {"Edit10", &TForm2::Edit10}, {"Edit11", &TForm2::Edit11}, {"Edit12", &TForm2::Edit12},
      {"Edit20", &TForm2::Edit20}, {"Edit21", &TForm2::Edit21}, {"Edit26", &TForm2::Edit26},
      {"Edit28", &TForm2::Edit28}, {"Edit29", &TForm2::Edit29}, {"Edit30", &TForm2::Edit30},
      {"Edit31", &TForm2::Edit31}};
  static const std::map<QString, QComboBox* TForm2::*> choices = {
      {"Edit11C", &TForm2::Edit11C}, {"Edit15C", &TForm2::Edit15C}, {"Edit16C", &TForm2::Edit16C},
      {"Edit17C", &TForm2::Edit17C}, {"Edit18C", &TForm2::Edit18C}, {"Edit19C", &TForm2::Edit19C},
      {"Edit23C", &TForm2::Edit23C}, {"Edit24C", &TForm2::Edit24C}, {"Edit25C", &TForm2::Edit25C}};
  if (const auto box = boxes.find(name); box != boxes.end()) return (w.*(box->second))->text();
  if (const auto choice = choices.find(name); choice != choices.end())
    return QString::number((w.*(choice->second))->currentIndex());
  if (name == "Edit22C") return w.Edit22C->currentText();
  if (name.startsWith("mass")) return w.MolarMassBoxes.at(name.mid(4).toUInt())->text();
  if (name.startsWith("volume")) return w.MolarVolumeBoxes.at(name.mid(6).toUInt())->text();
  return QStringLiteral("no control ") + name;
}

// Runs action once the next modal dialog of type Dialog is open.
template <typename Dialog>
void whenOpen(const std::function<void(Dialog*)>& action) {
  QTimer::singleShot(0, [action] {
    QTRY_VERIFY(qobject_cast<Dialog*>(QApplication::activeModalWidget()) != nullptr);
    action(qobject_cast<Dialog*>(QApplication::activeModalWidget()));
  });
}

}  // namespace

class FormsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> scratch_;
  QString previousDirectory_;
  std::unique_ptr<DesktopModel> model_;
  std::unique_ptr<TForm2> window_;
  std::unique_ptr<TForm3> editor_;
  QStringList messages_;

  TForm2& window() { return *window_; }
  QString inScratch(const QString& name) const { return scratch_->filePath(name); }

  // The sample files, through the menu.
  void generateSamples() {
    window().Generatesampleinputfiles1->trigger();
    QCOMPARE(messages_.takeFirst(), QStringLiteral("Generate: Automatic generation of sample input files."));
  }

 private slots:
  void init() {
    scratch_ = std::make_unique<QTemporaryDir>();
    previousDirectory_ = QDir::currentPath();
    QDir::setCurrent(scratch_->path());
    model_ = std::make_unique<DesktopModel>();
    model_->applicationDirectory = (scratch_->path() + "/").toStdString();
    window_ = std::make_unique<TForm2>(*model_);
    editor_ = std::make_unique<TForm3>(*model_, window_.get());
    window_->editor = editor_.get();
    messages_.clear();
    window_->messageHook = [this](const QString& caption, const QString& text) { messages_ << caption + ": " + text; };
    editor_->messageHook = [this](const QString& text) { messages_ << "editor: " + text; };
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void cleanup() {
    editor_.reset();
    window_.reset();
    model_.reset();
    QDir::setCurrent(previousDirectory_);
    scratch_.reset();
  }

  void theSampleCasesFillTheForms() {
    generateSamples();
    QVERIFY(messages_.isEmpty());
    for (const char* name : {"interdiffusion.dat", "oxidation.dat", "oxid_diff.dfv", "inter_diff.dfv", "activities.act",
                             "fluxes_funct.flx", "oxid_flux.flx"})
      QVERIFY2(QFile::exists(inScratch(name)), name);

    TForm2& w = window();
    QVERIFY(w.ReadDataFileIntoForms("interdiffusion.dat"));
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"Edit1", "3"},       {"Edit2", "0"},      {"Edit3", "612000"}, {"Edit4", "200"},
        {"Edit5", "0.0001"},  {"Edit6", "0.0001"}, {"Edit7", "25"},     {"Edit8", "25"},
        {"Edit9", "2"},       {"Edit10", "1273"},  {"Edit11C", "1"},    {"Edit28", "inter_diff.dfv"},
        {"Edit12", "1"},      {"mass0", "63.546"}, {"mass1", "55.847"}, {"mass2", "58.71"},
        {"volume2", "6.587"}, {"Edit15C", "1"},    {"Edit18C", "1"},    {"Edit20", "250"},
        {"Edit21", "250"},    {"Edit22C", "10"},   {"Edit25C", "0"},    {"Edit31", "6.58E-7"},
        {"Edit26", "2"}};
    for (const auto& [control, text] : expected) QCOMPARE(controlText(w, control), QString(text));
    QVERIFY(!w.Edit29->isVisibleTo(w.TabSheet2));
    QVERIFY(!w.Memo1->isVisible());
    QCOMPARE(w.GridRows, 2);
    const QStringList rows[] = {{"-0.1", "85", "0.5"}, {"0.1", "0.5", "25"}};
    for (int j = 0; j < 2; ++j)
      for (int k = 0; k < 3; ++k) QCOMPARE(w.ProfileGrid[j][k]->text(), rows[j][k]);

    QVERIFY(w.ReadDataFileIntoForms("oxidation.dat"));
    QCOMPARE(w.MolarMassBoxes.size(), std::size_t{2});
    QCOMPARE(controlText(w, "Edit11C"), QStringLiteral("0"));
    QCOMPARE(w.Edit28->text(), QStringLiteral("oxid_diff.dfv"));
    QCOMPARE(controlText(w, "Edit25C"), QStringLiteral("2"));
    QCOMPARE(w.Edit30->text(), QStringLiteral("oxid_flux.flx"));
    QVERIFY(w.Edit30->isVisibleTo(w.TabSheet2));
    QCOMPARE(w.ProfileGrid[1][0]->text(), QStringLiteral("0.002"));
    QCOMPARE(w.ProfileGrid[1][1]->text(), QStringLiteral("20"));
  }

  // One line of the sample couple changed (or an empty line put before it),
  // and what a control then shows.
  void correctionsAndTolerance_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("line");  // "insert" puts an empty line before the key's value
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("expected");
    QTest::newRow("an empty data line shifts the later keys") << "D4"
                                                              << "insert"
                                                              << "Edit10"
                                                              << "2";
    QTest::newRow("the shifted key reads the earlier value") << "D4"
                                                             << "insert"
                                                             << "Edit9"
                                                             << "25";
    QTest::newRow("one component becomes two") << "D0"
                                               << "1"
                                               << "Edit1"
                                               << "2";
    QTest::newRow("a text component count becomes two") << "D0"
                                                        << "three"
                                                        << "Edit1"
                                                        << "2";
    QTest::newRow("an end before the start becomes 0") << "D1"
                                                       << "100 50"
                                                       << "Edit3"
                                                       << "0";
    QTest::newRow("the start is kept") << "D1"
                                       << "100 50"
                                       << "Edit2"
                                       << "100";
    QTest::newRow("a lone time is the end") << "D1"
                                            << "612000"
                                            << "Edit3"
                                            << "612000";
    QTest::newRow("a lone time leaves the start 0") << "D1"
                                                    << "612000"
                                                    << "Edit2"
                                                    << "0";
    QTest::newRow("two grid points become three") << "D2"
                                                  << "2"
                                                  << "Edit4"
                                                  << "3";
    QTest::newRow("steps below the initial step") << "D6"
                                                  << "0"
                                                  << "Edit8"
                                                  << "0.00015";
    QTest::newRow("steps below a huge initial step stay finite") << "D3+D6"
                                                                 << "1.7e308"
                                                                 << "Edit8"
                                                                 << "1.7E308";
    QTest::newRow("a multiplier of 1 becomes 1.1") << "D7"
                                                   << "1"
                                                   << "Edit9"
                                                   << "1.1";
    QTest::newRow("a comma is not a number") << "D8"
                                             << "1273,5"
                                             << "Edit10"
                                             << "0";
    QTest::newRow("a differentiation beyond 3 is central") << "D16"
                                                           << "5"
                                                           << "Edit19C"
                                                           << "0";
    QTest::newRow("a choice without an item selects nothing") << "D15"
                                                              << "7"
                                                              << "Edit18C"
                                                              << "-1";
    QTest::newRow("no flux leaves the flux file") << "D21"
                                                  << "0 fluxes_2.flx 6.58e-7"
                                                  << "Edit30"
                                                  << "kept.flx";
    QTest::newRow("the minimal fraction is the last token") << "D21"
                                                            << "0 fluxes_2.flx 6.58e-7"
                                                            << "Edit31"
                                                            << "6.58E-7";
    QTest::newRow("a flux choice takes the file") << "D21"
                                                  << "1 fluxes_funct.flx 1e-6"
                                                  << "Edit30"
                                                  << "fluxes_funct.flx";
    QTest::newRow("a declared plane takes the rest") << "D20"
                                                     << "2 0.05"
                                                     << "Edit11"
                                                     << "0.05";
    QTest::newRow("a lone activities choice 3 names itself") << "D12"
                                                             << "3"
                                                             << "Edit29"
                                                             << "3";
    QTest::newRow("more masses than components") << "D10"
                                                 << "1 2 3 4"
                                                 << "mass2"
                                                 << "0";
    QTest::newRow("fewer masses: the middle box reads 0") << "D10"
                                                          << "5 7"
                                                          << "mass1"
                                                          << "0";
    QTest::newRow("fewer masses: the last box gets the last") << "D10"
                                                              << "5 7"
                                                              << "mass2"
                                                              << "7";
    QTest::newRow("tabs count as spaces") << "D17"
                                          << "5\t7"
                                          << "Edit21"
                                          << "7";
  }

  void correctionsAndTolerance() {
    QFETCH(QString, key);
    QFETCH(QString, line);
    QFETCH(QString, control);
    QFETCH(QString, expected);
    generateSamples();
    QStringList lines = fileLines("interdiffusion.dat");
    if (key == "D3+D6") {  // the initial step, and 1 step between changes
      lines[valueLineOf("D6")] = "   1";
      key = "D3";
    }
    const int at = valueLineOf(key);
    if (line == "insert")
      lines.insert(at, QString());
    else
      lines[at] = "   " + line;
    writeLines("changed.dat", lines);
    window().Edit30->setText("kept.flx");
    QVERIFY(window().ReadDataFileIntoForms("changed.dat"));
    QCOMPARE(controlText(window(), control), expected);
  }

  void profileRowsFillTheGridOrTheTextBox() {
    generateSamples();
    TForm2& w = window();
    QStringList lines = fileLines("interdiffusion.dat");
    const int rows = valueLineOf("D23");

    // 12 initial points: the profile text box with its heading and 12 rows,
    // taken as they come (a comment line among them is a row too).
    QStringList twelve = lines.mid(0, valueLineOf("D22"));
    twelve << "   12" << lines[rows - 1];
    for (int l = 0; l < 12; ++l)
      twelve << (l == 5 ? QStringLiteral("#a row") : QString("   %1 85 0.5 0.0 0.0 0.0").arg(l));
    twelve << "not read"
           << "#end of data file";
    writeLines("twelve.dat", twelve);
    QVERIFY(w.ReadDataFileIntoForms("twelve.dat"));
    QVERIFY(w.Memo1->isVisible());
    QCOMPARE(w.GridRows, 0);
    QCOMPARE(w.InitialPoints, 12);
    const QStringList memo = w.Memo1->toPlainText().split('\n');
    QCOMPARE(memo.size(), 13);
    QVERIFY(memo[0].startsWith("#Initial concentration data  (x [cm]"));
    QCOMPARE(memo[1], QStringLiteral("0 85 0.5 0.0 0.0 0.0"));
    QCOMPARE(memo[6], QStringLiteral("#a row"));

    // 2 points with three profile lines: the third is not read.
    QStringList three = lines.mid(0, rows + 2);
    three << "   9 9 9 0.0 0.0 0.0"
          << "#end of data file";
    writeLines("three.dat", three);
    QVERIFY(w.ReadDataFileIntoForms("three.dat"));
    QVERIFY(!w.Memo1->isVisible());
    QCOMPARE(w.GridRows, 2);
    QCOMPARE(w.ProfileGrid[1][0]->text(), QStringLiteral("0.1"));
    QCOMPARE(w.ProfileGrid[1][3]->text(), QStringLiteral("0.0"));  // v_Darken as written

    // A file that ends early leaves the keys it does not reach as they were.
    w.Edit20->setText("7");
    writeLines("short.dat", lines.mid(0, valueLineOf("D5") + 1));
    QVERIFY(w.ReadDataFileIntoForms("short.dat"));
    QCOMPARE(w.Edit20->text(), QStringLiteral("7"));
    QCOMPARE(w.MolarMassBoxes.size(), std::size_t{3});
    QVERIFY(w.MolarMassBoxes[0]->text().isEmpty());  // rebuilt by D0, never filled
  }

  void aFileThatCannotBeReadChangesNothing() {
    TForm2& w = window();
    w.Edit10->setText("1300");
    const QStringList before = formsOf(w);
    QFile binary("binary.dat");
    QVERIFY(binary.open(QIODevice::WriteOnly));
    binary.write(QByteArray("   3\r\n\0\1\2", 9));
    binary.close();
    for (const char* name : {"missing.dat", "binary.dat"}) {
      messages_.clear();
      w.command([&] { w.ReadDataFileIntoForms(name); });
      QCOMPARE(messages_.size(), 1);
      QVERIFY2(messages_[0].contains(name), qPrintable(messages_[0]));
      QCOMPARE(formsOf(w), before);
    }
  }

  void writingAndReadingBackIsTheIdentity() {
    generateSamples();
    for (const char* sample : {"interdiffusion.dat", "oxidation.dat"}) {
      TForm2& w = window();
      QVERIFY(w.ReadDataFileIntoForms(sample));
      const QStringList forms = formsOf(w);
      w.WriteDataFile("first.dat");
      TForm2 other(*model_);
      other.show();
      QVERIFY(other.ReadDataFileIntoForms("first.dat"));
      QCOMPARE(formsOf(other), forms);
      other.WriteDataFile("second.dat");
      QCOMPARE(fileBytes("second.dat"), fileBytes("first.dat"));
    }
  }

  // The conservative difference scheme is a visible fourth choice; a case
  // with it reads into the forms and is written back with it, under the key
  // comment line the files always had.
  void theConservativeSchemeIsOfferedAndKept() {
    generateSamples();
    TForm2& w = window();
    w.show();
    QVERIFY(w.Edit19C->isVisibleTo(w.TabSheet2));
    QVERIFY(w.Label25->isVisibleTo(w.TabSheet2));
    QCOMPARE(w.Edit19C->count(), 4);
    QVERIFY(w.Label25->text().contains("{3} - conservative"));
    QStringList lines = fileLines("interdiffusion.dat");
    lines[valueLineOf("D16")] = "   3";
    writeLines("conservative.dat", lines);
    QVERIFY(w.ReadDataFileIntoForms("conservative.dat"));
    QCOMPARE(controlText(w, "Edit19C"), QStringLiteral("3"));
    w.WriteDataFile("written.dat");
    const QStringList written = fileLines("written.dat");
    QCOMPARE(written[valueLineOf("D16")].trimmed(), QStringLiteral("3"));
    QCOMPARE(written[valueLineOf("D16") - 1],
             QStringLiteral("#|D16|-type of differentation, {0} - central, {1} - forward, {2} - backward"));
  }

  void editingTheCurrentDataWithoutSaveChangesNothing() {
    TForm2& w = window();
    w.Edit10->setText("1300");
    const QStringList before = formsOf(w);
    whenOpen<TForm3>([](TForm3* editor) {
      QVERIFY(editor->windowTitle().endsWith("/datafil.tmp"));
      QVERIFY(editor->Memo1->toPlainText().contains("#|D0|-Number of components:"));
      editor->Memo1->setPlainText("garbage");
      QTest::mouseClick(editor->ButtonExit, Qt::LeftButton);
    });
    w.editmenu->trigger();
    QCOMPARE(formsOf(w), before);
    QVERIFY(editor_->AskForFileName);
    QVERIFY(!editor_->Saved);
  }

  void editingTheCurrentDataAndSavingRebuildsTheForms() {
    generateSamples();
    TForm2& w = window();
    QVERIFY(w.ReadDataFileIntoForms("interdiffusion.dat"));
    w.ComponentNamesEdit->setText("Cu,Fe,Ni");
    w.Treatment.cycles = "3:100@1373,50@1273";
    whenOpen<TForm3>([](TForm3* editor) {
      QStringList lines = editor->Memo1->toPlainText().split('\n');
      const qsizetype key = lines.indexOf("#|D0|-Number of components:");
      QVERIFY(key >= 0);
      QCOMPARE(lines[key + 1], QStringLiteral("   3"));
      lines[key + 1] = "   4";
      editor->Memo1->setPlainText(lines.join('\n'));
      QTest::mouseClick(editor->ButtonSave, Qt::LeftButton);
      QTest::mouseClick(editor->ButtonSave, Qt::LeftButton);  // twice: read back once, on closing
      QVERIFY(editor->isVisible());
      QTest::mouseClick(editor->ButtonExit, Qt::LeftButton);
    });
    w.editmenu->trigger();
    QVERIFY(messages_.isEmpty());
    QVERIFY(editor_->Saved);
    QCOMPARE(w.Edit1->text(), QStringLiteral("4"));
    QCOMPARE(w.MolarMassBoxes.size(), std::size_t{4});
    QCOMPARE(w.MolarVolumeBoxes.size(), std::size_t{4});
    const QStringList masses = {"63.546", "55.847", "0", "58.71"};
    for (int i = 0; i < 4; ++i) QCOMPARE(w.MolarMassBoxes[i]->text(), masses[i]);
    QCOMPARE(w.MolarVolumeBoxes[3]->text(), QStringLiteral("6.587"));
    QCOMPARE(fileLines("datafil.tmp").at(2), QStringLiteral("   4"));
    // What the data file does not hold stays as it was: the names (START
    // then says they no longer fit) and the heat treatment.
    QCOMPARE(w.ComponentNamesEdit->text(), QStringLiteral("Cu,Fe,Ni"));
    QCOMPARE(w.Treatment.cycles, std::string("3:100@1373,50@1273"));
  }

  void editingASideFile() {
    TForm2& w = window();
    // An empty name: a new file in the program's directory, saved elsewhere.
    w.Edit28->clear();
    const QString chosen = inScratch("mine.dfv");
    whenOpen<TForm3>([chosen](TForm3* editor) {
      QVERIFY(editor->windowTitle().endsWith("/new.dat"));
      QVERIFY(editor->Memo1->toPlainText().isEmpty());
      editor->Memo1->setPlainText("3.1e-12\n3.1e-12");
      whenOpen<QFileDialog>([chosen](QFileDialog* dialog) {
        QVERIFY(dialog->selectedFiles().constFirst().endsWith("/new.dat"));
        dialog->selectFile(chosen);
        static_cast<QDialog*>(dialog)->accept();  // public in the base
      });
      QTest::mouseClick(editor->ButtonSave, Qt::LeftButton);
      QCOMPARE(editor->windowTitle().isEmpty(), false);
      QTest::mouseClick(editor->ButtonExit, Qt::LeftButton);
    });
    w.Button4->click();
    QCOMPARE(w.Edit28->text(), chosen);
    QCOMPARE(fileBytes(chosen), QByteArray("3.1e-12\r\n3.1e-12\r\n"));
    QVERIFY(!QFile::exists(inScratch("new.dat")));

    // A bare name is taken from the program's directory.
    writeLines(inScratch("inter_diff.dfv"), {"# matrix", "1 2"});
    w.Edit28->setText("inter_diff.dfv");
    whenOpen<TForm3>([](TForm3* editor) {
      QCOMPARE(editor->Memo1->toPlainText(), QStringLiteral("# matrix\n1 2"));
      editor->close();  // the close box only closes
    });
    w.Button4->click();
    QCOMPARE(w.Edit28->text(), inScratch("inter_diff.dfv"));
  }

  void anEditorSaveThatCannotWriteSaysSoAndKeepsTheText() {
    TForm3& editor = *editor_;
    editor.FileName = inScratch("no such folder/datafil.tmp");
    editor.AskForFileName = false;
    editor.Saved = false;
    editor.show();
    editor.Memo1->setPlainText("precious");
    editor.ButtonSaveClick();
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].contains("no such folder/datafil.tmp"), qPrintable(messages_[0]));
    QVERIFY(!editor.Saved);
    QVERIFY(editor.isVisible());
    QCOMPARE(editor.Memo1->toPlainText(), QStringLiteral("precious"));
    editor.close();
  }

  void generatingWhereAFileCannotBeCreatedSaysWhichFile() {
    // A folder in the way of the second file: the first is written, the
    // error names the second, and the rest are not written.
    QVERIFY(QDir().mkdir("oxidation.dat"));
    window().Generatesampleinputfiles1->trigger();
    QCOMPARE(messages_.size(), 2);
    QVERIFY2(messages_[1].contains("oxidation.dat"), qPrintable(messages_[1]));
    QVERIFY(QFile::exists("interdiffusion.dat"));
    QVERIFY(!QFile::exists("oxid_diff.dfv"));
  }

  // A key added to the files without a control, or a control renamed without
  // its entry, shows here.
  void theControlMapCoversEveryKeyWithRealControls() {
    for (const auto& info : torvex::dataFileKeys()) {
      const bool covered = std::any_of(torvex::kControlKeys.begin(), torvex::kControlKeys.end(),
                                       [&](const torvex::ControlKey& c) { return c.key == info.key; });
      QVERIFY2(covered, info.name);
    }
    for (const torvex::ControlKey& c : torvex::kControlKeys) {
      const QString name = QString::fromLatin1(c.control);
      if (name.startsWith("Button") || name == "Edit13" || name == "Edit14" || name == "Edit27") continue;
      QVERIFY2(!controlText(*window_, name).startsWith("no control"), c.control);
    }
  }

  void theAboutBox() {
    torvex::TAboutBox about(window_.get());
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.findChild<QLabel*>("Version")->text(), QStringLiteral("Version 3.4"));
    auto* ok = about.findChild<QPushButton*>("OKButton");
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    QTimer::singleShot(0, ok, [ok] { ok->click(); });
    QCOMPARE(about.exec(), int(QDialog::Accepted));
  }
};

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
