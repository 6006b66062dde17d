#include "run/results_files.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "model/data_file_keys.h"
#include "model/errors.h"
#include "model/formula.h"
#include "model/number_format.h"
#include "model/tform1.h"
#include "run/run_journal.h"
#include "solver/evaluate_derivative.h"

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

}  // namespace

// Atomic percent of the concentrations held now, so the files describe the
// profile reached, not the input of the last Runge-Kutta stage that
// molarRatio may still hold.
Table2<double> AtomicPercent(const TForm1& m) {
  const int r = m.componentCount;
  Table2<double> percent(r, m.pointCount);
  for (int k = 0; k < m.pointCount; ++k) {
    double total = 0;  // mol/cm^3
    for (int j = 0; j < r; ++j) total += m.concentration[j][k];
    for (int i = 0; i < r; ++i) percent[i][k] = 100 * (m.concentration[i][k] / total);
  }
  return percent;
}

Table2<double> WeightPercent(const TForm1& m) {
  const int r = m.componentCount;
  Table2<double> percent(r, m.pointCount);
  for (int k = 0; k < m.pointCount; ++k) {
    double mass = 0;  // g/cm^3
    for (int j = 0; j < r; ++j) mass += m.molarMass[static_cast<std::size_t>(j)] * m.concentration[j][k];
    for (int i = 0; i < r; ++i)
      percent[i][k] = m.molarMass[static_cast<std::size_t>(i)] * m.concentration[i][k] / mass * 100;
  }
  return percent;
}

namespace {

// "   x" and the first `components` contents of point k, then v_Darken,
// v_Sigma (cm/s) and the pressure as the input gave them.
std::string profileLine(const TForm1& m, const Table2<double>& percent, int components, int k) {
  const auto point = static_cast<std::size_t>(k);
  std::string line;
  appendField(line, m.position[point]);
  for (int i = 0; i < components; ++i) appendField(line, percent[i][k]);
  appendField(line, m.darkenVelocity[point]);
  appendField(line, m.sigmaVelocity[point]);
  appendField(line, m.pressure[point]);
  return line;
}

// The current profile with the drift velocity of the lattice, vD + vS (cm/s).
void appendCurrentProfile(TextList& out, const TForm1& m, const Table2<double>& percent) {
  out.add(kProfileHeader);
  out.add(kCurrentTime + formatGeneral(m.currentTime));
  out.add("");
  out.add("");
  for (int k = 0; k < m.pointCount; ++k) {
    std::string line = profileLine(m, percent, m.componentCount, k);
    appendField(line, m.darkenVelocity[static_cast<std::size_t>(k)] + m.sigmaVelocity[static_cast<std::size_t>(k)]);
    out.add(std::move(line));
  }
  out.add(kEndOfCalculation);
}

// Initial line j in weight percent: its position as written, the weight
// percentages of all but the last component, then the rest of the line after
// the position and the r-1 atomic contents, unchanged.
std::string initialWeightLine(const TForm1& m, int j) {
  std::string_view rest = trimmedView(m.initialProfileLines[static_cast<std::size_t>(j)]);
  std::string line = kSeparator;
  line += takeFormula(rest);
  for (int i = 0; i + 1 < m.componentCount; ++i) {
    appendField(line, m.initialWeightProfile[i][j]);
    takeFormula(rest);
  }
  line += kSeparator;
  line += rest;
  return line;
}

void appendWeightSections(TForm1& m) {
  TextList& out = m.weightProfileLines;
  out.add("Calculated profiles [% wt.]");
  out.add("");
  out.add("Initial_profile [% wt.]");
  for (int j = 0; j < m.initialPointCount; ++j) out.add(initialWeightLine(m, j));
  out.add("");
  appendCurrentProfile(out, m, WeightPercent(m));
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
std::string replacementLine(const TForm1& m, int v) {
  std::string line;
  switch (keyAt(v)) {
    case DataKey::D1:
      appendField(line, m.currentTime);
      appendField(line, m.endTime - m.startTime + m.currentTime);
      break;
    case DataKey::D3: appendField(line, m.largestTimeStep); break;
    case DataKey::D20:
      line = std::string(kSeparator) + "1";
      appendField(line, m.kirkendallPosition);
      break;
    default: line = kSeparator + formatInteger(m.pointCount); break;
  }
  return line;
}

[[noreturn]] void throwMissingValueLine(const TForm1& m, int v) {
  const std::string file = m.dataFileName.empty() ? std::string("the input data file") : m.dataFileName;
  throw InputError(file + ": the data file ends before the value line of key " + keyName(keyAt(v)) +
                   ", so continue.dat cannot be written");
}

// The input data file with the process time, first step, plane position and
// point count replaced, and without its initial profile lines.
void copyInputForContinuation(TForm1& m) {
  const TextList& in = m.dataFileLines;
  TextList& out = m.continuationLines;
  std::size_t at = 0;
  int v = 0;
  while (v < kValueLinesBeforeProfile) {
    if (isReplacedValueLine(v)) {
      while (at < in.count() && isCommentLine(in[at])) out.add(in[at++]);
      if (at == in.count()) throwMissingValueLine(m, v);
      ++at;
      out.add(replacementLine(m, v));
      ++v;
    } else {
      if (at == in.count()) throwMissingValueLine(m, v);
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

void buildContinuation(TForm1& m, const Table2<double>& atomic) {
  copyInputForContinuation(m);
  for (int k = 0; k < m.pointCount; ++k) m.continuationLines.add(profileLine(m, atomic, m.componentCount - 1, k));
  m.continuationLines.add("#end of data file");
}

// B_i R T: the self-diffusion coefficient over the correlation factor (cm^2/s).
void buildDiffusivities(TForm1& m) {
  TextList& out = m.diffusivityProfileLines;
  out.add("Diffusivities as a function of position");
  out.add("position, D_1, D_2,..., D_r");
  for (int k = 0; k < m.pointCount; ++k) {
    std::string line = formatGeneral(m.position[static_cast<std::size_t>(k)]);
    for (int i = 0; i < m.componentCount; ++i)
      appendField(line, m.mobility[i][k] * kSolverGasConstant * m.temperature, kWideSeparator);
    out.add(std::move(line));
  }
}

}  // namespace

void BuildResultsLists(TForm1& m) {
  m.atomicProfileLines.clear();
  m.weightProfileLines.clear();
  m.continuationLines.clear();
  for (TextList* list : {&m.atomicProfileLines, &m.weightProfileLines}) {
    for (const std::string& line : m.dataFileLines) list->add(line);
    list->add("");
    list->add("");
  }
  const Table2<double> atomic = AtomicPercent(m);
  m.atomicProfileLines.add("Calculated profiles [% at.]");
  appendCurrentProfile(m.atomicProfileLines, m, atomic);
  for (TextList* list : {&m.atomicProfileLines, &m.weightProfileLines}) {
    list->add("");
    list->add("");
  }
  appendWeightSections(m);
  buildContinuation(m, atomic);
  m.diffusivityProfileLines.clear();
  buildDiffusivities(m);
}

namespace {

// The seven files in the order they are saved, with the list each one holds.
struct ResultsFile {
  TextList TForm1::*lines;
  const char* name;
};
constexpr ResultsFile kResultsFiles[] = {
    {&TForm1::atomicProfileLines, "at_out.dat"},
    {&TForm1::weightProfileLines, "wt_out.dat"},
    {&TForm1::continuationLines, "continue.dat"},
    {&TForm1::kirkendallRecordLines, "Kirk_plane.dat"},
    {&TForm1::boundaryFluxLines, "boundary_flux.dat"},
    {&TForm1::diffusivityProfileLines, "diffusivities.dat"},
    {&TForm1::fluxComparisonLines, "fluxes_comparition.dat"},
};

void save(const TForm1& m, const ResultsFile& file) {
  (m.*file.lines).saveToFile(ResultsFilePath(m, file.name));
}

void prepareResultsFolder(const TForm1& m) {
  // The folder usually exists already. When it cannot be made, that is the
  // reason every file fails, not that the folder is missing.
  std::error_code error;
  std::filesystem::create_directories(ResultsFolder(m), error);
  if (error && !std::filesystem::is_directory(ResultsFolder(m)))
    throw FileWriteError(ResultsFolder(m) + ": cannot make the results folder (" + error.message() + ")");
  // A run killed while saving leaves its temporary file beside the result;
  // nobody else will ever rename it.
  std::vector<std::string> names;
  for (const ResultsFile& file : kResultsFiles) names.emplace_back(file.name);
  names.emplace_back("run.json");
  RemoveStaleTemporaryFiles(ResultsFolder(m), names);
}

}  // namespace

std::string ResultsFolder(const TForm1& m) {
  return m.resultsDirectory;
}

std::string ResultsFilePath(const TForm1& m, const std::string& name) {
  return ResultsFolder(m) + "//" + name;
}

void WriteResults(TForm1& m) {
  BuildResultsLists(m);
  prepareResultsFolder(m);
  for (const ResultsFile& file : kResultsFiles) save(m, file);
  JournalSave(m);
}

std::vector<std::string> WriteEveryResultsFile(TForm1& m) {
  BuildResultsLists(m);
  try {
    prepareResultsFolder(m);
  } catch (const FileWriteError& error) {
    return {error.what()};
  }
  std::vector<std::string> failures;
  for (const ResultsFile& file : kResultsFiles) {
    try {
      save(m, file);
    } catch (const FileWriteError& error) {
      failures.emplace_back(error.what());
    }
  }
  try {
    JournalSave(m);
  } catch (const FileWriteError& error) {
    failures.emplace_back(error.what());
  }
  return failures;
}

}  // namespace torvex
