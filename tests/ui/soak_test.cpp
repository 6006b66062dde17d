// A long random session on a small case: START, Pause, Continue, STOP, page
// changes, resizes and closing and reopening the forms, in random order and
// at random moments, a thousand times. Run under AddressSanitizer with leak
// detection it shows that no sequence of commands crashes, leaks or leaves a
// worker running. TORVEX_SOAK_ACTIONS and TORVEX_SOAK_SEED change the length
// and the sequence.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <memory>
#include <random>

#include "run/simulation.h"
#include "ui/main_window.h"
#include "ui_support.h"

using torvex::DesktopModel;
using torvex::TForm2;

namespace {

int environmentNumber(const char* name, int fallback) {
  bool ok = false;
  const int value = qEnvironmentVariableIntValue(name, &ok);
  return ok ? value : fallback;
}

// The short case, ending at 0.2 s in about 50 passes (the time step doubles
// every 5) and saved every 25, so that some runs end by themselves and most
// are interrupted.
void enterSmallCase(TForm2& w) {
  torvex::test::enterShortCase(w, "0.2");
  w.Edit8->setText("5");
  w.Edit21->setText("25");
}

}  // namespace

class SoakTest : public QObject {
  Q_OBJECT

 private slots:
  void aThousandRandomCommands() {
    QTemporaryDir scratch;
    const QString previousDirectory = QDir::currentPath();
    QDir::setCurrent(scratch.path());
    const int actions = environmentNumber("TORVEX_SOAK_ACTIONS", 1000);
    const auto seed = static_cast<std::uint32_t>(environmentNumber("TORVEX_SOAK_SEED", 20261208));
    std::mt19937 random(seed);
    const auto below = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };

    DesktopModel model;
    QStringList messages;
    std::unique_ptr<TForm2> window;
    const auto open = [&] {
      window = std::make_unique<TForm2>(model);
      window->messageHook = [&messages](const QString& caption, const QString& text) {
        messages << caption + ": " + text;
      };
      window->show();
      // The case comes back through the file the previous window saved.
      if (QFile::exists("case.dat"))
        QVERIFY(window->ReadDataFileIntoForms("case.dat"));
      else
        enterSmallCase(*window);
    };
    open();
    QVERIFY(window->WriteDataFile("case.dat"));

    // What happened, counted from the window's state around each command.
    int started = 0, stopped = 0, ended = 0, pauses = 0, reopenings = 0;
    for (int action = 0; action < actions; ++action) {
      TForm2* w = window.get();
      const bool wasRunning = w->RunThread != nullptr;
      bool stopCommand = false;
      switch (below(10)) {
        case 0:
        case 1:
          stopCommand = wasRunning;
          QTest::mouseClick(w->START, Qt::LeftButton);  // START or STOP
          break;
        case 2: w->Start1->trigger(); break;  // does nothing while running
        case 3:
        case 4:
          w->Pause1->trigger();  // Pause or Continue; nothing when idle
          pauses += wasRunning ? 1 : 0;
          break;
        case 5:
          stopCommand = wasRunning;
          w->Stop1->trigger();
          if (below(2) == 0) QTRY_VERIFY_WITH_TIMEOUT(!w->workerActive(), 20000);  // no stuck worker
          break;
        case 6: w->PageControl1->setCurrentIndex(below(4)); break;
        case 7: w->resize(600 + below(600), 450 + below(450)); break;
        case 8:
          if (below(4) == 0) {
            // Closing stops and joins the worker; a new window reads the case.
            stopCommand = wasRunning;
            window.reset();
            open();
            ++reopenings;
          }
          break;
        default: break;  // the user only waits
      }
      const bool running = window->RunThread != nullptr;
      started += !wasRunning && running ? 1 : 0;
      stopped += stopCommand && !running ? 1 : 0;
      ended += wasRunning && !running && !stopCommand ? 1 : 0;
      QTest::qWait(below(15));
      if (running && window->RunThread == nullptr) ++ended;
    }

    // The session ends: whatever runs is stopped and ends promptly.
    if (window->RunThread != nullptr) {
      window->Stop1Click();
      ++stopped;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!window->workerActive(), 20000);
    window.reset();
    // The last continuation file is a complete case that loads again.
    torvex::Simulation check;
    QVERIFY(QFile::exists("results/continue.dat"));
    check.load("results/continue.dat");
    // Every results file is whole: present, ended by a line end, and the
    // profile files carry the time of their profile.
    for (const char* name : {"at_out.dat", "wt_out.dat", "continue.dat", "Kirk_plane.dat", "boundary_flux.dat",
                             "diffusivities.dat", "fluxes_comparition.dat"}) {
      QFile file(QStringLiteral("results/") + name);
      QVERIFY2(file.open(QIODevice::ReadOnly), name);
      const QByteArray bytes = file.readAll();
      QVERIFY2(bytes.isEmpty() || bytes.endsWith("\r\n"), name);
      if (QByteArray(name) == "at_out.dat" || QByteArray(name) == "wt_out.dat")
        QVERIFY2(bytes.contains("Current time:"), name);
    }
    QVERIFY(QDir("results").entryList({"*.tmp*"}, QDir::Files).isEmpty());
    QDir::setCurrent(previousDirectory);

    qInfo(
        "seed %u: %d commands; %d runs started, %d stopped, %d ended by themselves; "
        "%d pauses or continues; %d reopenings; %d messages",
        seed, actions, started, stopped, ended, pauses, reopenings, static_cast<int>(messages.size()));
    // No error box was provoked, so none may show.
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
    QVERIFY(started > actions / 10);
    // Every run that started was counted once, as stopped or as ended by
    // itself. (How many end by themselves depends on the build's speed: under
    // the sanitizers often none do.)
    QCOMPARE(stopped + ended, started);
    if (actions >= 200) QVERIFY(stopped > 0);
  }
};

QTEST_MAIN(SoakTest)
#include "soak_test.moc"
