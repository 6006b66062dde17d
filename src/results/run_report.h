#pragma once
// The report a run leaves in its results folder: how it was made (provenance),
// how it ended (outcome), and the verification checks that say whether its
// numbers can be trusted. The report is JSON, written and read with
// nlohmann-json; every number in it is plain JSON, whatever the locale.

#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/case.h"
#include "model/heat_treatment.h"

namespace torvex {

// How a check's value is compared with its threshold.
enum class CheckComparison {
  AtMost,   // passes when value <= threshold
  AtLeast,  // passes when value >= threshold
  Near,     // passes when |value - expected| <= threshold
};

// One verification check. Any producer of checks (the run's own, and checks
// against closed-form answers) returns a list of these; the report writes them
// in order.
struct RunCheck {
  std::string id;                                               // stable key, e.g. "inventory.1"
  std::string title;                                            // short name shown in listings
  double value = std::numeric_limits<double>::quiet_NaN();      // what was measured; NaN when it could not be
  double threshold = std::numeric_limits<double>::quiet_NaN();  // the bound the value is held to
  bool warn = false;                                            // the value is outside the bound (or unknown)
  // The check marks a known property of the chosen model (the volume-fixed
  // form with unequal molar volumes, an open sample that keeps its length):
  // outside its bound it is a note, "look at this", not a failure of the run.
  bool note = false;
  std::string meaning;  // one sentence: what the check means
  CheckComparison comparison = CheckComparison::AtMost;
  double expected = 0;  // the value aimed at (Near only)
};

// Sets check.warn from its value, threshold and comparison: a value that is
// not finite always warns. Returns the check.
RunCheck judged(RunCheck check);

// How a check came out, as run.json and a study's summary spell it: "pass",
// "note" (outside its bound, for a known property of the model) or "warn".
const char* checkStatus(const RunCheck& check);

// One line for a terminal: a tick (passed), an information sign (a note) or
// a warning sign, the title, the value and the bound; a note or a warning
// adds the meaning.
std::string describeCheck(const RunCheck& check);

// What the front end tells about a run; the core adds the rest of the
// provenance itself.
struct RunProvenance {
  std::string program;                                          // the front end: "torvex-batch", "torvex"
  std::vector<std::string> commandLine;                         // its arguments, the program first; empty for a window
  std::vector<std::pair<std::string, std::string>> overrides;   // data-file keys set for this run: key, value as given
  std::vector<std::pair<std::string, std::string>> parameters;  // template parameters: name, value as given
};

// How a run ended.
struct RunOutcome {
  // "running" (the run has not ended: it is in hand, or was killed),
  // "completed", "critical_content" (a life run reached its critical content),
  // "stopped", "non_finite", "step_vanished", "no_pass", "failed".
  std::string end = "running";
  std::string message;
  long long acceptedPasses = 0;
  long long rejectedPasses = 0;
  double startTime = 0;                                            // s
  double endTime = 0;                                              // s, the case's end time
  double finalTime = 0;                                            // s, the clock when the run ended
  double largestStep = 0;                                          // s, largest accepted step
  double smallestStep = std::numeric_limits<double>::quiet_NaN();  // s, smallest accepted step; NaN when none
  double wallSeconds = 0;
  long long saves = 0;  // blocks in the history
  // Spent keeping the history and the series (building and appending their
  // rows), s; the report itself is not counted.
  double journalSeconds = 0;
};

// The temperature schedule a run followed: the file named, the SHA-256 (hex)
// of its text, and its rows (the line of a row is 0 when read from a report).
struct ScheduleRecord {
  std::string file;
  std::string sha256;
  std::vector<ScheduleRow> rows;
};

// The heat treatment of a run beyond the data file. A run with neither a
// schedule nor output times writes no record at all, so its report has the
// keys every run had before schedules existed.
// Thermal cycles a run followed, as their description (never as rows).
struct CyclesRecord {
  std::string text;  // as --cycles reads it
  double start = 0;  // s, when the first cycle began
  long long count = 0;
  double period = 0;  // s
};

struct HeatTreatmentRecord {
  std::optional<ScheduleRecord> schedule;
  std::vector<double> outputTimes;  // s, increasing
  std::optional<CyclesRecord> cycles;
  bool receding = false;  // the oxidising surface recedes (--receding)

  [[nodiscard]] bool empty() const { return !schedule && !cycles && outputTimes.empty() && !receding; }
};

// What a coating-life run ended with: the critical condition and the time it
// was first met (none: not reached), and the oxide scale's books. Only a run
// with life settings has it.
struct LifeRecord {
  std::string condition;              // as --critical reads it; empty: no condition
  std::optional<double> lifeSeconds;  // s; none: not reached
  bool scale = false;                 // the books below are those of a scale
  double retainedThickness = 0;       // cm
  double spalledMetal = 0;            // mol of component 1 per cm^2, carried off by spalled scale
  double consumedMetal = 0;           // mol/cm^2 the alloy gave up to the scale
  long long spalls = 0;               // cool-downs at which scale spalled
  std::string spallLaw;               // as --spall reads it; empty: none
  std::string oxide;                  // as --oxide reads it; empty: none
  double massChange = 0;              // mg/cm^2, with oxide data
  double oxygenGain = 0;              // mg/cm^2
  double spallLoss = 0;               // mg/cm^2, <= 0
  // A receding surface: the sample's length at the start and at the end.
  bool receding = false;
  double startLength = 0;  // cm
  double length = 0;       // cm
};

// "1.2e+05 s (33.3 h)" or "not reached", for a terminal.
std::string describeLife(const LifeRecord& record);

// The summary lines of a heat treatment for a terminal, each starting with
// two blanks and ending with a line end; empty without one. finalTime (s)
// gives the temperature the run ended at.
std::string describeHeatTreatment(const HeatTreatmentRecord& record, double finalTime);

// The implicit integrator a run used, its tolerances and its work. A run of
// the explicit loop writes no record, so its report has the keys every run
// had before the implicit integrator existed.
struct IntegratorRecord {
  std::string name = "bdf";
  double relativeTolerance = 0;
  double absoluteTolerance = 0;  // mol/cm^3
  long long steps = 0;
  long long rightHandSideEvaluations = 0;
  long long jacobianEvaluations = 0;
  long long factorisations = 0;
  long long errorTestFailures = 0;
  long long convergenceFailures = 0;
};

struct RunReport {
  RunProvenance provenance;
  std::string version;      // of the program
  std::string gitRevision;  // of its sources, "unknown" outside a checkout
  std::string workingDirectory;
  std::string host;
  std::string startedUtc;  // ISO 8601, "2026-12-08T22:41:07Z"
  std::string endedUtc;    // empty while running
  std::vector<InputFileDigest> inputFiles;
  // The names of the components, when the run gave them (the key
  // "components" appears only then).
  std::vector<std::string> componentNames;
  HeatTreatmentRecord heatTreatment;
  std::optional<IntegratorRecord> integrator;
  RunOutcome outcome;
  std::optional<LifeRecord> life;
  std::vector<RunCheck> checks;
};

// The report as JSON text (two-space indent, LF line ends, a final LF).
// Non-finite numbers are written as null.
std::string runReportText(const RunReport& report);

// Reads a report written by runReportText. Unknown keys are ignored; a
// missing key keeps its default; null numbers read as NaN. Throws InputError
// naming `name` and what is wrong (the parser's position for a syntax error,
// the key for a value of the wrong type).
RunReport parseRunReport(std::string_view text, const std::string& name);

// Reads the report of the results folder RESULTS_DIR; InputError naming the
// file when it cannot be read or parsed.
RunReport readRunReport(const std::string& resultsDirectory);

// What a study's summary takes from a report: the outcome's "end" and each
// check's "id" and "status" as written, nothing else required (a report of
// another version, or one a user cut down, still gives them).
struct RunVerdicts {
  std::string end;
  // A life run's life (s); none without a critical condition or when not reached.
  std::optional<double> lifeSeconds;
  std::vector<std::pair<std::string, std::string>> checks;  // id, status
};

// Reads the verdicts of the report of the results folder RESULTS_DIR;
// InputError naming the file when it cannot be read or lacks them.
RunVerdicts readRunVerdicts(const std::string& resultsDirectory);

// The program's version and the revision of its sources, fixed when the build
// was configured.
const char* programVersion();
const char* sourceRevision();
// The CMake build type the program was built with ("Release", "RelWithDebInfo", ...).
const char* programBuildType();

}  // namespace torvex
