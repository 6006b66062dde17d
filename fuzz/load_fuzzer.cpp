// Fuzz target: loading an input data file and the side files it names, then
// one pass of the run on what was loaded.
//
// The input holds up to four files separated by NUL bytes: the data file,
// then the diffusivity file d.dfv, the activities file a.act and the
// boundary flux file f.flx (the names the corpus's data files use), loaded
// from memory. A piece that is absent leaves its file missing. Whatever the bytes, the load must
// either succeed or refuse the case with an InputError or FatalModelError,
// and a loaded case small enough to be quick must survive a pass and the
// building of the results files.

#include <string>

#include "fuzz_support.h"
#include "model/errors.h"
#include "results/results_files.h"
#include "run/integrator.h"
#include "run/run_records.h"
#include "run/simulation.h"
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
  explicit PassHost(Simulation& model) : m_(model) {}
  void InitRecords() override { torvex::InitRecords(m_.input, m_.state, m_.records); }
  void EvaluateDerivative() override { torvex::EvaluateDerivative(m_.input, m_.state); }
  void Refresh() override {
    AdvanceKirkendallPlane(m_.input, m_.state, m_.records);
    if (m_.input.boundaryFlux != BoundaryFlux::None) AppendBoundaryFluxLine(m_.input, m_.state, m_.records);
    if (m_.input.boundaryFlux == BoundaryFlux::SelectiveOxidation)
      AppendFluxComparisonLine(m_.input, m_.state, m_.records);
    accepted_ = true;
  }
  void EndOfRun(const RunSummary&) override {
    m_.state.stopRequested = 1;
    buildProfileFiles(m_.input, profileStateOf(m_.state));
  }
  // One accepted pass, or three rejected ones.
  void afterPass(int) override {
    if (accepted_ || m_.state.stepCount >= 3) m_.state.stopRequested = 1;
  }

 private:
  Simulation& m_;
  bool accepted_ = false;
};

void runOnePass(Simulation& model) {
  const long long work =
      static_cast<long long>(model.input.componentCount) * model.input.componentCount * model.input.pointCount;
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
  // The files are held in memory under their names, as a rendered case is;
  // a name they do not hold is looked for in an empty scratch folder.
  fuzz::WorkingDirectoryScope scope(fuzz::scratchDirectory());
  CaseFiles files;
  for (std::size_t k = 0; k < pieces.size(); ++k) files.add(kFiles[k], std::string(pieces[k]));

  Simulation model;
  try {
    model.load(kFiles[0], {.sideFileDirectory = "", .arrayByteLimit = kArrayByteLimit, .files = &files});
  } catch (const InputError&) {
    if (model.input.loaded() || model.input.componentCount != 0 || !model.state.concentration.empty()) __builtin_trap();
    return 0;
  } catch (const FatalModelError&) {
    if (model.input.loaded() || model.input.componentCount != 0) __builtin_trap();
    return 0;
  }
  if (model.state.concentration.rows() != model.input.componentCount ||
      model.state.concentration.columns() != model.input.pointCount)
    __builtin_trap();
  try {
    runOnePass(model);
  } catch (const FatalModelError&) {
    // A built-in alloy model with the wrong number of components.
  }
  return 0;
}
