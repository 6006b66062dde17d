#include "run/simulation.h"

#include <exception>

#include "model/errors.h"

namespace torvex {

void Simulation::load(const std::string& path, const CaseLoadOptions& options) {
  try {
    load(loadCase(path, options));
  } catch (...) {
    // Nothing of a half-read case may be run or drawn.
    clear();
    throw;
  }
}

void Simulation::load(Case loaded) {
  input = std::move(loaded);
  state.prepare(input);
}

void Simulation::clear() {
  input = Case();
  state.release();
}

ProfileState profileStateOf(const RunState& s) {
  return ProfileState{.time = s.currentTime,
                      // At the first pass's save the largest step is not
                      // counted yet: the step of that pass is the largest
                      // reached, and a continuation must not start with 0.
                      .largestTimeStep = s.largestTimeStep > 0 ? s.largestTimeStep : s.timeStep,
                      .kirkendallPosition = s.kirkendallPosition,
                      .temperature = s.temperature,
                      .position = s.position,
                      .concentration = s.concentration,
                      .mobility = s.mobility,
                      .darkenVelocity = s.darkenVelocity,
                      .sigmaVelocity = s.sigmaVelocity,
                      .pressure = s.pressure};
}

namespace {

// What the record writers had to do goes into the run's report.
void passFileNotices(Simulation& sim) {
  for (RecordFile* record : {&sim.writer.kirkendall, &sim.writer.boundary, &sim.writer.fluxComparison})
    for (std::string& notice : record->takeNotices()) sim.journal.recordFileNotice(std::move(notice));
}

}  // namespace

void WriteResults(Simulation& sim, bool final) {
  if (!sim.resultsDirectory) {
    sim.journal.save(sim.input, sim.state, FileSync::Later);
    return;
  }
  const ProfileFiles files = buildProfileFiles(sim.input, profileStateOf(sim.state));
  const FileSync sync = sim.writer.sync.next(final);
  prepareResultsFolder(*sim.resultsDirectory);
  try {
    writeResultsFiles(*sim.resultsDirectory, files, sim.records, sim.writer, sync);
  } catch (...) {
    passFileNotices(sim);
    throw;
  }
  passFileNotices(sim);
  sim.journal.save(sim.input, sim.state, sync);
}

std::vector<std::string> WriteEveryResultsFile(Simulation& sim, bool final) {
  std::vector<std::string> failures;
  const FileSync sync = sim.resultsDirectory ? sim.writer.sync.next(final) : FileSync::Later;
  if (sim.resultsDirectory) {
    const ProfileFiles files = buildProfileFiles(sim.input, profileStateOf(sim.state));
    try {
      prepareResultsFolder(*sim.resultsDirectory);
    } catch (const FileWriteError& error) {
      return {error.what()};
    }
    failures = writeEveryResultsFile(*sim.resultsDirectory, files, sim.records, sim.writer, sync);
    passFileNotices(sim);
  }
  try {
    sim.journal.save(sim.input, sim.state, sync);
  } catch (const FileWriteError& error) {
    failures.emplace_back(error.what());
  }
  return failures;
}

}  // namespace torvex
