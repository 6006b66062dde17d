#pragma once
// Reading a whole input file with a bound on what it may cost.

#include <cstddef>
#include <string>
#include <string_view>

namespace torvex {

// The bytes of the file at path, read only when it is a regular file (a
// pipe or a device such as /dev/zero is refused before anything is read)
// of at most maxBytes. Throws InputError naming the file and `what` ("the
// schedule file") when it cannot be read, is not a regular file or is
// larger.
std::string ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string_view what);

}  // namespace torvex
