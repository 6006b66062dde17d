// The heat-treatment dialog and its side file, driven as a user would on the
// offscreen platform: the controls give the settings the batch options give,
// refusals are shown in the dialog in the options' own words, the side file
// brings the settings back with the data, a damaged side file is reported and
// kept, and a desktop run records its heat treatment and life exactly as
// torvex-batch does with the same options.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QtTest>

#include "study/treatment_file.h"
#include "ui/main_window.h"
#include "ui/treatment_dialog.h"
#include "ui_support.h"

using torvex::LifeCase;
using torvex::TForm2;
using torvex::TreatmentDialog;
using torvex::TreatmentSettings;

namespace {

// Three components, selective oxidation (D21 = 2), the conservative scheme.
constexpr LifeCase kOxidationCase{3, 2, 3};

QByteArray bytesOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeText(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
}

// The run.json of a results folder.
QJsonObject runReport(const QString& folder) {
  return QJsonDocument::fromJson(bytesOf(folder + QStringLiteral("/run.json"))).object();
}

// The status row shows the heat treatment whole, or cut short with an
// ellipsis, never in the middle of a number ("cycles 5" of 500).
bool cutOnlyWithAnEllipsis(const TForm2& w) {
  const QString shown = w.TreatmentLabel->text();
  return shown == w.treatmentLine() ||
         (shown.endsWith(QChar(0x2026)) && w.treatmentLine().startsWith(shown.chopped(1)));
}

// Fills every part of the dialog as a user does.
void fillEveryPart(TreatmentDialog& d, const QString& schedule) {
  d.ScheduleEdit->setText(schedule);
  d.CyclesBox->setChecked(true);
  d.CycleCountEdit->setText(QStringLiteral("5"));
  d.HotSecondsEdit->setText(QStringLiteral("3600"));
  d.HotKelvinEdit->setText(QStringLiteral("1373"));
  d.ColdSecondsEdit->setText(QStringLiteral("600"));
  d.ColdKelvinEdit->setText(QStringLiteral("300"));
  d.HeatingSecondsEdit->setText(QStringLiteral("300"));
  d.CoolingSecondsEdit->setText(QStringLiteral("900"));
  d.SpallBox->setChecked(true);
  d.SpallFractionEdit->setText(QStringLiteral("0.01"));
  d.OxideBox->setChecked(true);
  d.OxygenPerMetalEdit->setText(QStringLiteral("1.5"));  // M_OX left empty: oxygen
  d.RecedingCheck->setChecked(true);
  d.CriticalBox->setChecked(true);
  d.CriticalWhereChoice->setCurrentIndex(1);  // lowest in the sample
  d.CriticalValueEdit->setText(QStringLiteral("0.04"));
  emit d.CriticalValueEdit->textEdited(d.CriticalValueEdit->text());
}

}  // namespace

class TreatmentDialogTest : public torvex::test::WindowTest {
  Q_OBJECT

 private slots:
  void init() { openWindow(); }
  void cleanup() { closeWindow(); }

  // Every part of the dialog, its text as the option takes it; the side file
  // brings back the same settings, and a dialog opened on them shows the
  // same controls.
  void dialogSettingsGoToTheSideFileAndComeBack() {
    writeText(QStringLiteral("pre.csv"), "time_s,T_K\n0,900\n3600,1373\n");
    const QString schedule = QDir::current().absoluteFilePath(QStringLiteral("pre.csv"));
    TreatmentDialog d(TreatmentSettings{}, kOxidationCase);
    fillEveryPart(d, schedule);
    QCOMPARE(d.CyclesTextLabel->text(), QStringLiteral("As torvex-batch --cycles: 5:3600@1373,600@300,ramp=300/900"));
    QCOMPARE(d.CriticalTextEdit->text(), QStringLiteral("min(N1)<0.04"));
    d.accept();
    QVERIFY2(d.MessageLabel->text().isEmpty(), qPrintable(d.MessageLabel->text()));
    QCOMPARE(d.result(), int(QDialog::Accepted));
    const TreatmentSettings s = d.settings();
    QCOMPARE(s.schedule, schedule.toStdString());
    QCOMPARE(s.cycles, std::string("5:3600@1373,600@300,ramp=300/900"));
    QCOMPARE(s.spall, std::string("0.01,0"));
    QCOMPARE(s.oxide, std::string("1.5,15.999"));
    QCOMPARE(s.critical, std::string("min(N1)<0.04"));
    QVERIFY(s.receding);

    TForm2& w = *window_;
    torvex::test::enterShortCase(w);
    w.Treatment = s;
    QVERIFY(w.WriteDataFile(QStringLiteral("coat.dat")));
    QVERIFY(w.WriteTreatmentFile(QStringLiteral("coat.dat")));
    QVERIFY(bytesOf(QStringLiteral("coat.treatment.toml")).contains("schedule = \"pre.csv\"\n"));
    QVERIFY2(!bytesOf(QStringLiteral("coat.dat")).contains("1373"), "the data file holds no heat treatment");
    w.Treatment = TreatmentSettings{};
    QVERIFY(w.ReadDataFileIntoForms(QStringLiteral("coat.dat")));
    QVERIFY(w.ReadTreatmentFile(QStringLiteral("coat.dat")));
    QVERIFY(w.Treatment == s);
    QVERIFY(messages_.isEmpty());
    QCOMPARE(w.treatmentLine(),
             QStringLiteral("Heat treatment: schedule pre.csv, cycles 5:3600@1373,600@300,ramp=300/900, spallation "
                            "0.01,0, oxide 1.5,15.999, receding surface, ends at min(N1)<0.04"));
    QVERIFY2(cutOnlyWithAnEllipsis(w), qPrintable(w.TreatmentLabel->text()));

    TreatmentDialog again(w.Treatment, kOxidationCase);
    QCOMPARE(again.HeatingSecondsEdit->text(), QStringLiteral("300"));
    QCOMPARE(again.CriticalWhereChoice->currentIndex(), 1);
    QVERIFY(again.settingsOfControls() == s);

    // No heat treatment: the side file goes, and the data reopens without one.
    w.Treatment = TreatmentSettings{};
    QVERIFY(w.WriteTreatmentFile(QStringLiteral("coat.dat")));
    QVERIFY(!QFile::exists(QStringLiteral("coat.treatment.toml")));
    w.Treatment.cycles = "1:1@1000,1@300";
    QVERIFY(w.ReadTreatmentFile(QStringLiteral("coat.dat")));
    QVERIFY(w.Treatment.empty());
    QCOMPARE(w.treatmentLine(), QStringLiteral("Heat treatment: none: the temperature of D8"));
    QVERIFY2(cutOnlyWithAnEllipsis(w), qPrintable(w.TreatmentLabel->text()));
  }

  // What the batch options refuse, the dialog refuses in the same words and
  // stays open; the text form of the critical content sets its fields.
  void refusalsAreShownInTheDialog() {
    const auto refusal = [](const LifeCase& lifeCase, const std::function<void(TreatmentDialog&)>& fill) {
      TreatmentDialog d(TreatmentSettings{}, lifeCase);
      fillEveryPart(d, QString());
      fill(d);
      d.accept();
      return d.result() == QDialog::Accepted ? QStringLiteral("accepted") : d.MessageLabel->text();
    };
    const auto startsWith = [](const QString& message, const char* start) {
      return message.startsWith(QString::fromUtf8(start)) ? QString() : message;
    };
    QCOMPARE(startsWith(refusal(kOxidationCase, [](TreatmentDialog& d) { d.CycleCountEdit->setText("0"); }),
                        "Thermal cycles: '0:3600@1373,600@300,ramp=300/900': "),
             QString());
    QCOMPARE(startsWith(refusal(kOxidationCase, [](TreatmentDialog& d) { d.HotSecondsEdit->clear(); }),
                        "Thermal cycles: '5:@1373,600@300,ramp=300/900': "),
             QString());
    QCOMPARE(startsWith(refusal(kOxidationCase, [](TreatmentDialog& d) { d.SpallFractionEdit->setText("-1"); }),
                        "Spallation: '-1': the spalled fraction Q0 cannot be below 0"),
             QString());
    QCOMPARE(startsWith(refusal(kOxidationCase, [](TreatmentDialog& d) { d.OxygenPerMetalEdit->setText("0"); }),
                        "Oxide: '0': the oxygen atoms per atom of component 1 (NU) must be above 0"),
             QString());
    QCOMPARE(refusal(kOxidationCase, [](TreatmentDialog& d) { d.CyclesBox->setChecked(false); }),
             QStringLiteral("--spall: the scale spalls when a cycle cools down; give the cycles (--cycles) too"));
    QCOMPARE(startsWith(refusal(LifeCase{3, 2, 0}, [](TreatmentDialog&) {}),
                        "--receding: works with the conservative scheme only (D16 = 3, the case has D16 = 0)"),
             QString());
    QCOMPARE(startsWith(refusal(LifeCase{3, 0, 3}, [](TreatmentDialog& d) { d.SpallBox->setChecked(false); }),
                        "--oxide: the case grows no scale"),
             QString());
    QCOMPARE(startsWith(refusal(kOxidationCase,
                                [](TreatmentDialog& d) {
                                  d.CriticalTextEdit->setText("N4<0.04");
                                  emit d.CriticalTextEdit->textEdited(d.CriticalTextEdit->text());
                                }),
                        "--critical: 'N4<0.04': the case has 3 components"),
             QString());
    QVERIFY(refusal(kOxidationCase, [](TreatmentDialog& d) {
              d.ScheduleEdit->setText("gone.csv");
            }).contains(QStringLiteral("gone.csv")));

    TreatmentDialog d(TreatmentSettings{}, kOxidationCase);
    d.CriticalTextEdit->setText(QStringLiteral("max(N2)>0.5"));
    emit d.CriticalTextEdit->textEdited(d.CriticalTextEdit->text());
    QCOMPARE(d.CriticalComponentChoice->currentIndex(), 1);
    QCOMPARE(d.CriticalWhereChoice->currentIndex(), 2);
    QCOMPARE(d.CriticalSideChoice->currentIndex(), 1);
    QCOMPARE(d.CriticalValueEdit->text(), QStringLiteral("0.5"));
  }

  // A side file that cannot be read: the message names the file, the line
  // and the text; the data opens without a heat treatment; the file is not
  // lost when the treatment is next written, but kept beside it.
  void aDamagedSideFileIsReportedAndKept() {
    TForm2& w = *window_;
    torvex::test::enterShortCase(w);
    QVERIFY(w.WriteDataFile(QStringLiteral("coat.dat")));
    const QByteArray damaged = "cycles = \"10:3600@1373,600@300\"\nspall = 0.005,1\n";
    writeText(QStringLiteral("coat.treatment.toml"), damaged);
    w.Treatment.cycles = "1:1@1000,1@300";
    QVERIFY(w.ReadDataFileIntoForms(QStringLiteral("coat.dat")));
    QVERIFY(!w.ReadTreatmentFile(QStringLiteral("coat.dat")));
    QVERIFY(w.Treatment.empty());
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_.front().startsWith(QStringLiteral("Heat treatment: coat.treatment.toml, line 2: 'spall = "
                                                         "0.005,1': ")),
             qPrintable(messages_.front()));
    QCOMPARE(bytesOf(QStringLiteral("coat.treatment.toml")), damaged);
    messages_.clear();

    // Not even "no heat treatment" replaces it unseen.
    QVERIFY(w.WriteTreatmentFile(QStringLiteral("coat.dat")));
    QCOMPARE(bytesOf(QStringLiteral("coat.treatment.toml.unread")), damaged);
    QCOMPARE(messages_.size(), 1);
    QVERIFY(messages_.front().contains(QStringLiteral("coat.treatment.toml.unread")));
    // A second damaged file does not replace the first one kept.
    writeText(QStringLiteral("coat.treatment.toml"), "receding = 1\n");
    w.Treatment.cycles = "1:1@1000,1@300";
    QVERIFY(w.WriteTreatmentFile(QStringLiteral("coat.dat")));
    QCOMPARE(bytesOf(QStringLiteral("coat.treatment.toml.unread")), damaged);
    QCOMPARE(bytesOf(QStringLiteral("coat.treatment.toml.unread2")), QByteArray("receding = 1\n"));
    QVERIFY(w.ReadTreatmentFile(QStringLiteral("coat.dat")));
    QCOMPARE(w.Treatment.cycles, std::string("1:1@1000,1@300"));
  }

  // The Calculation menu opens the dialog; OK writes the side file beside
  // the working data file; the menu is locked while a run is in hand.
  void theMenuOpensTheDialogAndIsLockedDuringARun() {
    TForm2& w = *window_;
    torvex::test::enterShortCase(w, "1000");
    QTimer::singleShot(0, [] {
      auto* d = qobject_cast<TreatmentDialog*>(QApplication::activeModalWidget());
      QVERIFY(d != nullptr);
      d->CyclesBox->setChecked(true);
      d->CycleCountEdit->setText("3");
      d->HotSecondsEdit->setText("100");
      d->HotKelvinEdit->setText("1373");
      d->ColdSecondsEdit->setText("50");
      d->ColdKelvinEdit->setText("1273");
      d->accept();
    });
    w.Heattreatment1->trigger();
    QCOMPARE(w.Treatment.cycles, std::string("3:100@1373,50@1273"));
    QCOMPARE(w.treatmentLine(), QStringLiteral("Heat treatment: cycles 3:100@1373,50@1273"));
    QVERIFY(bytesOf(QStringLiteral("datafil.treatment.toml")).contains("cycles = \"3:100@1373,50@1273\"\n"));

    QTest::mouseClick(w.START, Qt::LeftButton);
    QVERIFY(w.RunThread != nullptr);
    QVERIFY(!w.Heattreatment1->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(w.RunThread == nullptr, 60000);
    QVERIFY(w.Heattreatment1->isEnabled());
    QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join('\n')));
    const QJsonObject cycles = runReport(QStringLiteral("results"))["heat_treatment"].toObject()["cycles"].toObject();
    QCOMPARE(cycles["text"].toString(), QStringLiteral("3:100@1373,50@1273"));
  }

  // The oxidation sample cycled with spallation to its critical content,
  // once from the desktop and once by torvex-batch with the same options on
  // the same data file: run.json's heat treatment and life are the same.
  void aDesktopRunRecordsWhatTheSameBatchRunRecords() {
    TForm2& w = *window_;
    w.Generatesampleinputfiles1->trigger();
    messages_.clear();
    QVERIFY(w.ReadDataFileIntoForms(QStringLiteral("oxidation.dat")));
    w.Edit3->setText(QStringLiteral("1000"));
    w.Edit4->setText(QStringLiteral("20"));
    w.Edit22C->setEditText(QStringLiteral("0"));
    writeText(QStringLiteral("pre.csv"), "time_s,T_K\n0,1000\n100,1123\n");
    w.Treatment.schedule = QDir::current().absoluteFilePath(QStringLiteral("pre.csv")).toStdString();
    w.Treatment.cycles = "2:300@1123,200@1123";
    w.Treatment.spall = "0.2,0";
    w.Treatment.oxide = "1.5,15.999";
    w.Treatment.critical = "N1<0.15";
    QTest::mouseClick(w.START, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.RunThread == nullptr, 120000);
    QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join('\n')));
    const QJsonObject desktop = runReport(QStringLiteral("results"));
    QCOMPARE(desktop["outcome"].toObject()["end"].toString(), QStringLiteral("critical_content"));

    QProcess batch;
    batch.start(QStringLiteral(TORVEX_BATCH_PATH),
                {QStringLiteral("--quiet"), QStringLiteral("--results"), QStringLiteral("batch"),
                 QStringLiteral("--schedule"), QString::fromStdString(w.Treatment.schedule), QStringLiteral("--cycles"),
                 QStringLiteral("2:300@1123,200@1123"), QStringLiteral("--spall"), QStringLiteral("0.2"),
                 QStringLiteral("--oxide"), QStringLiteral("1.5"), QStringLiteral("--critical"),
                 QStringLiteral("N1<0.15"), QStringLiteral("datafil.dat")});
    QVERIFY(batch.waitForFinished(120000));
    QCOMPARE(batch.exitCode(), 0);
    const QJsonObject batched = runReport(QStringLiteral("batch"));
    QVERIFY(!desktop["heat_treatment"].toObject().isEmpty());
    QVERIFY(!desktop["life"].toObject().isEmpty());
    QCOMPARE(desktop["heat_treatment"], batched["heat_treatment"]);
    QCOMPARE(desktop["life"], batched["life"]);
    QCOMPARE(desktop["outcome"].toObject()["final_time_s"], batched["outcome"].toObject()["final_time_s"]);
  }
};

QTEST_MAIN(TreatmentDialogTest)
#include "treatment_dialog_test.moc"
