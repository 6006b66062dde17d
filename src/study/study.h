#pragma once
// A parameter study: one case template run for many values of its
// parameters. The study file (TOML) names the template, the parameters and
// their values, how they combine into cases, the key overrides that use them,
// the options every run gets and the scalar results to gather.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "study/case_template.h"
#include "study/heat_treatment_setting.h"
#include "study/output_folder.h"

namespace torvex {

struct StudyParameter {
  std::string name;
  std::vector<std::string> values;  // as the text a placeholder becomes
  int line = 0;                     // where the study file gives it
};

// A key override of the study: `text` may hold {{NAME}} placeholders.
struct StudyOverride {
  DataKey key;
  std::string text;
  int line = 0;
};

// A scalar result gathered from a finished case into the summary.
struct StudyResult {
  enum class Kind {
    KirkendallShift,  // kirkendall_shift_cm: final plane position minus its start
    MolarRatio,       // N<i>_left / N<i>_right: final molar ratio at that end
    OxideThickness,   // oxide_thickness_cm: final scale thickness
    Recession,        // recession_cm: how far a receding surface moved in (empty without one)
    FirstTimeBelow,   // time_N<i>_<end>_below_<value>: first time that ratio fell below value
  };
  std::string name;  // the column title, as the study file spells it
  Kind kind = Kind::MolarRatio;
  int component = 1;  // 1-based
  bool left = true;
  double threshold = 0.0;
};

// Parses a result name; nullopt when it names no known result.
std::optional<StudyResult> parseStudyResult(const std::string& name);

struct SlurmSettings {
  std::string time;                  // --time per task, e.g. "00:30:00"; empty: the cluster's default
  std::string memory;                // --mem per task, e.g. "1G"; empty: the cluster's default
  int throttle = 0;                  // at most this many tasks at once (%N); 0: no limit
  std::string partition;             // empty: the default partition
  std::vector<std::string> options;  // further #SBATCH lines, verbatim
  // Shell lines each task runs before torvex-batch ("module load gcc/12"),
  // verbatim, in order.
  std::vector<std::string> setup;
};

// A study has at most this many cases, however they are given (a grid, zipped
// lists or a table): each gets a folder of its own.
inline constexpr std::size_t kMaxStudyCases = 1000000;

// The shortest time limit a case can be given (s): less would stop every
// case before its process has even read its input.
inline constexpr double kMinTimeLimitSeconds = 0.001;

struct Study {
  std::string path;             // the study file
  std::string tablePath;        // the table of cases, when the study gives one
  std::string casePath;         // the template's data file
  std::string outputDirectory;  // where cases/ and summary.csv go
  std::vector<StudyParameter> parameters;
  // values[c][p]: the value of parameter p in case c.
  std::vector<std::vector<std::string>> values;
  std::vector<StudyOverride> overrides;
  // The temperature schedule and output times of every case (may use the
  // parameters); empty: the case's own temperature, saves every D17 passes.
  HeatTreatmentSetting heatTreatment;
  // The components' names (names = ["Cu", "Fe", "Ni"]); empty: none. Every
  // run gets them as --names (in runOptions).
  std::vector<std::string> componentNames;
  std::vector<std::string> runOptions;  // passed to every run of torvex-batch
  std::optional<double> timeLimitSeconds;
  std::optional<int> jobs;
  std::vector<StudyResult> results;
  SlurmSettings slurm;

  [[nodiscard]] std::size_t caseCount() const { return values.size(); }
};

// Reads and expands the study file. Paths in it are relative to the study
// file's folder. Throws InputError naming the file, the line and the offending
// text when the study is malformed: unknown entries, an empty range, a
// parameter without values, zipped lists of different lengths, an override of
// a key that does not exist or that uses an unknown parameter, a table row
// that does not fit its header, an unknown result.
Study loadStudy(const std::string& path);

// The case `index` of the study, rendered (overrides with the parameters
// filled in, then the parameters in the files; with a heat treatment, its
// schedule file among the files and the options that run it). Throws
// InputError naming the study, the case and what does not fit.
RenderedCase renderStudyCase(const Study& study, std::size_t index);

// A fingerprint of a rendered case and the options it runs with: equal
// fingerprints mean the run would compute the same thing.
std::string inputFingerprint(const RenderedCase& rendered, const std::vector<std::string>& runOptions);

// The folder of case `index`: OUTPUT/cases/0000 ...
std::string caseDirectory(const Study& study, std::size_t index);

// The check of what the study's output folder holds, with the inputs every
// case shares (the table, the template, a schedule file) checked already;
// each case's side files are to be checked as it is rendered.
InputsOutside studyInputsOutside(const Study& study);

// Renders every case (refusing the study when one does not render, or when
// the output folder holds one of its inputs: the study file, the table, the
// template or a side file) and loads the first, as a run would, so that a
// study that cannot run is refused before anything runs. Calls `progress`
// with the cases checked so far and their number. Throws InputError /
// FatalModelError. With `temperatureWarning`, a study that varies the
// temperature (D8 through a parameter, or a schedule) of a case the
// temperature cannot act on gets the warning to show once, before its cases
// run; empty otherwise.
void validateStudy(const Study& study, const std::function<void(std::size_t, std::size_t)>& progress = {},
                   std::string* temperatureWarning = nullptr);

// Whether the study gives its cases different temperatures: D8 set through
// a parameter, or a schedule.
bool studyVariesTemperature(const Study& study);

}  // namespace torvex
