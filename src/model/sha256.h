#pragma once
// SHA-256 digests of input files, so that a run's report can say exactly
// which bytes it read, and of results files, so that a study can tell the
// results a case left from any others.

#include <string>
#include <string_view>

namespace torvex {

// The SHA-256 digest of bytes as 64 lowercase hexadecimal digits.
std::string sha256Hex(std::string_view bytes);

// The digest of the file at `path`, read in pieces (the file may be larger
// than memory). Throws InputError naming the file and the system's reason
// when it cannot be read.
std::string sha256OfFile(const std::string& path);

}  // namespace torvex
