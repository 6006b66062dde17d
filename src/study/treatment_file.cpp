#include "study/treatment_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "model/errors.h"
#include "model/formula.h"
#include "model/heat_treatment.h"
#include "model/life_options.h"
#include "model/number_format.h"
#include "model/read_file.h"
#include "model/text_list.h"
#include "model/thermal_cycles.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kQuotedLength = 80;  // longest piece of a line quoted in a message

// Line `line` (from 1) of a text, as a message quotes it.
std::string quotedLine(std::string_view text, std::size_t line) {
  std::size_t begin = 0;
  for (std::size_t k = 1; k < line && begin != std::string_view::npos; ++k) {
    begin = text.find('\n', begin);
    if (begin != std::string_view::npos) ++begin;
  }
  if (begin == std::string_view::npos || begin > text.size()) return {};
  std::string_view shown = text.substr(begin, text.find('\n', begin) - begin);
  if (!shown.empty() && shown.back() == '\r') shown.remove_suffix(1);
  std::string shownText(trimmedView(shown.substr(0, kQuotedLength)));
  if (shown.size() > kQuotedLength) shownText += "...";
  return shownText;
}

std::string placeOf(const std::string& path, const toml::node& node, const std::string& key) {
  const auto line = node.source().begin.line;
  return line > 0 ? path + ", line " + std::to_string(line) + ", " + key : path + ", " + key;
}

// A TOML basic string holding `text`: quotes, backslashes and control
// characters escaped, everything else as it stands (UTF-8).
std::string tomlString(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (byte < 0x20 || byte == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(byte));
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

// The folder of a file, in full: a side file named relative to the working
// directory has its schedule beside it all the same.
fs::path folderOf(const std::string& path) {
  std::error_code error;
  const fs::path full = fs::absolute(fs::path(path), error);
  return (error ? fs::path(path) : full).lexically_normal().parent_path();
}

}  // namespace

std::string treatmentFileOf(const std::string& dataFile) {
  fs::path side(dataFile);
  side.replace_extension(".treatment.toml");
  return side.string();
}

void checkTreatmentTexts(const TreatmentSettings& settings, const TreatmentPlaces& places) {
  if (!settings.cycles.empty()) (void)parseCycles(settings.cycles, places.cycles);
  if (!settings.spall.empty()) (void)parseSpall(settings.spall, places.spall);
  if (!settings.oxide.empty()) (void)parseOxide(settings.oxide, places.oxide);
  if (!settings.critical.empty()) (void)parseCritical(settings.critical, places.critical);
}

std::string treatmentText(const TreatmentSettings& settings, const std::string& path) {
  std::string text =
      "# The heat treatment Torvex runs the data file beside this one with; each setting\n"
      "# as the torvex-batch option of its name takes it (--schedule, --cycles, --spall,\n"
      "# --oxide, --critical; receding: the oxidising surface recedes).\n";
  if (!settings.schedule.empty()) {
    // Beside the side file or below it: relative, so the folder can move.
    std::string name = settings.schedule;
    const fs::path folder = folderOf(path);
    if (fs::path(name).is_absolute() && !folder.empty()) {
      const fs::path relative = fs::path(name).lexically_normal().lexically_relative(folder);
      if (!relative.empty() && *relative.begin() != ".." && relative != ".") name = relative.generic_string();
    }
    text += "schedule = " + tomlString(name) + "\n";
  }
  const std::pair<const char*, const std::string*> lines[] = {{"cycles", &settings.cycles},
                                                              {"spall", &settings.spall},
                                                              {"oxide", &settings.oxide},
                                                              {"critical", &settings.critical}};
  for (const auto& [key, value] : lines)
    if (!value->empty()) text += std::string(key) + " = " + tomlString(*value) + "\n";
  if (settings.receding) text += "receding = true\n";
  return text;
}

TreatmentSettings parseTreatment(std::string_view text, const std::string& path) {
  toml::table root;
  try {
    root = toml::parse(text, path);
  } catch (const toml::parse_error& error) {
    const auto line = error.source().begin.line;
    throw InputError(path + ", line " + std::to_string(line) + ": '" + quotedLine(text, line) +
                     "': " + std::string(error.description()));
  }
  static const std::set<std::string> kKeys = {"schedule", "cycles", "spall", "oxide", "critical", "receding"};
  for (const auto& [key, node] : root) {
    const std::string name(key.str());
    if (kKeys.count(name) == 0)
      throw InputError(placeOf(path, node, "'" + name.substr(0, kQuotedLength) + "'") +
                       ": not a heat-treatment setting (schedule, cycles, spall, oxide, critical, receding)");
  }

  TreatmentSettings settings;
  TreatmentPlaces places;
  // An option's text; a lone number (oxide = 1.5) stands for its text, as
  // the study files allow.
  const auto textOf = [&](const char* key, std::string& into, std::string& place) {
    const toml::node* node = root.get(key);
    if (node == nullptr) return;
    place = placeOf(path, *node, key);
    if (const auto* value = node->as_string())
      into = trimmed(value->get());
    else if (const auto* integer = node->as_integer())
      into = std::to_string(integer->get());
    else if (const auto* real = node->as_floating_point())
      into = formatShortest(real->get());
    else
      throw InputError(place + ": needs a text as the option --" + key + " takes it");
    if (into.empty()) throw InputError(place + ": is empty; leave the key out for none");
  };
  // The schedule's name as written: a blank may begin a file name, as in
  // the study files.
  if (const toml::node* node = root.get("schedule")) {
    places.schedule = placeOf(path, *node, "schedule");
    const auto* name = node->as_string();
    if (name == nullptr) throw InputError(places.schedule + ": needs the name of a schedule file");
    if (trimmed(name->get()).empty()) throw InputError(places.schedule + ": is empty; leave the key out for none");
    settings.schedule = name->get();
  }
  textOf("cycles", settings.cycles, places.cycles);
  textOf("spall", settings.spall, places.spall);
  textOf("oxide", settings.oxide, places.oxide);
  textOf("critical", settings.critical, places.critical);
  if (const toml::node* node = root.get("receding")) {
    const auto* flag = node->as_boolean();
    if (flag == nullptr) throw InputError(placeOf(path, *node, "receding") + ": needs true or false");
    settings.receding = flag->get();
  }
  checkTreatmentTexts(settings, places);
  // A NUL cannot stand in a path, and other control characters come from
  // a damaged file rather than a name someone gave a schedule.
  if (std::any_of(settings.schedule.begin(), settings.schedule.end(),
                  [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f; }))
    throw InputError(places.schedule + ": a file name holds no control characters");
  if (!settings.schedule.empty()) {
    const fs::path given(settings.schedule);
    const fs::path folder = folderOf(path);
    // In full and without . and .. steps, so that the name a file is
    // written with reads back as the same one.
    settings.schedule = (given.is_absolute() ? given : folder / given).lexically_normal().string();
  }
  return settings;
}

TreatmentSettings readTreatmentFile(const std::string& path) {
  return parseTreatment(ReadWholeFile(path, kMaxTreatmentFileBytes, "the heat-treatment file"), path);
}

HeatTreatment heatTreatmentOf(const TreatmentSettings& settings, double runStart, const TreatmentPlaces& places) {
  HeatTreatment heat;
  if (!settings.schedule.empty())
    heat.schedule = std::make_shared<const TemperatureSchedule>(readScheduleFile(settings.schedule));
  LifeOptionTexts texts;
  const auto given = [](const std::string& text, const std::string& place) {
    return LifeOptionText{text.empty() ? std::nullopt : std::optional<std::string>(text), place};
  };
  texts.cycles = given(settings.cycles, places.cycles);
  texts.spall = given(settings.spall, places.spall);
  texts.oxide = given(settings.oxide, places.oxide);
  texts.critical = given(settings.critical, places.critical);
  installLifeOptions(heat, texts, runStart);
  heat.life.receding = settings.receding;
  return heat;
}

}  // namespace torvex
