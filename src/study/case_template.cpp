#include "study/case_template.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "model/errors.h"
#include "model/number_format.h"
#include "model/text_list.h"

namespace torvex {
namespace {

bool isIdentifier(std::string_view name) {
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

std::string firstToken(const std::string& text) {
  const std::string t = trimmed(text);
  return t.substr(0, std::min(t.find(' '), t.size()));
}

std::string afterFirstToken(const std::string& text) {
  const std::string t = trimmed(text);
  const auto blank = t.find(' ');
  return blank == std::string::npos ? std::string() : trimmed(std::string_view(t).substr(blank));
}

std::string withTabsAsBlanks(std::string text) {
  std::replace(text.begin(), text.end(), '\t', ' ');
  return text;
}

// The value of a key in the lines, tabs as blanks and trimmed; empty when the
// file ends before it.
std::string valueOf(const std::vector<std::string>& lines, DataKey key) {
  const auto at = valueLineIndex(lines, key);
  return at ? trimmed(withTabsAsBlanks(lines[*at])) : std::string();
}

// The side files a data file names, by the loader's reading of D9, D12 and D21.
std::vector<std::string> sideFileNames(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  const std::string diffusivity = valueOf(lines, DataKey::D9);
  if (const int mode = integerOr(firstToken(diffusivity), 1); mode == 0 || mode == 1)
    names.push_back(afterFirstToken(diffusivity));
  const std::string activities = valueOf(lines, DataKey::D12);
  if (integerOr(firstToken(activities), 1) == 3) names.push_back(afterFirstToken(activities));
  const std::string flux = valueOf(lines, DataKey::D21);
  if (integerOr(firstToken(flux), 0) != 0) names.push_back(firstToken(afterFirstToken(flux)));
  names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
  return names;
}

bool staysInCaseFolder(const std::string& name) {
  const std::filesystem::path path(name);
  if (path.is_absolute()) return false;
  return std::none_of(path.begin(), path.end(), [](const auto& part) { return part == ".."; });
}

void applyOverrides(std::vector<std::string>& lines, const std::vector<KeyOverride>& overrides,
                    const std::string& path) {
  // The profile rows the file holds now, counted by its own D22.
  const std::size_t oldRows =
      static_cast<std::size_t>(std::max(integerOr(firstToken(valueOf(lines, DataKey::D22)), 0), 0));
  std::vector<KeyOverride> ordered = overrides;
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const KeyOverride& a, const KeyOverride& b) { return position(a.key) < position(b.key); });
  for (const KeyOverride& override : ordered) {
    const int components = override.key == DataKey::D0 ? 0 : integerOr(firstToken(valueOf(lines, DataKey::D0)), 0);
    if (const std::string problem = valueShapeProblem(override.key, override.value, components); !problem.empty())
      throw InputError("--set " + std::string(keyName(override.key)) + "=" + override.value + ": " + problem + " (" +
                       keyName(override.key) + " holds " + keyInfo(override.key).holds + ")");
    const auto at = valueLineIndex(lines, override.key);
    if (!at)
      throw InputError(path + ": --set " + std::string(keyName(override.key)) +
                       ": the data file ends before the value line of this key");
    if (override.key != DataKey::D23) {
      lines[*at] = "   " + override.value;
      continue;
    }
    std::vector<std::string> rows;
    std::size_t start = 0;
    while (start <= override.value.size()) {
      const auto end = std::min(override.value.find(';', start), override.value.size());
      rows.push_back("   " + trimmed(std::string_view(override.value).substr(start, end - start)));
      start = end + 1;
    }
    const std::size_t replaced = std::min(oldRows, lines.size() - *at);
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*at),
                lines.begin() + static_cast<std::ptrdiff_t>(*at + replaced));
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*at), rows.begin(), rows.end());
  }
}

// Fills the placeholders of one file; records which parameters it used.
void substitute(RenderedFile& file, const std::map<std::string, std::string>& values, std::set<std::string>& used) {
  for (std::size_t number = 0; number < file.lines.size(); ++number) {
    std::string& line = file.lines[number];
    std::size_t from = 0;
    while (true) {
      const auto open = line.find("{{", from);
      if (open == std::string::npos) break;
      const auto close = line.find("}}", open + 2);
      const std::string where = file.read + ", line " + std::to_string(number + 1) + ": ";
      if (close == std::string::npos)
        throw InputError(where + "a placeholder opened with {{ is not closed with }} (\"" + line + "\")");
      const std::string name = trimmed(std::string_view(line).substr(open + 2, close - open - 2));
      const auto value = values.find(name);
      if (value == values.end())
        throw InputError(where + "the placeholder {{" + name + "}} has no value (give it with --param " +
                         (isIdentifier(name) ? name : std::string("NAME")) + "=VALUE)");
      line.replace(open, close + 2 - open, value->second);
      from = open + value->second.size();
      used.insert(name);
      file.changed = true;
    }
  }
}

// Where a rendered file stands when the case is written into `directory`.
std::string pathIn(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return directory + (directory.back() == '/' ? "" : "/") + name;
}

}  // namespace

std::string RenderedFile::bytes() const {
  if (text) return *text;
  TextList list;
  for (const std::string& line : lines) list.add(line);
  return list.text();
}

CaseTemplate::CaseTemplate(std::string dataPath) : dataPath_(std::move(dataPath)) {}

std::optional<std::vector<std::string>> CaseTemplate::linesOf(const std::string& path) const {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (const auto known = files_.find(path); known != files_.end()) return known->second;
  }
  std::optional<std::vector<std::string>> lines;
  std::error_code ignored;
  if (std::filesystem::is_regular_file(path, ignored)) {
    TextList list;
    list.loadFromFile(path);
    lines = list.lines();
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  files_.emplace(path, lines);
  return lines;
}

std::vector<std::string> placeholderNames(const std::string& text, const std::string& where) {
  std::vector<std::string> names;
  for (std::size_t at = text.find("{{"); at != std::string::npos; at = text.find("{{", at)) {
    const std::size_t end = text.find("}}", at + 2);
    if (end == std::string::npos)
      throw InputError(where + ": a placeholder opened with {{ is not closed with }} (\"" + text + "\")");
    names.push_back(trimmed(std::string_view(text).substr(at + 2, end - at - 2)));
    at = end + 2;
  }
  return names;
}

std::string fillPlaceholders(std::string text, const std::map<std::string, std::string>& values,
                             const std::string& where) {
  for (std::size_t at = text.find("{{"); at != std::string::npos; at = text.find("{{", at)) {
    const std::size_t end = text.find("}}", at + 2);
    if (end == std::string::npos)
      throw InputError(where + ": a placeholder opened with {{ is not closed with }} (\"" + text + "\")");
    const std::string name = trimmed(std::string_view(text).substr(at + 2, end - at - 2));
    const auto value = values.find(name);
    if (value == values.end()) throw InputError(where + ": the placeholder {{" + name + "}} has no value");
    text.replace(at, end + 2 - at, value->second);
    at += value->second.size();
  }
  return text;
}

std::string valueTextProblem(std::string_view value) {
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n' || c == '\r') return "a value cannot hold a line break";
    if (byte < 0x20 || byte == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(byte));
      return std::string("a value cannot hold a control character (") + code + ")";
    }
  }
  return {};
}

std::string parameterValueProblem(std::string_view value) {
  if (value.empty()) return "a value cannot be empty";
  if (value.find("{{") != std::string_view::npos) return "a value cannot hold {{";
  return valueTextProblem(value);
}

KeyOverride parseKeyOverride(std::string_view text) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos)
    throw InputError("--set " + std::string(text) + ": expected KEY=VALUE, for example --set D8=1273");
  const std::string name = trimmed(text.substr(0, equals));
  const auto key = keyNamed(name);
  if (!key)
    throw InputError("--set " + std::string(text) + ": there is no key \"" + name +
                     "\" (the keys are D0 … D9, D9a, D10 … D23)");
  const std::string value = trimmed(text.substr(equals + 1));
  if (const std::string problem = valueTextProblem(value); !problem.empty())
    throw InputError("--set " + std::string(text) + ": " + problem);
  return {*key, value};
}

CaseParameter parseCaseParameter(std::string_view text) {
  const auto equals = text.find('=');
  const std::string name = trimmed(text.substr(0, std::min(equals, text.size())));
  if (equals == std::string_view::npos || !isIdentifier(name))
    throw InputError("--param " + std::string(text) +
                     ": expected NAME=VALUE with NAME made of letters, digits and '_', for example --param D_Ni=1e-10");
  const std::string value = trimmed(text.substr(equals + 1));
  if (const std::string problem = parameterValueProblem(value); !problem.empty())
    throw InputError("--param " + std::string(text) + ": the value of " + name +
                     " must be one line of text, not empty and without {{ (" + problem + ")");
  return {name, value};
}

RenderedCase renderCase(const std::string& dataPath, const std::vector<KeyOverride>& overrides,
                        const std::vector<CaseParameter>& parameters, const std::set<std::string>& usedElsewhere) {
  return CaseTemplate(dataPath).render(overrides, parameters, usedElsewhere);
}

RenderedCase CaseTemplate::render(const std::vector<KeyOverride>& overrides,
                                  const std::vector<CaseParameter>& parameters,
                                  const std::set<std::string>& usedElsewhere) const {
  const std::string& dataPath = dataPath_;
  std::map<std::string, std::string> values;
  for (const CaseParameter& parameter : parameters) {
    if (values.count(parameter.name) != 0) throw InputError("--param " + parameter.name + " is given twice");
    if (const std::string problem = parameterValueProblem(parameter.value); !problem.empty())
      throw InputError("the parameter " + parameter.name + " = \"" + parameter.value + "\": " + problem);
    values[parameter.name] = parameter.value;
  }
  std::set<DataKey> setKeys;
  for (const KeyOverride& override : overrides) {
    if (!setKeys.insert(override.key).second)
      throw InputError(std::string("--set ") + keyName(override.key) + " is given twice");
    if (const std::string problem = valueTextProblem(override.value); !problem.empty())
      throw InputError(std::string("the override of ") + keyName(override.key) + " = \"" + override.value +
                       "\": " + problem);
  }

  RenderedCase rendered;
  const auto dataLines = linesOf(dataPath);
  if (!dataLines) {
    // Not a regular file: the reader says why (missing, a folder, a device).
    TextList list;
    list.loadFromFile(dataPath);
  }
  rendered.dataFile = {std::filesystem::path(dataPath).filename().string(), dataPath,
                       dataLines.value_or(std::vector<std::string>()), false, std::nullopt};
  applyOverrides(rendered.dataFile.lines, overrides, dataPath);
  std::set<std::string> used;
  substitute(rendered.dataFile, values, used);
  rendered.dataFile.changed = rendered.dataFile.changed || !overrides.empty();

  const std::string folder = std::filesystem::path(dataPath).parent_path().string();
  for (const std::string& name : sideFileNames(rendered.dataFile.lines)) {
    const std::string path = resolveSideFile(name, folder);
    const auto lines = linesOf(path);
    if (!lines) continue;  // the load says what is missing
    if (std::any_of(rendered.sideFiles.begin(), rendered.sideFiles.end(),
                    [&](const RenderedFile& file) { return file.name == name; }))
      continue;
    RenderedFile file{name, path, *lines, false, std::nullopt};
    substitute(file, values, used);
    if (!staysInCaseFolder(name)) {
      if (file.changed)
        throw InputError(path +
                         ": a side file with {{...}} placeholders must lie in the data file's folder or "
                         "below it, so that the rendered case can hold it (it is named \"" +
                         name + "\")");
      rendered.sideFilesLeftInPlace.push_back(std::move(file));
      continue;
    }
    rendered.sideFiles.push_back(std::move(file));
  }
  for (const CaseParameter& parameter : parameters)
    if (used.count(parameter.name) == 0 && usedElsewhere.count(parameter.name) == 0)
      throw InputError("--param " + parameter.name + "=" + parameter.value + ": no {{" + parameter.name +
                       "}} stands in " + dataPath + " or the side files it names");
  return rendered;
}

std::string writeRenderedCase(const RenderedCase& rendered, const std::string& directory) {
  const auto makeFolder = [](const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw FileWriteError(folder.string() + ": cannot make the folder (" + error.message() + ")");
  };
  makeFolder(directory);
  const auto save = [&](const RenderedFile& file) {
    const std::filesystem::path target = std::filesystem::path(directory) / file.name;
    makeFolder(target.parent_path());
    if (file.text) {
      ReplaceFileContent(target.string(), *file.text);
      return target.string();
    }
    TextList list;
    for (const std::string& line : file.lines) list.add(line);
    list.saveToFile(target.string());
    return target.string();
  };
  for (const RenderedFile& file : rendered.sideFiles) save(file);
  return save(rendered.dataFile);
}

Case loadRenderedCase(const RenderedCase& rendered, const std::string& directory, CaseLoadOptions options) {
  CaseFiles files;
  for (const RenderedFile& file : rendered.sideFiles) files.add(pathIn(directory, file.name), file.bytes());
  const std::string dataPath = pathIn(directory, rendered.dataFile.name);
  files.add(dataPath, rendered.dataFile.bytes());
  options.sideFileDirectory = directory;
  options.files = &files;
  return loadCase(dataPath, options);
}

}  // namespace torvex
