#pragma once
// The heat treatment a study or a fit file gives its runs: a temperature
// schedule, as a file or as rows inline, and the times at which results are
// wanted. Both may hold {{NAME}} placeholders, filled for each case like the
// case's own files.
//
//   schedule = "anneal.csv"                                   # a schedule file (time_s,T_K), beside the TOML file
//   schedule = [[0, 1073], [3600, "{{T}}"], [7200, "{{T}}"]]  # or its rows: time (s), temperature (K)
//   output_times = [600, 1800, 3600]                          # s; or a list as --output-times takes it: "0:7200:13"
//   cycles = "1000:3600@{{T}},600@300"                        # thermal cycles, as --cycles takes them
//   spall = "0.005,1"                                         # as --spall; likewise oxide and critical
//   oxide = 1.5
//   critical = "N1<0.05"
//   receding = true                                           # as --receding

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <toml++/toml.h>

#include "model/heat_treatment.h"
#include "model/life_options.h"
#include "study/case_template.h"

namespace torvex {

// A life setting as the file gives it (a number is kept as its shortest
// text) and its line.
struct LifeSettingText {
  std::string text;
  int line = 0;
};

struct HeatTreatmentSetting {
  std::string source;  // the TOML file, for messages
  // The schedule, from a file (its path and text) or given inline; none
  // when neither.
  std::string scheduleFile;
  std::string scheduleText;
  std::vector<ScheduleRowText> scheduleRows;
  // The output times as a list text; empty: none.
  std::string outputTimes;
  int outputTimesLine = 0;
  // cycles, spall, oxide, critical; none when not given.
  std::optional<LifeSettingText> cycles, spall, oxide, critical;
  bool receding = false;  // `receding = true`

  [[nodiscard]] bool hasSchedule() const { return !scheduleFile.empty() || !scheduleRows.empty(); }
  [[nodiscard]] bool hasLife() const { return cycles || spall || oxide || critical || receding; }
  [[nodiscard]] bool empty() const { return !hasSchedule() && outputTimes.empty() && !hasLife(); }
};

// A placeholder of the setting and where it stands ("fit.toml, line 7").
struct PlaceholderUse {
  std::string name;
  std::string where;
};
std::vector<PlaceholderUse> placeholdersOf(const HeatTreatmentSetting& setting);

// What one case runs with.
struct RenderedHeatTreatment {
  std::shared_ptr<const TemperatureSchedule> schedule;  // null: none
  std::string scheduleCsv;                              // the schedule file the case runs with
  std::vector<OutputTime> outputTimes;
  std::string outputTimesText;  // as --output-times takes it; empty: none
  LifeOptionTexts life;         // filled in, each placed at its line of the file
};

// Throws in the caller's style: the node that is wrong, its key, and why.
using TomlRefusal = std::function<void(const toml::node& node, const std::string& key, const std::string& what)>;

// The options that run a case with the rendered life settings
// (--cycles TEXT ...), in the order torvex-batch reads them.
std::vector<std::string> lifeRunOptions(const RenderedHeatTreatment& heat);

// Reads the entries `schedule`, `output_times`, `cycles`, `spall`, `oxide`,
// `critical` and `receding` (true or false) of a study or fit file
// (relative file names from the folder of `tomlPath`). A schedule file is
// read here; its rows are checked when a case is rendered, since they may
// hold placeholders. Refuses, through `refuse`, a schedule that is neither a
// file name nor a list of [time, temperature] rows, a row of another shape, a
// value neither a number nor a text, an unreadable file, and output times
// neither a list of times nor a text.
HeatTreatmentSetting readHeatTreatment(const toml::table& root, const std::string& tomlPath, const TomlRefusal& refuse);

// Refuses a placeholder of the setting that names none of `known`, naming
// where it stands.
void checkHeatTreatmentPlaceholders(const HeatTreatmentSetting& setting, const std::set<std::string>& known);

// The setting with the values filled in, its schedule parsed and checked and
// its output times read. Throws InputError naming the schedule file or the
// TOML file, the line and the text.
RenderedHeatTreatment renderHeatTreatment(const HeatTreatmentSetting& setting,
                                          const std::map<std::string, std::string>& values);

// The name of the schedule file in a rendered case's folder.
inline constexpr const char* kCaseScheduleFile = "schedule.csv";

// Puts the schedule file among the rendered case's files, so that it is
// written and fingerprinted with them. Throws InputError when the case
// already has a side file of that name.
void addScheduleFile(RenderedCase& rendered, const RenderedHeatTreatment& heat);

}  // namespace torvex
