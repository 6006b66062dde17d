// Fuzz target: loading an input data file and the side files it names, then
// one pass of the run on what was loaded.
//
// The input holds up to four files separated by NUL bytes: the data file,
// then the diffusivity file d.dfv, the activities file a.act and the
// boundary flux file f.flx (the names the corpus's data files use). A piece
// that is absent leaves its file missing. Whatever the bytes, the load must
// either succeed or refuse the case with an InputError or FatalModelError,
// and a loaded case small enough to be quick must survive a pass and the
// building of the results files.

#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "model/errors.h"
#include "model/tform1.h"
#include "run/integrator.h"
#include "run/results_files.h"
#include "run/run_records.h"
#include "solver/evaluate_derivative.h"

namespace {

using namespace torvex;

constexpr const char* kFiles[] = {"case.dat", "d.dfv", "a.act", "f.flx"};

// Keeps memory and time per input small: a case of 8 MiB of arrays loads,
// larger ones are refused like the 2 GiB ones of the program.
constexpr double kArrayByteLimit = 8.0 * 1024 * 1024;
// A pass evaluates up to r * r formulas at every point six times.
constexpr int kLargestPassWork = 600;

// The run's hand-overs without the results files on disk: at the end the
// lists are built, which walks the data file for the continuation file.
class PassHost : public RunHost {
 public:
  explicit PassHost(TForm1& model) : m_(model) {}
  void InitRecords() override { torvex::InitRecords(m_); }
  void EvaluateDerivative() override { torvex::EvaluateDerivative(m_); }
  void Refresh() override {
    AdvanceKirkendallPlane(m_);
    if (m_.boundaryFluxMode >= 1) AppendBoundaryFluxLine(m_);
    if (m_.boundaryFluxMode == 2) AppendFluxComparisonLine(m_);
    accepted_ = true;
  }
  void EndOfRun() override {
    m_.stopRequested = 1;
    BuildResultsLists(m_);
  }
  // One accepted pass, or three rejected ones.
  void afterPass(int) override {
    if (accepted_ || m_.stepCount >= 3) m_.stopRequested = 1;
  }

 private:
  TForm1& m_;
  bool accepted_ = false;
};

void runOnePass(TForm1& model) {
  const long long work = static_cast<long long>(model.componentCount) * model.componentCount * model.pointCount;
  if (work > kLargestPassWork) return;
  PassHost host(model);
  RunSummary summary;
  try {
    summary = Execute(model, host);
  } catch (const InputError&) {
    return;  // settings no run starts with
  }
  if (summary.failure) std::rethrow_exception(summary.failure);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pieces = fuzz::splitInput(data, size, 4);
  fuzz::WorkingDirectoryScope scope(fuzz::scratchDirectory());
  for (std::size_t k = 0; k < 4; ++k) {
    if (k < pieces.size())
      fuzz::writeFile(kFiles[k], pieces[k]);
    else
      std::filesystem::remove(kFiles[k]);
  }

  TForm1 model;
  model.arrayByteLimit = kArrayByteLimit;
  try {
    model.load(kFiles[0]);
  } catch (const InputError&) {
    if (model.isLoaded() || model.componentCount != 0 || !model.concentration.empty()) __builtin_trap();
    return 0;
  } catch (const FatalModelError&) {
    if (model.isLoaded() || model.componentCount != 0) __builtin_trap();
    return 0;
  }
  if (model.concentration.rows() != model.componentCount || model.concentration.columns() != model.pointCount)
    __builtin_trap();
  try {
    runOnePass(model);
  } catch (const FatalModelError&) {
    // A built-in alloy model with the wrong number of components.
  }
  return 0;
}
