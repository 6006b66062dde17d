#pragma once
// The two kinds of failure the core reports. It never shows a dialog, never
// exits the process: the front ends decide how to tell the user.

#include <stdexcept>
#include <string>

namespace torvex {

// Invalid input: a malformed data or side file, a file that cannot be read or
// written. The message names the file, the key or line, and the offending text.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A model error the program must end on (the front ends show it and exit with
// status 1). The message is the exact text shown to the user.
class FatalModelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace torvex
