#include "support/batch_process.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace torvex::test {

Outcome runProgram(const std::string& program, const std::string& directory, const std::string& arguments,
                   const std::string& prefix) {
  const std::string command = "cd '" + directory + "' && " + prefix + " '" + program + "' " + arguments + " 2>&1";
  Outcome outcome;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return outcome;
  std::array<char, 4096> buffer{};
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) outcome.output.append(buffer.data(), got);
  const int raw = ::pclose(pipe);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return outcome;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace torvex::test
