// Fuzz target: building the results files from a model whose data file lines
// and initial profile lines are arbitrary text. The continuation file walks
// the data file's lines value by value, and the weight-percent file takes
// the initial profile lines apart field by field; neither may read past what
// it was given, whatever the lines hold. Nothing is written to disk.
//
// Input: the number of components and of grid points, then the data file
// lines and the initial profile lines separated by a NUL byte.

#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "model/errors.h"
#include "model/tform1.h"
#include "run/results_files.h"

namespace {

using namespace torvex;

// Every line of the continuation file the walk produces comes from the input,
// from the four replaced values, or is a profile line or the end line.
void checkContinuation(const TForm1& m) {
  const auto& lines = m.continuationLines;
  if (lines.count() < static_cast<std::size_t>(m.pointCount) + 1) std::abort();
  if (lines[lines.count() - 1] != "#end of data file") std::abort();
  if (lines.count() > m.dataFileLines.count() + static_cast<std::size_t>(m.pointCount) + 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader in(std::string_view(reinterpret_cast<const char*>(data), size));
  const int r = 1 + in.byte() % 9;
  const int n = 3 + in.byte() % 30;
  const double time = in.real();
  const std::string_view rest = in.rest();
  const auto pieces = fuzz::splitInput(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size(), 2);

  TForm1 m;
  m.allocateArrays(r, n);
  m.clearArrays();
  m.componentCount = r;
  m.pointCount = n;
  m.dataFileName = "case.dat";
  m.currentTime = time;
  m.startTime = 0;
  m.endTime = 1;
  m.largestTimeStep = 0.5;
  m.temperature = 1273;
  for (int k = 0; k < n; ++k) {
    m.position[static_cast<std::size_t>(k)] = 0.001 * k;
    for (int i = 0; i < r; ++i) {
      m.concentration[i][k] = (1.0 + i) / (k + 1);
      m.mobility[i][k] = 1e-12 * (i + 1);
    }
  }
  for (int i = 0; i < r; ++i) m.molarMass[static_cast<std::size_t>(i)] = 10.0 + i;
  for (const std::string& line : fuzz::linesOf(pieces[0])) m.dataFileLines.add(line);
  if (pieces.size() > 1) m.initialProfileLines = fuzz::linesOf(pieces[1]);
  m.initialPointCount = static_cast<int>(m.initialProfileLines.size());
  m.initialWeightProfile.resize(r, m.initialPointCount);
  m.initialWeightProfile.fill(12.5);

  try {
    BuildResultsLists(m);
  } catch (const InputError&) {
    return 0;  // the data file ends before a value the continuation replaces
  }
  checkContinuation(m);
  return 0;
}
