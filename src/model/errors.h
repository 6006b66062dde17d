#pragma once
// The two kinds of failure the core reports. It never shows a dialog, never
// exits the process: the front ends decide how to tell the user.

#include <stdexcept>
#include <string>
#include <utility>

namespace torvex {

// Invalid input: a malformed data or side file, a file that cannot be read or
// written. The message names the file, the key or line, and the offending text.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that could not be written (a read-only folder, a full disk, a file
// size limit): the message names the file and the system's reason. It is an
// InputError, so a front end that does not tell the two apart still shows it.
class FileWriteError : public InputError {
 public:
  using InputError::InputError;
};

// A model error the program must end on (the front ends show it and exit with
// status 1). The message is the exact text shown to the user; the detail, when
// there is one, says where the fault lies (the file, the key or line and the
// offending text) for a front end that can show more than the message.
class FatalModelError : public std::runtime_error {
 public:
  explicit FatalModelError(const std::string& message, std::string detail = std::string())
      : std::runtime_error(message), detail_(std::move(detail)) {}
  [[nodiscard]] const std::string& detail() const { return detail_; }

 private:
  std::string detail_;
};

}  // namespace torvex
