// Number-text helpers shared by the runtime's conversions (Vb.cpp) and the
// Variant (Variant.cpp); not part of the public interface.
#pragma once

#include <string_view>

namespace tessaly::vb::internal {

// Reads a whole text as a number the way the runtime's string-to-number
// coercion does (CDbl("...")): optional surrounding blanks, an optional sign,
// digits with "," thousands separators allowed in the whole part, "." as the
// decimal point, an optional E exponent. Returns false when the text is no
// number (the caller raises 13); raises 6 when the number is too large for a
// Double.
bool ParseNumberText(std::string_view text, double* out);

// Val(DoubleText(value)) and Val(SingleText(value)), without building the text:
// the value rounded to 15 (7) significant digits and read back as a Double.
double DoubleTextValue(double value);
double SingleTextValue(float value);

}  // namespace tessaly::vb::internal
