#pragma once
// What a study or a fit may write into: never a folder that holds one of its
// inputs. A sweep clears case folders and a fit rewrites its case/ folder; if
// the user's template lived there, it would be gone.

#include <set>
#include <string>
#include <vector>

#include "study/case_template.h"

namespace torvex {

// The files a rendered case is read from: the data file and every side file,
// wherever it lies (those that exist).
std::vector<std::string> inputFilesOf(const RenderedCase& rendered);

// Checks inputs against one output folder. The paths are compared after
// symbolic links are resolved, so a link into the output folder is caught as
// well; each input is looked at once, however many cases read it.
class InputsOutside {
 public:
  // `what` names the folder in messages ("the study's output folder").
  InputsOutside(const std::string& folder, std::string what);

  // Throws InputError naming both paths when `input` lies in the folder or
  // below it.
  void check(const std::string& input);
  void check(const std::vector<std::string>& inputs);

 private:
  std::string folder_;
  std::string what_;
  std::string canonical_;  // with a trailing separator
  std::set<std::string> seen_;
};

}  // namespace torvex
