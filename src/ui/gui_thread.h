#pragma once
// The worker thread of a run in the desktop program. It runs the
// toolkit-free time loop and hands every operation that touches the physics,
// the records, the files or the window over to the GUI thread, waiting until
// the GUI thread has done it. Between hand-overs it does the integrator's own
// arithmetic on the model arrays.
//
// Rules that keep the two threads apart (the simulation has no lock):
// - While the worker waits in a hand-over, or is held by a pause at the start
//   of a pass, the GUI thread may use the model; at any other time the GUI
//   thread reads only the stop flag and its own copies of what it draws.
// - Whenever the GUI thread must wait for the worker to end (a new START, the
//   window closing, a fatal error), it keeps serving the worker's hand-overs
//   itself (finish()), or abandons them, so the two never wait for each other.

#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "run/refresh.h"

namespace torvex {

// What the run shows in the window. Called on the GUI thread only, while the
// worker waits.
class RunWindow {
 public:
  virtual ~RunWindow() = default;
  // Labels of the clock, the step and the Kirkendall plane.
  virtual void showRunValues() = 0;
  // Copies what the graphs draw from the model (the worker is waiting) and,
  // when draw is set, draws the graphs from that copy.
  virtual void takeGraphSnapshot(bool draw) = 0;
  // The worker's end of the run: its results are written; the window forgets
  // the run when it is still the active one and returns to idle.
  virtual void runEnded(class TGUIThread* worker) = 0;
  // A run failed with an error that is not fatal (a results file that cannot
  // be written, say). Called after the run has ended.
  virtual void runFailed(const QString& message) = 0;
  // A fatal model error: the program must end with status 1.
  virtual void fatalModelError(const QString& message) = 0;
};

class TGUIThread : public QThread, private RunHost, private RunView {
  Q_OBJECT

 public:
  // Starts the run at once, on the given model, reporting to window.
  TGUIThread(Simulation& model, RunWindow& window);
  // Requests a stop, releases a pause and waits for the thread, serving its
  // hand-overs meanwhile.
  ~TGUIThread() override;

  // GUI thread. Pause takes hold of the worker at the start of its next pass,
  // where the model holds a whole pass; Continue lets it go on from there.
  void Suspend();
  void Resume();
  [[nodiscard]] bool isPaused() const;
  // True while the worker is held by a pause: it then touches nothing until
  // Resume, so the GUI thread may read the model.
  [[nodiscard]] bool isHeld() const;
  // True while the worker is between two passes: held by a pause, or in the
  // pacing delay after a pass.
  [[nodiscard]] bool isBetweenPasses() const;
  // GUI thread. When the worker is between two passes, keeps it there while
  // action runs (action may read the model, which holds a whole pass) and
  // returns true; otherwise returns false without running action.
  bool whileBetweenPasses(const std::function<void()>& action);

  // GUI thread. Asks the run to end after the pass in hand (the model's
  // stopRequested and the thread's own flag, so that the worker's clearing
  // of stopRequested at its start cannot lose a stop issued before it). A
  // paused worker is released so that it can end.
  void requestStop();

  // GUI thread. Waits until the worker has ended, running the hand-overs it
  // asks for meanwhile (its EndOfRun included, so the results are written).
  void finish();

  // GUI thread: runs the hand-over the worker waits for, if any.
  Q_INVOKABLE void serveHandOver();
  // GUI thread: shows the error that ended the run, or where the non-finite
  // value stood that stopped it, if any.
  Q_INVOKABLE void reportFailure();

 protected:
  void run() override;

 private:
  // RunHost, on the worker thread.
  void InitRecords() override;
  void EvaluateDerivative() override;
  void Refresh() override;
  void EndOfRun(const RunSummary& summary) override;
  void pausePoint() override;
  void afterPass(int delayMilliseconds) override;
  // RunView, on the GUI thread inside Refresh.
  void showRunValues() override;
  void drawGraphs() override;

  // Waits up to limit for flag by spinning (on one core only a look).
  static bool spinUntil(const std::atomic<bool>& flag, std::chrono::microseconds limit);

  // Worker thread: runs operation on the GUI thread and waits for it.
  // Rethrows what the operation threw; throws RunAbandoned once abandoned.
  void Synchronize(const std::function<void()>& operation);

  Simulation& model_;
  RunWindow& window_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void()>* pending_ = nullptr;  // the hand-over waiting to run
  bool handOverDone_ = false;
  bool running_ = false;  // the GUI thread is running the hand-over
  std::exception_ptr handOverError_;
  bool pauseRequested_ = false;
  bool held_ = false;
  bool pacing_ = false;  // the worker sleeps the pacing delay after a pass
  bool stopAsked_ = false;
  bool abandoned_ = false;
  bool ended_ = false;
  bool guiServing_ = false;  // the GUI thread is in serveHandOver and will see a new hand-over
  // Lock-free hints for the short spins of both threads; the state itself
  // is the one behind mutex_.
  std::atomic<bool> pendingHint_{false};
  std::atomic<bool> doneHint_{false};

  // How long each thread spins before it blocks, and how long the GUI thread
  // keeps serving before it returns to its events.
  static constexpr std::chrono::microseconds kWorkerSpin{500};
  static constexpr std::chrono::microseconds kGuiSpin{200};
  static constexpr std::chrono::microseconds kServeBudget{20000};
  static inline const bool kMayWait = std::thread::hardware_concurrency() > 1;
  QString failureMessage_;  // the error that ended the run, until reported
};

}  // namespace torvex
