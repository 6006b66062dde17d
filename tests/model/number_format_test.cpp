#include "model/number_format.h"

#include <clocale>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace torvex {
namespace {

TEST(GeneralFormat, PlainNotationForOrdinaryMagnitudes) {
  EXPECT_EQ(formatGeneral(0.0001), "0.0001");
  EXPECT_EQ(formatGeneral(1.0), "1");
  EXPECT_EQ(formatGeneral(612000.0), "612000");
  EXPECT_EQ(formatGeneral(-0.5), "-0.5");
  EXPECT_EQ(formatGeneral(123456.789), "123456.789");
  EXPECT_EQ(formatGeneral(1e-5), "0.00001");
  EXPECT_EQ(formatGeneral(999999999999999.0), "999999999999999");
  EXPECT_EQ(formatGeneral(0.0), "0");
  EXPECT_EQ(formatGeneral(-0.0), "0");
}

TEST(GeneralFormat, RoundsToFifteenSignificantDigits) {
  EXPECT_EQ(formatGeneral(0.1 + 0.2), "0.3");
  EXPECT_EQ(formatGeneral(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(formatGeneral(1.0 - 0.85 - 0.005), "0.145");
  EXPECT_EQ(formatGeneral(2.0 / 3.0 * 1e6), "666666.666666667");
  // Rounding that carries into a new digit moves the exponent.
  EXPECT_EQ(formatGeneral(9.9999999999999995e14), "1E15");
}

TEST(GeneralFormat, ExponentNotationForVerySmallAndVeryLarge) {
  EXPECT_EQ(formatGeneral(6.58e-7), "6.58E-7");
  EXPECT_EQ(formatGeneral(9.99999e-6), "9.99999E-6");
  EXPECT_EQ(formatGeneral(1e15), "1E15");
  EXPECT_EQ(formatGeneral(1.5e20), "1.5E20");
  EXPECT_EQ(formatGeneral(-2.5e-300), "-2.5E-300");
  EXPECT_EQ(formatGeneral(4.9406564584124654e-324), "4.94065645841247E-324");
}

TEST(GeneralFormat, NonFiniteValuesAreNotNumbersToAnyReader) {
  EXPECT_EQ(formatGeneral(std::numeric_limits<double>::quiet_NaN()), "NAN");
  EXPECT_EQ(formatGeneral(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(formatGeneral(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_FALSE(parseReal("NAN"));
  EXPECT_FALSE(parseReal("INF"));
  EXPECT_FALSE(parseReal("-INF"));
}

TEST(GeneralFormat, ReadsBackToFifteenSignificantDigits) {
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-310, 300);
  for (int trial = 0; trial < 20000; ++trial) {
    const double value = std::ldexp(mantissa(random), exponent(random)) * (trial % 2 ? -1 : 1);
    const std::string text = formatGeneral(value);
    const auto back = parseReal(text);
    ASSERT_TRUE(back) << text;
    EXPECT_LE(std::fabs(*back - value), std::fabs(value) * 5.1e-15) << text;
    // Formatting the read-back value gives the same text again.
    EXPECT_EQ(formatGeneral(*back), text);
  }
}

// The shortest text of a value reads back as that very double, which the
// fifteen digits of the general format do not promise.
TEST(ShortestFormat, ReadsBackExactly) {
  EXPECT_EQ(formatShortest(3600), "3600");
  EXPECT_EQ(formatShortest(0.1), "0.1");
  EXPECT_EQ(formatShortest(1e-7), "1e-07");
  const double third = 1.0 / 3;
  EXPECT_EQ(parseReal(formatShortest(third)), third);
  EXPECT_NE(parseReal(formatGeneral(third)), third);
}

TEST(LabelFormat, FiveSignificantDigitsWithSignedTwoDigitExponent) {
  EXPECT_EQ(formatLabel(1234.56), "1.2346E+03");
  EXPECT_EQ(formatLabel(0.0), "0.0000E+00");
  EXPECT_EQ(formatLabel(-5e-7), "-5.0000E-07");
  EXPECT_EQ(formatLabel(1e100), "1.0000E+100");
  EXPECT_EQ(formatLabel(612000.0), "6.1200E+05");
}

TEST(RealConversion, AcceptsDecimalNumbersWithFullStop) {
  EXPECT_EQ(parseReal("6.58e-7"), 6.58e-7);
  EXPECT_EQ(parseReal("1.0e-4"), 1.0e-4);
  EXPECT_EQ(parseReal("-0.1"), -0.1);
  EXPECT_EQ(parseReal("+2"), 2.0);
  EXPECT_EQ(parseReal(".5"), 0.5);
  EXPECT_EQ(parseReal("5."), 5.0);
  EXPECT_EQ(parseReal("1E+5"), 1e5);
  EXPECT_EQ(parseReal("  3  "), 3.0);
  EXPECT_EQ(parseReal("4.94065645841247E-324"), 4.9406564584124654e-324);
  // Below the smallest double: zero of the sign.
  EXPECT_EQ(parseReal("1e-400"), 0.0);
  EXPECT_TRUE(std::signbit(*parseReal("-1e-400")));
}

TEST(RealConversion, RejectsEverythingElse) {
  for (const char* text : {"", " ", "1,5", "abc", "1e", "e5", ".", "-", "inf", "nan", "0x10", "1.2.3", "1e400", "--1",
                           "+-1", "1 2", "1e5.0", "12abc", "1e+"})
    EXPECT_FALSE(parseReal(text)) << '"' << text << '"';
}

TEST(IntegerConversion, AcceptsSignedDecimalIntegersOnly) {
  EXPECT_EQ(parseInteger("200"), 200);
  EXPECT_EQ(parseInteger("-3"), -3);
  EXPECT_EQ(parseInteger("+7"), 7);
  EXPECT_EQ(parseInteger("2147483647"), 2147483647);
  for (const char* text : {"", "2.5", "1e3", "2147483648", "12abc", "+-1", "abc", "1 2"})
    EXPECT_FALSE(parseInteger(text)) << '"' << text << '"';
  EXPECT_EQ(integerOr("x", 42), 42);
  EXPECT_EQ(integerOr("5", 42), 5);
}

// The process locale must not reach any conversion. Switch to a comma
// locale explicitly (the suite also runs as a whole under one).
TEST(NumberLocale, CommaDecimalLocaleChangesNothing) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
    if (std::setlocale(LC_ALL, name)) {
      comma = name;
      break;
    }
  if (!comma) GTEST_SKIP() << "no comma-decimal locale installed";
  EXPECT_EQ(formatGeneral(0.5), "0.5");
  EXPECT_EQ(formatGeneral(6.58e-7), "6.58E-7");
  EXPECT_EQ(formatLabel(1234.56), "1.2346E+03");
  EXPECT_EQ(parseReal("0.5"), 0.5);
  EXPECT_FALSE(parseReal("0,5"));
  std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
}  // namespace torvex
