// torvex-batch: the headless runner. It shares the simulation core with the
// desktop program and reports through standard output, standard error and
// its exit status.

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/case_summary.h"
#include "model/errors.h"
#include "model/tform1.h"
#include "run/sample_files.h"
#include "solver/evaluate_derivative.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitInvalidInput = 1;
constexpr int kExitUsage = 2;

constexpr const char* kHelp = R"(Usage: torvex-batch --check CASE.dat
       torvex-batch --write-samples DIR
       torvex-batch --help

Torvex simulates one-dimensional interdiffusion in a multicomponent alloy.
This is its headless runner.

  --check CASE.dat      Load the input data file CASE.dat and the side files it
                        names (relative names resolve against the current
                        working directory, as in the desktop program), then
                        print a short summary of the case, or the error that
                        makes it invalid (including switch values the
                        solver has no equations for).
  --write-samples DIR   Write the seven sample files (interdiffusion.dat,
                        oxidation.dat, oxid_diff.dfv, inter_diff.dfv,
                        activities.act, fluxes_funct.flx, oxid_flux.flx) into
                        the existing directory DIR, replacing files of the same
                        names.
  --help                Show this text.

Exit status: 0 success, 1 invalid input or a fatal model error (the message
goes to standard error), 2 wrong usage.
)";

int usageError(const std::string& message) {
  std::cerr << "torvex-batch: " << message << "\nTry 'torvex-batch --help'.\n";
  return kExitUsage;
}

int checkCase(const std::string& path) {
  torvex::TForm1 model;
  try {
    model.load(path);
    torvex::checkSolverModes(model);
  } catch (const torvex::FatalModelError& error) {
    std::cout.flush();
    std::cerr << error.what() << "\n";
    return kExitInvalidInput;
  } catch (const torvex::InputError& error) {
    std::cout.flush();
    std::cerr << "Invalid input: " << error.what() << "\n";
    return kExitInvalidInput;
  }
  std::cout << torvex::describeCase(model, path);
  return kExitOk;
}

int writeSamples(const std::string& directory) {
  try {
    torvex::WriteSampleFiles(directory);
  } catch (const torvex::InputError& error) {
    std::cerr << "torvex-batch: " << error.what() << "\n";
    return kExitInvalidInput;
  }
  std::cout << "Wrote the seven sample files into " << directory << "\n";
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
      std::cout << kHelp;
      return kExitOk;
    }
    if (args.size() == 2 && args[0] == "--check") return checkCase(args[1]);
    if (args.size() == 2 && args[0] == "--write-samples") return writeSamples(args[1]);
    if (args.empty()) return usageError("no command given");
    return usageError("unknown or incomplete command '" + args[0] + "'");
  } catch (const std::exception& error) {
    std::cerr << "torvex-batch: internal error: " << error.what() << "\n";
    return kExitInvalidInput;
  }
}
