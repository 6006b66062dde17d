#include "support/math_library.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace torvex::test {

std::string mathLibraryFingerprint() {
  std::uint64_t hash = 14695981039346656037ull;
  const auto mix = [&hash](double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    hash = (hash ^ bits) * 1099511628211ull;
  };
  for (int k = 1; k <= 4096; ++k) {
    const double x = 0.001 + k * 0.0123456789;
    mix(std::exp(-x));
    mix(std::log(x));
    mix(std::log10(x));
    mix(std::pow(x, 1.0 / 6));
    mix(std::pow(x, 3.0));
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace torvex::test
