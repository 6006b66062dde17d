#include <clocale>
#include <locale>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Take the locale from the environment like the desktop program does on
  // start-up: under LC_ALL=de_DE.UTF-8 a locale-dependent conversion would
  // write or expect a decimal comma and fail the tests.
  std::setlocale(LC_ALL, "");
  try {
    std::locale::global(std::locale(""));
  } catch (const std::exception&) {
    // Locale not installed: the C locale stays.
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
