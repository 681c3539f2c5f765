// The old runtime's number and text conversions, shared by the database layer
// and the record classes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly::vb {

// Val: the leading number of a text. Blanks, tabs and line feeds anywhere are
// dropped first; "." is the decimal point; E or D starts an exponent; &H and
// &O prefixes read hex and octal; a trailing type suffix is accepted. A text
// that does not begin with a number gives 0. Raises 6 on an exponent overflow
// and 13 for a fraction under an integer suffix ("50.5%").
double Val(std::string_view text);

// Rounds to the nearest whole number, halves to the even neighbour.
double RoundHalfEven(double value);

// CByte, CInt, CLng, CSng of a number: round halves to even, then raise 6
// when the result lies outside the target (NaN and infinities too).
uint8_t CByte(double value);
int16_t CInt(double value);
int32_t CLng(double value);
float CSng(double value);

// CStr of a number: up to 15 (Double) or 7 (Single) significant digits,
// trailing zeros removed, "." as decimal point, scientific form "1E+15" when
// the exponent is below -4 or at least the precision.
std::string DoubleText(double value);
std::string SingleText(float value);

// The number of characters (code points) of a UTF-8 text.
size_t Len(std::string_view text);
// The first n characters (code points) of a UTF-8 text.
std::string_view LeftChars(std::string_view text, size_t n);

}  // namespace tessaly::vb
