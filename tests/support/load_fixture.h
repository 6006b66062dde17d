#pragma once
// A scratch working directory holding the sample files, and a simulation to
// load cases into.

#include <gtest/gtest.h>

#include "model/sample_files.h"
#include "run/refresh.h"
#include "run/simulation.h"
#include "support/case_file.h"
#include "support/sample_variant.h"
#include "support/test_files.h"

namespace torvex::test {

class LoadFixture : public ::testing::Test {
 protected:
  LoadFixture() : cwd_(dir_.path()) { WriteSampleFiles(); }

  static RunSummary run(Simulation& m) { return runToEnd(m); }

  void loadCase(const CaseFile& file, const std::string& name = "case.dat") {
    file.write(name);
    model_.load(name);
  }

  ScratchDirectory dir_;
  ScopedWorkingDirectory cwd_;
  Simulation model_;
};

}  // namespace torvex::test
