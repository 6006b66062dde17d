#pragma once
// A scratch working directory holding the sample files, and a model to load
// cases into.

#include <gtest/gtest.h>

#include "model/tform1.h"
#include "run/sample_files.h"
#include "support/case_file.h"
#include "support/test_files.h"

namespace torvex::test {

class LoadFixture : public ::testing::Test {
 protected:
  LoadFixture() : cwd_(dir_.path()) { WriteSampleFiles(); }

  void loadCase(const CaseFile& file, const std::string& name = "case.dat") {
    file.write(name);
    model_.load(name);
  }

  ScratchDirectory dir_;
  ScopedWorkingDirectory cwd_;
  TForm1 model_;
};

}  // namespace torvex::test
