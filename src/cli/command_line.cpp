#include "cli/command_line.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <numeric>

#include "results/run_report.h"
#include "solver/cu_fe_ni.h"

namespace torvex {
namespace {

// Edits between two texts, a swap of two neighbours counting as one edit
// (the commonest typing slip: --qiuet).
std::size_t editDistance(std::string_view a, std::string_view b) {
  const std::size_t columns = b.size() + 1;
  std::vector<std::size_t> d((a.size() + 1) * columns);
  const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return d[i * columns + j]; };
  for (std::size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
  for (std::size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
    }
  return at(a.size(), b.size());
}

}  // namespace

std::string versionText(std::string_view program) {
  std::string text = std::string(program) + " " + programVersion() + "\n";
  text += "  revision     " + std::string(sourceRevision()) + "\n";
  text += "  build        " + std::string(programBuildType()) + "\n";
  text += "  vector path  " + std::to_string(cuFeNiVectorBits()) + " bits\n";
  text += "How to cite: The Torvex developers, Torvex: interdiffusion in multicomponent alloys, version " +
          std::string(programVersion()) + " (revision " + sourceRevision() + "); see CITATION.cff in the sources.\n";
  return text;
}

std::string closestOption(std::string_view given, const std::vector<std::string_view>& known) {
  std::string best;
  std::size_t bestDistance = 3;  // more edits than that is another word
  bool tie = false;
  for (const std::string_view option : known) {
    const std::size_t distance = editDistance(given, option);
    if (distance * 3 >= option.size()) continue;
    if (distance < bestDistance) {
      best = option;
      bestDistance = distance;
      tie = false;
    } else if (distance == bestDistance) {
      tie = true;
    }
  }
  return tie ? std::string() : best;
}

std::string unknownOptionMessage(std::string_view given, const std::vector<std::string_view>& known) {
  std::string message = "unknown option '" + std::string(given) + "'";
  if (const std::string near = closestOption(given, known); !near.empty()) message += " (did you mean '" + near + "'?)";
  return message;
}

std::string findOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string list = path != nullptr ? path : "";
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    const std::filesystem::path candidate = std::filesystem::path(list.substr(start, end - start)) / name;
    if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return {};
}

}  // namespace torvex
