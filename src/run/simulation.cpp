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
                      .largestTimeStep = s.largestTimeStep,
                      .kirkendallPosition = s.kirkendallPosition,
                      .temperature = s.temperature,
                      .position = s.position,
                      .concentration = s.concentration,
                      .mobility = s.mobility,
                      .darkenVelocity = s.darkenVelocity,
                      .sigmaVelocity = s.sigmaVelocity,
                      .pressure = s.pressure};
}

void WriteResults(Simulation& sim, bool final) {
  if (!sim.resultsDirectory) {
    sim.journal.save(sim.input, sim.state, FileSync::Later);
    return;
  }
  const ProfileFiles files = buildProfileFiles(sim.input, profileStateOf(sim.state));
  const FileSync sync = sim.writer.sync.next(final);
  prepareResultsFolder(*sim.resultsDirectory);
  writeResultsFiles(*sim.resultsDirectory, files, sim.records, sim.writer, sync);
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
  }
  try {
    sim.journal.save(sim.input, sim.state, sync);
  } catch (const FileWriteError& error) {
    failures.emplace_back(error.what());
  }
  return failures;
}

}  // namespace torvex
