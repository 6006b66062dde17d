#pragma once
// Helpers shared by the fuzz targets. Each target defines
// LLVMFuzzerTestOneInput, and LLVMFuzzerInitialize when it needs a set-up;
// it is linked either with libFuzzer (the fuzzers) or with replay_main.cpp,
// which feeds it the files of the committed corpora so that the normal test
// run replays them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace torvex::fuzz {

// The input cut at NUL bytes into at most `parts` pieces; the last piece
// keeps any further NUL bytes. A NUL byte is never valid text for the
// program's readers, so using it to separate the pieces loses no input.
std::vector<std::string_view> splitInput(const std::uint8_t* data, std::size_t size, std::size_t parts);

// The lines of a text, cut at LF, CR LF or CR, with no further checks.
std::vector<std::string> linesOf(std::string_view text);

// The input as one text.
inline std::string_view textOf(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Stops the fuzzer (and the replay) when a promise of the code under test
// does not hold: the input that broke it is the finding.
void require(bool promise);

// Takes single bytes and raw doubles (their 8 bytes as they lie in memory)
// off the front of the input; past its end they read as zero.
class ByteReader {
 public:
  explicit ByteReader(std::string_view input) : input_(input) {}
  std::uint8_t byte();
  double real();
  [[nodiscard]] std::string_view rest() const { return input_; }

 private:
  std::string_view input_;
};

// The parser's messages go to standard output; a fuzzer would print millions.
void silenceStandardOutput();

// A fresh directory for the files a target writes, removed at exit. Made on
// first use, on a memory file system where there is one.
const std::string& scratchDirectory();

// Makes the working directory `directory` while it lives and restores the
// previous one afterwards: the loader resolves side-file names against the
// working directory, while libFuzzer writes its corpus and findings relative
// to the directory it was started in.
class WorkingDirectoryScope {
 public:
  explicit WorkingDirectoryScope(const std::string& directory);
  ~WorkingDirectoryScope();
  WorkingDirectoryScope(const WorkingDirectoryScope&) = delete;
  WorkingDirectoryScope& operator=(const WorkingDirectoryScope&) = delete;

 private:
  int previous_;
};

// Writes bytes to path, replacing the file.
void writeFile(const std::string& path, std::string_view bytes);

}  // namespace torvex::fuzz

// Optional, as for libFuzzer: the replay calls it when the target has one.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
