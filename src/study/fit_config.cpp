#include "study/fit_config.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <toml++/toml.h>

#include "model/component_names.h"
#include "model/data_file_keys.h"
#include "model/errors.h"
#include "model/number_format.h"

namespace torvex {
namespace {

// A file that can hold a few dozen parameters and profiles; anything bigger
// is a mistake.
constexpr std::size_t kMaxFitFileBytes = 1u << 20;

class Reader {
 public:
  explicit Reader(const std::string& fileName) : fileName_(fileName) {}

  [[noreturn]] void fail(const toml::node* node, const std::string& key, const std::string& what) const {
    std::string where = fileName_;
    if (node != nullptr && node->source().begin.line > 0)
      where += ", line " + std::to_string(node->source().begin.line);
    throw InputError(where + ", key '" + key + "': " + what);
  }

  static std::string quoted(const toml::node& node) {
    std::ostringstream text;
    if (node.is_string())
      text << '\'' << *node.value<std::string>() << '\'';
    else if (const auto number = node.value<double>())
      text << formatGeneral(*number);
    else if (node.is_boolean())
      text << (*node.value<bool>() ? "true" : "false");
    else
      text << "a " << node.type();
    return text.str();
  }

  void onlyKeys(const toml::table& table, const std::string& prefix,
                std::initializer_list<std::string_view> keys) const {
    for (const auto& [key, node] : table)
      if (std::find(keys.begin(), keys.end(), key.str()) == keys.end())
        fail(&node, prefix + std::string(key.str()), "unknown key");
  }

  std::optional<double> number(const toml::table& table, const std::string& prefix, std::string_view key) const {
    const toml::node* node = table.get(key);
    if (node == nullptr) return std::nullopt;
    const auto value = (node->is_integer() || node->is_floating_point()) ? node->value<double>() : std::nullopt;
    if (!value || !std::isfinite(*value))
      fail(node, prefix + std::string(key), "needs a finite number, not " + quoted(*node));
    return value;
  }

  std::optional<std::string> string(const toml::table& table, const std::string& prefix, std::string_view key) const {
    const toml::node* node = table.get(key);
    if (node == nullptr) return std::nullopt;
    if (!node->is_string()) fail(node, prefix + std::string(key), "needs a quoted text, not " + quoted(*node));
    return *node->value<std::string>();
  }

  std::optional<bool> boolean(const toml::table& table, const std::string& prefix, std::string_view key) const {
    const toml::node* node = table.get(key);
    if (node == nullptr) return std::nullopt;
    if (!node->is_boolean()) fail(node, prefix + std::string(key), "needs true or false, not " + quoted(*node));
    return *node->value<bool>();
  }

  const toml::array* tables(const toml::table& table, std::string_view key) const {
    const toml::node* node = table.get(key);
    if (node == nullptr) return nullptr;
    const toml::array* array = node->as_array();
    if (array == nullptr || !array->is_array_of_tables())
      fail(node, std::string(key), "needs [[" + std::string(key) + "]] tables");
    return array;
  }

  // A relative path is taken from the folder of the fit file.
  std::string path(const std::string& name) const {
    const std::filesystem::path given(name);
    if (given.is_absolute()) return name;
    const std::filesystem::path folder = std::filesystem::path(fileName_).parent_path();
    return folder.empty() ? name : (folder / given).lexically_normal().string();
  }

 private:
  std::string fileName_;
};

}  // namespace

FitConfig parseFitConfig(std::string_view text, const std::string& fileName) {
  const Reader read(fileName);
  toml::table root;
  try {
    root = toml::parse(text, fileName);
  } catch (const toml::parse_error& error) {
    throw InputError(fileName + ", line " + std::to_string(error.source().begin.line) + ": " +
                     std::string(error.description()));
  }
  read.onlyKeys(root, "",
                {"case", "output", "concentration_error", "step", "max_iterations", "set", "schedule", "output_times",
                 "cycles", "spall", "oxide", "receding", "parameter", "profile", "integrator", "names"});

  FitConfig config;
  config.fileName = fileName;
  const auto casePath = read.string(root, "", "case");
  if (!casePath || casePath->empty()) read.fail(nullptr, "case", "missing: name the case's data file");
  config.casePath = read.path(*casePath);
  if (const auto output = read.string(root, "", "output")) {
    if (output->empty()) read.fail(root.get("output"), "output", "needs a folder name");
    config.output = *output;
  }
  if (const auto error = read.number(root, "", "concentration_error")) {
    if (!(*error > 0)) read.fail(root.get("concentration_error"), "concentration_error", "must be positive");
    config.concentrationError = *error;
  }
  if (const auto integrator = read.string(root, "", "integrator")) {
    const std::optional<Integrator> chosen = integratorNamed(*integrator);
    if (!chosen)
      read.fail(root.get("integrator"), "integrator", "must be \"rk\" or \"bdf\", not \"" + *integrator + "\"");
    config.integrator = *chosen;
  }
  if (const auto step = read.number(root, "", "step")) {
    if (!(*step > 0 && *step <= 0.5)) read.fail(root.get("step"), "step", "must lie in (0, 0.5]");
    config.step = *step;
  }
  if (const toml::node* node = root.get("names")) {
    const toml::array* list = node->as_array();
    if (list == nullptr) read.fail(node, "names", "needs a list of names, [\"Cu\", \"Fe\", \"Ni\"]");
    for (const toml::node& name : *list) {
      if (!name.is_string()) read.fail(&name, "names", "needs quoted names, not " + Reader::quoted(name));
      config.componentNames.push_back(*name.value<std::string>());
    }
    try {
      checkComponentNames(config.componentNames, static_cast<int>(config.componentNames.size()), "names");
    } catch (const InputError& error) {
      read.fail(node, "names", std::string(error.what()).substr(std::string("names: ").size()));
    }
  }
  if (const toml::node* node = root.get("max_iterations")) {
    const auto count = node->is_integer() ? node->value<long long>() : std::nullopt;
    if (!count || *count < 0 || *count > 10000)
      read.fail(node, "max_iterations", "needs a whole number from 0 to 10000, not " + Reader::quoted(*node));
    config.maxIterations = static_cast<int>(*count);
  }

  if (const toml::node* node = root.get("set")) {
    const toml::table* set = node->as_table();
    if (set == nullptr) read.fail(node, "set", "needs a [set] table of KEY = \"VALUE\"");
    for (const auto& [key, value] : *set) {
      const std::string name = "set." + std::string(key.str());
      const auto line = read.string(*set, "set.", key.str());
      try {
        config.overrides.push_back(parseKeyOverride(std::string(key.str()) + "=" + *line));
      } catch (const InputError& error) {
        read.fail(&value, name, error.what());
      }
    }
  }

  const toml::array* parameters = read.tables(root, "parameter");
  if (parameters == nullptr || parameters->empty()) read.fail(nullptr, "parameter", "missing: name a parameter to fit");
  std::set<std::string> names;
  for (std::size_t k = 0; k < parameters->size(); ++k) {
    const toml::table& table = *parameters->get(k)->as_table();
    const std::string prefix = "parameter[" + std::to_string(k + 1) + "].";
    read.onlyKeys(table, prefix, {"name", "initial", "lower", "upper", "log"});
    FitParameterSetting setting;
    const auto name = read.string(table, prefix, "name");
    if (!name || name->empty()) read.fail(&table, prefix + "name", "missing");
    setting.name = *name;
    if (!names.insert(setting.name).second)
      read.fail(table.get("name"), prefix + "name", "'" + setting.name + "' is fitted twice");
    const auto initial = read.number(table, prefix, "initial");
    if (!initial) read.fail(&table, prefix + "initial", "missing for parameter '" + setting.name + "'");
    setting.initial = *initial;
    setting.lower = read.number(table, prefix, "lower");
    setting.upper = read.number(table, prefix, "upper");
    setting.logScale = read.boolean(table, prefix, "log").value_or(true);
    const std::string who = "parameter '" + setting.name + "'";
    if (setting.lower && setting.upper && !(*setting.lower < *setting.upper))
      read.fail(table.get("upper"), prefix + "upper",
                who + ": the upper bound " + formatGeneral(*setting.upper) + " is not above the lower bound " +
                    formatGeneral(*setting.lower));
    if (setting.lower && !(setting.initial >= *setting.lower))
      read.fail(table.get("lower"), prefix + "lower",
                who + ": the bound " + formatGeneral(*setting.lower) + " excludes the initial value " +
                    formatGeneral(setting.initial));
    if (setting.upper && !(setting.initial <= *setting.upper))
      read.fail(table.get("upper"), prefix + "upper",
                who + ": the bound " + formatGeneral(*setting.upper) + " excludes the initial value " +
                    formatGeneral(setting.initial));
    if (setting.logScale) {
      if (!(setting.initial > 0))
        read.fail(table.get("initial"), prefix + "initial",
                  who + " is fitted on a log scale, so its initial value must be positive, not " +
                      formatGeneral(setting.initial) + " (say log = false to fit it as it is)");
      if (setting.lower && !(*setting.lower > 0))
        read.fail(table.get("lower"), prefix + "lower",
                  who + " is fitted on a log scale, so its lower bound must be positive, not " +
                      formatGeneral(*setting.lower));
    }
    config.parameters.push_back(setting);
  }

  config.heatTreatment = readHeatTreatment(
      root, fileName,
      [&](const toml::node& node, const std::string& key, const std::string& what) { read.fail(&node, key, what); });
  checkHeatTreatmentPlaceholders(config.heatTreatment, names);

  const toml::array* profiles = read.tables(root, "profile");
  if (profiles == nullptr || profiles->empty()) read.fail(nullptr, "profile", "missing: name a measured profile");
  for (std::size_t k = 0; k < profiles->size(); ++k) {
    const toml::table& table = *profiles->get(k)->as_table();
    const std::string prefix = "profile[" + std::to_string(k + 1) + "].";
    read.onlyKeys(table, prefix, {"file", "time", "shift_um", "fit_shift", "uncertainty", "weight"});
    FitProfileSetting setting;
    const auto file = read.string(table, prefix, "file");
    if (!file || file->empty()) read.fail(&table, prefix + "file", "missing");
    setting.file = read.path(*file);
    const auto time = read.number(table, prefix, "time");
    if (!time) read.fail(&table, prefix + "time", "missing: the anneal time [s] of " + *file);
    if (!(*time > 0)) read.fail(table.get("time"), prefix + "time", "must be positive, not " + formatGeneral(*time));
    setting.timeS = *time;
    setting.shiftUm = read.number(table, prefix, "shift_um").value_or(0.0);
    setting.fitShift = read.boolean(table, prefix, "fit_shift").value_or(false);
    setting.uncertainty = read.number(table, prefix, "uncertainty");
    if (setting.uncertainty && !(*setting.uncertainty > 0))
      read.fail(table.get("uncertainty"), prefix + "uncertainty",
                "must be positive, not " + formatGeneral(*setting.uncertainty));
    setting.weight = read.number(table, prefix, "weight").value_or(1.0);
    if (!(setting.weight > 0))
      read.fail(table.get("weight"), prefix + "weight", "must be positive, not " + formatGeneral(setting.weight));
    config.profiles.push_back(setting);
  }
  return config;
}

FitConfig readFitConfig(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot be read");
  std::string text;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxFitFileBytes) throw InputError(path + ": larger than a fit file can be (1 MiB)");
  }
  return parseFitConfig(text, path);
}

}  // namespace torvex
