// The field value: its text form and the runtime's checked conversions.
#include "tessaly/db/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "db/NumberText.h"
#include "db/Rules.h"
#include "tessaly/Error.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db {
namespace {

[[noreturn]] void Raise(int32_t number) { throw Error::Runtime(number); }

template <typename Int>
std::string IntegerText(Int value) {
  char buf[16];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

// The runtime's string-to-number coercion: 13 when the text is no number.
double NumberOfText(std::string_view text) {
  double value;
  if (!vb::internal::ParseNumberText(text, &value)) Raise(errnum::kRuntimeTypeMismatch);
  return value;
}

// The text the runtime gave an array of Bytes: its bytes as UTF-16 code
// units, two to a character (a last odd byte a character of its own).
std::string BytesText(const std::vector<uint8_t>& bytes) {
  std::string out;
  auto put = [&out](uint32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xc0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xe0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
      out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
      out += static_cast<char>(0xf0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3f));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
      out += static_cast<char>(0x80 | (c & 0x3f));
    }
  };
  for (size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t unit = bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
    if (unit >= 0xd800 && unit < 0xdc00 && i + 3 < bytes.size()) {
      const uint32_t low = bytes[i + 2] | bytes[i + 3] << 8;
      if (low >= 0xdc00 && low < 0xe000) {
        put(0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00));
        i += 2;
        continue;
      }
    }
    // A surrogate without its pair has no character.
    put(unit >= 0xd800 && unit < 0xe000 ? 0xfffd : unit);
  }
  return out;
}

// Rounds the canonical text of a Decimal to 4 decimals, halves to even, as
// a whole number of ten-thousandths; false when it is beyond a Currency.
bool ScaledOfDecimal(const std::string& text, int64_t* out) {
  std::string_view t = text;
  const bool negative = !t.empty() && t.front() == '-';
  if (negative) t.remove_prefix(1);
  const size_t point = t.find('.');
  const std::string_view whole = t.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? "" : t.substr(point + 1);
  if (whole.size() > 15) return false;
  uint64_t scaled = 0;
  for (char c : whole) scaled = scaled * 10 + static_cast<uint64_t>(c - '0');
  for (size_t i = 0; i < 4; ++i) {
    scaled = scaled * 10 + (i < fraction.size() ? static_cast<uint64_t>(fraction[i] - '0') : 0);
  }
  if (fraction.size() > 4) {
    const std::string_view rest = fraction.substr(4);
    const bool above_half = rest[0] > '5' || (rest[0] == '5' && rest.size() > 1);
    const bool half = rest == "5";
    if (above_half || (half && scaled % 2 == 1)) ++scaled;
  }
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (scaled > limit) return false;
  *out = negative ? static_cast<int64_t>(0 - scaled) : static_cast<int64_t>(scaled);
  return true;
}

}  // namespace

std::string Currency::ToText() const {
  const uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string out = scaled < 0 ? "-" : "";
  out += std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    char digits[5] = {0, 0, 0, 0, 0};
    for (int i = 3; i >= 0; --i, fraction /= 10) digits[i] = static_cast<char>('0' + fraction % 10);
    std::string_view shown(digits, 4);
    while (shown.back() == '0') shown.remove_suffix(1);
    out += '.';
    out += shown;
  }
  return out;
}

std::optional<Decimal> Decimal::Parse(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // The digits without the point, and where the point stands among them.
  std::string digits;
  int64_t point = -1;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      if (digits.size() > 200) return std::nullopt;
      digits += c;
    } else if (c == '.' && point < 0) {
      point = static_cast<int64_t>(digits.size());
    } else {
      break;
    }
  }
  if (digits.empty()) return std::nullopt;
  if (point < 0) point = static_cast<int64_t>(digits.size());
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
    int exponent = 0;
    const char* begin = text.data() + i + 1;
    if (begin < text.data() + text.size() && *begin == '+') ++begin;
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), exponent);
    if (ec != std::errc() || end != text.data() + text.size() || begin == end) return std::nullopt;
    if (exponent > 100 || exponent < -100) return std::nullopt;
    point += exponent;
  }
  // Zeros before the first significant digit and after the last one go.
  while (point < 0) {
    digits.insert(digits.begin(), '0');
    ++point;
  }
  while (static_cast<int64_t>(digits.size()) < point) digits += '0';
  std::string whole = digits.substr(0, static_cast<size_t>(point));
  std::string fraction = digits.substr(static_cast<size_t>(point));
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  const size_t significant = whole.empty() ? fraction.size() - std::min(fraction.find_first_not_of('0'), fraction.size())
                                           : whole.size() + fraction.size();
  if (significant > kMaxDigits || fraction.size() > kMaxDigits) return std::nullopt;
  Decimal d;
  d.text_.clear();
  if (negative && (!whole.empty() || !fraction.empty())) d.text_ += '-';
  d.text_ += whole.empty() ? "0" : whole;
  if (!fraction.empty()) d.text_ += '.' + fraction;
  return d;
}

int Decimal::Digits() const {
  int count = 0;
  bool leading = true;
  for (char c : text_) {
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++count;
  }
  return count;
}

Variant Variant::Null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

VarType Variant::Type() const {
  // In the order of the alternatives of Value.
  static constexpr VarType kTypes[] = {
      VarType::kEmpty, VarType::kNull,   VarType::kBoolean, VarType::kByte, VarType::kInteger,
      VarType::kLong,  VarType::kSingle, VarType::kDouble,  VarType::kDate, VarType::kString,
      VarType::kCurrency, VarType::kDecimal, VarType::kBytes,
  };
  static_assert(std::size(kTypes) == std::variant_size_v<Value>);
  return kTypes[value_.index()];
}

std::string Variant::ToText() const {
  switch (value_.index()) {
    case 0:  // Empty
    case 1:  // Null
      return std::string();
    case 2: return std::get<bool>(value_) ? "True" : "False";
    case 3: return IntegerText(std::get<uint8_t>(value_));
    case 4: return IntegerText(std::get<int16_t>(value_));
    case 5: return IntegerText(std::get<int32_t>(value_));
    case 6: return vb::SingleText(std::get<float>(value_));
    case 7: return vb::DoubleText(std::get<double>(value_));
    case 8: return std::get<Date>(value_).ToText();
    case 10: return std::get<Currency>(value_).ToText();
    case 11: return std::get<Decimal>(value_).Text();
    case 12: return BytesText(std::get<std::vector<uint8_t>>(value_));
    default: return std::get<std::string>(value_);
  }
}

double Variant::NumericValueOfText() const {
  // Val(ToText()) without building the text: loading a row runs this for every
  // numeric column, so each kind takes the shortest way to the same number.
  switch (value_.index()) {
    case 0:  // Empty
    case 1:  // Null
    case 2:  // "True" and "False" start with no number
      return 0;
    case 3: return std::get<uint8_t>(value_);
    case 4: return std::get<int16_t>(value_);
    case 5: return std::get<int32_t>(value_);
    case 6: return vb::internal::SingleTextValue(std::get<float>(value_));
    case 7: return vb::internal::DoubleTextValue(std::get<double>(value_));
    case 8: {
      // The text starts with the year ("2004-01-15 09:00:00"), or with the hour
      // when it is a time alone on day 0 ("09:00:00").
      const Date& d = std::get<Date>(value_);
      bool day_zero = d.year == 1899 && d.month == 12 && d.day == 30;
      return day_zero ? d.hour : d.year;
    }
    case 9: return vb::Val(std::get<std::string>(value_));
    default: return vb::Val(ToText());
  }
}

double Variant::ToDouble() const {
  switch (value_.index()) {
    case 0: return 0;
    case 1: Raise(errnum::kInvalidUseOfNull);
    case 2: return std::get<bool>(value_) ? -1 : 0;
    case 3: return std::get<uint8_t>(value_);
    case 4: return std::get<int16_t>(value_);
    case 5: return std::get<int32_t>(value_);
    case 6: return std::get<float>(value_);  // widened: CDbl(CSng(0.1)) shows its binary noise
    case 7: return std::get<double>(value_);
    case 8: return std::get<Date>(value_).ToSerial();
    case 9: return NumberOfText(std::get<std::string>(value_));
    case 10: return static_cast<double>(std::get<Currency>(value_).scaled) / 10000.0;
    case 11: return std::strtod(std::get<Decimal>(value_).Text().c_str(), nullptr);
    default: Raise(errnum::kRuntimeTypeMismatch);  // an array of Bytes is no number
  }
}

bool Variant::ToBoolean() const {
  if (const std::string* s = AsString()) {
    std::string_view text = rules::TrimBlanks(*s);
    if (rules::EqualsNoCase(text, "TRUE")) return true;
    if (rules::EqualsNoCase(text, "FALSE")) return false;
    return NumberOfText(text) != 0;
  }
  if (const bool* b = std::get_if<bool>(&value_)) return *b;
  return ToDouble() != 0;
}

uint8_t Variant::ToByte() const {
  if (const uint8_t* b = std::get_if<uint8_t>(&value_)) return *b;
  return vb::CByte(ToDouble());
}

int16_t Variant::ToInteger() const {
  if (const int16_t* i = std::get_if<int16_t>(&value_)) return *i;
  return vb::CInt(ToDouble());
}

int32_t Variant::ToLong() const {
  if (const int32_t* i = std::get_if<int32_t>(&value_)) return *i;
  return vb::CLng(ToDouble());
}

float Variant::ToSingle() const {
  if (const float* f = std::get_if<float>(&value_)) return *f;
  return vb::CSng(ToDouble());
}

Date Variant::ToDate() const {
  if (const Date* d = AsDate()) return *d;
  if (const std::string* s = AsString()) {
    if (auto d = Date::ParseLiteral(*s)) return *d;
    if (auto d = Date::ParseStored(*s)) return *d;
    Raise(errnum::kRuntimeTypeMismatch);
  }
  // Empty is day 0; a number is a serial date, and one outside the runtime's
  // range of dates overflows.
  auto d = Date::FromSerial(ToDouble());
  if (!d) Raise(errnum::kOverflow);
  return *d;
}

Currency Variant::ToCurrency() const {
  if (const Currency* c = AsCurrency()) return *c;
  int64_t scaled = 0;
  if (const Decimal* d = AsDecimal()) {
    if (!ScaledOfDecimal(d->Text(), &scaled)) Raise(errnum::kOverflow);
    return Currency{scaled};
  }
  const double times = std::nearbyint(ToDouble() * 10000.0);  // halves to even
  if (!(std::fabs(times) < 9223372036854775808.0)) Raise(errnum::kOverflow);
  return Currency{static_cast<int64_t>(times)};
}

Decimal Variant::ToDecimal() const {
  if (const Decimal* d = AsDecimal()) return *d;
  std::optional<Decimal> out;
  switch (Type()) {
    case VarType::kCurrency:
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kSingle:
    case VarType::kDouble: out = Decimal::Parse(ToText()); break;
    case VarType::kString:
      out = Decimal::Parse(rules::TrimBlanks(*AsString()));
      if (!out) out = Decimal::Parse(vb::DoubleText(ToDouble()));
      break;
    default: out = Decimal::Parse(vb::DoubleText(ToDouble())); break;
  }
  if (!out) Raise(errnum::kOverflow);
  return *out;
}

std::string Variant::ToString() const {
  if (IsNull()) Raise(errnum::kInvalidUseOfNull);
  return ToText();
}

}  // namespace tessaly::db
