#pragma once
// The seven sample files: two complete cases (a Cu-Fe-Ni diffusion couple and
// a binary alloy under selective oxidation) and the side files they and the
// other formula modes use, so that a new user has a working example of every
// file kind.

#include <string>
#include <string_view>
#include <vector>

namespace torvex {

struct SampleFile {
  std::string_view name;
  const std::vector<std::string_view>* lines;
};

// The seven files in the order they are written.
const std::vector<SampleFile>& sampleFiles();

// Writes the seven files into directory (the working directory when empty),
// each replacing any file of its name, every line ending in CR LF. Throws
// InputError naming the file that cannot be written; the files written
// before it stay.
void WriteSampleFiles(const std::string& directory = std::string());

}  // namespace torvex
