// What the desktop program's hand-overs cost. One case is run in this
// process in three ways, in turn, several rounds:
//   direct       the hand-overs as direct calls, as torvex-batch makes them;
//   run thread   the desktop run thread handing every derivative, refresh and
//                end of run to the GUI thread, with a window that shows nothing;
//   desktop      the same with the offscreen main window (labels, graphs);
//   plots        the desktop with its Plots window open, following the run.
// The pacing delay is 0 throughout, so the differences are the hand-overs and
// the window. Interleaving the rounds spreads the machine's own variations
// over all of them; the medians are printed.
//
//   torvex_gui_overhead CASE.dat [END_TIME [ROUNDS]]
//
// Runs in the case's directory (side files resolve there) and writes results
// into results/ below it.

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "model/number_format.h"
#include "run/integrator.h"
#include "run/refresh.h"
#include "run/simulation.h"
#include "ui/main_window.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string path;
  std::optional<double> endTime;
};

void loadCase(torvex::Simulation& model, const Options& options) {
  model.load(options.path);
  model.input.calculationDelay = 0;
  if (options.endTime) model.input.endTime = *options.endTime;
}

double seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A window that shows nothing: the run thread's own cost.
class SilentWindow : public torvex::RunWindow {
 public:
  bool ended = false;
  void showRunValues() override {}
  void takeGraphSnapshot(bool) override {}
  void runEnded(torvex::TGUIThread*) override { ended = true; }
  void runFailed(const QString&) override {}
  void fatalModelError(const QString&) override {}
};

struct Timing {
  double seconds = 0.0;
  int passes = 0;
  [[nodiscard]] double perPass() const { return seconds / passes; }
};

Timing runDirect(const Options& options) {
  torvex::Simulation model;
  loadCase(model, options);
  torvex::DirectRunHost host(model);
  const Clock::time_point start = Clock::now();
  const torvex::RunSummary summary = torvex::Execute(model, host);
  return {seconds(start), summary.acceptedPasses + summary.rejectedPasses};
}

// Runs the case on a desktop run thread reporting to window, serving the
// GUI thread's event loop until the run has ended.
template <class Ended>
Timing runThreaded(torvex::Simulation& model, torvex::RunWindow& window, Ended ended) {
  const Clock::time_point start = Clock::now();
  torvex::TGUIThread worker(model, window);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (ended()) QCoreApplication::quit();
  });
  poll.start(1);
  QCoreApplication::exec();
  worker.finish();
  return {seconds(start), model.state.stepCount};
}

Timing runBare(const Options& options) {
  torvex::Simulation model;
  loadCase(model, options);
  SilentWindow window;
  return runThreaded(model, window, [&] { return window.ended; });
}

Timing runDesktop(const Options& options) {
  torvex::DesktopModel model;
  torvex::TForm2 window(model);
  window.show();
  loadCase(model, options);
  window.takeGraphSnapshot(false);
  // The end of the run sets the stop flag (on this thread, in its last
  // hand-over); a fresh model starts with it clear.
  return runThreaded(model, window, [&] { return model.state.stopRequested != 0; });
}

Timing runDesktopWithPlots(const Options& options) {
  torvex::DesktopModel model;
  torvex::TForm2 window(model);
  window.show();
  window.Plots1Click();  // shown, so it follows the run
  loadCase(model, options);
  window.takeGraphSnapshot(false);
  return runThreaded(model, window, [&] { return model.state.stopRequested != 0; });
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: torvex_gui_overhead CASE.dat [END_TIME [ROUNDS]]\n");
    return 2;
  }
  Options options{argv[1], std::nullopt};
  if (argc > 2) options.endTime = torvex::parseReal(argv[2]);
  const int rounds = argc > 3 ? std::max(1, torvex::integerOr(argv[3], 1)) : 1;

  std::vector<double> direct, bare, desktop, plots;
  int passes = 0;
  for (int round = 0; round < rounds; ++round) {
    const Timing d = runDirect(options);
    const Timing b = runBare(options);
    const Timing w = runDesktop(options);
    const Timing p = runDesktopWithPlots(options);
    direct.push_back(d.perPass());
    bare.push_back(b.perPass());
    desktop.push_back(w.perPass());
    plots.push_back(p.perPass());
    passes = d.passes;
  }
  std::printf("passes per run %d, rounds %d, medians per pass:\n", passes, rounds);
  std::printf("direct hand-overs   %8.1f us\n", 1e6 * median(direct));
  std::printf("run thread          %8.1f us\n", 1e6 * median(bare));
  std::printf("desktop run thread  %8.1f us\n", 1e6 * median(desktop));
  std::printf("desktop with plots  %8.1f us\n", 1e6 * median(plots));
  return 0;
}
