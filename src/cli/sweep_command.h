#pragma once
// torvex-batch sweep STUDY.toml [...]: runs a parameter study here, writes or
// submits its Slurm job array, runs one task of it, or collects its summary.

#include <string>
#include <vector>

namespace torvex {

// `args` are the arguments after "sweep"; returns the exit status.
int runSweepCommand(const std::vector<std::string>& args, const char* argv0);

}  // namespace torvex
