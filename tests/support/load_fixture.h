#pragma once
// A scratch working directory holding the sample files, and a model to load
// cases into.

#include <gtest/gtest.h>

#include "model/sample_files.h"
#include "model/tform1.h"
#include "run/refresh.h"
#include "support/case_file.h"
#include "support/test_files.h"

namespace torvex::test {

// Runs the loaded model to its end with direct hand-overs (the results files
// are written as in torvex-batch); rethrows the error that ended the run.
inline RunSummary runCase(TForm1& m) {
  DirectRunHost host(m);
  const RunSummary summary = Execute(m, host);
  if (summary.failure) std::rethrow_exception(summary.failure);
  return summary;
}

class LoadFixture : public ::testing::Test {
 protected:
  LoadFixture() : cwd_(dir_.path()) { WriteSampleFiles(); }

  static RunSummary run(TForm1& m) { return runCase(m); }

  void loadCase(const CaseFile& file, const std::string& name = "case.dat") {
    file.write(name);
    model_.load(name);
  }

  ScratchDirectory dir_;
  ScopedWorkingDirectory cwd_;
  TForm1 model_;
};

}  // namespace torvex::test
