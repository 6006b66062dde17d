// The seven results files of short runs of both sample cases, compared byte
// for byte with references: a diffusion couple with the built-in Cu-Fe-Ni
// activities and diffusivity matrix, and a binary under selective oxidation
// (boundary and flux-comparison records). The suite also runs under a
// decimal-comma locale, which must not change a single character.
//
// Byte for byte holds under the math library that made the references (its
// fingerprint is stored beside them, see support/math_library.h); under
// another one every number is compared to a relative 1e-9 and every other
// character exactly.
//
// After a deliberate change of the numerics or of a file layout, regenerate
// the references with
//   TORVEX_UPDATE_REFERENCE=1 build/bin/torvex_core_tests --gtest_filter='RunResultsGolden.*'
// and say why in the commit message.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/number_format.h"
#include "model/sample_files.h"
#include "model/text_list.h"
#include "run/refresh.h"
#include "support/math_library.h"
#include "support/sample_variant.h"
#include "support/test_files.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

const fs::path kReferenceDir = fs::path(TORVEX_TEST_DATA_DIR) / "run";
const std::vector<std::string> kResultFiles = {
    "at_out.dat",        "wt_out.dat",        "continue.dat",          "Kirk_plane.dat",
    "boundary_flux.dat", "diffusivities.dat", "fluxes_comparition.dat"};

// Runs a sample case from 0 to `endTime` s, saving every 20 passes, in the
// current working directory.
void runShort(const std::string& sample, const std::string& endTime) {
  Simulation m;
  test::loadSampleVariant(m, sample, {{DataKey::D1, "0   " + endTime}, {DataKey::D17, "20   20"}});
  ASSERT_EQ(test::runToEnd(m).end, RunEnd::Completed);
}

// Same numbers to a relative 1e-9, same text between them.
bool closeEnough(const std::string& got, const std::string& want) {
  std::vector<std::string> a, b;
  const auto split = [](const std::string& line, std::vector<std::string>& out) {
    std::size_t at = 0;
    while (at < line.size()) {
      const std::size_t end = line.find(' ', at);
      out.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
      at = end == std::string::npos ? line.size() : end + 1;
    }
  };
  split(got, a);
  split(want, b);
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (a[k] == b[k]) continue;
    const auto x = parseReal(a[k]), y = parseReal(b[k]);
    if (!x || !y || !(std::fabs(*x - *y) <= 1e-9 * std::fmax(std::fabs(*x), std::fabs(*y)))) return false;
  }
  return true;
}

void compareWithReference(const std::string& caseName) {
  const fs::path referenceDir = kReferenceDir / caseName;
  const std::string fingerprintFile = (kReferenceDir / "math_library.txt").string();
  if (std::getenv("TORVEX_UPDATE_REFERENCE")) {
    fs::create_directories(referenceDir);
    for (const std::string& name : kResultFiles)
      fs::copy_file("results/" + name, referenceDir / name, fs::copy_options::overwrite_existing);
    TextList fingerprint;
    fingerprint.add(test::mathLibraryFingerprint());
    fingerprint.saveToFile(fingerprintFile);
    GTEST_SKIP() << "references rewritten in " << referenceDir;
  }
  TextList fingerprint;
  fingerprint.loadFromFile(fingerprintFile);
  const bool sameLibrary = fingerprint[0] == test::mathLibraryFingerprint();
  for (const std::string& name : kResultFiles) {
    const std::string got = test::readBytes("results/" + name);
    const std::string want = test::readBytes((referenceDir / name).string());
    if (sameLibrary) {
      EXPECT_EQ(got, want) << caseName << "/" << name << " differs from its reference";
      continue;
    }
    TextList a, b;
    a.loadFromText(got, name);
    b.loadFromText(want, name);
    ASSERT_EQ(a.count(), b.count()) << caseName << "/" << name;
    for (std::size_t line = 0; line < a.count(); ++line)
      EXPECT_TRUE(closeEnough(a[line], b[line]))
          << caseName << "/" << name << ", line " << line + 1 << ":\n  " << a[line] << "\ninstead of\n  " << b[line];
  }
}

class RunResultsGolden : public ::testing::Test {
 protected:
  RunResultsGolden() : cwd_(dir_.path()) { WriteSampleFiles(); }
  test::ScratchDirectory dir_;
  test::ScopedWorkingDirectory cwd_;
};

TEST_F(RunResultsGolden, DiffusionCouple) {
  runShort("interdiffusion.dat", "2");
  compareWithReference("interdiffusion");
}

TEST_F(RunResultsGolden, SelectiveOxidation) {
  runShort("oxidation.dat", "2");
  compareWithReference("oxidation");
}

}  // namespace
}  // namespace torvex
