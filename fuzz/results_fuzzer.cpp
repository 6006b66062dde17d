// Fuzz target: building the results files from a case whose data file lines
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
#include "model/case.h"
#include "model/errors.h"
#include "results/results_files.h"

namespace {

using namespace torvex;

// Every line of the continuation file the walk produces comes from the input,
// from the four replaced values, or is a profile line or the end line.
void checkContinuation(const Case& c, const TextList& lines) {
  if (lines.count() < static_cast<std::size_t>(c.pointCount) + 1) std::abort();
  if (lines[lines.count() - 1] != "#end of data file") std::abort();
  if (lines.count() > c.dataFileLines.count() + static_cast<std::size_t>(c.pointCount) + 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader in(fuzz::textOf(data, size));
  const int r = 1 + in.byte() % 9;
  const int n = 3 + in.byte() % 30;
  const double time = in.real();
  const std::string_view rest = in.rest();
  const auto pieces = fuzz::splitInput(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size(), 2);

  Case c;
  c.setShape(r, n);
  c.dataFileName = "case.dat";
  c.startTime = 0;
  c.endTime = 1;
  std::vector<double> position(static_cast<std::size_t>(n)), zero(static_cast<std::size_t>(n), 0.0);
  Table2<double> concentration(r, n), mobility(r, n);
  for (int k = 0; k < n; ++k) {
    position[static_cast<std::size_t>(k)] = 0.001 * k;
    for (int i = 0; i < r; ++i) {
      concentration[i][k] = (1.0 + i) / (k + 1);
      mobility[i][k] = 1e-12 * (i + 1);
    }
  }
  for (int i = 0; i < r; ++i) c.molarMass[static_cast<std::size_t>(i)] = 10.0 + i;
  for (const std::string& line : fuzz::linesOf(pieces[0])) c.dataFileLines.add(line);
  if (pieces.size() > 1) c.initial.lines = fuzz::linesOf(pieces[1]);
  c.initialPointCount = static_cast<int>(c.initial.lines.size());
  c.initial.weightPercent.resize(r, c.initialPointCount);
  c.initial.weightPercent.fill(12.5);
  const ProfileState state{.time = time,
                           .largestTimeStep = 0.5,
                           .kirkendallPosition = 0.0,
                           .temperature = 1273,
                           .position = position,
                           .concentration = concentration,
                           .mobility = mobility,
                           .darkenVelocity = zero,
                           .sigmaVelocity = zero,
                           .pressure = zero};

  ProfileFiles files;
  try {
    files = buildProfileFiles(c, state);
  } catch (const InputError&) {
    return 0;  // the data file ends before a value the continuation replaces
  }
  checkContinuation(c, files.continuation);
  return 0;
}
