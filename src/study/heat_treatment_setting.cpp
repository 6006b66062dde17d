#include "study/heat_treatment_setting.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/case.h"
#include "model/errors.h"
#include "model/number_format.h"
#include "model/text_list.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

// A schedule of a few thousand rows is large; anything near this is a mistake.
constexpr std::size_t kMaxScheduleBytes = 16u << 20;

std::string lineOf(const std::string& file, const toml::node& node) {
  const auto line = node.source().begin.line;
  return line > 0 ? file + ", line " + std::to_string(line) : file;
}

// A TOML number as its shortest text that reads back as the same value, or
// a text as it stands (it may hold placeholders); nullopt for anything else.
std::optional<std::string> cellText(const toml::node& node) {
  if (const auto* text = node.as_string()) return trimmed(text->get());
  if (const auto* integer = node.as_integer()) return std::to_string(integer->get());
  if (const auto* real = node.as_floating_point()) return formatShortest(real->get());
  return std::nullopt;
}

std::string readScheduleText(const std::string& path, const toml::node& node, const TomlRefusal& refuse) {
  // A device or a pipe is no schedule, and reading one could wait for ever.
  std::error_code error;
  if (!fs::is_regular_file(path, error)) refuse(node, "schedule", "the schedule file " + path + " cannot be read");
  std::ifstream in(path, std::ios::binary);
  if (!in) refuse(node, "schedule", "the schedule file " + path + " cannot be read");
  std::string text;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxScheduleBytes)
      refuse(node, "schedule", "the schedule file " + path + " is larger than 16 MiB");
  }
  return text;
}

}  // namespace

HeatTreatmentSetting readHeatTreatment(const toml::table& root, const std::string& tomlPath,
                                       const TomlRefusal& refuse) {
  // `refuse` throws; should it ever return, the refusal still stands.
  const auto fail = [&](const toml::node& node, const std::string& key, const std::string& what) {
    refuse(node, key, what);
    throw InputError(lineOf(tomlPath, node) + ", " + key + ": " + what);
  };
  HeatTreatmentSetting setting;
  setting.source = tomlPath;
  if (const toml::node* node = root.get("schedule")) {
    if (const auto* name = node->as_string()) {
      if (trimmed(name->get()).empty()) fail(*node, "schedule", "needs the name of a schedule file");
      const fs::path given(name->get());
      const fs::path folder = fs::path(tomlPath).parent_path();
      setting.scheduleFile =
          given.is_absolute() || folder.empty() ? given.string() : (folder / given).lexically_normal().string();
      setting.scheduleText = readScheduleText(setting.scheduleFile, *node, fail);
    } else if (const auto* rows = node->as_array()) {
      if (rows->empty()) fail(*node, "schedule", "the list of rows is empty; give one [time_s, T_K] row at least");
      for (const toml::node& item : *rows) {
        const auto* row = item.as_array();
        if (row == nullptr || row->size() != 2)
          fail(item, "schedule", "a row is [time_s, T_K], two values, e.g. [3600, 1273]");
        const std::optional<std::string> time = cellText(*row->get(0));
        const std::optional<std::string> temperature = cellText(*row->get(1));
        if (!time || !temperature) fail(item, "schedule", "a row holds numbers or texts, e.g. [3600, \"{{T}}\"]");
        const int line = static_cast<int>(item.source().begin.line);
        setting.scheduleRows.push_back({*time, *temperature, line,
                                        "[" + (row->get(0)->is_string() ? "\"" + *time + "\"" : *time) + ", " +
                                            (row->get(1)->is_string() ? "\"" + *temperature + "\"" : *temperature) +
                                            "]"});
      }
    } else {
      fail(*node, "schedule", "needs a file name (\"anneal.csv\") or rows ([[0, 1073], [3600, 1273]])");
    }
  }
  if (const toml::node* node = root.get("output_times")) {
    setting.outputTimesLine = static_cast<int>(node->source().begin.line);
    if (const auto* text = node->as_string()) {
      setting.outputTimes = trimmed(text->get());
    } else if (const auto* list = node->as_array()) {
      for (const toml::node& item : *list) {
        const std::optional<std::string> time = cellText(item);
        if (!time) fail(item, "output_times", "a time is a number of seconds (or a text with {{NAME}})");
        setting.outputTimes += (setting.outputTimes.empty() ? "" : ",") + *time;
      }
    } else {
      fail(*node, "output_times", "needs a list of times in seconds ([600, 3600]) or a text (\"0:7200:13\")");
    }
    if (setting.outputTimes.empty()) fail(*node, "output_times", "holds no time");
  }
  const std::pair<const char*, std::optional<LifeSettingText> HeatTreatmentSetting::*> lifeKeys[] = {
      {"cycles", &HeatTreatmentSetting::cycles},
      {"spall", &HeatTreatmentSetting::spall},
      {"oxide", &HeatTreatmentSetting::oxide},
      {"critical", &HeatTreatmentSetting::critical}};
  for (const auto& [key, member] : lifeKeys)
    if (const toml::node* node = root.get(key)) {
      const std::optional<std::string> text = cellText(*node);
      if (!text) fail(*node, key, std::string("needs a text as --") + key + " takes it (or a number)");
      setting.*member = LifeSettingText{*text, static_cast<int>(node->source().begin.line)};
    }
  if (const toml::node* node = root.get("receding")) {
    const auto* flag = node->as_boolean();
    if (flag == nullptr) fail(*node, "receding", "needs true or false (receding = true, as --receding)");
    setting.receding = flag->get();
  }
  // Without placeholders every case has the same heat treatment: check it now.
  if (placeholdersOf(setting).empty()) renderHeatTreatment(setting, {});
  return setting;
}

std::vector<PlaceholderUse> placeholdersOf(const HeatTreatmentSetting& setting) {
  std::vector<PlaceholderUse> uses;
  const auto collect = [&](const std::string& text, const std::string& where) {
    for (std::string& name : placeholderNames(text, where)) uses.push_back({std::move(name), where});
  };
  if (!setting.scheduleFile.empty()) {
    std::istringstream lines(setting.scheduleText);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number)
      collect(line, setting.scheduleFile + ", line " + std::to_string(number));
  }
  for (const ScheduleRowText& row : setting.scheduleRows) {
    const std::string where = setting.source + ", line " + std::to_string(row.line);
    collect(row.time, where);
    collect(row.temperature, where);
  }
  if (!setting.outputTimes.empty())
    collect(setting.outputTimes, setting.source + ", line " + std::to_string(setting.outputTimesLine));
  for (const auto* life : {&setting.cycles, &setting.spall, &setting.oxide, &setting.critical})
    if (*life) collect((*life)->text, setting.source + ", line " + std::to_string((*life)->line));
  return uses;
}

void checkHeatTreatmentPlaceholders(const HeatTreatmentSetting& setting, const std::set<std::string>& known) {
  for (const PlaceholderUse& use : placeholdersOf(setting))
    if (known.count(use.name) == 0)
      throw InputError(use.where + ": the placeholder {{" + use.name + "}} names no parameter");
}

RenderedHeatTreatment renderHeatTreatment(const HeatTreatmentSetting& setting,
                                          const std::map<std::string, std::string>& values) {
  RenderedHeatTreatment rendered;
  if (!setting.scheduleFile.empty()) {
    rendered.scheduleCsv = fillPlaceholders(setting.scheduleText, values, setting.scheduleFile);
    rendered.schedule =
        std::make_shared<const TemperatureSchedule>(parseSchedule(rendered.scheduleCsv, setting.scheduleFile));
  } else if (!setting.scheduleRows.empty()) {
    std::vector<ScheduleRowText> rows = setting.scheduleRows;
    for (ScheduleRowText& row : rows) {
      const std::string where = setting.source + ", line " + std::to_string(row.line);
      row.time = fillPlaceholders(row.time, values, where);
      row.temperature = fillPlaceholders(row.temperature, values, where);
      row.shown = "[" + row.time + ", " + row.temperature + "]";
    }
    rendered.scheduleCsv = scheduleCsv(rows);
    rendered.schedule = std::make_shared<const TemperatureSchedule>(scheduleFromRows(rows, setting.source));
  }
  if (!setting.outputTimes.empty()) {
    const std::string where = setting.source + ", line " + std::to_string(setting.outputTimesLine);
    rendered.outputTimesText = fillPlaceholders(setting.outputTimes, values, where);
    rendered.outputTimes = parseOutputTimeList(rendered.outputTimesText, where + ", output_times");
  }
  const auto renderLife = [&](const std::optional<LifeSettingText>& given, const char* key, LifeOptionText& out) {
    if (!given) return;
    const std::string where = setting.source + ", line " + std::to_string(given->line);
    out.text = fillPlaceholders(given->text, values, where);
    out.place = where + ", " + key;
  };
  renderLife(setting.cycles, "cycles", rendered.life.cycles);
  renderLife(setting.spall, "spall", rendered.life.spall);
  renderLife(setting.oxide, "oxide", rendered.life.oxide);
  renderLife(setting.critical, "critical", rendered.life.critical);
  rendered.life.receding = setting.receding;
  // Read now, so that a wrong text is refused where it stands; the run reads
  // it again from its options.
  HeatTreatment check;
  installLifeOptions(check, rendered.life, 0);
  return rendered;
}

std::vector<std::string> lifeRunOptions(const RenderedHeatTreatment& heat) {
  std::vector<std::string> options;
  const std::pair<const char*, const LifeOptionText*> given[] = {{"--cycles", &heat.life.cycles},
                                                                 {"--spall", &heat.life.spall},
                                                                 {"--oxide", &heat.life.oxide},
                                                                 {"--critical", &heat.life.critical}};
  for (const auto& [option, text] : given)
    if (text->text) options.insert(options.end(), {option, *text->text});
  if (heat.life.receding) options.emplace_back("--receding");
  return options;
}

void addScheduleFile(RenderedCase& rendered, const RenderedHeatTreatment& heat) {
  if (!heat.schedule) return;
  for (const RenderedFile& file : rendered.sideFiles)
    if (file.name == kCaseScheduleFile)
      throw InputError(file.read + ": the case names a side file " + kCaseScheduleFile +
                       ", the name its temperature schedule is written under; rename the side file");
  // Written as the text the schedule was read from, so that its digest is
  // that of the file.
  RenderedFile file{kCaseScheduleFile, heat.schedule->source(), {}, true, heat.scheduleCsv};
  std::istringstream lines(heat.scheduleCsv);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    file.lines.push_back(line);
  }
  rendered.sideFiles.push_back(std::move(file));
}

}  // namespace torvex
