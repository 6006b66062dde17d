#pragma once
// Scratch directories and small file helpers for the tests.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace torvex::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away. While it lives, the working
// directory can be switched into it with ScopedWorkingDirectory.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::filesystem::path& directory);
  ~ScopedWorkingDirectory();
  ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
  ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// Writes bytes exactly as given.
void writeBytes(const std::string& path, const std::string& bytes);
// Writes lines joined with CR LF.
void writeLines(const std::string& path, const std::vector<std::string>& lines);
std::string readBytes(const std::string& path);

// The blank-separated fields of a line as numbers (NaN for a field that is
// not a number).
std::vector<double> numbersOf(const std::string& line);

// The message of the exception of type Error that action throws; a test
// failure (and an empty text) when it throws none.
template <class Error, class Action>
std::string messageOf(Action&& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  ADD_FAILURE() << "expected an error, none was thrown";
  return {};
}

}  // namespace torvex::test
