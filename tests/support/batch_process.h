#pragma once
// Runs torvex-batch as a user does, through the shell, and gives back what it
// printed and its exit status.

#include <string>

namespace torvex::test {

struct Outcome {
  int status = -1;
  std::string output;  // standard output and standard error together
};

// Runs `program arguments` in directory; `prefix` is shell text put before it
// (a command it runs under, or settings of the shell).
Outcome runProgram(const std::string& program, const std::string& directory, const std::string& arguments,
                   const std::string& prefix = "");

bool contains(const std::string& text, const std::string& part);

}  // namespace torvex::test
