#include "study/output_folder.h"

#include <filesystem>

#include "model/errors.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

// The path with every link resolved, as far as it exists; what does not
// exist yet is appended as given.
std::string resolved(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) absolute = path;
  fs::path canonical = fs::weakly_canonical(absolute, error);
  if (error) canonical = absolute.lexically_normal();
  std::string text = canonical.string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

}  // namespace

std::vector<std::string> inputFilesOf(const RenderedCase& rendered) {
  std::vector<std::string> files;
  const auto add = [&](const RenderedFile& file) {
    std::error_code ignored;
    if (fs::is_regular_file(file.read, ignored)) files.push_back(file.read);
  };
  add(rendered.dataFile);
  for (const RenderedFile& file : rendered.sideFiles) add(file);
  for (const RenderedFile& file : rendered.sideFilesLeftInPlace) add(file);
  return files;
}

InputsOutside::InputsOutside(const std::string& folder, std::string what)
    : folder_(folder), what_(std::move(what)), canonical_(resolved(folder)) {}

void InputsOutside::check(const std::string& input) {
  if (input.empty() || !seen_.insert(input).second) return;
  const std::string path = resolved(input);
  if (path.compare(0, canonical_.size(), canonical_) != 0) return;
  throw InputError(what_ + " " + folder_ + " holds the input " + input +
                   ": what is written there could replace it. Give the output a folder that holds none of the inputs.");
}

void InputsOutside::check(const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) check(input);
}

}  // namespace torvex
