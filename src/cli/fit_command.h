#pragma once
// `torvex-batch fit FIT.toml`: fits a case's parameters to measured profiles.

#include <string>
#include <vector>

namespace torvex {

// The arguments after "fit"; returns the exit status.
int runFitCommand(const std::vector<std::string>& args, const std::string& programPath);

}  // namespace torvex
