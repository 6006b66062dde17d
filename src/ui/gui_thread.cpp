#include "ui/gui_thread.h"

#include <QMetaObject>
#include <chrono>
#include <thread>

#include "model/errors.h"
#include "solver/evaluate_derivative.h"

namespace torvex {
namespace {

// Thrown on the worker by a hand-over once the run has been abandoned; the
// loop then ends without touching the model again.
struct RunAbandoned {};

QString messageOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    return QString::fromStdString(error.what());
  } catch (...) {
    return QStringLiteral("The run ended with an unknown error.");
  }
}

}  // namespace

TGUIThread::TGUIThread(Simulation& model, RunWindow& window) : model_(model), window_(window) {
  start();
}

TGUIThread::~TGUIThread() {
  requestStop();
  finish();
}

void TGUIThread::Suspend() {
  std::lock_guard lock(mutex_);
  if (!stopAsked_) pauseRequested_ = true;
}

void TGUIThread::Resume() {
  {
    std::lock_guard lock(mutex_);
    pauseRequested_ = false;
  }
  changed_.notify_all();
}

bool TGUIThread::isPaused() const {
  std::lock_guard lock(mutex_);
  return pauseRequested_;
}

bool TGUIThread::isHeld() const {
  std::lock_guard lock(mutex_);
  return held_;
}

bool TGUIThread::isBetweenPasses() const {
  std::lock_guard lock(mutex_);
  return held_ || pacing_;
}

bool TGUIThread::whileBetweenPasses(const std::function<void()>& action) {
  // The worker leaves its pause or its pacing delay only through mutex_, so
  // while it is held here it cannot start changing the model.
  std::lock_guard lock(mutex_);
  if (!held_ && !pacing_) return false;
  action();
  return true;
}

void TGUIThread::requestStop() {
  {
    std::lock_guard lock(mutex_);
    stopAsked_ = true;
    pauseRequested_ = false;
  }
  model_.state.stopRequested = 1;
  changed_.notify_all();
}

void TGUIThread::finish() {
  for (;;) {
    serveHandOver();
    std::unique_lock lock(mutex_);
    if (ended_) break;
    changed_.wait(lock, [this] { return ended_ || (pending_ != nullptr && !handOverDone_ && !running_); });
  }
  wait();
}

bool TGUIThread::spinUntil(const std::atomic<bool>& flag, std::chrono::microseconds limit) {
  if (!kMayWait) return flag.load(std::memory_order_acquire);
  const auto end = std::chrono::steady_clock::now() + limit;
  for (unsigned round = 1;; ++round) {
    if (flag.load(std::memory_order_acquire)) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    if (round % 64 == 0) std::this_thread::yield();
  }
}

void TGUIThread::serveHandOver() {
  {
    std::lock_guard lock(mutex_);
    if (guiServing_) return;  // already serving, further up this thread's stack
    guiServing_ = true;
  }
  // Once woken, the GUI thread stays a little while for the next hand-over:
  // the worker asks for the next one within microseconds (the stages of a
  // pass, the next pass), and a round trip through the event loop costs
  // far more than that. It returns to its events after kServeBudget.
  const auto deadline = std::chrono::steady_clock::now() + kServeBudget;
  bool waited = false;
  for (;;) {
    const std::function<void()>* operation = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (pending_ != nullptr && !handOverDone_ && !running_ && !abandoned_) {
        operation = pending_;
        running_ = true;
        pendingHint_.store(false, std::memory_order_relaxed);
      } else if (waited || abandoned_ || ended_ || std::chrono::steady_clock::now() >= deadline) {
        // Decided under the lock: a hand-over asked for after this point
        // sees guiServing_ false and posts its own call.
        guiServing_ = false;
        return;
      }
    }
    if (operation == nullptr) {
      waited = !spinUntil(pendingHint_, kGuiSpin);
      continue;
    }
    waited = false;

    std::exception_ptr error;
    QString fatalMessage;
    bool fatal = false;
    try {
      (*operation)();
    } catch (const FatalModelError& failure) {
      fatal = true;
      fatalMessage = QString::fromStdString(failure.what());
      error = std::current_exception();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      running_ = false;
      handOverDone_ = true;
      handOverError_ = std::move(error);  // the worker holds the only reference
      doneHint_.store(true, std::memory_order_release);
      if (fatal) {
        abandoned_ = stopAsked_ = true;
        guiServing_ = false;
      }
    }
    changed_.notify_all();
    if (fatal) {
      window_.fatalModelError(fatalMessage);
      return;
    }
  }
}

void TGUIThread::Synchronize(const std::function<void()>& operation) {
  std::unique_lock lock(mutex_);
  if (abandoned_) throw RunAbandoned{};
  pending_ = &operation;
  handOverDone_ = false;
  handOverError_ = nullptr;
  doneHint_.store(false, std::memory_order_relaxed);
  pendingHint_.store(true, std::memory_order_release);
  const bool post = !guiServing_;
  lock.unlock();
  changed_.notify_all();  // a GUI thread waiting in finish() serves it
  // Posted by name: the queued call then carries no data of ours from this
  // thread to the GUI thread; everything it needs is behind mutex_.
  if (post) QMetaObject::invokeMethod(this, "serveHandOver", Qt::QueuedConnection);
  spinUntil(doneHint_, kWorkerSpin);
  lock.lock();
  changed_.wait(lock, [this] { return handOverDone_ || (abandoned_ && !running_); });
  pending_ = nullptr;
  if (!handOverDone_) throw RunAbandoned{};
  handOverDone_ = false;
  if (std::exception_ptr error = std::exchange(handOverError_, nullptr)) std::rethrow_exception(error);
}

void TGUIThread::run() {
  std::exception_ptr failure;
  QString message;
  try {
    const RunSummary summary = Execute(model_, *this);
    failure = summary.failure;
    // A run that stopped on a non-finite value is told like a failure: the
    // box says where the value appeared, and the window returns to idle.
    if (!failure && summary.end == RunEnd::NonFinite)
      message = QString::fromStdString(describeNonFinite(summary.nonFinite, model_.state.position));
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) message = messageOf(failure);
  // Notified under the lock: the GUI thread may destroy this object as soon
  // as it has seen ended_, so nothing of it may be used after the unlock.
  std::lock_guard lock(mutex_);
  if ((failure || !message.isEmpty()) && !abandoned_) {
    // Reported on the GUI thread once the run has ended; the message waits
    // behind mutex_. Qt drops the call if the object is destroyed first.
    failureMessage_ = message;
    QMetaObject::invokeMethod(this, "reportFailure", Qt::QueuedConnection);
  }
  ended_ = true;
  changed_.notify_all();
}

void TGUIThread::reportFailure() {
  QString message;
  {
    std::lock_guard lock(mutex_);
    message = std::exchange(failureMessage_, QString());
  }
  if (!message.isEmpty()) window_.runFailed(message);
}

// ---- Hand-overs (worker thread) ----

void TGUIThread::InitRecords() {
  {
    // The loop clears stopRequested as it starts; a stop issued before that
    // must still end the run.
    std::lock_guard lock(mutex_);
    if (stopAsked_) model_.state.stopRequested = 1;
  }
  const std::function<void()> operation = [this] { torvex::BeginRun(model_); };
  Synchronize(operation);
}

void TGUIThread::EvaluateDerivative() {
  const std::function<void()> operation = [this] { torvex::EvaluateDerivative(model_.input, model_.state); };
  Synchronize(operation);
}

void TGUIThread::Refresh() {
  const std::function<void()> operation = [this] {
    torvex::Refresh(model_, *this);
    window_.takeGraphSnapshot(false);
  };
  Synchronize(operation);
}

void TGUIThread::EndOfRun(const RunSummary& summary) {
  const std::function<void()> operation = [this, &summary] {
    try {
      torvex::EndOfRun(model_, summary);
    } catch (...) {
      window_.takeGraphSnapshot(false);
      window_.runEnded(this);
      throw;
    }
    window_.takeGraphSnapshot(false);
    window_.runEnded(this);
  };
  Synchronize(operation);
}

void TGUIThread::pausePoint() {
  std::unique_lock lock(mutex_);
  if (stopAsked_) model_.state.stopRequested = 1;
  while (pauseRequested_ && !stopAsked_ && !abandoned_) {
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock);
  }
  held_ = false;
  if (stopAsked_) model_.state.stopRequested = 1;
}

void TGUIThread::afterPass(int delayMilliseconds) {
  if (delayMilliseconds <= 0) return;
  // A stop does not wait for the pacing delay.
  std::unique_lock lock(mutex_);
  pacing_ = true;
  changed_.wait_for(lock, std::chrono::milliseconds(delayMilliseconds), [this] { return stopAsked_ || abandoned_; });
  pacing_ = false;
}

// ---- Refresh hooks (GUI thread, inside the Refresh hand-over) ----

void TGUIThread::showRunValues() {
  window_.showRunValues();
}

void TGUIThread::drawGraphs() {
  window_.takeGraphSnapshot(true);
}

}  // namespace torvex
