#include "results/run_report.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "model/errors.h"
#include "model/number_format.h"
#include "model/read_file.h"
#include "model/text_list.h"
#include "results/results_files.h"

namespace torvex {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kFormatName = "torvex-run-report";
constexpr int kFormatVersion = 1;

const char* comparisonName(CheckComparison comparison) {
  switch (comparison) {
    case CheckComparison::AtLeast: return "at_least";
    case CheckComparison::Near: return "near";
    case CheckComparison::AtMost: break;
  }
  return "at_most";
}

// A number, or null for one JSON cannot hold.
Json number(double value) {
  return std::isfinite(value) ? Json(value) : Json(nullptr);
}

Json pairsAsList(const std::vector<std::pair<std::string, std::string>>& pairs) {
  Json list = Json::array();
  for (const auto& [key, value] : pairs) list.push_back({{"key", key}, {"value", value}});
  return list;
}

Json pairsAsObject(const std::vector<std::pair<std::string, std::string>>& pairs) {
  Json object = Json::object();
  for (const auto& [name, value] : pairs) object[name] = value;
  return object;
}

Json provenanceJson(const RunReport& report) {
  Json files = Json::array();
  Json data = nullptr;
  for (const InputFileDigest& file : report.inputFiles) {
    if (file.role == "data")
      data = {{"path", file.path}, {"sha256", file.sha256}};
    else
      files.push_back({{"role", file.role}, {"path", file.path}, {"sha256", file.sha256}});
  }
  const RunProvenance& p = report.provenance;
  return {
      {"program", p.program},
      {"version", report.version},
      {"git_revision", report.gitRevision},
      {"command_line", p.commandLine},
      {"working_directory", report.workingDirectory},
      {"host", report.host},
      {"started_utc", report.startedUtc},
      {"ended_utc", report.endedUtc.empty() ? Json(nullptr) : Json(report.endedUtc)},
      {"data_file", data},
      {"side_files", files},
      {"overrides", pairsAsList(p.overrides)},
      {"parameters", pairsAsObject(p.parameters)},
  };
}

// The schedule (null without one) and the output times (empty without them).
Json heatTreatmentJson(const HeatTreatmentRecord& record) {
  Json schedule = nullptr;
  if (record.schedule) {
    Json rows = Json::array();
    for (const ScheduleRow& row : record.schedule->rows)
      rows.push_back(Json::array({number(row.time), number(row.temperature)}));
    schedule = {
        {"file", record.schedule->file},
        {"sha256", record.schedule->sha256.empty() ? Json(nullptr) : Json(record.schedule->sha256)},
        {"rows", rows},
    };
  }
  Json times = Json::array();
  for (const double time : record.outputTimes) times.push_back(number(time));
  Json json = {{"schedule", schedule}};
  // Only a run with cycles has the key.
  if (const auto& cycles = record.cycles)
    json["cycles"] = {{"text", cycles->text},
                      {"start_s", number(cycles->start)},
                      {"count", cycles->count},
                      {"period_s", number(cycles->period)}};
  json["output_times_s"] = times;
  // Only a run with a receding surface has the key.
  if (record.receding) json["receding"] = true;
  return json;
}

constexpr double kSecondsPerHour = 3600;

Json lifeJson(const LifeRecord& life) {
  const bool reached = life.lifeSeconds.has_value();
  return {
      {"condition", life.condition.empty() ? Json(nullptr) : Json(life.condition)},
      {"result", life.condition.empty() ? "no condition"
                 : reached              ? "reached"
                                        : "not reached"},
      {"life_s", reached ? number(*life.lifeSeconds) : Json(nullptr)},
      {"life_h", reached ? number(*life.lifeSeconds / kSecondsPerHour) : Json(nullptr)},
  };
}

Json scaleJson(const LifeRecord& life) {
  Json json = {
      {"retained_cm", number(life.retainedThickness)},
      {"spalled_metal_mol_cm2", number(life.spalledMetal)},
      {"consumed_metal_mol_cm2", number(life.consumedMetal)},
      {"spalls", life.spalls},
      {"spall_law", life.spallLaw.empty() ? Json(nullptr) : Json(life.spallLaw)},
      {"oxide", life.oxide.empty() ? Json(nullptr) : Json(life.oxide)},
  };
  if (!life.oxide.empty()) {
    json["mass_change_mg_cm2"] = number(life.massChange);
    json["oxygen_gain_mg_cm2"] = number(life.oxygenGain);
    json["spall_loss_mg_cm2"] = number(life.spallLoss);
  }
  return json;
}

Json outcomeJson(const RunOutcome& o) {
  return {
      {"end", o.end},
      {"message", o.message},
      {"accepted_passes", o.acceptedPasses},
      {"rejected_passes", o.rejectedPasses},
      {"start_time_s", number(o.startTime)},
      {"end_time_s", number(o.endTime)},
      {"final_time_s", number(o.finalTime)},
      {"largest_step_s", number(o.largestStep)},
      {"smallest_step_s", number(o.smallestStep)},
      {"wall_time_s", number(o.wallSeconds)},
      {"saves", o.saves},
      {"journal_time_s", number(o.journalSeconds)},
  };
}

Json checkJson(const RunCheck& check) {
  Json json = {
      {"id", check.id},
      {"title", check.title},
      {"value", number(check.value)},
      {"threshold", number(check.threshold)},
      {"comparison", comparisonName(check.comparison)},
  };
  if (check.comparison == CheckComparison::Near) json["expected"] = number(check.expected);
  json["status"] = checkStatus(check);
  json["meaning"] = check.meaning;
  return json;
}

// ---- Reading ----

[[noreturn]] void refuse(const std::string& name, const std::string& what) {
  throw InputError(name + ": " + what);
}

// A report the program writes is well under these: its largest parts are
// the schedule's rows (at most 100 000) and the output times (10 000).
constexpr std::size_t kMaxReportBytes = 64u << 20;
constexpr std::size_t kMaxReportValues = 2'000'000;
constexpr std::size_t kMaxReportDepth = 64;

// Counts the values of a JSON text without keeping them, so that a text
// whose tree would take far more memory than its size is refused before the
// tree is built.
class ValueCounter : public nlohmann::json_sax<Json> {
 public:
  bool null() override { return counted(); }
  bool boolean(bool) override { return counted(); }
  bool number_integer(number_integer_t) override { return counted(); }
  bool number_unsigned(number_unsigned_t) override { return counted(); }
  bool number_float(number_float_t, const string_t&) override { return counted(); }
  bool string(string_t&) override { return counted(); }
  bool binary(binary_t&) override { return counted(); }
  bool start_object(std::size_t) override { return opened(); }
  bool key(string_t&) override { return counted(); }
  bool end_object() override { return closed(); }
  bool start_array(std::size_t) override { return opened(); }
  bool end_array() override { return closed(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

  [[nodiscard]] bool tooMany() const { return values_ > kMaxReportValues; }
  [[nodiscard]] bool tooDeep() const { return depth_ > kMaxReportDepth; }

 private:
  bool counted() { return ++values_ <= kMaxReportValues; }
  bool opened() { return counted() && ++depth_ <= kMaxReportDepth; }
  bool closed() {
    --depth_;
    return true;
  }
  std::size_t values_ = 0;
  std::size_t depth_ = 0;
};

// Refuses a text whose tree would be too large or too deep; the parse
// proper gives the message of any other fault.
void checkReportSize(std::string_view text, const std::string& name) {
  ValueCounter counter;
  Json::sax_parse(text, &counter, nlohmann::detail::input_format_t::json, false);
  if (counter.tooMany()) refuse(name, "not a run report (more than " + std::to_string(kMaxReportValues) + " values)");
  if (counter.tooDeep())
    refuse(name, "not a run report (nested more than " + std::to_string(kMaxReportDepth) + " deep)");
}

std::string reportText(const std::string& path) {
  return ReadWholeFile(path, kMaxReportBytes, "the run report");
}

// The member `key` of `object` read into `out` when present and not null.
class Reader {
 public:
  explicit Reader(const std::string& name) : name_(name) {}

  const Json* member(const Json& object, const char* key, const std::string& where) const {
    if (!object.is_object()) refuse(name_, where + " is not a JSON object");
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
  }
  void text(const Json& object, const char* key, const std::string& where, std::string& out) const {
    if (const Json* value = member(object, key, where)) {
      if (!value->is_string()) wrongType(where, key, *value, "a text");
      out = value->get<std::string>();
    }
  }
  void real(const Json& object, const char* key, const std::string& where, double& out) const {
    const Json* value = member(object, key, where);
    if (value == nullptr) {
      if (object.contains(key)) out = std::numeric_limits<double>::quiet_NaN();
      return;
    }
    if (!value->is_number()) wrongType(where, key, *value, "a number");
    out = value->get<double>();
  }
  void integer(const Json& object, const char* key, const std::string& where, long long& out) const {
    if (const Json* value = member(object, key, where)) {
      if (!value->is_number_integer()) wrongType(where, key, *value, "a whole number");
      out = value->get<long long>();
    }
  }
  [[noreturn]] void wrongType(const std::string& where, const char* key, const Json& value, const char* wanted) const {
    refuse(name_, where + "." + key + " is " + value.dump() + ", not " + wanted);
  }
  const std::string& name() const { return name_; }

 private:
  const std::string& name_;
};

CheckComparison comparisonOf(const Reader& in, const std::string& text, const std::string& where) {
  if (text == "at_most") return CheckComparison::AtMost;
  if (text == "at_least") return CheckComparison::AtLeast;
  if (text == "near") return CheckComparison::Near;
  refuse(in.name(), where + ".comparison is \"" + text + "\", not at_most, at_least or near");
}

RunCheck checkOf(const Reader& in, const Json& json, const std::string& where) {
  RunCheck check;
  in.text(json, "id", where, check.id);
  in.text(json, "title", where, check.title);
  in.real(json, "value", where, check.value);
  in.real(json, "threshold", where, check.threshold);
  std::string comparison = "at_most";
  in.text(json, "comparison", where, comparison);
  check.comparison = comparisonOf(in, comparison, where);
  in.real(json, "expected", where, check.expected);
  std::string status = "pass";
  in.text(json, "status", where, status);
  if (status != "pass" && status != "note" && status != "warn")
    refuse(in.name(), where + ".status is \"" + status + "\", not pass, note or warn");
  // Reports written before notes existed say "warn" for every check outside
  // its bound; they read as they were written.
  check.warn = status != "pass";
  check.note = status == "note";
  in.text(json, "meaning", where, check.meaning);
  return check;
}

void readProvenance(const Reader& in, const Json& json, RunReport& report) {
  const std::string where = "provenance";
  RunProvenance& p = report.provenance;
  in.text(json, "program", where, p.program);
  in.text(json, "version", where, report.version);
  in.text(json, "git_revision", where, report.gitRevision);
  in.text(json, "working_directory", where, report.workingDirectory);
  in.text(json, "host", where, report.host);
  in.text(json, "started_utc", where, report.startedUtc);
  in.text(json, "ended_utc", where, report.endedUtc);
  if (const Json* line = in.member(json, "command_line", where)) {
    if (!line->is_array()) in.wrongType(where, "command_line", *line, "a list");
    for (const Json& arg : *line) {
      if (!arg.is_string()) in.wrongType(where, "command_line", arg, "a text");
      p.commandLine.push_back(arg.get<std::string>());
    }
  }
  if (const Json* data = in.member(json, "data_file", where)) {
    InputFileDigest file{"data", {}, {}};
    in.text(*data, "path", where + ".data_file", file.path);
    in.text(*data, "sha256", where + ".data_file", file.sha256);
    report.inputFiles.push_back(std::move(file));
  }
  if (const Json* sides = in.member(json, "side_files", where)) {
    if (!sides->is_array()) in.wrongType(where, "side_files", *sides, "a list");
    for (const Json& side : *sides) {
      InputFileDigest file;
      in.text(side, "role", where + ".side_files", file.role);
      in.text(side, "path", where + ".side_files", file.path);
      in.text(side, "sha256", where + ".side_files", file.sha256);
      report.inputFiles.push_back(std::move(file));
    }
  }
  if (const Json* overrides = in.member(json, "overrides", where)) {
    if (!overrides->is_array()) in.wrongType(where, "overrides", *overrides, "a list");
    for (const Json& entry : *overrides) {
      std::pair<std::string, std::string> pair;
      in.text(entry, "key", where + ".overrides", pair.first);
      in.text(entry, "value", where + ".overrides", pair.second);
      p.overrides.push_back(std::move(pair));
    }
  }
  if (const Json* parameters = in.member(json, "parameters", where)) {
    if (!parameters->is_object()) in.wrongType(where, "parameters", *parameters, "an object");
    for (const auto& [name, value] : parameters->items()) {
      if (!value.is_string()) in.wrongType(where + ".parameters", name.c_str(), value, "a text");
      p.parameters.emplace_back(name, value.get<std::string>());
    }
  }
}

// A list of numbers, the member `key` of `object`; a null item reads as NaN.
std::vector<double> numbersOf(const Reader& in, const Json& object, const char* key, const std::string& where) {
  std::vector<double> values;
  const Json* list = in.member(object, key, where);
  if (list == nullptr) return values;
  if (!list->is_array()) in.wrongType(where, key, *list, "a list of numbers");
  for (std::size_t k = 0; k < list->size(); ++k) {
    const Json& item = (*list)[k];
    if (item.is_null()) {
      values.push_back(std::numeric_limits<double>::quiet_NaN());
      continue;
    }
    if (!item.is_number())
      in.wrongType(where, (std::string(key) + "[" + std::to_string(k) + "]").c_str(), item, "a number");
    values.push_back(item.get<double>());
  }
  return values;
}

void readHeatTreatment(const Reader& in, const Json& json, HeatTreatmentRecord& record) {
  const std::string where = "heat_treatment";
  if (const Json* schedule = in.member(json, "schedule", where)) {
    const std::string inSchedule = where + ".schedule";
    ScheduleRecord read;
    in.text(*schedule, "file", inSchedule, read.file);
    in.text(*schedule, "sha256", inSchedule, read.sha256);
    if (const Json* rows = in.member(*schedule, "rows", inSchedule)) {
      if (!rows->is_array()) in.wrongType(inSchedule, "rows", *rows, "a list");
      for (std::size_t k = 0; k < rows->size(); ++k) {
        const Json& row = (*rows)[k];
        if (!row.is_array() || row.size() != 2 || !row[0].is_number() || !row[1].is_number())
          in.wrongType(inSchedule, ("rows[" + std::to_string(k) + "]").c_str(), row,
                       "a pair [time in s, temperature in K] of numbers");
        read.rows.push_back({row[0].get<double>(), row[1].get<double>(), 0});
      }
    }
    record.schedule = std::move(read);
  }
  if (const Json* cycles = in.member(json, "cycles", where)) {
    const std::string inCycles = where + ".cycles";
    CyclesRecord read;
    in.text(*cycles, "text", inCycles, read.text);
    in.real(*cycles, "start_s", inCycles, read.start);
    in.integer(*cycles, "count", inCycles, read.count);
    in.real(*cycles, "period_s", inCycles, read.period);
    record.cycles = std::move(read);
  }
  record.outputTimes = numbersOf(in, json, "output_times_s", where);
  if (const Json* receding = in.member(json, "receding", where)) {
    if (!receding->is_boolean()) in.wrongType(where, "receding", *receding, "true or false");
    record.receding = receding->get<bool>();
  }
}

// The life and the scale's books; a life of null is "not reached".
void readLife(const Reader& in, const Json* life, const Json* scale, LifeRecord& record) {
  if (life != nullptr) {
    in.text(*life, "condition", "life", record.condition);
    double seconds = std::numeric_limits<double>::quiet_NaN();
    in.real(*life, "life_s", "life", seconds);
    if (std::isfinite(seconds)) record.lifeSeconds = seconds;
  }
  if (scale != nullptr) {
    const std::string where = "scale";
    record.scale = true;
    in.real(*scale, "retained_cm", where, record.retainedThickness);
    in.real(*scale, "spalled_metal_mol_cm2", where, record.spalledMetal);
    in.real(*scale, "consumed_metal_mol_cm2", where, record.consumedMetal);
    in.integer(*scale, "spalls", where, record.spalls);
    in.text(*scale, "spall_law", where, record.spallLaw);
    in.text(*scale, "oxide", where, record.oxide);
    in.real(*scale, "mass_change_mg_cm2", where, record.massChange);
    in.real(*scale, "oxygen_gain_mg_cm2", where, record.oxygenGain);
    in.real(*scale, "spall_loss_mg_cm2", where, record.spallLoss);
  }
}

Json integratorJson(const IntegratorRecord& record) {
  return {{"name", record.name},
          {"relative_tolerance", number(record.relativeTolerance)},
          {"absolute_tolerance_mol_cm3", number(record.absoluteTolerance)},
          {"steps", record.steps},
          {"rhs_evaluations", record.rightHandSideEvaluations},
          {"jacobian_evaluations", record.jacobianEvaluations},
          {"factorisations", record.factorisations},
          {"error_test_failures", record.errorTestFailures},
          {"convergence_failures", record.convergenceFailures}};
}

IntegratorRecord readIntegrator(const Reader& in, const Json& json) {
  const std::string where = "integrator";
  IntegratorRecord record;
  in.text(json, "name", where, record.name);
  in.real(json, "relative_tolerance", where, record.relativeTolerance);
  in.real(json, "absolute_tolerance_mol_cm3", where, record.absoluteTolerance);
  in.integer(json, "steps", where, record.steps);
  in.integer(json, "rhs_evaluations", where, record.rightHandSideEvaluations);
  in.integer(json, "jacobian_evaluations", where, record.jacobianEvaluations);
  in.integer(json, "factorisations", where, record.factorisations);
  in.integer(json, "error_test_failures", where, record.errorTestFailures);
  in.integer(json, "convergence_failures", where, record.convergenceFailures);
  return record;
}

void readOutcome(const Reader& in, const Json& json, RunOutcome& o) {
  const std::string where = "outcome";
  in.text(json, "end", where, o.end);
  in.text(json, "message", where, o.message);
  in.integer(json, "accepted_passes", where, o.acceptedPasses);
  in.integer(json, "rejected_passes", where, o.rejectedPasses);
  in.real(json, "start_time_s", where, o.startTime);
  in.real(json, "end_time_s", where, o.endTime);
  in.real(json, "final_time_s", where, o.finalTime);
  in.real(json, "largest_step_s", where, o.largestStep);
  in.real(json, "smallest_step_s", where, o.smallestStep);
  in.real(json, "wall_time_s", where, o.wallSeconds);
  in.integer(json, "saves", where, o.saves);
  in.real(json, "journal_time_s", where, o.journalSeconds);
}

}  // namespace

RunCheck judged(RunCheck check) {
  const double v = check.value;
  bool pass = false;
  switch (check.comparison) {
    case CheckComparison::AtMost: pass = v <= check.threshold; break;
    case CheckComparison::AtLeast: pass = v >= check.threshold; break;
    case CheckComparison::Near: pass = std::fabs(v - check.expected) <= check.threshold; break;
  }
  check.warn = !(std::isfinite(v) && pass);
  return check;
}

const char* checkStatus(const RunCheck& check) {
  if (!check.warn) return "pass";
  return check.note ? "note" : "warn";
}

std::string describeCheck(const RunCheck& check) {
  std::string line = !check.warn ? "\u2713 " : check.note ? "\u2139 " : "\u26A0 ";
  line += check.title + ": ";
  if (std::isfinite(check.value))
    line += formatGeneral(check.value);
  else
    line += check.warn ? "not finite or not measured" : "not measured";
  switch (check.comparison) {
    case CheckComparison::AtMost: line += " (at most " + formatGeneral(check.threshold) + ")"; break;
    case CheckComparison::AtLeast: line += " (at least " + formatGeneral(check.threshold) + ")"; break;
    case CheckComparison::Near:
      line += " (" + formatGeneral(check.expected) + " \u00B1 " + formatGeneral(check.threshold) + ")";
      break;
  }
  if (check.warn && !check.meaning.empty()) line += " \u2014 " + check.meaning;
  return line;
}

std::string describeHeatTreatment(const HeatTreatmentRecord& record, double finalTime) {
  std::string text;
  if (const auto& schedule = record.schedule) {
    const std::vector<ScheduleRow>& rows = schedule->rows;
    text += "  schedule          " + schedule->file;
    if (!schedule->sha256.empty()) text += " (sha256 " + schedule->sha256.substr(0, 12) + ")";
    text += ", " + formatInteger(static_cast<long long>(rows.size())) + (rows.size() == 1 ? " row" : " rows");
    if (!rows.empty()) {
      const auto [coolest, hottest] = std::minmax_element(
          rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.temperature < b.temperature; });
      text += ", T from " + formatGeneral(coolest->temperature) + " to " + formatGeneral(hottest->temperature) + " K";
    }
    // T(t) is defined by rows in time order; a report edited out of order
    // gives no final temperature rather than a wrong one.
    const bool ordered =
        std::is_sorted(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
    if (!rows.empty() && ordered && !record.cycles)
      text += ", " + formatGeneral(TemperatureSchedule(rows, schedule->file).temperatureAt(finalTime)) +
              " K at the final time";
    text += "\n";
  }
  if (const auto& cycles = record.cycles) {
    text += "  cycles            " + cycles->text + " from " + formatGeneral(cycles->start) + " s, period " +
            formatGeneral(cycles->period) + " s";
    // The description gives the temperature; one that no longer reads gives none.
    try {
      text += ", " + formatGeneral(parseCycles(cycles->text, "cycles", cycles->start).temperatureAt(finalTime)) +
              " K at the final time";
    } catch (const InputError&) {
    }
    text += "\n";
  }
  if (!record.outputTimes.empty())
    text += "  output times      " + formatInteger(static_cast<long long>(record.outputTimes.size())) + ", from " +
            formatGeneral(record.outputTimes.front()) + " to " + formatGeneral(record.outputTimes.back()) + " s\n";
  return text;
}

std::string describeLife(const LifeRecord& record) {
  if (!record.lifeSeconds) return "not reached";
  return formatGeneral(*record.lifeSeconds) + " s (" + formatGeneral(*record.lifeSeconds / kSecondsPerHour) + " h)";
}

std::string runReportText(const RunReport& report) {
  Json checks = Json::array();
  for (const RunCheck& check : report.checks) checks.push_back(checkJson(check));
  Json json = {
      {"format", kFormatName},
      {"format_version", kFormatVersion},
      {"provenance", provenanceJson(report)},
  };
  // Only a run that named its components, or had a schedule or output
  // times, has these keys.
  if (!report.componentNames.empty()) {
    Json components = Json::array();
    for (std::size_t i = 0; i < report.componentNames.size(); ++i)
      components.push_back({{"number", i + 1}, {"name", report.componentNames[i]}});
    json["components"] = components;
  }
  if (!report.heatTreatment.empty()) json["heat_treatment"] = heatTreatmentJson(report.heatTreatment);
  // Only a run of the implicit integrator has the key.
  if (report.integrator) json["integrator"] = integratorJson(*report.integrator);
  json["outcome"] = outcomeJson(report.outcome);
  // Only a life run has these keys.
  if (report.life) {
    json["life"] = lifeJson(*report.life);
    if (report.life->scale) json["scale"] = scaleJson(*report.life);
    if (report.life->receding)
      json["receding"] = {{"start_length_cm", number(report.life->startLength)},
                          {"length_cm", number(report.life->length)},
                          {"recession_cm", number(report.life->startLength - report.life->length)}};
  }
  json["checks"] = checks;
  json["files"] = {{"history", kHistoryFile}, {"series", kSeriesFile}};
  // Invalid UTF-8 in a path or message is replaced rather than refused.
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

RunReport parseRunReport(std::string_view text, const std::string& name) {
  Json json;
  checkReportSize(text, name);
  try {
    json = Json::parse(text);
  } catch (const Json::exception& error) {
    refuse(name, std::string("not a run report (") + error.what() + ")");
  }
  const Reader in(name);
  if (!json.is_object()) refuse(name, "not a run report (the text is not a JSON object)");
  std::string format;
  in.text(json, "format", "the report", format);
  if (format != kFormatName) refuse(name, "not a run report (format \"" + format + "\")");
  RunReport report;
  if (const Json* provenance = in.member(json, "provenance", "the report")) readProvenance(in, *provenance, report);
  if (const Json* components = in.member(json, "components", "the report")) {
    if (!components->is_array()) in.wrongType("the report", "components", *components, "a list");
    for (std::size_t i = 0; i < components->size(); ++i) {
      std::string name;
      in.text((*components)[i], "name", "components[" + std::to_string(i) + "]", name);
      report.componentNames.push_back(std::move(name));
    }
  }
  if (const Json* heat = in.member(json, "heat_treatment", "the report"))
    readHeatTreatment(in, *heat, report.heatTreatment);
  if (const Json* integrator = in.member(json, "integrator", "the report"))
    report.integrator = readIntegrator(in, *integrator);
  if (const Json* outcome = in.member(json, "outcome", "the report")) readOutcome(in, *outcome, report.outcome);
  const Json* life = in.member(json, "life", "the report");
  const Json* scale = in.member(json, "scale", "the report");
  const Json* receding = in.member(json, "receding", "the report");
  if (life != nullptr || scale != nullptr || receding != nullptr) readLife(in, life, scale, report.life.emplace());
  if (receding != nullptr) {
    report.life->receding = true;
    in.real(*receding, "start_length_cm", "receding", report.life->startLength);
    in.real(*receding, "length_cm", "receding", report.life->length);
  }
  if (const Json* checks = in.member(json, "checks", "the report")) {
    if (!checks->is_array()) in.wrongType("the report", "checks", *checks, "a list");
    for (std::size_t c = 0; c < checks->size(); ++c)
      report.checks.push_back(checkOf(in, (*checks)[c], "checks[" + std::to_string(c) + "]"));
  }
  return report;
}

RunReport readRunReport(const std::string& resultsDirectory) {
  const std::string path = resultsDirectory + "/" + kRunReportFile;
  return parseRunReport(reportText(path), path);
}

RunVerdicts readRunVerdicts(const std::string& resultsDirectory) {
  const std::string path = resultsDirectory + "/" + kRunReportFile;
  const std::string text = reportText(path);
  checkReportSize(text, path);
  RunVerdicts verdicts;
  try {
    const Json json = Json::parse(text);
    verdicts.end = json.at("outcome").at("end").get<std::string>();
    if (json.contains("life") && json.at("life").contains("life_s") && json.at("life").at("life_s").is_number())
      verdicts.lifeSeconds = json.at("life").at("life_s").get<double>();
    if (json.contains("checks"))
      for (const auto& check : json.at("checks"))
        verdicts.checks.emplace_back(check.at("id").get<std::string>(), check.at("status").get<std::string>());
  } catch (const Json::exception& error) {
    refuse(path, std::string("not a run report (") + error.what() + ")");
  }
  return verdicts;
}

}  // namespace torvex
