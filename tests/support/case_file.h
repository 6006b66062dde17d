#pragma once
// Builds input data files value by value, so that a test states only what it
// changes from a small valid binary case.

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "model/data_file_keys.h"

namespace torvex::test {

struct CaseFile {
  // Value lines of the keys before the profile (index = key position), without the leading blanks.
  std::array<std::string, kValueLinesBeforeProfile> values = {"2",
                                                              "0   100",
                                                              "10",
                                                              "0.1",
                                                              "1e-4",
                                                              "10",
                                                              "25",
                                                              "2",
                                                              "1000",
                                                              "2",
                                                              "1.0",
                                                              "58.69 195.08",
                                                              "6.587 9.09",
                                                              "0",
                                                              "0",
                                                              "0",
                                                              "1",
                                                              "0",
                                                              "10   10",
                                                              "0",
                                                              "0",
                                                              "0",
                                                              "0   none.flx   0",
                                                              "2"};
  std::vector<std::string> profile = {"0.0 20 0.0 0.0 0.0", "0.002 30 0.0 0.0 0.0"};

  // A value line by its key's name, for readability: value("D3") = "0.5".
  std::string& value(const std::string& key);
  // The lines as the program's writer lays them out: header, key comment and
  // value line per key, the profile lines, the end line.
  [[nodiscard]] std::vector<std::string> lines() const;
  void write(const std::string& path) const;
};

}  // namespace torvex::test
