#include "support/case_file.h"

#include <stdexcept>

#include "model/data_file_keys.h"
#include "model/text_list.h"
#include "support/test_files.h"

namespace torvex::test {

std::string& CaseFile::value(const std::string& key) {
  const auto named = keyNamed(key);
  if (!named || *named == DataKey::D23) throw std::invalid_argument("no key " + key);
  return values[static_cast<std::size_t>(position(*named))];
}

std::vector<std::string> CaseFile::lines() const {
  std::vector<std::string> out = {"###Torvex_v2.3###"};
  for (std::size_t k = 0; k < values.size(); ++k) {
    out.push_back(std::string("#|") + keyName(keyAt(static_cast<int>(k))) + "|-");
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
