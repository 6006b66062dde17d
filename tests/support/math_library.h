#pragma once
// Bit-for-bit references hold for one math library: the C library picks among
// variants of exp, log and pow by processor (with or without fused
// multiply-add), and those may differ in the last bit. References record this
// fingerprint; under another library they are compared with a tolerance.

#include <string>

namespace torvex::test {

// A hash of the bits of exp, log, log10 and pow over many arguments.
std::string mathLibraryFingerprint();

}  // namespace torvex::test
