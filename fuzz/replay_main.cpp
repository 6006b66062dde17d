// Replays fuzzer inputs without libFuzzer: every file of the directories (or
// the files) named on the command line goes once through the target, in
// name order. The committed corpora and the inputs of past findings run this
// way in every test run, so a fault a fuzzer once found cannot come back
// unnoticed.

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"

int main(int argc, char** argv) {
  // The programs take the locale from the environment; so does the replay,
  // so that a run under a decimal-comma locale checks the targets under it.
  std::setlocale(LC_ALL, "");
  std::vector<std::filesystem::path> inputs;
  for (int a = 1; a < argc; ++a) {
    const std::filesystem::path path = std::filesystem::absolute(argv[a]);
    if (std::filesystem::is_directory(path)) {
      // Hidden files (.gitkeep) keep empty directories in the repository.
      for (const auto& entry : std::filesystem::directory_iterator(path))
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.') inputs.push_back(entry.path());
    } else if (std::filesystem::exists(path)) {
      inputs.push_back(path);
    } else {
      std::fprintf(stderr, "replay: no such file or directory: %s\n", argv[a]);
      return 2;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  for (const auto& path : inputs) {
    // Shown with the test's output only when it fails: the last name is the
    // input that broke the target.
    std::fprintf(stderr, "%s\n", path.c_str());
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::fprintf(stderr, "replayed %zu inputs\n", inputs.size());
  return 0;
}
