#include "support/case_file.h"

#include <stdexcept>

#include "support/test_files.h"

namespace torvex::test {
namespace {

constexpr std::array<const char*, 25> kKeys = {"D0",  "D1",  "D2",  "D3",  "D4",  "D5",  "D6",  "D7",  "D8",
                                               "D9",  "D9a", "D10", "D11", "D12", "D13", "D14", "D15", "D16",
                                               "D17", "D18", "D19", "D20", "D21", "D22", "D23"};

}  // namespace

std::string& CaseFile::value(const std::string& key) {
  for (std::size_t k = 0; k < values.size(); ++k)
    if (key == kKeys[k]) return values[k];
  throw std::invalid_argument("no key " + key);
}

std::vector<std::string> CaseFile::lines() const {
  std::vector<std::string> out = {"###Torvex_v2.3###"};
  for (std::size_t k = 0; k < values.size(); ++k) {
    out.push_back(std::string("#|") + kKeys[k] + "|-");
    out.push_back("   " + values[k]);
  }
  out.push_back("#|D23|-Initial concentration data");
  for (const auto& line : profile) out.push_back("   " + line);
  out.push_back("#end of data file");
  return out;
}

void CaseFile::write(const std::string& path) const {
  writeLines(path, lines());
}

}  // namespace torvex::test
