#pragma once
// SHA-256 digests of input files, so that a run's report can say exactly
// which bytes it read.

#include <string>
#include <string_view>

namespace torvex {

// The SHA-256 digest of bytes as 64 lowercase hexadecimal digits.
std::string sha256Hex(std::string_view bytes);

}  // namespace torvex
