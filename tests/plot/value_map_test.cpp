// The map of a sweep's result over two of its parameters: the summary read
// as CSV (quoted fields over several lines), one cell per pair with lives
// not reached and failed cases told apart, the refusals that name the file,
// the line and the text, the table written beside the image, and the
// torvex-plot summary command end to end. Offscreen platform.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <string>

#include "model/errors.h"
#include "plot/map_render.h"
#include "plot/value_map.h"

using namespace torvex;
using namespace torvex::plot;

namespace {

// A summary as a sweep writes it: W across, T up, a life column, a message
// quoted over two lines on a failed case, one case not run yet.
const std::string kSummary =
    "case,W,T,status,exit_status,outcome,life_s,oxide_thickness_cm,wall_time_s,message\n"
    "0000,0.01,1323,completed,0,critical_content,7200000,1e-4,1.5,\n"
    "0001,0.02,1323,completed,0,completed,,1e-4,1.5,\n"
    "0002,0.01,1373,completed,0,critical_content,3600000,1e-4,1.5,\n"
    "0003,0.02,1373,failed,1,,,,0.1,\"bad D23, \"\"W\"\"\nsecond line\"\n"
    "0004,0.03,1423,missing,,,,,,\n"
    "0005,0.03,1373,completed,0,critical_content,1800,1e-4,1.5,\n";

std::string readText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

// The message of the InputError the map of text throws; empty when none.
std::string refusal(const std::string& text, const std::string& columns = "W,T,life_s") {
  try {
    BuildValueMap(ParseSummary(text, "summary.csv"), ParseMapColumns(columns, "--map"));
  } catch (const InputError& error) {
    return error.what();
  }
  return {};
}

}  // namespace

class ValueMapTest : public QObject {
  Q_OBJECT

 private slots:
  // Records keep the line they begin on although a quoted field spans two;
  // "" inside quotes is a quote; CR LF and blank lines are taken.
  void readsTheSummaryAsCsv() {
    const SummaryTable table = ParseSummary(kSummary, "summary.csv");
    QCOMPARE(table.header.size(), std::size_t{10});
    QCOMPARE(table.records.size(), std::size_t{6});
    QCOMPARE(table.records[3].cells[9], std::string("bad D23, \"W\"\nsecond line"));
    QCOMPARE(table.records[4].line, 7);  // after the record of two lines
    const SummaryTable crlf = ParseSummary("a,b\r\n\r\n1,2\r\n", "s.csv");
    QCOMPARE(crlf.records.size(), std::size_t{1});
    QCOMPARE(crlf.records[0].cells[1], std::string("2"));
    QCOMPARE(crlf.records[0].line, 3);
  }

  // One cell per pair: values, a life not reached, a failed case with its
  // status, blanks where the summary holds nothing (a case not run counts
  // as nothing); axes ascending; hours once the lives last hours.
  void placesEveryCaseInItsCell() {
    const ValueMap map = BuildValueMap(ParseSummary(kSummary, "summary.csv"), {"W", "T", "life_s"});
    QCOMPARE(map.xs, (std::vector<double>{0.01, 0.02, 0.03}));
    QCOMPARE(map.ys, (std::vector<double>{1323, 1373}));  // the missing case's 1423 has no row
    QCOMPARE(map.at(0, 0).state, CellState::Value);
    QCOMPARE(map.at(0, 0).value, 7200000.0);
    QCOMPARE(map.at(1, 0).state, CellState::NotReached);
    QCOMPARE(map.at(1, 1).state, CellState::Failed);
    QCOMPARE(map.at(2, 0).state, CellState::Blank);
    QCOMPARE(map.at(2, 1).value, 1800.0);
    QCOMPARE(map.unit, std::string("h"));
    QCOMPARE(map.zTitle, std::string("life [h]"));
    QCOMPARE(CellText(map, map.at(0, 0)), std::string("2000"));
    QCOMPARE(CellText(map, map.at(2, 1)), std::string("0.5"));
    QCOMPARE(CellText(map, map.at(1, 0)), std::string("not reached"));
    QCOMPARE(CellText(map, map.at(1, 1)), std::string("failed"));
    // 0.5 h to 2000 h: a logarithmic colour scale, the shortest darkest.
    QVERIFY(map.logColour);
    QCOMPARE(ColourFraction(map, 0.5), 0.0);
    QCOMPARE(ColourFraction(map, 2000.0), 1.0);
    QVERIFY(std::abs(ColourFraction(map, 1000.0) - std::log10(2000.0) / std::log10(4000.0)) < 1e-12);
    QCOMPARE(MapColour(0.0), 0x440154u);
    QCOMPARE(MapColour(1.0), 0xFDE725u);

    // A column other than a life: an empty value is blank, not "not
    // reached"; seconds stay seconds when short; no summary status needed.
    const ValueMap plain = BuildValueMap(ParseSummary("a,b,z\n1,1,\n2,1,3\n", "t.csv"), {"a", "b", "z"});
    QCOMPARE(plain.at(0, 0).state, CellState::Blank);
    QCOMPARE(plain.at(1, 0).value, 3.0);
    QCOMPARE(plain.zTitle, std::string("z"));
    QVERIFY(!plain.logColour);
  }

  // The table beside the image: rows Y, columns X, the summary's numbers to
  // full precision, words where there is no number, nothing where no case.
  void writesTheTableOfTheMap() {
    const ValueMap map = BuildValueMap(ParseSummary(kSummary, "summary.csv"), {"W", "T", "life_s"});
    QCOMPARE(ValueMapCsv(map), std::string("life_s: T \\ W,0.01,0.02,0.03\n"
                                           "1323,7200000,not reached,\n"
                                           "1373,3600000,failed,1800\n"));
    QCOMPARE(ValueMapStem({"W", "T/2", "life s"}), std::string("map_life_s_W_T_2"));
  }

  // Every refusal names the file, the line and the text, and says what is
  // wrong; a third swept parameter is named with its two values.
  void refusesWhatCannotBeMapped() {
    const std::string header = "case,W,T,D,status,life_s\n";
    const auto has = [](const std::string& message, const std::string& part) {
      if (message.find(part) != std::string::npos) return true;
      qWarning("%s", message.c_str());
      return false;
    };
    QVERIFY(has(refusal(header + "0,0.01,1323,1,completed,5\n", "W,T,life_h"),
                "summary.csv, line 1: no column 'life_h' (the columns are case, W, T, D, status, life_s)"));
    QVERIFY(has(refusal(header + "0,0.01,1323,1,completed,5\n1,thin,1323,1,completed,5\n"),
                "summary.csv, line 3: W = 'thin' is not a number"));
    QVERIFY(has(refusal(header + "0,0.01,1323,1,completed,5\n1,0.02,1323,1,completed,long\n"),
                "summary.csv, line 3: life_s = 'long' is not a number ('1,0.02,1323,1,completed,long')"));
    QVERIFY(has(refusal(header + "0,0.01,1323,1,completed,5\n1,0.02,1323,1,completed,6\n2,0.01,1323.0,2,completed,7\n"),
                "summary.csv, line 4: a second case at W = 0.01, T = 1323.0 (the first is on line 2); the sweep "
                "varies D (1 and 2) as well"));
    QVERIFY(has(refusal("a,b\n1,2,3\n", "a,b,b"), "summary.csv, line 2: 3 fields where the header has 2"));
    QVERIFY(has(refusal("a,b,c\n1,\"2,3\n"), "summary.csv, line 2: a quote is opened and never closed"));
    QVERIFY(has(refusal("a,b,c\n1,\"2\"x,3\n"), "summary.csv, line 2: text follows a closing quote"));
    QVERIFY(has(refusal("\n\n"), "summary.csv: the file is empty"));
    // A file of separators alone would cost a string each: bounded.
    QVERIFY(has(refusal(std::string(kMaxSummaryFields, ',')), "summary.csv: more than 4000000 fields"));
    std::string wide = "x,y,z\n";
    for (std::size_t k = 0; k <= kMaxMapValues; ++k) wide += std::to_string(k) + ",1,2\n";
    QVERIFY(has(refusal(wide, "x,y,z"), "x takes 101 values; a map shows at most 100"));
    for (const char* bad : {"W,T", "W,W,life_s", "W,,life_s", "W,T,life_s,x"}) {
      bool refused = false;
      try {
        ParseMapColumns(bad, "--map");
      } catch (const InputError& error) {
        refused = std::string(error.what()).starts_with("--map: '");
      }
      QVERIFY2(refused, bad);
    }
  }

  // The command: the map as PNG of the asked size, SVG and the table; exit 1
  // with the refusal naming the file when the summary cannot be mapped, and
  // nothing written; exit 2 for wrong usage.
  void theSummaryCommandWritesTheMapAndItsTable() {
    QTemporaryDir dir;
    const QString summary = dir.filePath("study/summary.csv");
    QVERIFY(QDir().mkpath(dir.filePath("study")));
    {
      QFile file(summary);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(kSummary.data(), static_cast<qint64>(kSummary.size()));
    }
    QProcess plot;
    plot.start(TORVEX_PLOT_PATH, {"summary", summary, "--map", "W,T,life_s", "--size", "900x600"});
    QVERIFY(plot.waitForFinished(60000));
    QCOMPARE(plot.exitCode(), 0);
    const QString stem = dir.filePath("study/plots/map_life_s_W_T");
    QCOMPARE(QString::fromUtf8(plot.readAllStandardOutput()), stem + ".png\n" + stem + ".svg\n" + stem + ".csv\n");
    QCOMPARE(QImage(stem + ".png").size(), QSize(900, 600));
    QVERIFY(readText(stem + ".svg").find("not reached") != std::string::npos);
    QCOMPARE(readText(stem + ".csv"),
             ValueMapCsv(BuildValueMap(ReadSummary(summary.toStdString()), {"W", "T", "life_s"})));

    plot.start(TORVEX_PLOT_PATH, {"summary", summary, "--map", "W,T,life_s", "--map", "W,exit_status,life_s", "--out",
                                  dir.filePath("other")});
    QVERIFY(plot.waitForFinished(60000));
    QCOMPARE(plot.exitCode(), 1);
    QVERIFY(QString::fromUtf8(plot.readAllStandardError())
                .contains(summary + ", line 4: a second case at W = 0.01, exit_status = 0 (the first is on line 2); "
                                    "the sweep varies T (1323 and 1373)"));
    QVERIFY(!QFile::exists(dir.filePath("other")));  // every map checked before anything is written

    for (const QStringList& wrong : {QStringList{"summary", summary}, QStringList{"summary", "--map", "W,T,life_s"},
                                     QStringList{"summary", summary, "--map", "W,T"},
                                     QStringList{"summary", summary, "--map", "W,T,life_s", "--format", "gif"}}) {
      plot.start(TORVEX_PLOT_PATH, wrong);
      QVERIFY(plot.waitForFinished(60000));
      QVERIFY2(plot.exitCode() == 2, qPrintable(wrong.join(' ')));
    }
  }
};

QTEST_MAIN(ValueMapTest)
#include "value_map_test.moc"
