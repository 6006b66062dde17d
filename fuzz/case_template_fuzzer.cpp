// Fuzz target: rendering a case template with key overrides and parameters.
//
// The input holds up to four pieces separated by NUL bytes: the arguments,
// one per line ("set KEY=VALUE" or "param NAME=VALUE"), the data file
// case.dat, the side file d.dfv and the side file f.flx. Whatever the bytes,
// the arguments and the rendering either succeed or are refused with an
// InputError; a rendered case holds no placeholder any more, and every
// overridden key's value line is the value given.

#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "model/data_file_keys.h"
#include "model/errors.h"
#include "study/case_template.h"

namespace {

using namespace torvex;

constexpr const char* kFiles[] = {"case.dat", "d.dfv", "f.flx"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pieces = fuzz::splitInput(data, size, 4);
  fuzz::WorkingDirectoryScope scope(fuzz::scratchDirectory());
  for (std::size_t k = 0; k < 3; ++k) {
    if (k + 1 < pieces.size())
      fuzz::writeFile(kFiles[k], pieces[k + 1]);
    else
      std::filesystem::remove(kFiles[k]);
  }

  std::vector<KeyOverride> overrides;
  std::vector<CaseParameter> parameters;
  try {
    for (const std::string& line : fuzz::linesOf(pieces.empty() ? std::string_view() : pieces[0])) {
      if (line.rfind("set ", 0) == 0) overrides.push_back(parseKeyOverride(std::string_view(line).substr(4)));
      if (line.rfind("param ", 0) == 0) parameters.push_back(parseCaseParameter(std::string_view(line).substr(6)));
    }
  } catch (const InputError&) {
    return 0;
  }

  RenderedCase rendered;
  try {
    rendered = renderCase(kFiles[0], overrides, parameters);
  } catch (const InputError&) {
    return 0;
  }
  const auto hasPlaceholder = [](const RenderedFile& file) {
    for (const std::string& line : file.lines)
      if (line.find("{{") != std::string::npos) return true;
    return false;
  };
  if (hasPlaceholder(rendered.dataFile)) __builtin_trap();
  for (const RenderedFile& file : rendered.sideFiles)
    if (hasPlaceholder(file)) __builtin_trap();
  for (const KeyOverride& override : overrides) {
    if (override.key == DataKey::D23 || override.value.find("{{") != std::string::npos) continue;
    const auto at = valueLineIndex(rendered.dataFile.lines, override.key);
    if (!at || rendered.dataFile.lines[*at] != "   " + override.value) __builtin_trap();
  }
  try {
    writeRenderedCase(rendered, "rendered");
  } catch (const InputError&) {
    // A side-file name the file system will not take.
  }
  return 0;
}
