// The old runtime's number conversions: Val, the rounding of CByte/CInt/CLng,
// CSng, and CStr of Single and Double values.
#include "tessaly/db/Vb.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>
#include <type_traits>

#include "db/NumberText.h"
#include "db/Rules.h"
#include "tessaly/Error.h"

namespace tessaly::vb {
namespace {

[[noreturn]] void Raise(int32_t number) { throw Error::Runtime(number); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Val drops blanks, tabs and line feeds anywhere in its argument before it
// reads the number ("1 000" is 1000, "- 5" is -5). Rather than copy the text
// without them, the reader steps over them whenever it looks at a character.
class ValReader {
 public:
  explicit ValReader(std::string_view text) : text_(text) {}

  char Peek() {
    while (pos_ < text_.size() && IsValBlank(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }
  void Next() { end_ = ++pos_; }
  size_t Pos() const { return pos_; }
  // The position just after the last character taken with Next.
  size_t End() const { return end_; }
  void Rewind(size_t pos) { pos_ = pos; }

 private:
  static bool IsValBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

  std::string_view text_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

// True when a decimal text that std::from_chars found out of range is too
// large (rather than too small) for a Double: the decimal exponent of its first
// significant digit is positive. Only reached on the rare out-of-range path.
bool IsTooLarge(std::string_view clean) {
  int64_t lead = 0;  // decimal exponent of the first significant digit
  bool seen_significant = false;
  bool in_fraction = false;
  int64_t whole_digits = 0;
  int64_t fraction_zeros = 0;
  size_t i = 0;
  if (i < clean.size() && clean[i] == '-') ++i;
  for (; i < clean.size(); ++i) {
    char c = clean[i];
    if (c == '.') {
      in_fraction = true;
    } else if (IsDigit(c)) {
      if (!in_fraction) {
        if (seen_significant || c != '0') {
          seen_significant = true;
          ++whole_digits;
        }
      } else if (!seen_significant) {
        if (c == '0') {
          ++fraction_zeros;
        } else {
          seen_significant = true;
        }
      }
    } else {
      break;  // the exponent
    }
  }
  lead = whole_digits > 0 ? whole_digits - 1 : -(fraction_zeros + 1);
  int64_t exponent = 0;
  if (i < clean.size()) {
    ++i;  // 'e'
    bool negative = false;
    if (i < clean.size() && (clean[i] == '+' || clean[i] == '-')) negative = clean[i++] == '-';
    for (; i < clean.size() && IsDigit(clean[i]); ++i) {
      if (exponent < 100000000) exponent = exponent * 10 + (clean[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return lead + exponent > 0;
}

// Converts a decimal text in the form std::from_chars reads ("-12.5e3") to a
// Double: 6 when it is too large, 0 when it is too small.
double DecimalToDouble(std::string_view clean) {
  double value = 0;
  auto [ptr, ec] =
      std::from_chars(clean.data(), clean.data() + clean.size(), value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    if (IsTooLarge(clean)) Raise(errnum::kOverflow);
    return 0;
  }
  if (ec != std::errc()) return 0;
  return value == 0 ? 0.0 : value;  // no negative zero: it would print as "-0"
}

// Val of "&H..." / "&O...": the reader stands after the '&'.
double ValRadix(ValReader& in) {
  char kind = in.Peek();
  int base;
  if (kind == 'H' || kind == 'h') {
    base = 16;
  } else if (kind == 'O' || kind == 'o') {
    base = 8;
  } else {
    return 0;  // a lone '&' starts no number
  }
  in.Next();
  uint64_t value = 0;
  bool any = false;
  for (;;) {
    char c = in.Peek();
    int digit;
    if (IsDigit(c)) {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    value = value * base + digit;
    // A literal wider than 32 bits is an overflow, as in the runtime's source.
    if (value > 0xFFFFFFFFu) Raise(errnum::kOverflow);
    any = true;
    in.Next();
  }
  if (!any) return 0;
  char suffix = in.Peek();
  // A literal that fits 16 bits is an Integer, so &H8000..&HFFFF read as
  // negative numbers; a '&' suffix makes it a Long, a '%' suffix demands an
  // Integer.
  bool as_integer = value <= 0xFFFFu && suffix != '&';
  if (suffix == '%' && !as_integer) Raise(errnum::kOverflow);
  if (as_integer) return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(value)));
  return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

// Skips the digits at the reader's position; counts them.
int SkipDigits(ValReader& in) {
  int count = 0;
  while (IsDigit(in.Peek())) {
    in.Next();
    ++count;
  }
  return count;
}

// Significant digits and scientific switch point of CStr for each type.
template <typename Float>
constexpr int kPrecision = std::is_same_v<Float, float> ? 7 : 15;

// Writes value rounded to P significant digits as "[-]d.ddde[+-]xx" into buf;
// returns the end. The conversion does not depend on the C locale.
template <typename Float>
char* WriteScientific(char* buf, char* end, Float value) {
  return std::to_chars(buf, end, value, std::chars_format::scientific, kPrecision<Float> - 1).ptr;
}

template <typename Float>
std::string NumberText(Float value) {
  // The old runtime's texts for the values it could not compute with.
  if (std::isnan(value)) return "1.#QNAN";
  if (std::isinf(value)) return value < 0 ? "-1.#INF" : "1.#INF";
  if (value == 0) return "0";  // negative zero too
  if constexpr (std::is_same_v<Float, float>) {
    // Most Singles a record holds have a few decimals (7.5, 0.25, 8). One
    // that is exactly a whole number of ten-thousandths (a Single times 10^4
    // is exact in a Double) of at most seven digits, below 10^7, is its own
    // rounding to seven digits and is written as it stands.
    const double scaled = static_cast<double>(value) * 1e4;
    if (std::fabs(value) < 1e7F && scaled == std::nearbyint(scaled)) {
      const auto n = static_cast<int64_t>(std::fabs(scaled));
      int64_t significant = n;
      while (significant % 10 == 0) significant /= 10;
      if (significant < 10000000) {
        std::string out = value < 0 ? "-" : "";
        out += std::to_string(n / 10000);
        if (int64_t fraction = n % 10000; fraction != 0) {
          char places[] = {'.', '0', '0', '0', '0'};
          for (int i = 4; i > 0; --i, fraction /= 10)
            places[i] = static_cast<char>('0' + fraction % 10);
          size_t used = 5;
          while (places[used - 1] == '0') --used;
          out.append(places, used);
        }
        return out;
      }
    }
  }

  char buf[48];
  char* end = WriteScientific(buf, buf + sizeof buf, value);
  std::string_view sci(buf, end - buf);
  bool negative = sci[0] == '-';
  if (negative) sci.remove_prefix(1);

  // Digits of the mantissa without the point, trailing zeros removed.
  size_t e_pos = sci.find('e');
  char digits[kPrecision<Float> + 1];
  int digit_count = 0;
  for (size_t i = 0; i < e_pos; ++i) {
    if (sci[i] != '.') digits[digit_count++] = sci[i];
  }
  while (digit_count > 1 && digits[digit_count - 1] == '0') --digit_count;
  int exponent = 0;
  std::from_chars(sci.data() + e_pos + (sci[e_pos + 1] == '+' ? 2 : 1), sci.data() + sci.size(),
                  exponent);

  std::string out;
  out.reserve(32);
  if (negative) out += '-';
  if (exponent < -4 || exponent >= kPrecision<Float>) {
    out += digits[0];
    if (digit_count > 1) {
      out += '.';
      out.append(digits + 1, digit_count - 1);
    }
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) out += '0';
    out += std::to_string(magnitude);
  } else if (exponent >= 0) {
    int whole = exponent + 1;
    for (int i = 0; i < whole; ++i) out += i < digit_count ? digits[i] : '0';
    if (digit_count > whole) {
      out += '.';
      out.append(digits + whole, digit_count - whole);
    }
  } else {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out.append(digits, digit_count);
  }
  return out;
}

// Val of the text of a Double or Single with no shortcut: format the value
// rounded to P digits and read the result back. The text is the same decimal
// number as the scientific form (only the notation differs), so reading that
// form gives Val's result.
template <typename Float>
double SlowNumberTextValue(Float value) {
  if (!std::isfinite(value)) return Val(NumberText(value));
  char buf[48];
  char* end = WriteScientific(buf, buf + sizeof buf, value);
  return DecimalToDouble(std::string_view(buf, end - buf));
}

double DoubleNumberTextValue(double value) {
  // A whole number below 1E+15 prints exactly and reads back as itself.
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) return value + 0.0;
  if (!std::isfinite(value)) return SlowNumberTextValue(value);
  // When the shortest text that reads back as this Double has at most 15
  // digits, rounding the value to 15 digits gives that same decimal S, and Val
  // reads S back as the value itself. Why: S is within half a unit in the last
  // place (ulp) of the value, so the nearest 15-digit decimal D is too, and D
  // and S lie at most one ulp apart; but one ulp (at most 2^-52 of the value)
  // is less than the gap between neighbouring 15-digit decimals (at least
  // 10^-15 of the value), so D is S. The shortest form is much cheaper to make
  // than a fixed number of digits.
  char buf[40];
  char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific).ptr;
  int digits = 0;
  for (char* p = buf; p < end && *p != 'e'; ++p) digits += IsDigit(*p);
  if (digits <= 15) return value;
  return SlowNumberTextValue(value);
}

double SingleNumberTextValue(float value) {
  double x = std::fabs(static_cast<double>(value));
  if (x < 1e7 && x == std::trunc(x)) return static_cast<double>(value) + 0.0;
  // Rounding to 7 digits done exactly in Double arithmetic, for Singles from
  // 1E-06 up to 1E+07: scaled by 10^k (k <= 12) into [1E+06, 1E+07), a 24-bit
  // Single times 10^k = 5^k * 2^k (5^12 < 2^28) needs at most 52 bits, so the
  // product is exact; rounding it half-even is exactly what the text does with
  // the exact value; and dividing the 7-digit whole number by 10^k, both exact
  // Doubles, is one correctly rounded operation, i.e. the Double nearest to
  // the decimal text, which is what Val reads.
  static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3,  1e4,  1e5, 1e6,
                                      1e7, 1e8, 1e9, 1e10, 1e11, 1e12};
  if (x < 1e7 && x >= 1e-6) {
    for (int k = 0; k <= 12; ++k) {
      double scaled = x * kPow10[k];
      if (scaled >= 1e6) {
        double result = RoundHalfEven(scaled) / kPow10[k];
        return value < 0 ? -result : result;
      }
    }
  }
  return SlowNumberTextValue(value);
}

}  // namespace

double Val(std::string_view text) {
  ValReader in(text);
  char c = in.Peek();
  if (c == '&') {
    in.Next();
    return ValRadix(in);
  }

  // Decimal: [sign] digits [. digits] [E|D [sign] digits] [suffix]. The number
  // is read straight from the text when it is already in from_chars' form;
  // otherwise (inner blanks, a D exponent) a clean copy is made.
  size_t begin = in.Pos();
  if (c == '+' || c == '-') {
    in.Next();
    if (c == '+') begin = in.End();  // from_chars takes no '+'
  }
  int digit_count = SkipDigits(in);
  bool has_point = false;
  if (in.Peek() == '.') {
    has_point = true;
    in.Next();
    digit_count += SkipDigits(in);
  }
  if (digit_count == 0) return 0;
  bool has_exponent = false;
  bool d_exponent = false;
  size_t end = in.End();
  c = in.Peek();
  if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
    size_t before = in.Pos();
    d_exponent = c == 'd' || c == 'D';
    in.Next();
    char sign = in.Peek();
    if (sign == '+' || sign == '-') in.Next();
    if (SkipDigits(in) > 0) {
      has_exponent = true;
      end = in.End();
    } else {
      in.Rewind(before);  // a dangling E ends the number: Val("12e") is 12
      d_exponent = false;
    }
  }
  char suffix = in.Peek();

  std::string_view raw = text.substr(begin, end - begin);
  double value;
  if (!d_exponent && raw.find_first_of(" \t\n") == std::string_view::npos) {
    value = DecimalToDouble(raw);
  } else {
    std::string copy;
    copy.reserve(raw.size());
    for (char ch : raw) {
      if (ch == ' ' || ch == '\t' || ch == '\n') continue;
      copy += (ch == 'd' || ch == 'D') ? 'e' : ch;
    }
    value = DecimalToDouble(copy);
  }

  // An Integer or Long type suffix declares a whole number: "50%" is 50, but
  // "50.5%" is a type mismatch. A literal with a point or an exponent under such
  // a suffix is refused even when its value happens to be whole ("50.0%"), as
  // it would be in the runtime's source.
  if (suffix == '%' || suffix == '&') {
    if (has_point || has_exponent) Raise(errnum::kRuntimeTypeMismatch);
    double limit = suffix == '%' ? 32768.0 : 2147483648.0;
    if (value >= limit || value < -limit) Raise(errnum::kOverflow);
  }
  return value;
}

double RoundHalfEven(double value) {
  if (!std::isfinite(value)) return value;
  // value - trunc(value) is exact for every double, so a tie is seen as one.
  double whole = std::trunc(value);
  if (std::fabs(value - whole) != 0.5) return std::round(value) + 0.0;  // + 0.0: no -0
  return (std::fmod(whole, 2.0) == 0 ? whole : whole + (value < 0 ? -1 : 1)) + 0.0;
}

// CByte, CInt, CLng: the whole number value rounds to, if T holds it.
template <class T>
T RoundedWhole(double value) {
  const double r = RoundHalfEven(value);
  using Limits = std::numeric_limits<T>;
  if (!(r >= Limits::min() && r <= Limits::max())) Raise(errnum::kOverflow);  // NaN fails both
  return static_cast<T>(r);
}

uint8_t CByte(double value) { return RoundedWhole<uint8_t>(value); }
int16_t CInt(double value) { return RoundedWhole<int16_t>(value); }
int32_t CLng(double value) { return RoundedWhole<int32_t>(value); }

float CSng(double value) {
  if (std::isnan(value)) Raise(errnum::kOverflow);
  // Values from the largest Single up to half a unit above it still round to
  // it; from there on (a tie goes to the even neighbour, which is infinity)
  // the value does not fit.
  constexpr double kFirstTooLarge = 0x1.ffffffp127;
  if (std::fabs(value) >= kFirstTooLarge) Raise(errnum::kOverflow);
  return static_cast<float>(value);
}

std::string DoubleText(double value) {
  // Whole numbers below the switch point are the common case; skip the
  // scientific detour for them.
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    char buf[24];
    auto end = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(value)).ptr;
    return std::string(buf, end);
  }
  return NumberText(value);
}

std::string SingleText(float value) { return NumberText(value); }

namespace {
// Code points are counted by their first bytes; a continuation byte
// (10xxxxxx) belongs to the character before it.
bool StartsCharacter(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }
}  // namespace

size_t Len(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += StartsCharacter(c);
  return count;
}

std::string_view LeftChars(std::string_view text, size_t n) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (StartsCharacter(text[i])) {
      if (seen == n) return text.substr(0, i);
      ++seen;
    }
  }
  return text;
}

namespace internal {

bool ParseNumberText(std::string_view text, double* out) {
  text = db::rules::TrimBlanks(text);

  size_t i = 0;
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);  // from_chars takes no '+'
  } else if (!text.empty() && text[0] == '-') {
    i = 1;
  }
  int digits = 0;
  bool has_comma = false;
  while (i < text.size()) {
    if (IsDigit(text[i])) {
      ++digits;
    } else if (text[i] == ',' && digits > 0) {
      has_comma = true;  // a thousands separator, only inside the whole part
    } else {
      break;
    }
    ++i;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) {
      ++digits;
      ++i;
    }
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent_begin = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == exponent_begin) return false;
  }
  if (i != text.size()) return false;

  if (!has_comma) {
    *out = DecimalToDouble(text);
    return true;
  }
  std::string copy;
  copy.reserve(text.size());
  for (char c : text) {
    if (c != ',') copy += c;
  }
  *out = DecimalToDouble(copy);
  return true;
}

double DoubleTextValue(double value) { return DoubleNumberTextValue(value); }
double SingleTextValue(float value) { return SingleNumberTextValue(value); }

}  // namespace internal
}  // namespace tessaly::vb
