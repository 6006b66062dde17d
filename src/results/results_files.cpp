#include "results/results_files.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "model/data_file_keys.h"
#include "model/errors.h"
#include "model/formula.h"
#include "model/number_format.h"
#include "results/units.h"

namespace torvex {
namespace {

// Columns of the profile files; the diffusivities file uses twice as many blanks.
constexpr const char* kSeparator = "   ";
constexpr const char* kWideSeparator = "      ";
constexpr const char* kProfileHeader = "position, comp_1, comp_2, ..., comp_r, v_Darken, v_Sigma, pressure, v_drift";
constexpr const char* kCurrentTime = "Current time:       ";
constexpr const char* kEndOfCalculation = "#End of calculation file";

// The continuation walk drops the old profile as far as the two rows of a new
// calculation reach; anything after them is not copied.
constexpr int kLastDroppedValueLine = position(DataKey::D23) + 2;

void appendField(std::string& line, double value, const char* separator = kSeparator) {
  line += separator;
  line += formatGeneral(value);
}

// "   x" and the first `components` contents of point k, then v_Darken,
// v_Sigma (cm/s) and the pressure as the input gave them.
std::string profileLine(const ProfileState& s, const Table2<double>& percent, int components, int k) {
  const auto point = static_cast<std::size_t>(k);
  std::string line;
  appendField(line, s.position[point]);
  for (int i = 0; i < components; ++i) appendField(line, percent[i][k]);
  appendField(line, s.darkenVelocity[point]);
  appendField(line, s.sigmaVelocity[point]);
  appendField(line, s.pressure[point]);
  return line;
}

// The current profile with the drift velocity of the lattice, vD + vS (cm/s).
void appendCurrentProfile(TextList& out, const Case& c, const ProfileState& s, const Table2<double>& percent) {
  out.add(kProfileHeader);
  out.add(kCurrentTime + formatGeneral(s.time));
  out.add("");
  out.add("");
  for (int k = 0; k < c.pointCount; ++k) {
    std::string line = profileLine(s, percent, c.componentCount, k);
    appendField(line, s.darkenVelocity[static_cast<std::size_t>(k)] + s.sigmaVelocity[static_cast<std::size_t>(k)]);
    out.add(std::move(line));
  }
  out.add(kEndOfCalculation);
}

// Initial line j in weight percent: its position as written, the weight
// percentages of all but the last component, then the rest of the line after
// the position and the r-1 atomic contents, unchanged.
std::string initialWeightLine(const Case& c, int j) {
  std::string_view rest = trimmedView(c.initial.lines[static_cast<std::size_t>(j)]);
  std::string line = kSeparator;
  line += takeFormula(rest);
  for (int i = 0; i + 1 < c.componentCount; ++i) {
    appendField(line, c.initial.weightPercent[i][j]);
    takeFormula(rest);
  }
  line += kSeparator;
  line += rest;
  return line;
}

void appendWeightSections(TextList& out, const Case& c, const ProfileState& s) {
  out.add("Calculated profiles [% wt.]");
  out.add("");
  out.add("Initial_profile [% wt.]");
  for (int j = 0; j < c.initialPointCount; ++j) out.add(initialWeightLine(c, j));
  out.add("");
  appendCurrentProfile(out, c, s, weightPercent(s.concentration, c.molarMass));
}

bool isCommentLine(std::string_view line) {
  line = trimmedView(line);
  return !line.empty() && line.front() == '#';
}

bool isReplacedValueLine(int v) {
  const DataKey key = keyAt(v);
  return key == DataKey::D1 || key == DataKey::D3 || key == DataKey::D20 || key == DataKey::D22;
}

// The value that lets a run go on from the current state: the process time
// shifted to start now, the largest step reached as the first step, the
// plane's current position declared, one profile line per grid point.
std::string replacementLine(const Case& c, const ProfileState& s, int v) {
  std::string line;
  switch (keyAt(v)) {
    case DataKey::D1:
      appendField(line, s.time);
      appendField(line, c.endTime - c.startTime + s.time);
      break;
    case DataKey::D3: appendField(line, s.largestTimeStep); break;
    case DataKey::D20:
      line = std::string(kSeparator) + "1";
      appendField(line, s.kirkendallPosition);
      break;
    default: line = kSeparator + formatInteger(c.pointCount); break;
  }
  return line;
}

[[noreturn]] void throwMissingValueLine(const Case& c, int v) {
  const std::string file = c.dataFileName.empty() ? std::string("the input data file") : c.dataFileName;
  throw InputError(file + ": the data file ends before the value line of key " + keyName(keyAt(v)) + ", so " +
                   kContinuationFile + " cannot be written");
}

// The input data file with the process time, first step, plane position and
// point count replaced, and without its initial profile lines.
void copyInputForContinuation(TextList& out, const Case& c, const ProfileState& s) {
  const TextList& in = c.dataFileLines;
  std::size_t at = 0;
  int v = 0;
  while (v < kValueLinesBeforeProfile) {
    if (isReplacedValueLine(v)) {
      while (at < in.count() && isCommentLine(in[at])) out.add(in[at++]);
      if (at == in.count()) throwMissingValueLine(c, v);
      ++at;
      out.add(replacementLine(c, s, v));
      ++v;
    } else {
      if (at == in.count()) throwMissingValueLine(c, v);
      if (!isCommentLine(in[at])) ++v;
      out.add(in[at++]);
    }
  }
  // The old profile's lines are dropped; comments among them are kept.
  for (; at < in.count() && v < kLastDroppedValueLine; ++at) {
    if (isCommentLine(in[at]))
      out.add(in[at]);
    else
      ++v;
  }
}

// B_i R T: the self-diffusion coefficient over the correlation factor (cm^2/s).
void buildDiffusivities(TextList& out, const Case& c, const ProfileState& s) {
  out.add("Diffusivities as a function of position");
  out.add("position, D_1, D_2,..., D_r");
  for (int k = 0; k < c.pointCount; ++k) {
    std::string line = formatGeneral(s.position[static_cast<std::size_t>(k)]);
    for (int i = 0; i < c.componentCount; ++i)
      appendField(line, s.mobility[i][k] * kSolverGasConstant * s.temperature, kWideSeparator);
    out.add(std::move(line));
  }
}

// The seven files in the order they are saved, with the list each one holds
// and, for a record, the writer that appends to it.
struct NamedList {
  const char* name;
  const TextList& lines;
  RecordFile* record;
};

std::vector<NamedList> sevenFiles(const ProfileFiles& profiles, const RunRecords& records, ResultsWriter& writer) {
  return {{kAtomicProfileFile, profiles.atomic, nullptr},
          {kWeightProfileFile, profiles.weight, nullptr},
          {kContinuationFile, profiles.continuation, nullptr},
          {kKirkendallRecordFile, records.kirkendall, &writer.kirkendall},
          {kBoundaryRecordFile, records.boundary, &writer.boundary},
          {kDiffusivitiesFile, profiles.diffusivities, nullptr},
          {kFluxComparisonFile, records.fluxComparison, &writer.fluxComparison}};
}

void writeOne(const std::string& folder, const NamedList& file, FileSync sync) {
  const std::string path = resultsFilePath(folder, file.name);
  if (file.record != nullptr)
    file.record->write(path, file.lines, sync);
  else if (const auto kept = file.lines.keptText())
    ReplaceFileContent(path, *kept, sync);
  else
    ReplaceFileContent(path, file.lines.text(), sync);
}

// Drops from the records the lines their files now hold.
void releaseWritten(RunRecords& records, ResultsWriter& writer) {
  writer.kirkendall.release(records.kirkendall, kKirkendallOpeningLines);
  writer.boundary.release(records.boundary, kBoundaryOpeningLines);
  writer.fluxComparison.release(records.fluxComparison, kFluxComparisonOpeningLines);
}

}  // namespace

std::string resultsFilePath(const std::string& folder, const std::string& name) {
  return folder + "//" + name;
}

ProfileFiles buildProfileFiles(const Case& c, const ProfileState& s) {
  ProfileFiles files;
  for (TextList* list : {&files.atomic, &files.weight}) {
    for (const std::string& line : c.dataFileLines) list->add(line);
    list->add("");
    list->add("");
  }
  // Atomic percent of the concentrations held now, so the files describe the
  // profile reached, not the input of the last Runge-Kutta stage that the
  // molar ratios may still hold.
  const Table2<double> atomic = atomicPercent(s.concentration);
  files.atomic.add("Calculated profiles [% at.]");
  appendCurrentProfile(files.atomic, c, s, atomic);
  for (TextList* list : {&files.atomic, &files.weight}) {
    list->add("");
    list->add("");
  }
  appendWeightSections(files.weight, c, s);
  copyInputForContinuation(files.continuation, c, s);
  for (int k = 0; k < c.pointCount; ++k) files.continuation.add(profileLine(s, atomic, c.componentCount - 1, k));
  files.continuation.add("#end of data file");
  buildDiffusivities(files.diffusivities, c, s);
  return files;
}

void prepareResultsFolder(const std::string& folder) {
  // The folder usually exists already. When it cannot be made, that is the
  // reason every file fails, not that the folder is missing.
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error && !std::filesystem::is_directory(folder))
    throw FileWriteError(folder + ": cannot make the results folder (" + error.message() + ")");
  // A run killed while saving leaves its temporary file beside the result;
  // nobody else will ever rename it.
  RemoveStaleTemporaryFiles(
      folder, {kAtomicProfileFile, kWeightProfileFile, kContinuationFile, kKirkendallRecordFile, kBoundaryRecordFile,
               kDiffusivitiesFile, kFluxComparisonFile, kRunReportFile, kHistoryFile, kSeriesFile});
}

void writeResultsFiles(const std::string& folder, const ProfileFiles& profiles, RunRecords& records,
                       ResultsWriter& writer, FileSync sync) {
  for (const NamedList& file : sevenFiles(profiles, records, writer)) writeOne(folder, file, sync);
  releaseWritten(records, writer);
  // The renames reach the disk with the folder.
  if (sync == FileSync::Now) SyncFolder(folder);
}

void writeResultsFiles(const std::string& folder, const ProfileFiles& profiles, const RunRecords& records) {
  ResultsWriter writer;
  for (const NamedList& file : sevenFiles(profiles, records, writer)) writeOne(folder, file, FileSync::Now);
  SyncFolder(folder);
}

namespace {

std::vector<std::string> writeEveryFile(const std::string& folder, const ProfileFiles& profiles,
                                        const RunRecords& records, ResultsWriter& writer, FileSync sync) {
  std::vector<std::string> failures;
  for (const NamedList& file : sevenFiles(profiles, records, writer)) {
    try {
      writeOne(folder, file, sync);
    } catch (const FileWriteError& error) {
      failures.emplace_back(error.what());
    }
  }
  if (sync == FileSync::Now) SyncFolder(folder);
  return failures;
}

}  // namespace

std::vector<std::string> writeEveryResultsFile(const std::string& folder, const ProfileFiles& profiles,
                                               RunRecords& records, ResultsWriter& writer, FileSync sync) {
  std::vector<std::string> failures = writeEveryFile(folder, profiles, records, writer, sync);
  releaseWritten(records, writer);
  return failures;
}

std::vector<std::string> writeEveryResultsFile(const std::string& folder, const ProfileFiles& profiles,
                                               const RunRecords& records) {
  ResultsWriter writer;
  return writeEveryFile(folder, profiles, records, writer, FileSync::Now);
}

}  // namespace torvex
