#include "study/study.h"

#include <toml++/toml.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "model/case.h"
#include "model/component_names.h"
#include "model/errors.h"
#include "model/number_format.h"
#include "model/sha256.h"
#include "model/text_list.h"
#include "results/run_report.h"
#include "run/temperature_effect.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

int lineOf(const toml::node& node) {
  return static_cast<int>(node.source().begin.line);
}

[[noreturn]] void refuse(const std::string& path, int line, const std::string& message) {
  throw InputError(path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + message);
}

// A value of a list or a table cell as the text a placeholder becomes.
std::string valueText(const std::string& path, const toml::node& node, const std::string& what) {
  if (const auto* text = node.as_string()) return text->get();
  if (const auto* integer = node.as_integer()) return std::to_string(integer->get());
  if (const auto* real = node.as_floating_point()) {
    if (!std::isfinite(real->get())) refuse(path, lineOf(node), what + " is not a finite number");
    return formatGeneral(real->get());
  }
  refuse(path, lineOf(node), what + " must be a number or a text");
}

// A parameter's value: a text or number held to the rule of every
// parameter value (one line, no control characters, not empty, no {{).
std::string parameterValue(const std::string& path, const toml::node& node, const std::string& what) {
  std::string text = valueText(path, node, what);
  if (const std::string problem = parameterValueProblem(text); !problem.empty())
    refuse(path, lineOf(node), what + ": " + problem);
  return text;
}

std::string caseCap() {
  return "a million";
}

double numberOf(const std::string& path, const toml::node* node, const std::string& what, int line) {
  if (node == nullptr) refuse(path, line, what + " is missing");
  if (const auto* integer = node->as_integer()) return static_cast<double>(integer->get());
  if (const auto* real = node->as_floating_point(); real != nullptr && std::isfinite(real->get())) return real->get();
  refuse(path, lineOf(*node), what + " must be a finite number");
}

// { from = A, to = B, count = N [, scale = "linear" | "log"] }
std::vector<std::string> rangeValues(const std::string& path, const std::string& name, const toml::table& range) {
  const int line = lineOf(range);
  for (auto&& [key, node] : range)
    if (key.str() != "from" && key.str() != "to" && key.str() != "count" && key.str() != "scale")
      refuse(path, lineOf(node),
             "the range of " + name + " has no entry \"" + std::string(key.str()) + "\" (from, to, count, scale)");
  const double from = numberOf(path, range.get("from"), "the range of " + name + ": from", line);
  const double to = numberOf(path, range.get("to"), "the range of " + name + ": to", line);
  const toml::node* countNode = range.get("count");
  if (countNode == nullptr || !countNode->is_integer())
    refuse(path, line, "the range of " + name + " needs a whole count of values (count = N)");
  const long long count = countNode->as_integer()->get();
  if (count < 1)
    refuse(path, lineOf(*countNode), "the range of " + name + " is empty (count = " + std::to_string(count) + ")");
  if (count > static_cast<long long>(kMaxStudyCases))
    refuse(path, lineOf(*countNode), "the range of " + name + " has more than " + caseCap() + " values");
  std::string scale = "linear";
  if (const toml::node* scaleNode = range.get("scale")) {
    if (!scaleNode->is_string()) refuse(path, lineOf(*scaleNode), "scale must be \"linear\" or \"log\"");
    scale = scaleNode->as_string()->get();
  }
  if (scale != "linear" && scale != "log")
    refuse(path, line, "scale must be \"linear\" or \"log\", not \"" + scale + "\"");
  if (scale == "log" && !(from > 0 && to > 0))
    refuse(path, line, "a logarithmic range of " + name + " needs from and to above 0");
  std::vector<std::string> values;
  for (long long i = 0; i < count; ++i) {
    const double f = count == 1 ? 0.0 : static_cast<double>(i) / static_cast<double>(count - 1);
    // The ends are given exactly; powers of ten land on whole decades.
    double value = i == count - 1 ? to : from;
    if (i > 0 && i < count - 1)
      value = scale == "log" ? std::pow(10.0, std::log10(from) + f * (std::log10(to) - std::log10(from)))
                             : from + f * (to - from);
    values.push_back(formatGeneral(value));
  }
  return values;
}

// The names of the {{NAME}} placeholders in the text; throws at an unclosed one.
std::vector<std::string> placeholders(const std::string& text, const std::string& path, int line) {
  return placeholderNames(text, path + (line > 0 ? ":" + std::to_string(line) : std::string()));
}

// One CSV line split at commas; cells may be quoted ("a, b" and "" for ").
std::vector<std::string> csvCells(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cells.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cells.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  for (std::string& cell : cells) cell = trimmed(cell);
  return cells;
}

// An explicit table of cases: a header of parameter names, a row per case.
void readCaseTable(Study& study, const std::string& tablePath) {
  std::ifstream in(tablePath, std::ios::binary);
  if (!in) throw InputError(tablePath + ": the table of cases cannot be read");
  study.tablePath = tablePath;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (trimmed(line).empty() || trimmed(line)[0] == '#') continue;
    std::vector<std::string> cells = csvCells(line);
    if (study.parameters.empty()) {
      for (const std::string& name : cells) {
        if (name.empty()) refuse(tablePath, number, "a column of the header has no parameter name");
        if (std::any_of(study.parameters.begin(), study.parameters.end(),
                        [&](const StudyParameter& p) { return p.name == name; }))
          refuse(tablePath, number, "the parameter " + name + " heads two columns");
        study.parameters.push_back({name, {}, number});
      }
      continue;
    }
    if (cells.size() != study.parameters.size())
      refuse(tablePath, number,
             "the row has " + std::to_string(cells.size()) + " values for " + std::to_string(study.parameters.size()) +
                 " parameters (\"" + line + "\")");
    for (std::size_t c = 0; c < cells.size(); ++c)
      if (const std::string problem = parameterValueProblem(cells[c]); !problem.empty())
        refuse(tablePath, number, "the value of " + study.parameters[c].name + ": " + problem);
    if (study.values.size() == kMaxStudyCases)
      refuse(tablePath, number, "the table has more than " + caseCap() + " cases");
    study.values.push_back(cells);
  }
  if (study.parameters.empty()) refuse(tablePath, 0, "the table of cases has no header");
  if (study.values.empty()) refuse(tablePath, 0, "the table of cases has no case");
}

void readParameters(Study& study, const toml::table& table, const std::string& combine) {
  const std::string& path = study.path;
  for (auto&& [key, node] : table) {
    StudyParameter parameter{std::string(key.str()), {}, lineOf(node)};
    if (const auto* list = node.as_array()) {
      if (list->size() > kMaxStudyCases)
        refuse(path, parameter.line, "the parameter " + parameter.name + " has more than " + caseCap() + " values");
      for (const toml::node& value : *list)
        parameter.values.push_back(parameterValue(path, value, "a value of " + parameter.name));
    } else if (const auto* range = node.as_table()) {
      parameter.values = rangeValues(path, parameter.name, *range);
    } else {
      parameter.values.push_back(parameterValue(path, node, "the value of " + parameter.name));
    }
    if (parameter.values.empty()) refuse(path, parameter.line, "the parameter " + parameter.name + " has no values");
    study.parameters.push_back(std::move(parameter));
  }
  // toml++ keeps a table's keys sorted; the study's columns follow the file.
  std::sort(study.parameters.begin(), study.parameters.end(),
            [](const StudyParameter& a, const StudyParameter& b) { return a.line < b.line; });
  if (study.parameters.empty()) return;
  if (combine == "zip") {
    const std::size_t count = study.parameters.front().values.size();
    for (const StudyParameter& p : study.parameters)
      if (p.values.size() != count)
        refuse(path, p.line,
               "zipped parameters need lists of one length: " + p.name + " has " + std::to_string(p.values.size()) +
                   " values, " + study.parameters.front().name + " " + std::to_string(count));
    for (std::size_t c = 0; c < count; ++c) {
      std::vector<std::string> row;
      for (const StudyParameter& p : study.parameters) row.push_back(p.values[c]);
      study.values.push_back(std::move(row));
    }
    return;
  }
  // Every combination; the last parameter varies fastest.
  std::size_t count = 1;
  for (const StudyParameter& p : study.parameters) {
    count *= p.values.size();
    if (count > kMaxStudyCases) refuse(path, p.line, "the grid has more than " + caseCap() + " cases");
  }
  for (std::size_t c = 0; c < count; ++c) {
    std::vector<std::string> row(study.parameters.size());
    std::size_t rest = c;
    for (std::size_t p = study.parameters.size(); p-- > 0;) {
      row[p] = study.parameters[p].values[rest % study.parameters[p].values.size()];
      rest /= study.parameters[p].values.size();
    }
    study.values.push_back(std::move(row));
  }
}

std::vector<std::string> stringList(const std::string& path, const toml::node& node, const std::string& what) {
  const auto* list = node.as_array();
  if (list == nullptr) refuse(path, lineOf(node), what + " must be a list of texts");
  std::vector<std::string> texts;
  for (const toml::node& item : *list) {
    if (!item.is_string()) refuse(path, lineOf(item), what + " must be a list of texts");
    texts.push_back(item.as_string()->get());
  }
  return texts;
}

void checkKeys(const std::string& path, const toml::table& table, const std::set<std::string>& known,
               const std::string& where) {
  for (auto&& [key, node] : table)
    if (known.count(std::string(key.str())) == 0) {
      std::string list;
      for (const std::string& name : known) list += (list.empty() ? "" : ", ") + name;
      refuse(path, lineOf(node), where + " has no entry \"" + std::string(key.str()) + "\" (known: " + list + ")");
    }
}

const toml::table& tableAt(const std::string& path, const toml::node& node, const std::string& name) {
  if (const auto* table = node.as_table()) return *table;
  refuse(path, lineOf(node), name + " must be a table ([" + name + "])");
}

std::string stringAt(const std::string& path, const toml::node& node, const std::string& name) {
  if (const auto* text = node.as_string()) return text->get();
  refuse(path, lineOf(node), name + " must be a text in quotes");
}

}  // namespace

std::optional<StudyResult> parseStudyResult(const std::string& name) {
  StudyResult result;
  result.name = name;
  if (name == "kirkendall_shift_cm") {
    result.kind = StudyResult::Kind::KirkendallShift;
    return result;
  }
  if (name == "oxide_thickness_cm") {
    result.kind = StudyResult::Kind::OxideThickness;
    return result;
  }
  if (name == "recession_cm") {
    result.kind = StudyResult::Kind::Recession;
    return result;
  }
  // N<i>_left | N<i>_right, or time_N<i>_<end>_below_<value>
  std::string rest = name;
  const bool time = rest.rfind("time_", 0) == 0;
  if (time) rest = rest.substr(5);
  if (rest.size() < 2 || rest[0] != 'N') return std::nullopt;
  const std::size_t bar = rest.find('_');
  if (bar == std::string::npos) return std::nullopt;
  const std::optional<int> component = parseInteger(rest.substr(1, bar - 1));
  if (!component || *component < 1 || *component > 99) return std::nullopt;
  result.component = *component;
  rest = rest.substr(bar + 1);
  std::string end = rest;
  if (time) {
    const std::string below = "_below_";
    const std::size_t at = rest.find(below);
    if (at == std::string::npos) return std::nullopt;
    end = rest.substr(0, at);
    const std::optional<double> threshold = parseReal(rest.substr(at + below.size()));
    if (!threshold) return std::nullopt;
    result.threshold = *threshold;
    result.kind = StudyResult::Kind::FirstTimeBelow;
  }
  if (end != "left" && end != "right") return std::nullopt;
  result.left = end == "left";
  return result;
}

Study loadStudy(const std::string& path) {
  Study study;
  study.path = path;
  toml::table root;
  try {
    root = toml::parse_file(path);
  } catch (const toml::parse_error& error) {
    refuse(path, static_cast<int>(error.source().begin.line), std::string(error.description()));
  }
  const fs::path folder = fs::path(path).parent_path();
  const auto besideStudy = [&](const std::string& name) {
    return fs::path(name).is_absolute() || folder.empty() ? name : (folder / name).lexically_normal().string();
  };
  checkKeys(path, root,
            {"case", "output", "combine", "table", "parameters", "set", "schedule", "output_times", "cycles", "spall",
             "oxide", "critical", "receding", "run", "summary", "slurm", "names"},
            "the study");

  const toml::node* caseNode = root.get("case");
  if (caseNode == nullptr) refuse(path, 0, "the study names no case (case = \"CASE.dat\")");
  study.casePath = besideStudy(stringAt(path, *caseNode, "case"));

  std::string output = fs::path(path).stem().string();
  if (const toml::node* node = root.get("output")) output = stringAt(path, *node, "output");
  if (output.empty()) refuse(path, 0, "output must name a folder");
  study.outputDirectory = besideStudy(output);

  std::string combine = "grid";
  if (const toml::node* node = root.get("combine")) {
    combine = stringAt(path, *node, "combine");
    if (combine != "grid" && combine != "zip" && combine != "table")
      refuse(path, lineOf(*node), "combine must be \"grid\", \"zip\" or \"table\", not \"" + combine + "\"");
  }
  const toml::node* tableNode = root.get("table");
  const toml::node* parametersNode = root.get("parameters");
  if (tableNode != nullptr) {
    if (parametersNode != nullptr)
      refuse(path, lineOf(*tableNode), "a study gives its cases either as a table or as [parameters], not both");
    if (root.get("combine") != nullptr && combine != "table")
      refuse(path, lineOf(*tableNode), "a table of cases cannot be combined as \"" + combine + "\"");
    readCaseTable(study, besideStudy(stringAt(path, *tableNode, "table")));
  } else if (combine == "table") {
    refuse(path, 0, "combine = \"table\" needs table = \"CASES.csv\"");
  } else if (parametersNode != nullptr) {
    readParameters(study, tableAt(path, *parametersNode, "parameters"), combine);
  }
  if (study.values.empty()) study.values.emplace_back();  // no parameters: the one case as it is

  if (const toml::node* node = root.get("set")) {
    for (auto&& [key, value] : tableAt(path, *node, "set")) {
      const std::string name(key.str());
      const std::optional<DataKey> dataKey = keyNamed(name);
      if (!dataKey) refuse(path, lineOf(value), "there is no key \"" + name + "\" to set (keys are D0 ... D24)");
      StudyOverride override{*dataKey, valueText(path, value, "the value of " + name), lineOf(value)};
      if (const std::string problem = valueTextProblem(override.text); !problem.empty())
        refuse(path, override.line, "the override of " + name + ": " + problem);
      for (const std::string& used : placeholders(override.text, path, override.line))
        if (std::none_of(study.parameters.begin(), study.parameters.end(),
                         [&](const StudyParameter& p) { return p.name == used; }))
          refuse(path, override.line, "the override of " + name + " uses the unknown parameter {{" + used + "}}");
      study.overrides.push_back(std::move(override));
    }
    std::sort(study.overrides.begin(), study.overrides.end(),
              [](const StudyOverride& a, const StudyOverride& b) { return a.line < b.line; });
  }

  study.heatTreatment = readHeatTreatment(
      root, path,
      [&](const toml::node& node, const std::string&, const std::string& what) { refuse(path, lineOf(node), what); });
  {
    std::set<std::string> names;
    for (const StudyParameter& parameter : study.parameters) names.insert(parameter.name);
    for (const PlaceholderUse& use : placeholdersOf(study.heatTreatment))
      if (names.count(use.name) == 0)
        throw InputError(use.where + ": the placeholder {{" + use.name + "}} is no parameter of the study " + path);
  }

  if (const toml::node* node = root.get("run")) {
    const toml::table& run = tableAt(path, *node, "run");
    checkKeys(path, run, {"options", "time_limit", "jobs"}, "[run]");
    if (const toml::node* options = run.get("options")) {
      study.runOptions = stringList(path, *options, "options");
      for (const std::string& option : study.runOptions)
        if (option == "--results" || option == "--set" || option == "--param" || option == "--check")
          refuse(path, lineOf(*options), "options cannot hold " + option + ": the study gives it to every case itself");
        else if ((option == "--schedule" && study.heatTreatment.hasSchedule()) ||
                 (option == "--output-times" && !study.heatTreatment.outputTimes.empty()) ||
                 (option == "--cycles" && study.heatTreatment.cycles) ||
                 (option == "--spall" && study.heatTreatment.spall) ||
                 (option == "--oxide" && study.heatTreatment.oxide) ||
                 (option == "--critical" && study.heatTreatment.critical) ||
                 (option == "--receding" && study.heatTreatment.receding))
          refuse(path, lineOf(*options),
                 "options cannot hold " + option + ": the study gives it in " +
                     (option == "--schedule"       ? std::string("schedule")
                      : option == "--output-times" ? std::string("output_times")
                                                   : option.substr(2)));
    }
    if (const toml::node* limit = run.get("time_limit")) {
      const double seconds = numberOf(path, limit, "time_limit", lineOf(*limit));
      if (!(seconds >= kMinTimeLimitSeconds))
        refuse(path, lineOf(*limit),
               "time_limit must be a number of seconds, at least 0.001 (1 ms), not " + formatGeneral(seconds));
      study.timeLimitSeconds = seconds;
    }
    if (const toml::node* jobs = run.get("jobs")) {
      if (!jobs->is_integer() || jobs->as_integer()->get() < 1)
        refuse(path, lineOf(*jobs), "jobs must be a whole number of processes, 1 or more");
      // More than the cores are clamped when the sweep starts, with a note.
      study.jobs = static_cast<int>(std::min<std::int64_t>(jobs->as_integer()->get(), 1 << 30));
    }
  }

  // The components' names: every case gets them as --names.
  if (const toml::node* node = root.get("names")) {
    const std::vector<std::string> names = stringList(path, *node, "names");
    const std::string where = path + ":" + std::to_string(lineOf(*node)) + ": names";
    checkComponentNames(names, static_cast<int>(names.size()), where);
    if (std::find(study.runOptions.begin(), study.runOptions.end(), "--names") != study.runOptions.end())
      refuse(path, lineOf(*node), "names and the option --names in [run] options: give the names once");
    study.componentNames = names;
    if (!names.empty()) study.runOptions.insert(study.runOptions.end(), {"--names", joinComponentNames(names)});
  }

  if (const toml::node* node = root.get("summary")) {
    const toml::table& summary = tableAt(path, *node, "summary");
    checkKeys(path, summary, {"results"}, "[summary]");
    if (const toml::node* results = summary.get("results"))
      for (const std::string& name : stringList(path, *results, "results")) {
        const std::optional<StudyResult> result = parseStudyResult(name);
        if (!result)
          refuse(path, lineOf(*results),
                 "there is no result \"" + name +
                     "\" (kirkendall_shift_cm, oxide_thickness_cm, recession_cm, N<i>_left, N<i>_right, "
                     "time_N<i>_left_below_<value>, time_N<i>_right_below_<value>)");
        study.results.push_back(*result);
      }
  }

  if (const toml::node* node = root.get("slurm")) {
    const toml::table& slurm = tableAt(path, *node, "slurm");
    checkKeys(path, slurm, {"time", "memory", "throttle", "partition", "options", "setup"}, "[slurm]");
    if (const toml::node* time = slurm.get("time")) study.slurm.time = stringAt(path, *time, "time");
    if (const toml::node* memory = slurm.get("memory")) study.slurm.memory = stringAt(path, *memory, "memory");
    if (const toml::node* partition = slurm.get("partition"))
      study.slurm.partition = stringAt(path, *partition, "partition");
    if (const toml::node* throttle = slurm.get("throttle")) {
      if (!throttle->is_integer() || throttle->as_integer()->get() < 1 || throttle->as_integer()->get() > 1000000)
        refuse(path, lineOf(*throttle), "throttle must be a whole number of tasks, 1 or more");
      study.slurm.throttle = static_cast<int>(throttle->as_integer()->get());
    }
    if (const toml::node* options = slurm.get("options")) study.slurm.options = stringList(path, *options, "options");
    if (const toml::node* setup = slurm.get("setup")) study.slurm.setup = stringList(path, *setup, "setup");
    for (const std::string* text : {&study.slurm.time, &study.slurm.memory, &study.slurm.partition})
      if (text->find_first_of("\n\r'\"") != std::string::npos)
        refuse(path, lineOf(*node), "a [slurm] setting cannot hold quotes or line breaks (\"" + *text + "\")");
    for (const std::string& option : study.slurm.options)
      if (option.find_first_of("\n\r") != std::string::npos)
        refuse(path, lineOf(*node), "a [slurm] option cannot hold a line break");
    // Each setup line is one line of the script.
    for (const std::string& line : study.slurm.setup)
      if (line.find_first_of("\n\r") != std::string::npos)
        refuse(path, lineOf(*slurm.get("setup")), "a [slurm] setup line cannot hold a line break");
  }
  return study;
}

RenderedCase renderStudyCase(const Study& study, std::size_t index) {
  const std::vector<std::string>& row = study.values.at(index);
  std::map<std::string, std::string> values;
  std::vector<CaseParameter> parameters;
  for (std::size_t p = 0; p < study.parameters.size(); ++p) {
    values[study.parameters[p].name] = row[p];
    parameters.push_back({study.parameters[p].name, row[p]});
  }
  std::vector<KeyOverride> overrides;
  std::set<std::string> usedByOverrides;
  for (const StudyOverride& override : study.overrides) {
    for (const std::string& name : placeholders(override.text, study.path, override.line)) usedByOverrides.insert(name);
    overrides.push_back({override.key, fillPlaceholders(override.text, values, study.path)});
  }
  for (const PlaceholderUse& use : placeholdersOf(study.heatTreatment)) usedByOverrides.insert(use.name);
  try {
    RenderedCase rendered = renderCase(study.casePath, overrides, parameters, usedByOverrides);
    if (!study.heatTreatment.empty()) {
      const RenderedHeatTreatment heat = renderHeatTreatment(study.heatTreatment, values);
      addScheduleFile(rendered, heat);
      if (heat.schedule) rendered.runOptions.insert(rendered.runOptions.end(), {"--schedule", kCaseScheduleFile});
      if (!heat.outputTimesText.empty())
        rendered.runOptions.insert(rendered.runOptions.end(), {"--output-times", heat.outputTimesText});
      for (std::string& option : lifeRunOptions(heat)) rendered.runOptions.push_back(std::move(option));
    }
    return rendered;
  } catch (const InputError& error) {
    std::string where;
    for (std::size_t p = 0; p < study.parameters.size(); ++p)
      where += (p == 0 ? " (" : ", ") + study.parameters[p].name + " = " + row[p];
    if (!where.empty()) where += ")";
    throw InputError(study.path + ": case " + std::to_string(index) + where + ": " + error.what());
  }
}

std::string inputFingerprint(const RenderedCase& rendered, const std::vector<std::string>& runOptions) {
  // A SHA-256 digest over everything the run reads: the program that runs it,
  // every file of the case (copied or read in place) by the name the case
  // gives it and its content, the options, and the content of any file an
  // option names. Each piece goes in with its length in front, so that no
  // two different sets of inputs give the same bytes.
  std::string bytes;
  const auto add = [&](std::string_view text) {
    bytes += std::to_string(text.size());
    bytes += ':';
    bytes += text;
  };
  const auto addFile = [&](const RenderedFile& file) {
    add(file.name);
    if (file.text) {
      add(*file.text);
      return;
    }
    add(std::to_string(file.lines.size()));
    for (const std::string& line : file.lines) add(line);
  };
  add(programVersion());
  add(sourceRevision());
  addFile(rendered.dataFile);
  add("side files");
  for (const RenderedFile& file : rendered.sideFiles) addFile(file);
  add("read in place");
  for (const RenderedFile& file : rendered.sideFilesLeftInPlace) addFile(file);
  add("options");
  for (std::size_t k = 0; k < runOptions.size(); ++k) {
    add(runOptions[k]);
    const bool namesFile = k > 0 && (runOptions[k - 1] == "--schedule" || runOptions[k - 1] == "--output-times");
    std::error_code ignored;
    if (namesFile && fs::is_regular_file(runOptions[k], ignored)) {
      try {
        add(sha256OfFile(runOptions[k]));
      } catch (const InputError& error) {
        add(error.what());  // the run will not read it either
      }
    }
  }
  add("case options");
  for (const std::string& option : rendered.runOptions) add(option);
  return sha256Hex(bytes);
}

std::string caseDirectory(const Study& study, std::size_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "%04zu", index);
  return (fs::path(study.outputDirectory) / "cases" / name).string();
}

bool studyVariesTemperature(const Study& study) {
  return study.heatTreatment.hasSchedule() || study.heatTreatment.cycles ||
         std::any_of(study.overrides.begin(), study.overrides.end(), [](const StudyOverride& o) {
           return o.key == DataKey::D8 && o.text.find("{{") != std::string::npos;
         });
}

InputsOutside studyInputsOutside(const Study& study) {
  InputsOutside inputs(study.outputDirectory, "The study's output folder");
  inputs.check(study.tablePath);
  inputs.check(study.casePath);
  inputs.check(study.heatTreatment.scheduleFile);
  return inputs;
}

void validateStudy(const Study& study, const std::function<void(std::size_t, std::size_t)>& progress,
                   std::string* temperatureWarning) {
  InputsOutside inputs = studyInputsOutside(study);
  for (std::size_t c = 0; c < study.caseCount(); ++c) {
    if (progress) progress(c, study.caseCount());
    RenderedCase rendered = renderStudyCase(study, c);
    inputs.check(inputFilesOf(rendered));
    if (c != 0) continue;
    // The first case loads as its run would load it, from its rendered
    // files, held in memory; messages name them as the case's own.
    Case first;
    try {
      first = loadRenderedCase(rendered, "");
      first.componentNames = study.componentNames;
      // The life settings are checked against the case as its run would.
      if (study.heatTreatment.hasLife()) {
        std::map<std::string, std::string> values;
        for (std::size_t p = 0; p < study.parameters.size(); ++p) values[study.parameters[p].name] = study.values[0][p];
        installLifeOptions(first.heatTreatment, renderHeatTreatment(study.heatTreatment, values).life, first.startTime);
      }
      first.validate();
    } catch (const std::exception& error) {
      std::string message = error.what();
      if (const auto* fatal = dynamic_cast<const FatalModelError*>(&error); fatal && !fatal->detail().empty())
        message += ": " + fatal->detail();
      throw InputError(study.path + ": the first case does not load: " + message);
    }
    if (temperatureWarning != nullptr) {
      temperatureWarning->clear();
      if (const TemperatureEffect effect = temperatureEffect(first); studyVariesTemperature(study) && !effect.acts())
        *temperatureWarning = study.path + ": the study varies the temperature, but it cannot act on its case. " +
                              temperatureNote(effect);
    }
    // Output times must lie within the run; the first case's run stands for
    // all (a case whose own end time excludes one is refused when it runs).
    if (!study.heatTreatment.outputTimes.empty()) {
      std::map<std::string, std::string> values;
      for (std::size_t p = 0; p < study.parameters.size(); ++p) values[study.parameters[p].name] = study.values[0][p];
      outputTimesWithin(renderHeatTreatment(study.heatTreatment, values).outputTimes, first.startTime, first.endTime);
    }
  }
}

}  // namespace torvex
