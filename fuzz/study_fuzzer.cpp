// Fuzz target: reading a study file and rendering its cases.
//
// The input holds up to three pieces separated by NUL bytes: the study file
// study.toml, the table of cases cases.csv and the data file case.dat.
// Whatever the bytes, the study is read or refused with an InputError; a
// study that is read has at least one case, every case has a value for every
// parameter, and each case renders or is refused with an InputError.

#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "model/errors.h"
#include "study/study.h"

namespace {

constexpr const char* kFiles[] = {"study.toml", "cases.csv", "case.dat"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  torvex::fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  const auto pieces = fuzz::splitInput(data, size, 3);
  fuzz::WorkingDirectoryScope scope(fuzz::scratchDirectory());
  for (std::size_t k = 0; k < 3; ++k) {
    if (k < pieces.size())
      fuzz::writeFile(kFiles[k], pieces[k]);
    else
      std::filesystem::remove(kFiles[k]);
  }
  Study study;
  try {
    study = loadStudy(kFiles[0]);
  } catch (const InputError&) {
    return 0;
  }
  if (study.caseCount() == 0) __builtin_trap();
  for (const auto& row : study.values)
    if (row.size() != study.parameters.size()) __builtin_trap();
  // A few cases are enough: rendering does not depend on how many there are.
  for (std::size_t c = 0; c < study.caseCount() && c < 8; ++c) {
    try {
      const RenderedCase rendered = renderStudyCase(study, c);
      if (inputFingerprint(rendered, study.runOptions).size() != 64) __builtin_trap();
    } catch (const InputError&) {
    }
  }
  return 0;
}
