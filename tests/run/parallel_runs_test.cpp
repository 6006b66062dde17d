// Two different cases run at the same time in two threads of one process
// leave exactly the results files they leave when run one after the other:
// nothing in the core is shared between models. Built on its own so the
// ThreadSanitizer stage can run it.

#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "model/data_file_keys.h"
#include "model/sample_files.h"
#include "model/text_list.h"
#include "run/integrator.h"
#include "run/refresh.h"
#include "run/run_records.h"
#include "run/simulation.h"
#include "solver/evaluate_derivative.h"
#include "support/case_file.h"
#include "support/sample_variant.h"
#include "support/test_files.h"

namespace torvex {
namespace {

// The files of a results folder, by name; the run report only by its
// presence, since it records when and where the run was made.
std::map<std::string, std::string> filesIn(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    files[name] = name == "run.json" ? std::string("present") : test::readBytes(entry.path().string());
  }
  return files;
}

// Loads and runs one case to its end, results into `results`.
void runCase(const std::string& dataFile, const std::string& results) {
  Simulation model;
  model.resultsDirectory = results;
  model.load(dataFile);
  DirectRunHost host(model);
  const RunSummary summary = Execute(model, host);
  if (summary.failure) std::rethrow_exception(summary.failure);
  ASSERT_EQ(summary.end, RunEnd::Completed) << dataFile;
}

TEST(ParallelRuns, TwoCasesInTwoThreadsMatchTheirSequentialRuns) {
  test::ScratchDirectory dir;
  test::ScopedWorkingDirectory cwd(dir.path());
  WriteSampleFiles();

  // The oxidation sample, cut short.
  test::writeSampleVariant("oxidation.dat", {{DataKey::D1, "0   20"}, {DataKey::D17, "50   50"}, {DataKey::D18, "0"}},
                           "oxidation-short.dat");

  // A ternary couple whose diffusivities are formulas of composition and T.
  test::writeLines("ternary.dfv", {"# 1", "1e-9*(1+N2)*exp(-1000/(8.314*T))", "# 2", "5e-10*(1+N1)", "# 3", "2e-10"});
  test::CaseFile ternary;
  ternary.value("D0") = "3";
  ternary.value("D1") = "0   60";
  ternary.value("D2") = "60";
  ternary.value("D9") = "0 ternary.dfv";
  ternary.value("D10") = "63.546 55.847 58.71";
  ternary.value("D11") = "7.1 7.09 6.59";
  ternary.value("D17") = "40   40";
  ternary.profile = {"0 70 10 0 0 0", "0.002 10 60 0 0 0"};
  ternary.write("ternary.dat");

  runCase("oxidation-short.dat", "sequential-oxidation");
  runCase("ternary.dat", "sequential-ternary");
  std::thread first([] { runCase("oxidation-short.dat", "parallel-oxidation"); });
  std::thread second([] { runCase("ternary.dat", "parallel-ternary"); });
  first.join();
  second.join();

  for (const std::string name : {"oxidation", "ternary"}) {
    const auto sequential = filesIn("sequential-" + name);
    EXPECT_EQ(sequential.size(), 10u) << name;  // the seven, history, series, report
    EXPECT_EQ(filesIn("parallel-" + name), sequential) << name;
  }
}

// The hand-overs of a run that keeps its records in memory and writes
// nothing, on a case it only reads.
class SharedCaseHost : public RunHost {
 public:
  SharedCaseHost(const Case& c, RunState& s) : c_(c), s_(s) {}
  void InitRecords() override { torvex::InitRecords(c_, s_, records_); }
  void EvaluateDerivative() override { torvex::EvaluateDerivative(c_, s_); }
  void Refresh() override {
    AdvanceKirkendallPlane(c_, s_, records_);
    if (c_.boundaryFlux != BoundaryFlux::None) AppendBoundaryFluxLine(c_, s_, records_);
    if (c_.boundaryFlux == BoundaryFlux::SelectiveOxidation) AppendFluxComparisonLine(c_, s_, records_);
  }
  void EndOfRun(const RunSummary&) override { s_.stopRequested = 1; }
  [[nodiscard]] const RunRecords& records() const { return records_; }

 private:
  const Case& c_;
  RunState& s_;
  RunRecords records_;
};

struct Outcome {
  std::vector<double> concentration;
  std::vector<std::string> kirkendall;
  std::vector<std::string> boundary;
};

Outcome runShared(const Case& c) {
  RunState state;
  state.prepare(c);
  SharedCaseHost host(c, state);
  const RunSummary summary = Execute(c, state, host);
  EXPECT_EQ(summary.end, RunEnd::Completed);
  return {{state.concentration.data(), state.concentration.data() + state.concentration.size()},
          host.records().kirkendall.lines(),
          host.records().boundary.lines()};
}

// One case, loaded once, run by two threads at once, each with a state of
// its own: both give the run made alone, bit for bit. Every cache and
// compiled formula belongs to a run, so nothing of a run lives in the case.
TEST(ParallelRuns, OneCaseRunsInTwoThreadsAtOnce) {
  test::ScratchDirectory dir;
  test::ScopedWorkingDirectory cwd(dir.path());
  WriteSampleFiles();
  // Formulas with variables, so that both runs compile and evaluate them.
  test::writeLines("oxid_diff.dfv", {"# 1", "3.1e-12*(1+N1)", "# 2", "3.1e-12*exp(-100/T)"});
  test::writeSampleVariant("oxidation.dat", {{DataKey::D1, "0   20"}}, "oxidation-short.dat");
  const Case shared = loadCase("oxidation-short.dat");
  const Outcome alone = runShared(shared);
  Outcome first, second;
  std::thread a([&] { first = runShared(shared); });
  std::thread b([&] { second = runShared(shared); });
  a.join();
  b.join();
  for (const Outcome* outcome : {&first, &second}) {
    EXPECT_EQ(outcome->concentration, alone.concentration);
    EXPECT_EQ(outcome->kirkendall, alone.kirkendall);
    EXPECT_EQ(outcome->boundary, alone.boundary);
  }
  EXPECT_GT(alone.kirkendall.size(), 10u);
}

}  // namespace
}  // namespace torvex
