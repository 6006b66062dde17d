#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace torvex::fuzz {

std::vector<std::string_view> splitInput(const std::uint8_t* data, std::size_t size, std::size_t parts) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> pieces;
  while (pieces.size() + 1 < parts) {
    const auto nul = rest.find('\0');
    if (nul == std::string_view::npos) break;
    pieces.push_back(rest.substr(0, nul));
    rest.remove_prefix(nul + 1);
  }
  pieces.push_back(rest);
  return pieces;
}

std::vector<std::string> linesOf(std::string_view text) {
  std::vector<std::string> lines;
  std::string current;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '\n' || c == '\r') {
      lines.push_back(std::move(current));
      current.clear();
      if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

void require(bool promise) {
  if (!promise) std::abort();
}

std::uint8_t ByteReader::byte() {
  if (input_.empty()) return 0;
  const auto value = static_cast<std::uint8_t>(input_.front());
  input_.remove_prefix(1);
  return value;
}

double ByteReader::real() {
  unsigned char bytes[sizeof(double)] = {};
  const std::size_t count = std::min(sizeof bytes, input_.size());
  std::memcpy(bytes, input_.data(), count);
  input_.remove_prefix(count);
  double value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

void silenceStandardOutput() {
  std::fflush(stdout);
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) {
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
  }
}

namespace {

std::string makeScratchDirectory() {
  std::string base = "/dev/shm";
  if (::access(base.c_str(), W_OK) != 0) base = std::filesystem::temp_directory_path().string();
  std::string pattern = base + "/torvex-fuzz-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a scratch directory");
  return pattern;
}

struct Scratch {
  std::string path = makeScratchDirectory();
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

const std::string& scratchDirectory() {
  static const Scratch scratch;
  return scratch.path;
}

WorkingDirectoryScope::WorkingDirectoryScope(const std::string& directory)
    : previous_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (previous_ < 0 || ::chdir(directory.c_str()) != 0) throw std::runtime_error("cannot enter " + directory);
}

WorkingDirectoryScope::~WorkingDirectoryScope() {
  if (::fchdir(previous_) != 0) std::abort();
  ::close(previous_);
}

void writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace torvex::fuzz
