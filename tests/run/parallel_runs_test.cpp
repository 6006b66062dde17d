// Two different cases run at the same time in two threads of one process
// leave exactly the results files they leave when run one after the other:
// nothing in the core is shared between models. Built on its own so the
// ThreadSanitizer stage can run it.

#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "model/data_file_keys.h"
#include "model/sample_files.h"
#include "model/text_list.h"
#include "model/tform1.h"
#include "run/refresh.h"
#include "support/case_file.h"
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
  TForm1 model;
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
  TextList oxidation;
  oxidation.loadFromFile("oxidation.dat");
  std::vector<std::string> lines = oxidation.lines();
  lines[*valueLineIndex(lines, DataKey::D1)] = "   0   20";
  lines[*valueLineIndex(lines, DataKey::D17)] = "   50   50";
  lines[*valueLineIndex(lines, DataKey::D18)] = "   0";
  test::writeLines("oxidation-short.dat", lines);

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

}  // namespace
}  // namespace torvex
