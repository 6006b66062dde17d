#pragma once
// Every number that Torvex writes or reads goes through this module. All
// conversions use the full stop as decimal separator whatever the process
// locale says: std::to_chars and std::from_chars never look at the locale.

#include <optional>
#include <string>
#include <string_view>

namespace torvex {

// General format: the value rounded to 15 significant digits, trailing zeros
// and a bare decimal point dropped. Plain notation when the magnitude is at
// least 0.00001 and has at most 15 digits before the point; otherwise the
// mantissa, a capital E, a minus sign only for negative exponents and the
// exponent without leading zeros ("0.0001", "1", "6.58E-7", "1.5E20").
// Zero of either sign is "0"; infinities and NaN are "INF", "-INF", "NAN"
// (which no reader of the program accepts as a number).
std::string formatGeneral(double value);

// formatGeneral(value) appended to text, without making a string of its own
// (for writers of many numbers).
void appendGeneral(std::string& text, double value);

// The shortest text that reads back as the same double, full stop and a
// lower-case e ("3600", "0.1", "1e-07"): for values a program reads back,
// such as a description it records and reparses. Finite values only.
std::string formatShortest(double value);

// The shortest decimal within `tolerance` of value, written as formatShortest
// writes it: for values that carry known rounding, such as the points of a
// grid built by adding its spacing ("-0.099" for -0.0990000000000002 within
// 1e-15). formatShortest(value) when the tolerance is not positive.
std::string formatWithin(double value, double tolerance);

// The value labels of the main window: five significant digits in scientific
// notation with the exponent's sign and at least two exponent digits
// ("1.2346E+03", "-5.0000E-07").
std::string formatLabel(double value);

// Plain decimal digits with a leading minus for negative values.
std::string formatInteger(long long value);

// Strict real conversion: optional sign, digits with an optional full stop,
// optional exponent (e or E, optional sign, digits). Blanks around the number
// are allowed. Anything else (a comma, "inf", "nan", hexadecimal, an empty
// text, a value too large for a double) is not a real. A value too small for
// a double becomes zero of its sign.
std::optional<double> parseReal(std::string_view text);

// Strict integer conversion: optional sign and decimal digits that fit in a
// signed 32-bit integer, blanks around allowed.
std::optional<int> parseInteger(std::string_view text);

// The integer of a text, or fallback when the text is not an integer.
int integerOr(std::string_view text, int fallback);

}  // namespace torvex
