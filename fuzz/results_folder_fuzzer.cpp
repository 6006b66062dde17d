// Fuzz target: the readers of a results folder that a run left, perhaps
// killed in the middle of a write or overwritten by something else: the
// plots' reader of history.csv and the records, and the continuation's look
// at the first and last lines of a file it may append to. Neither may crash;
// the continuation may only ever cut a torn last line off a file it
// continues, and must leave any other file as it was.
//
// Input: a byte choosing the file, the start time as 8 raw bytes, then the
// file's text.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "fuzz_support.h"
#include "model/errors.h"
#include "results/continued_files.h"
#include "results/results_files.h"
#include "results/run_data.h"

namespace {

namespace fs = std::filesystem;

const fs::path& folder() {
  static const fs::path path = [] {
    fs::path made = fs::temp_directory_path() / ("torvex-fuzz-results-" + std::to_string(::getpid()));
    fs::create_directories(made);
    return made;
  }();
  return path;
}

void write(const fs::path& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  fuzz::ByteReader in(fuzz::textOf(data, size));
  const std::uint8_t choice = in.byte();
  const double start = in.real();
  const std::string_view text = in.rest();
  const char* names[] = {kHistoryFile, kSeriesFile, kKirkendallRecordFile, kBoundaryRecordFile};
  const char* name = names[choice % 4];
  for (const auto& entry : fs::directory_iterator(folder())) fs::remove_all(entry.path());
  const fs::path path = folder() / name;
  write(path, text);

  // The plots' reader.
  try {
    static_cast<void>(ReadRunData(folder().string()));
  } catch (const InputError&) {
  }

  // The continuation's look: a header it expects, the first line of the text
  // half of the time.
  const std::string firstLine = (choice & 4) != 0 ? std::string(text.substr(0, text.find('\n'))) : "time_s,dt_s";
  const char separator = (choice & 8) != 0 ? ',' : ' ';
  EarlierFile earlier = EarlierFile::None;
  try {
    earlier = continueEarlierFile(path.string(), firstLine, separator, start);
  } catch (const FileWriteError&) {
    return 0;
  }
  const std::string after = read(path);
  if (earlier == EarlierFile::Continues) {
    fuzz::require(text.substr(0, after.size()) == after);
    fuzz::require(!after.empty() && after.back() == '\n');
    fuzz::require(text.find('\n', after.size()) == std::string_view::npos);
  } else {
    fuzz::require(after == text);
  }
  return 0;
}
